#pragma once
// DER building blocks of the Kerberos messages (RFC 4120) and the entries
// read from ETYPE-INFO2. Context tags [n] are 0xA0 + n holding one element;
// [APPLICATION n] is 0x60 + n.
#include "core/buffer/PtrList.h"
#include "core/text/ByteString.h"

namespace tornell::net {

constexpr int kKerberosTagInteger = 0x02;
constexpr int kKerberosTagBitString = 0x03;
constexpr int kKerberosTagOctetString = 0x04;
constexpr int kKerberosTagOid = 0x06;
constexpr int kKerberosTagTime = 0x18;
constexpr int kKerberosTagString = 0x1B;
constexpr int kKerberosTagSequence = 0x30;
constexpr int kKerberosContext = 0xA0;
constexpr int kKerberosApplication = 0x60;

// INTEGER value under [n]; replaces out.
[[nodiscard]] int KerberosAppendContextInt(int value, int n, ByteString& out);
// With an inner tag, data first becomes a primitive element of that tag; the
// result is wrapped in one element of the outer tag. Replaces out.
[[nodiscard]] int KerberosAppendExplicit(const ByteString& data, int innerTag, int outerTag, ByteString& out);
// The pieces joined, wrapped in a SEQUENCE (0x82 length form from 128 bytes).
[[nodiscard]] int KerberosSequence(const ByteString* const* pieces, int count, ByteString& out);
// Content of the n-th element (from 0) of source, and its tag.
[[nodiscard]] int KerberosReadElement(const ByteString& source, ByteString& destination, int n, int* tag);
// Element 0 of the buffer as INTEGER.
[[nodiscard]] int KerberosReadInt(const ByteString& buffer, int& out);
// Content bytes of element 0 of the buffer.
[[nodiscard]] int KerberosReadString(const ByteString& buffer, ByteString& out);
// The buffer becomes the content of its first element.
[[nodiscard]] int KerberosUnwrap(ByteString& buffer, int* tag = nullptr);
// Current UTC time as "yyyyMMddHHmmssZ".
int KerberosUtcTime(ByteString& out);

struct EtypeInfoEntry {
  int etype = 0;
  ByteString salt;
  ByteString s2kparams;

  // The list's copy; null when memory runs out.
  EtypeInfoEntry* Clone() const;
};

using EtypeInfoList = PtrList<EtypeInfoEntry>;

// Every ETYPE-INFO2-ENTRY of the value in order; in an entry each child is
// taken by its tag, others skipped.
[[nodiscard]] int ParseEtypeInfo2(const ByteString& value, EtypeInfoList& list);

}  // namespace tornell::net
