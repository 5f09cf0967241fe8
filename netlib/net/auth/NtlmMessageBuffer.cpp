#include "net/auth/NtlmMessageBuffer.h"

#include <cstring>

#include "core/base/Status.h"

namespace tornell {

namespace {
const char kOverflowText[] = "Error in WriteInt: Attempt to overflow buffer.";
}  // namespace

int NtlmMessageBuffer::Load(const void* data, int length) {
  Reset();
  TORNELL_TRY(Append(data, 0, length));
  limit_ = bytes_.Length();
  return kStatusOk;
}

uint32_t NtlmMessageBuffer::ReadLittleEndian(int n) {
  uint32_t value = 0;
  for (int i = 0; i < n && i < 4; ++i) value |= ByteAt(position_ + i) << (8 * i);
  Skip(n);
  return value;
}

int NtlmMessageBuffer::IntBytes(uint32_t value, int n, unsigned char* out) {
  if (n > kMaxIntBytes) {
    errorText_ = kOverflowText;
    return kStatusOverflow;
  }
  for (int i = 0; i < n; ++i) out[i] = i < 4 ? static_cast<unsigned char>(value >> (8 * i)) : 0;
  return kStatusOk;
}

int NtlmMessageBuffer::AppendInt(uint32_t value, int n) {
  unsigned char bytes[kMaxIntBytes];
  TORNELL_TRY(IntBytes(value, n, bytes));
  return Append(bytes, 0, n);
}

int NtlmMessageBuffer::WriteIntAt(int offset, uint32_t value, int n) {
  unsigned char bytes[kMaxIntBytes];
  TORNELL_TRY(IntBytes(value, n, bytes));
  return WriteAt(offset, bytes, 0, n);
}

int NtlmMessageBuffer::WriteAt(int offset, const void* data, int dataOffset, int length) {
  if (offset == -1) return Append(data, dataOffset, length);
  if (offset < 0 || length < 0 || length > bytes_.Length() - offset) return kStatusOverflow;
  if (length > 0) std::memcpy(bytes_.Data() + offset, static_cast<const char*>(data) + dataOffset, static_cast<size_t>(length));
  return kStatusOk;
}

}  // namespace tornell
