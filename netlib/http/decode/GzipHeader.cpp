#include "http/decode/GzipHeader.h"

#include <cstring>

#include "http/base/HttpStatus.h"

namespace tornell::http {

namespace {

constexpr unsigned char kId1 = 0x1F;
constexpr unsigned char kId2 = 0x8B;
constexpr unsigned char kMethodDeflate = 8;
constexpr unsigned char kFlagHeaderCrc = 0x02;
constexpr unsigned char kFlagExtra = 0x04;
constexpr unsigned char kFlagName = 0x08;
constexpr unsigned char kFlagComment = 0x10;
constexpr int kFixedPart = 10;  // ID1 ID2 CM FLG MTIME(4) XFL OS

// Moves `at` past a NUL-terminated field; false when the NUL is not there yet.
bool SkipZeroTerminated(const unsigned char* data, int length, int& at) {
  if (at >= length) return false;
  const void* nul = std::memchr(data + at, 0, static_cast<size_t>(length - at));
  if (nul == nullptr) return false;
  at = static_cast<int>(static_cast<const unsigned char*>(nul) - data) + 1;
  return true;
}

}  // namespace

int GzipHeaderLength(const unsigned char* data, int length, int& position) {
  if (data == nullptr || position < 0) return 0;
  int at = position;
  if (length - at < kFixedPart) return 0;
  const unsigned char flags = data[at + 3];
  at += kFixedPart;
  if (flags & kFlagExtra) {
    if (length - at < 2) return 0;
    const int extra = data[at] | (data[at + 1] << 8);
    at += 2;
    if (length - at < extra) return 0;
    at += extra;
  }
  if ((flags & kFlagName) && !SkipZeroTerminated(data, length, at)) return 0;
  if ((flags & kFlagComment) && !SkipZeroTerminated(data, length, at)) return 0;
  if (flags & kFlagHeaderCrc) {
    if (length - at < 2) return 0;
    at += 2;
  }
  position = at;
  return 1;
}

int CheckGzipHeader(const unsigned char* data, int length, int& position) {
  if (data == nullptr || position < 0 || length - position < 3) return kHttpStatusBadGzipHeader;
  if (data[position] != kId1 || data[position + 1] != kId2 || data[position + 2] != kMethodDeflate) {
    return kHttpStatusBadGzipHeader;
  }
  return GzipHeaderLength(data, length, position) == 1 ? 0 : kHttpStatusBadGzipHeader;
}

}  // namespace tornell::http
