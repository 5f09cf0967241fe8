#pragma once
// HEADERS frame, and the HPACK coding of header blocks (RFC 7541) as static
// operations: integers, string literals, whole blocks against a header table.
#include <cstdint>

#include "core/buffer/PtrList.h"
#include "core/text/StringList.h"
#include "http/h2/HpackHeaderField.h"
#include "http/h2/HpackStaticTable.h"
#include "http/h2/Http2Frame.h"

namespace tornell {

class Http2HeadersFrame : public Http2Frame {
 public:
  // Integers beyond this are refused; 5 continuation bytes reach it.
  static constexpr int kMaxIntegerContinuations = 5;

  Http2HeadersFrame() { Reset(); }
  void Reset() {
    UseHuffman = true;
    PadLength = 0;
    Weight = 0;
    StreamDependency = 0;
    (void)HeaderBlock.Clear();
  }

  [[nodiscard]] int Serialize(ByteString& out) override;
  [[nodiscard]] int Parse(const void* data, int length) override;

  bool EndStream() const { return HasFlag(kFlagEndStream); }
  void SetEndStream(bool on) { SetFlag(kFlagEndStream, on); }
  bool EndHeaders() const { return HasFlag(kFlagEndHeaders); }
  void SetEndHeaders(bool on) { SetFlag(kFlagEndHeaders, on); }
  bool HasPriority() const { return HasFlag(kFlagPriority); }
  void SetPriority(bool on) { SetFlag(kFlagPriority, on); }

  // Codes the fields into HeaderBlock against the (encoder's) table.
  [[nodiscard]] int EncodeHeaders(PtrList<HpackHeaderField>& fields, HpackStaticTable& table,
                                  const char* withoutIndexing);

  // ---- HPACK -----------------------------------------------------------------

  // Appends the integer with an N-bit prefix (RFC 7541 section 5.1); the
  // first byte holds only the prefix bits, the caller adds the pattern.
  [[nodiscard]] static int EncodeInteger(int value, int prefixBits, ByteString& out);
  // Reads an integer with an N-bit prefix; at most 5 continuation bytes and
  // a value below 2^31, else a compression error.
  [[nodiscard]] static int DecodeInteger(FrameBuffer& in, int prefixBits, int& value);
  // Reads a string literal, Huffman-coded or not; one that runs past the
  // block is a compression error.
  [[nodiscard]] static int ReadString(FrameBuffer& in, ByteString& out);
  // Replaces out with the block for the fields. A change of the table's
  // maximum size since the last block is announced first. Listed names
  // (comma-separated, any case) are written without indexing.
  [[nodiscard]] static int EncodeHeaderBlock(bool useHuffman, PtrList<HpackHeaderField>& fields,
                                             HpackStaticTable& table, const char* withoutIndexing,
                                             ByteString& out);
  // Decodes the length bytes at data + offset, appending name, value, name,
  // value ... to out. Any fault is COMPRESSION_ERROR, its text in errorText
  // when given; the pairs decoded before it stay in out.
  [[nodiscard]] static int DecodeHeaderBlock(const void* data, int offset, int length, HpackStaticTable& table,
                                             StringList& out, ByteString* errorText = nullptr);
  // 1 for the connection-specific names HTTP/2 forbids, any case; else 0.
  static int IsConnectionSpecific(const char* name);

  bool UseHuffman = true;
  int PadLength = 0;
  int Weight = 0;
  uint32_t StreamDependency = 0;  // the top bit is the exclusive flag
  // The header block fragment: as received, or as coded for sending. The
  // engine decodes a block once its last fragment has arrived.
  ByteString HeaderBlock;

 protected:
  const char* FrameName() const override { return "Headers Frame"; }
};

}  // namespace tornell
