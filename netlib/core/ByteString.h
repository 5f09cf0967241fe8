#pragma once
// Interim byte string with the members the cipher code uses; replaced by the
// core string type when it lands.
#include <cstdlib>
#include <cstring>

namespace tornell {

class ByteString {
 public:
  ByteString() = default;
  ByteString(const ByteString&) = delete;
  ByteString& operator=(const ByteString&) = delete;
  ~ByteString() { std::free(heap_); }

  int Length() const { return length_; }
  const char* Data() const { return heap_ ? heap_ : inline_; }
  char* Data() { return heap_ ? heap_ : inline_; }
  int Clear() { return Resize(0, nullptr); }
  int Resize(int length, const char* source = nullptr) {
    int n = length < 0 ? 0 : length;
    if (n > capacity_) {
      int cap = n + n / 2;
      char* block = static_cast<char*>(std::malloc(size_t(cap) + 1));
      if (block == nullptr) return 200;
      std::memcpy(block, Data(), size_t(length_));
      std::free(heap_);
      heap_ = block;
      capacity_ = cap;
    }
    if (source != nullptr) std::memmove(Data(), source, size_t(n));
    length_ = n;
    Data()[n] = 0;
    return 0;
  }
  int SetLength(int n) {
    int old = length_;
    if (n == old) return 0;
    int st = Resize(n);
    if (st == 0 && n > old) std::memset(Data() + old, 0, size_t(n - old));
    return st;
  }
  int Set(const char* bytes, int length) { return Resize(length < 0 ? 0 : length, bytes); }
  int Assign(const ByteString& other) { return Resize(other.Length(), other.Data()); }
  int Append(const char* bytes, long n) {
    if (bytes == nullptr || n <= 0) return 0;
    int old = length_;
    int st = Resize(old + int(n));
    if (st != 0) return st;
    std::memcpy(Data() + old, bytes, size_t(n));
    return 0;
  }
  int Append(const ByteString& other) { return Append(other.Data(), other.Length()); }
  int AppendByte(char c) { return Append(&c, 1); }
  int ByteAt(int i) const { return i < 0 || i >= length_ ? 0 : static_cast<unsigned char>(Data()[i]); }
  bool Equals(const char* bytes, int length) const {
    return length == length_ && std::memcmp(Data(), bytes, size_t(length)) == 0;
  }

 private:
  char inline_[100] = {};
  char* heap_ = nullptr;
  int length_ = 0;
  int capacity_ = 99;
};

}  // namespace tornell
