#pragma once
// The byte buffer the NTLM messages are built in and read from.

#include <cstdint>

#include "net/auth/ByteCursor.h"

namespace tornell {

// Little-endian integer reads and writes of the NTLM messages.
class NtlmMessageBuffer : public ByteCursor {
 public:
  static constexpr int kMaxIntBytes = 100;

  [[nodiscard]] int Load(const void* data, int length);
  uint32_t ReadLittleEndian(int n);
  // The n low bytes of value, least significant first (zero beyond four).
  [[nodiscard]] int AppendInt(uint32_t value, int n);
  [[nodiscard]] int WriteIntAt(int offset, uint32_t value, int n);
  // Offset -1 appends; otherwise the range must lie inside the buffer.
  [[nodiscard]] int WriteAt(int offset, const void* data, int dataOffset, int length);
  int GetLimit() const { return limit_; }
  int GetPosition() const { return position_; }

 private:
  [[nodiscard]] int IntBytes(uint32_t value, int n, unsigned char* out);
};

}  // namespace tornell
