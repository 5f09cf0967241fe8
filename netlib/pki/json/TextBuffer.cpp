#include "pki/json/TextBuffer.h"

#include <cstring>

#include "core/secure/SecureWipe.h"
#include "pki/json/JsonStatus.h"

namespace tornell::pki {

int TextBuffer::Set(const void* data, int length) {
  if (length < 0) length = 0;
  if (length < kInline) {
    if (length > 0) std::memcpy(inline_, data, static_cast<size_t>(length));
    inline_[length] = 0;
    text_ = inline_;
  } else {
    if (heap_.Length() <= length && heap_.Resize(length + kInline) != kStatusOk) return kJsonStackMemory;
    std::memcpy(heap_.Data(), data, static_cast<size_t>(length));
    heap_.Data()[length] = 0;
    text_ = heap_.Data();
  }
  length_ = length;
  return kStatusOk;
}

int TextBuffer::Clear() {
  // A token may be a private key member.
  SecureWipe(inline_, sizeof inline_);
  static_cast<void>(heap_.Clear());
  text_ = inline_;
  length_ = 0;
  return kStatusOk;
}

}  // namespace tornell::pki
