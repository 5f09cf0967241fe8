#include "pki/der/DerRun.h"

#include <cstring>

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

// Identifiers every certificate carries, by their content bytes: their text
// is copied instead of decoded arc by arc.
struct KnownOid {
  uint8_t length;
  uint8_t content[9];
  const char* text;
};
constexpr KnownOid kKnownOids[] = {
    {3, {0x55, 0x04, 0x03}, "2.5.4.3"},
    {3, {0x55, 0x04, 0x06}, "2.5.4.6"},
    {3, {0x55, 0x04, 0x07}, "2.5.4.7"},
    {3, {0x55, 0x04, 0x08}, "2.5.4.8"},
    {3, {0x55, 0x04, 0x0A}, "2.5.4.10"},
    {3, {0x55, 0x04, 0x0B}, "2.5.4.11"},
    {3, {0x55, 0x1D, 0x0E}, "2.5.29.14"},
    {3, {0x55, 0x1D, 0x0F}, "2.5.29.15"},
    {3, {0x55, 0x1D, 0x11}, "2.5.29.17"},
    {3, {0x55, 0x1D, 0x13}, "2.5.29.19"},
    {3, {0x55, 0x1D, 0x23}, "2.5.29.35"},
    {3, {0x55, 0x1D, 0x25}, "2.5.29.37"},
    {5, {0x2B, 0x81, 0x04, 0x00, 0x22}, "1.3.132.0.34"},
    {5, {0x2B, 0x81, 0x04, 0x00, 0x23}, "1.3.132.0.35"},
    {7, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x02, 0x01}, "1.2.840.10045.2.1"},
    {8, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x03, 0x01, 0x07}, "1.2.840.10045.3.1.7"},
    {8, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x02}, "1.2.840.10045.4.3.2"},
    {8, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x03}, "1.2.840.10045.4.3.3"},
    {8, {0x2A, 0x86, 0x48, 0xCE, 0x3D, 0x04, 0x03, 0x04}, "1.2.840.10045.4.3.4"},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01}, "1.2.840.113549.1.1.1"},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x05}, "1.2.840.113549.1.1.5"},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0A}, "1.2.840.113549.1.1.10"},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0B}, "1.2.840.113549.1.1.11"},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0C}, "1.2.840.113549.1.1.12"},
    {9, {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x0D}, "1.2.840.113549.1.1.13"},
};

// The text of a known identifier in a low-tag element with a short length
// that fits, else null.
const char* KnownOidText(const uint8_t* element, size_t length) {
  if (length < 2 || (element[0] & 0x1F) == 0x1F || element[1] >= 0x80 || size_t(element[1]) + 2 > length) {
    return nullptr;
  }
  const uint8_t n = element[1];
  for (const KnownOid& known : kKnownOids) {
    if (known.length == n && std::memcmp(known.content, element + 2, n) == 0) return known.text;
  }
  return nullptr;
}

}  // namespace

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
  if (KnownOidText(bytes.at, length) != nullptr) return kStatusOk;
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
  if (const char* known = KnownOidText(element, length)) return text.Set(known);
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
