#include "http/h2/Http2HeadersFrame.h"

#include "core/base/Status.h"

namespace tornell {

int Http2HeadersFrame::Serialize(ByteString& out) {
  const int pad = PadLength & 0xFF;
  FrameBuffer payload;
  SetType(kHeaders);
  SetFlag(kFlagPadded, pad != 0);
  if (pad != 0) TORNELL_TRY(payload.PutU8(pad));
  if (HasPriority()) {
    TORNELL_TRY(payload.PutU32(static_cast<int>(StreamDependency)));
    TORNELL_TRY(payload.PutU8(Weight & 0xFF));
  }
  TORNELL_TRY(payload.PutBytes(HeaderBlock));
  TORNELL_TRY(PutPadding(payload, pad));
  return Finish(payload, out);
}

int Http2HeadersFrame::Parse(const void* data, int length) {
  Reset();
  TORNELL_TRY(Http2Frame::Parse(data, length));
  FrameBuffer in;
  TORNELL_TRY(OpenPayload(in));
  int available = 0;
  TORNELL_TRY(ReadPadding(in, HasPriority() ? 5 : 0, PadLength, available));
  if (HasPriority()) {
    int dependency = 0;
    TORNELL_TRY(in.GetU32(dependency));
    StreamDependency = static_cast<uint32_t>(dependency);
    Weight = in.GetU8();
  }
  return HeaderBlock.Set(in.CurrentPointer(), available);
}

int Http2HeadersFrame::EncodeHeaders(PtrList<HpackHeaderField>& fields, HpackStaticTable& table,
                                     const char* withoutIndexing) {
  return EncodeHeaderBlock(UseHuffman, fields, table, withoutIndexing, HeaderBlock);
}

}  // namespace tornell
