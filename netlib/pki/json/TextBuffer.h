#pragma once
// Copy of the token being read: short tokens stay in an inline area, longer
// ones in a string that only grows, so a run of tokens rarely allocates.
#include "core/text/SecretBytes.h"

namespace tornell::pki {

class TextBuffer {
 public:
  TextBuffer() { Clear(); }
  ~TextBuffer() { Clear(); }
  TextBuffer(const TextBuffer&) = delete;
  TextBuffer& operator=(const TextBuffer&) = delete;

  [[nodiscard]] int Set(const void* data, int length);
  int Clear();
  const char* Data() const { return text_; }
  int Length() const { return length_; }

 private:
  static constexpr int kInline = 1024;
  SecretBytes heap_;
  int length_ = 0;
  int reserved_ = 0;
  const char* text_ = inline_;
  char inline_[kInline] = {};
};

}  // namespace tornell::pki
