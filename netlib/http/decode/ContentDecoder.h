#pragma once
// The content-decoding stage of a response body: "gzip" and "deflate" bodies
// are inflated segment by segment and handed on in blocks as they come out.
#include <cstdint>

#include "core/text/ByteString.h"
#include "http/decode/ContentDecompressor.h"

namespace tornell {

// Receiver of the decoded bytes; a non-zero result stops the stage with it.
class DecodedSink {
 public:
  virtual ~DecodedSink() = default;
  [[nodiscard]] virtual int OnDecoded(const unsigned char* data, int length) = 0;
};

class ContentDecoder {
 public:
  enum Mode { kNone = 0, kGzip = 1, kDeflate = 2 };
  static constexpr int kBlockSize = 65536;
  // A gzip header (name, comment, extra field) never needs more.
  static constexpr int kMaxGzipHeader = 65536;

  ContentDecoder() = default;
  ContentDecoder(const ContentDecoder&) = delete;
  ContentDecoder& operator=(const ContentDecoder&) = delete;

  // Back to no decoding, buffers emptied.
  [[nodiscard]] int Reset();
  // A Content-Encoding value; "gzip" or "deflate" (ASCII case ignored) turn
  // decoding on, anything else leaves the body as it is.
  [[nodiscard]] int OnContentEncoding(const char* value);
  int Mode() const { return mode_; }

  // One body segment; decoded bytes go to the sink. Without a mode the segment
  // goes through unchanged.
  [[nodiscard]] int Feed(const unsigned char* data, int length, DecodedSink& sink);
  // The body is complete: a stream that stopped short of its end is a failure.
  [[nodiscard]] int Finish();

  const ByteString& ErrorText() const { return errorText_; }

 private:
  enum Phase { kHeader, kBody, kTrailer, kDone };

  [[nodiscard]] int Fail(int status, const char* text);
  [[nodiscard]] int FeedHeader(const unsigned char*& data, int& length, DecodedSink& sink);
  [[nodiscard]] int FeedBody(const unsigned char* data, int length, int& used, DecodedSink& sink);
  [[nodiscard]] int FeedTrailer(const unsigned char*& data, int& length);

  ContentDecompressor engine_;
  int mode_ = kNone;
  Phase phase_ = kHeader;
  ByteString header_;   // gzip member header, or the first two bytes of a deflate body
  ByteString trailer_;  // CRC-32 and length behind a gzip member
  uint32_t crc_ = 0;
  uint32_t size_ = 0;
  bool fed_ = false;
  int members_ = 0;
  unsigned char* block_ = nullptr;
  ByteString blockStore_;
  ByteString errorText_;
};

}  // namespace tornell
