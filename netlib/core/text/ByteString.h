#pragma once
// ByteString is the general string every interface takes and returns;
// ShortString keeps short members (file names, mechanism names, small tokens).
#include "core/text/InlineString.h"

namespace tornell {

class ByteString : public InlineString<99> {
 public:
  ByteString() = default;
  // A constructor cannot report: a text that cannot be copied leaves the
  // string empty, which callers needing certainty check with Length().
  explicit ByteString(const char* text) { static_cast<void>(Set(text)); }
  ByteString(ByteString&&) noexcept = default;
  ByteString& operator=(ByteString&&) noexcept = default;
};

class ShortString : public InlineString<20> {
 public:
  ShortString() = default;
  explicit ShortString(const char* text) { static_cast<void>(Set(text)); }
  ShortString(ShortString&&) noexcept = default;
  ShortString& operator=(ShortString&&) noexcept = default;
};

}  // namespace tornell
