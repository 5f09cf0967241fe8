#pragma once
// Wire buffer for building and reading HTTP/2 frame payloads.
#include "core/buffer/WireBuffer.h"

namespace tornell {

class FrameBuffer : public WireBuffer {
 public:
  FrameBuffer() = default;
  FrameBuffer(const void* buffer, int offset, int length) : WireBuffer(buffer, offset, length) {}

  // The bytes at the read position (Remaining() of them).
  const char* CurrentPointer() const {
    return Remaining() > 0 ? Data() + Position() : kEmptyText;
  }
};

}  // namespace tornell
