#pragma once
// A file name kept as a component setting and handed to FileStream.

#include "core/text/ByteString.h"

namespace tornell {

class FilePath {
 public:
  void Clear() { name_.Clear(); }
  [[nodiscard]] int Set(const char* name) {
    name_.Clear();
    return name_.Set(name);
  }
  const char* Name() const { return name_.CStr(); }
  int Length() const { return name_.Length(); }

 private:
  ByteString name_;
};

}  // namespace tornell
