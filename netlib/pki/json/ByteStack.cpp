#include "pki/json/ByteStack.h"

#include "pki/json/JsonStatus.h"

namespace tornell::pki {

ByteStack::ByteStack() {
  // Fails only for memory; the first Push then grows it again.
  if (bytes_.Resize(kStep) == kStatusOk) capacity_ = kStep;
}

int ByteStack::Push(int value) {
  if (count_ >= capacity_) {
    if (bytes_.Resize(capacity_ + kStep) != kStatusOk) return kJsonStackMemory;
    capacity_ += kStep;
  }
  bytes_.Bytes()[count_++] = static_cast<unsigned char>(value);
  return kStatusOk;
}

int ByteStack::Pop() {
  if (count_ == 0) return -1;
  return bytes_.Bytes()[--count_];
}

int ByteStack::Top() const { return count_ == 0 ? -1 : bytes_.Bytes()[count_ - 1]; }

int ByteStack::Clear() {
  count_ = 0;
  return kStatusOk;
}

}  // namespace tornell::pki
