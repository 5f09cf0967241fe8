#pragma once
// DER read in place: runs of sibling elements and the elements taken from
// them point into the caller's bytes, which must outlive them. The readers
// give the answers a split DerElement tree and DerWriter's readers give for
// the same bytes, statuses included, without building nodes or copying.
#include <cstddef>
#include <cstdint>

#include "core/text/ByteString.h"

namespace tornell::pki {

struct DerRun {
  const uint8_t* at = nullptr;
  const uint8_t* end = nullptr;
  bool Empty() const { return at >= end; }
  size_t Size() const { return at < end ? size_t(end - at) : 0; }
  int Length() const { return int(Size()); }
};

struct DerPiece {
  int tag = 0;
  DerRun whole;
  DerRun content;
  bool Constructed() const { return (tag & 0x20) != 0; }
};

inline DerRun DerRunOf(const void* data, size_t length) {
  const auto* at = static_cast<const uint8_t*>(data);
  return {at, at + length};
}
inline DerRun DerRunOf(const ByteString& bytes) { return DerRunOf(bytes.Data(), size_t(bytes.Length())); }

// Takes the next element of a run that is not empty: 446 when it cannot be
// measured or has a high tag number.
[[nodiscard]] int NextElement(DerRun& run, DerPiece& piece);

// The element at the start of some bytes split one level, as a tree node
// splits: 447 when the element is incomplete, 446 for a high tag number or a
// child that cannot be measured. The content that does not start with a whole
// element (or is empty) has no children.
struct DerNode {
  int tag = 0;
  DerRun children;  // the content, every child measured
  int count = 0;
};
[[nodiscard]] int DerSplit(DerRun bytes, DerNode& node);
// The whole encoding of child i, 447 past the child count.
[[nodiscard]] int DerChildAt(const DerNode& node, int i, DerRun& child);
// The next child of a split node's run (which must not be empty).
DerRun DerTakeChild(DerRun& run);

// Readers of the element at the start of some bytes, as DerWriter's readers
// of element 0: 447 when it is incomplete, 446 when it cannot be read.
[[nodiscard]] int DerContentAt(DerRun bytes, DerRun& content, int* tag = nullptr);
[[nodiscard]] int DerContentAt(DerRun bytes, ByteString& out, int* tag = nullptr);
// Leading 0x2E bytes are skipped, as DerWriter::ReadOid does.
[[nodiscard]] int DerOidTextAt(DerRun bytes, ByteString& text);
// The dotted text of the OID element of `length` bytes at `element`: 446
// when it cannot be read.
[[nodiscard]] int DerOidDotted(const uint8_t* element, size_t length, ByteString& text);
// DerOidTextAt's status without the text.
[[nodiscard]] int DerOidCheckAt(DerRun bytes);
// The content after the unused-bits count.
[[nodiscard]] int DerBitStringAt(DerRun bytes, DerRun& bits);
[[nodiscard]] int DerBitStringAt(DerRun bytes, ByteString& out);
[[nodiscard]] int DerIntegerBytesAt(DerRun bytes, ByteString& out);
[[nodiscard]] int DerIntAt(DerRun bytes, int& out);

}  // namespace tornell::pki
