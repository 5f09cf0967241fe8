#pragma once
// A list of protocol numbers: suite codes, versions, groups or signature
// schemes. The hellos build and search such lists on every handshake, so
// they are plain integers, and the lists peers send fit inline.
#include <cstdint>
#include <memory>

namespace tornell {

class CodeList {
 public:
  static constexpr int kInline = 64;

  CodeList() = default;
  CodeList(const CodeList&) = delete;
  CodeList& operator=(const CodeList&) = delete;

  void Clear() { count_ = 0; }
  int Count() const { return count_; }
  // Entry i; 0 out of range.
  int Get(int i) const { return i >= 0 && i < count_ ? items_[i] : 0; }
  bool Has(int value) const {
    for (int i = 0; i < count_; ++i) {
      if (items_[i] == value) return true;
    }
    return false;
  }
  [[nodiscard]] int Add(int value) {
    if (count_ == capacity_) return Grow(value);
    items_[count_++] = value;
    return 0;
  }
  [[nodiscard]] int Assign(const CodeList& other);

 private:
  // Add with a larger block first.
  [[nodiscard]] int Grow(int value);
  [[nodiscard]] int Reserve(int wanted);

  int count_ = 0;
  int capacity_ = kInline;
  std::unique_ptr<int32_t[]> heap_;
  int32_t inline_[kInline];
  // inline_ or the heap block: the list is never copied or moved, so it stays right.
  int32_t* items_ = inline_;
};

}  // namespace tornell
