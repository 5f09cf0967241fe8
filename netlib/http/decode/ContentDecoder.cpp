#include "http/decode/ContentDecoder.h"

#include <zlib.h>

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "http/base/HttpStatus.h"
#include "http/decode/GzipHeader.h"

namespace tornell {

namespace {

constexpr char kInitText[] = "Could not initialize decompressor.";
constexpr char kInflateText[] = "Could not decompress content.";
constexpr char kGzipHeaderText[] = "The GZIP header is invalid.";
constexpr int kGzipTrailer = 8;

uint32_t ReadLittle32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// RFC 1950: deflate method, 32 KB window at most, header checksum.
bool IsZlibHeader(unsigned char cmf, unsigned char flg) {
  return (cmf & 0x0F) == 8 && (cmf >> 4) <= 7 && ((cmf << 8) | flg) % 31 == 0;
}

}  // namespace

int ContentDecoder::Fail(int status, const char* text) {
  TORNELL_TRY(errorText_.Set(text));
  return status;
}

int ContentDecoder::Reset() {
  engine_.Reset();
  mode_ = kNone;
  phase_ = kHeader;
  crc_ = 0;
  size_ = 0;
  fed_ = false;
  members_ = 0;
  TORNELL_TRY(header_.Set(""));
  return trailer_.Set("");
}

int ContentDecoder::OnContentEncoding(const char* value) {
  TORNELL_TRY(Reset());
  if (value == nullptr) return kStatusOk;
  if (CompareNoCase(value, "gzip") == 0) mode_ = kGzip;
  if (CompareNoCase(value, "deflate") == 0) mode_ = kDeflate;
  if (mode_ == kNone) return kStatusOk;
  if (blockStore_.Length() < kBlockSize) {
    if (blockStore_.Resize(kBlockSize) != kStatusOk) {
      mode_ = kNone;
      return Fail(kHttpStatusProtocolError, kInitText);
    }
  }
  block_ = blockStore_.Bytes();
  return kStatusOk;
}

int ContentDecoder::FeedHeader(const unsigned char*& data, int& length, DecodedSink& sink) {
  const int had = header_.Length();
  const int need = mode_ == kGzip ? kMaxGzipHeader : 2;
  const int take = length < need - had ? length : need - had;
  TORNELL_TRY(header_.Append(data, take));

  if (mode_ == kDeflate) {
    data += take;
    length -= take;
    if (header_.Length() < 2) return kStatusOk;
    const int windowBits = IsZlibHeader(header_.Bytes()[0], header_.Bytes()[1])
                               ? ContentDecompressor::kZlibDeflate
                               : ContentDecompressor::kRawDeflate;
    if (engine_.Init(windowBits) != 0) return Fail(kHttpStatusProtocolError, kInitText);
    phase_ = kBody;
    ByteString first;
    TORNELL_TRY(first.Assign(header_));
    TORNELL_TRY(header_.Set(""));
    int used = 0;
    return FeedBody(first.Bytes(), first.Length(), used, sink);
  }

  // Foreign bytes fail at once instead of being gathered as a header.
  static constexpr unsigned char kMagic[3] = {0x1F, 0x8B, 0x08};
  for (int i = 0; i < header_.Length() && i < 3; ++i) {
    if (header_.Bytes()[i] != kMagic[i]) return Fail(kHttpStatusBadGzipHeader, kGzipHeaderText);
  }
  int end = 0;
  if (http::GzipHeaderLength(header_.Bytes(), header_.Length(), end) == 0) {
    if (header_.Length() >= kMaxGzipHeader) return Fail(kHttpStatusBadGzipHeader, kGzipHeaderText);
    data += take;
    length -= take;
    return kStatusOk;  // wait for the next segment
  }
  int start = 0;
  if (http::CheckGzipHeader(header_.Bytes(), header_.Length(), start) != kStatusOk) {
    return Fail(kHttpStatusBadGzipHeader, kGzipHeaderText);
  }
  // The header was incomplete before this segment, so it ends inside it; the
  // bytes behind it are left in the segment for the engine.
  data += end - had;
  length -= end - had;
  TORNELL_TRY(header_.Set(""));
  if (engine_.Init(ContentDecompressor::kRawDeflate) != 0) return Fail(kHttpStatusProtocolError, kInitText);
  phase_ = kBody;
  crc_ = crc32(0L, Z_NULL, 0);
  size_ = 0;
  return kStatusOk;
}

int ContentDecoder::FeedBody(const unsigned char* data, int length, int& used, DecodedSink& sink) {
  used = 0;
  engine_.SetInput(data, 0, length);
  do {
    int produced = 0;
    if (engine_.Inflate(block_, 0, kBlockSize, produced) != 0) {
      return Fail(kHttpStatusProtocolError, kInflateText);
    }
    if (produced > 0) {
      crc_ = crc32(crc_, block_, static_cast<uInt>(produced));
      size_ += static_cast<uint32_t>(produced);
      TORNELL_TRY(sink.OnDecoded(block_, produced));
    }
  } while (engine_.HasMore());
  used = length - engine_.InputLeft();
  if (engine_.Finished()) {
    engine_.Reset();
    if (mode_ == kGzip) {
      phase_ = kTrailer;
    } else {
      used = length;  // nothing follows a deflate stream
      phase_ = kDone;
      ++members_;
    }
  }
  return kStatusOk;
}

int ContentDecoder::FeedTrailer(const unsigned char*& data, int& length) {
  const int take = length < kGzipTrailer - trailer_.Length() ? length : kGzipTrailer - trailer_.Length();
  TORNELL_TRY(trailer_.Append(data, take));
  data += take;
  length -= take;
  if (trailer_.Length() < kGzipTrailer) return kStatusOk;
  const uint32_t crc = ReadLittle32(trailer_.Bytes());
  const uint32_t size = ReadLittle32(trailer_.Bytes() + 4);
  TORNELL_TRY(trailer_.Set(""));
  if (crc != crc_ || size != size_) return Fail(kHttpStatusProtocolError, kInflateText);
  ++members_;
  phase_ = kHeader;  // another member may follow
  return kStatusOk;
}

int ContentDecoder::Feed(const unsigned char* data, int length, DecodedSink& sink) {
  if (data == nullptr || length <= 0) return kStatusOk;
  if (mode_ == kNone) return sink.OnDecoded(data, length);
  fed_ = true;
  while (length > 0 && phase_ != kDone) {
    if (phase_ == kHeader) {
      TORNELL_TRY(FeedHeader(data, length, sink));
    } else if (phase_ == kTrailer) {
      TORNELL_TRY(FeedTrailer(data, length));
    } else {
      int used = 0;
      TORNELL_TRY(FeedBody(data, length, used, sink));
      data += used;
      length -= used;
    }
  }
  return kStatusOk;
}

int ContentDecoder::Finish() {
  if (mode_ == kNone || !fed_) return kStatusOk;
  // Whole members only: a body cut inside a stream or a trailer did not
  // arrive complete.
  const bool complete = mode_ == kDeflate ? phase_ == kDone : members_ > 0 && phase_ == kHeader && header_.IsEmpty();
  return complete ? kStatusOk : Fail(kHttpStatusProtocolError, kInflateText);
}

}  // namespace tornell
