#pragma once
// Status codes of the HTTP/2 frame and header coding layer: the HTTP/2 error
// codes the engine answers with, so a parse failure can go to the peer as is.
#include "core/base/StatusCodes.h"

namespace tornell {

constexpr int kHttp2ProtocolError = 1;
constexpr int kHttp2FrameSizeError = 6;
constexpr int kHttp2CompressionError = 9;

// Our SETTINGS_MAX_FRAME_SIZE (the protocol's default, never raised).
constexpr int kHttp2MaxFrameSize = 16384;
constexpr int kHttp2FrameHeaderSize = 9;

}  // namespace tornell
