#include "http/decode/ContentDecompressor.h"

#include <cstring>

namespace tornell {

ContentDecompressor::ContentDecompressor() { std::memset(&stream_, 0, sizeof stream_); }

ContentDecompressor::~ContentDecompressor() { Reset(); }

int ContentDecompressor::Reset() {
  if (engine_) inflateEnd(&stream_);
  engine_ = false;
  std::memset(&stream_, 0, sizeof stream_);
  inputLength_ = 0;
  finished_ = 0;
  inputLeft_ = 0;
  return 0;
}

int ContentDecompressor::Init(int windowBits) {
  Reset();
  if (inflateInit2(&stream_, windowBits) != Z_OK) return 1;
  engine_ = true;
  return 0;
}

void ContentDecompressor::SetInput(const unsigned char* data, int offset, int length) {
  if (length < 0) length = 0;
  stream_.next_in = const_cast<Bytef*>(data != nullptr ? data + offset : nullptr);
  stream_.avail_in = static_cast<uInt>(length);
  inputLength_ = length;
  inputLeft_ = length;
}

int ContentDecompressor::HasMore() const {
  if (finished_) return 0;
  return (stream_.avail_in > 0 || stream_.avail_out == 0) ? 1 : 0;
}

int ContentDecompressor::Inflate(unsigned char* out, int offset, int size, int& produced) {
  produced = 0;
  if (!engine_ || out == nullptr || size <= 0) return 1;
  stream_.next_out = out + offset;
  stream_.avail_out = static_cast<uInt>(size);
  const bool hadInput = stream_.avail_in > 0;
  const int result = inflate(&stream_, Z_NO_FLUSH);
  if (result != Z_OK && result != Z_STREAM_END && !(result == Z_BUF_ERROR && !hadInput)) return 1;
  produced = size - static_cast<int>(stream_.avail_out);
  inputLeft_ = static_cast<int>(stream_.avail_in);
  if (result == Z_STREAM_END) finished_ = 1;
  return 0;
}

}  // namespace tornell
