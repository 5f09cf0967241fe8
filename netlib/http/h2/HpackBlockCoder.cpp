// The HPACK operations of Http2HeadersFrame: primitives, encoder, decoder.
#include <climits>
#include <cstdio>
#include <cstring>

#include "core/base/Status.h"
#include "core/text/SplitList.h"
#include "core/text/TextUtils.h"
#include "http/h2/HpackHuffman.h"
#include "http/h2/Http2HeadersFrame.h"

namespace tornell {

namespace {

// First-byte patterns of the representations (RFC 7541 section 6).
constexpr int kIndexed = 0x80;
constexpr int kIncremental = 0x40;
constexpr int kSizeUpdate = 0x20;
constexpr int kHuffmanBit = 0x80;

int EncodeWithPattern(int pattern, int value, int prefixBits, ByteString& out) {
  const int start = out.Length();
  TORNELL_TRY(Http2HeadersFrame::EncodeInteger(value, prefixBits, out));
  out.Bytes()[start] = static_cast<unsigned char>(out.Bytes()[start] | pattern);
  return kStatusOk;
}

int EncodeString(bool useHuffman, const ByteString& text, ByteString& out) {
  if (!useHuffman) {
    TORNELL_TRY(EncodeWithPattern(0, text.Length(), 7, out));
    return out.Append(text);
  }
  const int64_t coded = HpackHuffman::EncodedLength(text.Data(), text.Length());
  if (coded > INT_MAX) return kStatusNoMemory;
  TORNELL_TRY(EncodeWithPattern(kHuffmanBit, static_cast<int>(coded), 7, out));
  return HpackHuffman::Encode(text.Data(), text.Length(), out);
}

bool EqualsNoCase(const char* item, int itemLength, const ByteString& name) {
  if (itemLength != name.Length()) return false;
  for (int i = 0; i < itemLength; ++i) {
    unsigned char a = static_cast<unsigned char>(item[i]);
    unsigned char b = name.Bytes()[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
    if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
    if (a != b) return false;
  }
  return true;
}

bool Listed(const StringList& items, const ByteString& name) {
  for (int i = 0; i < items.Count(); ++i) {
    if (EqualsNoCase(items.Get(i), items.EntryLength(i), name)) return true;
  }
  return false;
}

int EncodeField(bool useHuffman, const HpackHeaderField& field, bool noIndex, HpackStaticTable& table,
                ByteString& out) {
  const ByteString& name = field.Name;
  const ByteString& value = field.Value;
  const int both = table.FindNameValue(name.Data(), name.Length(), value.Data(), value.Length());
  if (both > 0) return EncodeWithPattern(kIndexed, both, 7, out);
  const int named = table.FindName(name.Data(), name.Length());
  if (named < 0) {
    TORNELL_TRY(out.AppendByte(noIndex ? 0x00 : kIncremental));
    TORNELL_TRY(EncodeString(useHuffman, name, out));
  } else if (noIndex) {
    TORNELL_TRY(EncodeWithPattern(0x00, named, 4, out));
  } else {
    TORNELL_TRY(EncodeWithPattern(kIncremental, named, 6, out));
  }
  TORNELL_TRY(EncodeString(useHuffman, value, out));
  if (noIndex) return kStatusOk;
  return table.Insert(HpackStaticTable::kFirstDynamic, name.Data(), name.Length(), value.Data(), value.Length());
}

// A decoding fault: the text goes to the caller's buffer when there is one.
int DecodeFault(ByteString* errorText, const char* detail, int number) {
  if (errorText != nullptr) {
    char text[160];
    std::snprintf(text, sizeof text, "COMPRESSION_ERROR: Decode Header Block %s %d.", detail, number);
    (void)errorText->Set(text);  // only memory can fail; the code still tells
  }
  return kHttp2CompressionError;
}

}  // namespace

int Http2HeadersFrame::EncodeInteger(int value, int prefixBits, ByteString& out) {
  const unsigned max = (1u << prefixBits) - 1;
  unsigned rest = static_cast<unsigned>(value < 0 ? 0 : value);
  if (rest < max) return out.AppendByte(static_cast<int>(rest));
  TORNELL_TRY(out.AppendByte(static_cast<int>(max)));
  rest -= max;
  while (rest >= 0x80) {
    TORNELL_TRY(out.AppendByte(static_cast<int>((rest & 0x7F) | 0x80)));
    rest >>= 7;
  }
  return out.AppendByte(static_cast<int>(rest));
}

int Http2HeadersFrame::DecodeInteger(FrameBuffer& in, int prefixBits, int& value) {
  value = 0;
  const int max = (1 << prefixBits) - 1;
  const int first = in.GetU8();
  if (first < 0) return kHttp2CompressionError;
  int64_t v = first & max;
  if (v < max) {
    value = static_cast<int>(v);
    return kStatusOk;
  }
  for (int count = 0, shift = 0; count < kMaxIntegerContinuations; ++count, shift += 7) {
    const int b = in.GetU8();
    if (b < 0) return kHttp2CompressionError;
    v += static_cast<int64_t>(b & 0x7F) << shift;
    if (v > INT_MAX) return kHttp2CompressionError;
    if (b < 0x80) {
      value = static_cast<int>(v);
      return kStatusOk;
    }
  }
  return kHttp2CompressionError;
}

int Http2HeadersFrame::ReadString(FrameBuffer& in, ByteString& out) {
  TORNELL_TRY(out.Clear());
  const int first = in.PeekU8(in.Position());
  if (first < 0) return kHttp2CompressionError;
  int length = 0;
  TORNELL_TRY(DecodeInteger(in, 7, length));
  if (length > in.Remaining()) return kHttp2CompressionError;
  const char* bytes = in.CurrentPointer();
  (void)in.Skip(length);  // inside the block: checked above
  if ((first & kHuffmanBit) != 0) return HpackHuffman::Decode(bytes, length, out);
  return out.Set(bytes, length);
}

int Http2HeadersFrame::EncodeHeaderBlock(bool useHuffman, PtrList<HpackHeaderField>& fields,
                                         HpackStaticTable& table, const char* withoutIndexing,
                                         ByteString& out) {
  StringList unindexed;
  TORNELL_TRY(SplitList(withoutIndexing, ',', unindexed));
  ByteString block;
  const int pending = table.PendingSizeUpdate();
  if (pending >= 0) {
    // The smallest maximum since the last block first, so the peer evicts
    // what we evicted, then the maximum now in force.
    if (pending < table.MaxSize()) TORNELL_TRY(EncodeWithPattern(kSizeUpdate, pending, 5, block));
    TORNELL_TRY(EncodeWithPattern(kSizeUpdate, table.MaxSize(), 5, block));
  }
  for (int i = 0; i < fields.Count(); ++i) {
    const HpackHeaderField* field = fields.Get(i);
    if (field == nullptr) return kStatusNoMemory;
    TORNELL_TRY(EncodeField(useHuffman, *field, Listed(unindexed, field->Name), table, block));
  }
  table.ClearPendingSizeUpdate();
  return out.Set(block.Data(), block.Length());
}

int Http2HeadersFrame::DecodeHeaderBlock(const void* data, int offset, int length, HpackStaticTable& table,
                                         StringList& out, ByteString* errorText) {
  if (length < 0 || offset < 0) return DecodeFault(errorText, "with length", length);
  FrameBuffer in;
  if (length > 0) TORNELL_TRY(in.Assign(data, offset, length));
  bool fieldSeen = false;
  ByteString name;
  ByteString value;
  while (in.Remaining() > 0) {
    const int b = in.PeekU8(in.Position());
    const int at = in.Position();
    if ((b & 0xE0) == kSizeUpdate) {
      int size = 0;
      if (DecodeInteger(in, 5, size) != kStatusOk) return DecodeFault(errorText, "with a bad integer at", at);
      if (fieldSeen) return DecodeFault(errorText, "with a table size update after a field at", at);
      if (size > table.SizeLimit()) return DecodeFault(errorText, "with a table size update above the limit:", size);
      TORNELL_TRY(table.SetMaxSize(size));
      continue;
    }
    fieldSeen = true;
    int prefixBits = 4;
    if (b >= kIndexed) {
      prefixBits = 7;
    } else if (b >= kIncremental) {
      prefixBits = 6;
    }
    int index = 0;
    if (DecodeInteger(in, prefixBits, index) != kStatusOk) return DecodeFault(errorText, "with a bad integer at", at);
    if (b >= kIndexed || index != 0) {
      // Index 0 names nothing; an indexed field must refer to an entry.
      const HpackHeaderField* entry = index > 0 ? table.Get(index) : nullptr;
      if (entry == nullptr) return DecodeFault(errorText, "with an index beyond the table:", index);
      TORNELL_TRY(name.Set(entry->Name.Data(), entry->Name.Length()));
      if (b >= kIndexed) TORNELL_TRY(value.Set(entry->Value.Data(), entry->Value.Length()));
    } else if (ReadString(in, name) != kStatusOk) {
      return DecodeFault(errorText, "with a bad name string at", at);
    }
    if (b < kIndexed && ReadString(in, value) != kStatusOk) {
      return DecodeFault(errorText, "with a bad value string at", at);
    }
    if (b < kIndexed && b >= kIncremental) {
      TORNELL_TRY(table.Insert(HpackStaticTable::kFirstDynamic, name.Data(), name.Length(), value.Data(),
                               value.Length()));
    }
    TORNELL_TRY(out.Add(name.Data(), name.Length()));
    TORNELL_TRY(out.Add(value.Data(), value.Length()));
  }
  return kStatusOk;
}

int Http2HeadersFrame::IsConnectionSpecific(const char* name) {
  static const char* const kNames[] = {"connection", "keep-alive", "proxy-connection",
                                       "te", "transfer-encoding", "upgrade"};
  if (name == nullptr) return 0;
  for (const char* listed : kNames) {
    if (CompareNoCase(name, listed) == 0) return 1;
  }
  return 0;
}

}  // namespace tornell
