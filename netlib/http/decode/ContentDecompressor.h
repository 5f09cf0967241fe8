#pragma once
// A stream record around zlib's inflate, fed one body segment at a time.
#include <zlib.h>

namespace tornell {

class ContentDecompressor {
 public:
  static constexpr int kRawDeflate = -15;  // window bits: deflate data without a wrapper
  static constexpr int kZlibDeflate = 15;  // window bits: zlib wrapper (RFC 1950)

  ContentDecompressor();
  ~ContentDecompressor();
  ContentDecompressor(const ContentDecompressor&) = delete;
  ContentDecompressor& operator=(const ContentDecompressor&) = delete;

  // Reset, then an engine for the window mode; 1 when zlib refuses.
  [[nodiscard]] int Init(int windowBits);
  int Reset();
  void SetInput(const unsigned char* data, int offset, int length);
  // 1 while the last step left input or filled its whole block.
  int HasMore() const;
  // One step into out + offset, at most size bytes. 0 on success (zlib's
  // Z_OK, Z_STREAM_END, or Z_BUF_ERROR when no input was there), 1 on failure.
  [[nodiscard]] int Inflate(unsigned char* out, int offset, int size, int& produced);

  int Finished() const { return finished_; }
  int InputLeft() const { return inputLeft_; }

 private:
  z_stream stream_;
  bool engine_ = false;
  int inputLength_ = 0;
  int finished_ = 0;
  int inputLeft_ = 0;
};

}  // namespace tornell
