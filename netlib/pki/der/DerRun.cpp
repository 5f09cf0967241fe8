#include "pki/der/DerRun.h"

#include "core/base/Status.h"
#include "core/text/TextUtils.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerStatus.h"

namespace tornell::pki {

namespace {

// DerWriter's status for a bit string without its unused-bits count.
constexpr int kEmptyBitString = kStatusIndexRange;

// The first element of some bytes: its whole length, 447 when incomplete.
int Locate(DerRun bytes, size_t& length) {
  length = DerElementLength(bytes.at, bytes.Size());
  return length == 0 ? kDerMissing : kStatusOk;
}

}  // namespace

int NextElement(DerRun& run, DerPiece& piece) {
  const size_t length = DerElementLength(run.at, run.Size());
  if (length == 0) return kDerMalformed;
  size_t available = length;
  const uint8_t* body = DerParseHeader(run.at, available, piece.tag);
  if (body == nullptr) return kDerMalformed;
  piece.whole = {run.at, run.at + length};
  piece.content = {body, body + available};
  run.at += length;
  return kStatusOk;
}

int DerSplit(DerRun bytes, DerNode& node) {
  node.children = {};
  node.count = 0;
  if (DerElementLength(bytes.at, bytes.Size()) == 0) return kDerMissing;
  size_t length = bytes.Size();
  const uint8_t* content = DerParseHeader(bytes.at, length, node.tag);
  if (content == nullptr) return kDerMalformed;
  if (length == 0 || DerElementLength(content, length) == 0) return kStatusOk;
  // Every child is measured now, as a split does, so a bad later child fails
  // before an earlier one is read.
  int count = 0;
  for (size_t left = length; left > 0;) {
    const size_t m = DerElementLength(content + (length - left), left);
    if (m == 0) return kDerMalformed;
    left -= m;
    ++count;
  }
  node.children = {content, content + length};
  node.count = count;
  return kStatusOk;
}

int DerChildAt(const DerNode& node, int i, DerRun& child) {
  if (i < 0 || i >= node.count) return kDerMissing;
  DerRun run = node.children;
  for (int k = 0; k < i; ++k) DerTakeChild(run);
  child = DerTakeChild(run);
  return kStatusOk;
}

DerRun DerTakeChild(DerRun& run) {
  const size_t m = DerElementLength(run.at, run.Size());
  const DerRun child{run.at, run.at + m};
  run.at += m;
  return child;
}

int DerContentAt(DerRun bytes, DerRun& content, int* tag) {
  size_t length = 0;
  TORNELL_TRY(Locate(bytes, length));
  int headerTag = 0;
  const uint8_t* body = DerParseHeader(bytes.at, length, headerTag);
  if (body == nullptr) return kDerMalformed;
  content = {body, body + length};
  if (tag != nullptr) *tag = headerTag;
  return kStatusOk;
}

int DerContentAt(DerRun bytes, ByteString& out, int* tag) {
  DerRun content;
  int headerTag = 0;
  TORNELL_TRY(DerContentAt(bytes, content, &headerTag));
  TORNELL_TRY(out.Set(content.at, content.Length()));
  if (tag != nullptr) *tag = headerTag;
  return kStatusOk;
}

namespace {

// Steps over any leading 0x2E bytes to the OID element: 447 when incomplete.
int LocateOid(DerRun& bytes, size_t& length) {
  while (!bytes.Empty() && bytes.at[0] == 0x2E) ++bytes.at;
  return Locate(bytes, length);
}

}  // namespace

int DerOidCheckAt(DerRun bytes) {
  size_t length = 0;
  TORNELL_TRY(LocateOid(bytes, length));
  uint32_t arcs[kMaxOidArcs];
  int count = kMaxOidArcs;
  return DerReadOid(bytes.at, length, arcs, count) == nullptr ? kDerMalformed : kStatusOk;
}

int DerOidTextAt(DerRun bytes, ByteString& text) {
  size_t length = 0;
  TORNELL_TRY(LocateOid(bytes, length));
  return DerOidDotted(bytes.at, length, text);
}

int DerOidDotted(const uint8_t* element, size_t length, ByteString& text) {
  uint32_t arcs[kMaxOidArcs];
  int count = kMaxOidArcs;
  if (DerReadOid(element, length, arcs, count) == nullptr) return kDerMalformed;
  // Written in place: certificate decoding reads many OIDs.
  char dotted[kMaxOidArcs * 11];
  char* cursor = dotted;
  for (int i = 0; i < count; ++i) {
    if (i > 0) *cursor++ = '.';
    FormatPaddedUnsigned(&cursor, arcs[i], 0, '0');
  }
  return text.Set(dotted, static_cast<int>(cursor - dotted));
}

int DerBitStringAt(DerRun bytes, DerRun& bits) {
  DerRun content;
  TORNELL_TRY(DerContentAt(bytes, content));
  if (content.Size() < 2) return kEmptyBitString;
  if (content.at[0] > 7) return kDerMalformed;
  bits = {content.at + 1, content.end};
  return kStatusOk;
}

int DerBitStringAt(DerRun bytes, ByteString& out) {
  DerRun bits;
  TORNELL_TRY(DerBitStringAt(bytes, bits));
  return out.Set(bits.at, bits.Length());
}

int DerIntegerBytesAt(DerRun bytes, ByteString& out) {
  DerRun content;
  int tag = 0;
  TORNELL_TRY(DerContentAt(bytes, content, &tag));
  if (tag != 0x02) return kDerMalformed;
  if (!content.Empty() && content.at[0] == 0x00) ++content.at;
  return out.Set(content.at, content.Length());
}

int DerIntAt(DerRun bytes, int& out) {
  size_t length = 0;
  TORNELL_TRY(Locate(bytes, length));
  int64_t value = 0;
  if (DerReadInteger(bytes.at, length, value, 4) == nullptr) return kDerMalformed;
  out = static_cast<int>(value);
  return kStatusOk;
}

}  // namespace tornell::pki
