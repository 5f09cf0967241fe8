#pragma once
// Stack of the kinds of the open containers (2 object, 3 array).
#include "core/text/ByteString.h"

namespace tornell::pki {

class ByteStack {
 public:
  ByteStack();
  [[nodiscard]] int Push(int value);
  // The top byte, removed; -1 when empty.
  int Pop();
  int Top() const;
  int Count() const { return count_; }
  int Capacity() const { return capacity_; }
  int Clear();

 private:
  static constexpr int kStep = 99;
  ByteString bytes_;
  int count_ = 0;
  int capacity_ = 0;
};

}  // namespace tornell::pki
