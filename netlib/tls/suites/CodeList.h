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
  int Get(int i) const { return i >= 0 && i < count_ ? Items()[i] : 0; }
  bool Has(int value) const;
  [[nodiscard]] int Add(int value);
  [[nodiscard]] int Assign(const CodeList& other);

 private:
  const int32_t* Items() const { return heap_ != nullptr ? heap_.get() : inline_; }
  int32_t* Items() { return heap_ != nullptr ? heap_.get() : inline_; }
  [[nodiscard]] int Reserve(int wanted);

  int count_ = 0;
  int capacity_ = kInline;
  std::unique_ptr<int32_t[]> heap_;
  int32_t inline_[kInline];
};

}  // namespace tornell
