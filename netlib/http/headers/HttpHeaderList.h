#pragma once
// Header fields of a response as name/value pairs, in arrival order.
#include "core/text/StringList.h"

namespace tornell {

class HttpHeaderList {
 public:
  HttpHeaderList() = default;
  HttpHeaderList(const HttpHeaderList&) = delete;
  HttpHeaderList& operator=(const HttpHeaderList&) = delete;

  [[nodiscard]] int Clear() { return entries_.Clear(); }
  // An empty name continues the last field (a folded line); with no field
  // yet it is dropped.
  [[nodiscard]] int Add(const char* name, const char* value);
  [[nodiscard]] int CheckIndex(int i) const;
  int Count() const { return entries_.Count() / 2; }
  // "" when the index is out of range.
  const char* Name(int i) const;
  const char* Value(int i) const;
  // Value of the first field of that name (ASCII case ignored), or "".
  const char* Find(const char* name) const;

 private:
  StringList entries_;
};

}  // namespace tornell
