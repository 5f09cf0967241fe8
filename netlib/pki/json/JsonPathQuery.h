#pragma once
// The names of the open elements, kept when no tree is built: each name with a
// NUL after it in one buffer, and its offset as four base-128 digits in another.
#include "core/text/InlineString.h"

namespace tornell::pki {

class JsonPathQuery {
 public:
  static constexpr int kMaxName = 0xFFFFFFF;

  JsonPathQuery() = default;
  JsonPathQuery(const JsonPathQuery&) = delete;
  JsonPathQuery& operator=(const JsonPathQuery&) = delete;

  [[nodiscard]] int Push(const char* name, int length);
  // The last name, removed; it stays readable until the next Push. "" when empty.
  const char* Pop();
  const char* Top() const;
  int Count() const { return count_; }
  void SetValueType(int type) { valueType_ = type; }
  int GetValueType() const { return valueType_; }
  int Reset();

 private:
  int OffsetAt(int index) const;

  InlineString<1024> names_;
  InlineString<1024> offsets_;
  int count_ = 0;
  int used_ = 0;
  int valueType_ = 0;
};

}  // namespace tornell::pki
