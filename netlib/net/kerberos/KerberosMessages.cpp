#include "net/kerberos/KerberosMessages.h"

#include <ctime>
#include <new>

#include "core/base/Status.h"
#include "pki/der/DerWriter.h"

namespace tornell::net {

int KerberosAppendContextInt(int value, int n, ByteString& out) {
  pki::DerWriter writer;
  TORNELL_TRY(writer.AppendInteger(value));
  TORNELL_TRY(writer.WrapAllMinimal(kKerberosContext + n));
  return out.Set(writer.output.Data(), writer.output.Length());
}

int KerberosAppendExplicit(const ByteString& data, int innerTag, int outerTag, ByteString& out) {
  pki::DerWriter writer;
  if (innerTag != 0) {
    TORNELL_TRY(writer.AppendPrimitive(data.Data(), data.Length(), innerTag));
  } else {
    TORNELL_TRY(writer.output.Set(data.Data(), data.Length()));
  }
  TORNELL_TRY(writer.WrapAllMinimal(outerTag));
  return out.Set(writer.output.Data(), writer.output.Length());
}

int KerberosSequence(const ByteString* const* pieces, int count, ByteString& out) {
  pki::DerWriter writer;
  for (int i = 0; i < count; ++i) {
    if (pieces[i] != nullptr) TORNELL_TRY(writer.output.Append(*pieces[i]));
  }
  TORNELL_TRY(writer.WrapAll(kKerberosTagSequence));
  return out.Set(writer.output.Data(), writer.output.Length());
}

int KerberosReadElement(const ByteString& source, ByteString& destination, int n, int* tag) {
  pki::DerWriter reader;
  TORNELL_TRY(reader.output.Set(source.Data(), source.Length()));
  return reader.ReadElement(n, destination, tag);
}

int KerberosReadInt(const ByteString& buffer, int& out) {
  pki::DerWriter reader;
  TORNELL_TRY(reader.output.Set(buffer.Data(), buffer.Length()));
  return reader.ReadInt(0, out);
}

int KerberosReadString(const ByteString& buffer, ByteString& out) {
  pki::DerWriter reader;
  TORNELL_TRY(reader.output.Set(buffer.Data(), buffer.Length()));
  return reader.ReadString(0, out);
}

int KerberosUnwrap(ByteString& buffer, int* tag) {
  ByteString content;
  TORNELL_TRY(KerberosReadElement(buffer, content, 0, tag));
  return buffer.Set(content.Data(), content.Length());
}

int KerberosUtcTime(ByteString& out) {
  const std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  const size_t n = std::strftime(text, sizeof text, "%Y%m%d%H%M%SZ", &parts);
  // strftime never counts past the buffer; bounding n says so to the
  // optimiser too, which otherwise sees a copy of up to the string's size.
  return out.Set(text, static_cast<int>(n < sizeof text ? n : 0));
}

EtypeInfoEntry* EtypeInfoEntry::Clone() const {
  auto* copy = new (std::nothrow) EtypeInfoEntry();
  if (copy == nullptr) return nullptr;
  copy->etype = etype;
  if (copy->salt.Assign(salt) != 0 || copy->s2kparams.Assign(s2kparams) != 0) {
    delete copy;
    return nullptr;
  }
  return copy;
}

namespace {

// Fields of one entry, each taken by its tag; others are skipped.
int ReadEtypeInfo2Entry(const ByteString& fields, EtypeInfoEntry& entry) {
  pki::DerWriter reader;
  TORNELL_TRY(reader.output.Set(fields.Data(), fields.Length()));
  ByteString field;
  for (int i = 0;; ++i) {
    int tag = 0;
    const int status = reader.ReadElement(i, field, &tag);
    if (status == pki::kDerMissing) return kStatusOk;
    TORNELL_TRY(status);
    if (tag == kKerberosContext + 0) {
      TORNELL_TRY(KerberosReadInt(field, entry.etype));
    } else if (tag == kKerberosContext + 1) {
      TORNELL_TRY(KerberosReadString(field, entry.salt));
    } else if (tag == kKerberosContext + 2) {
      TORNELL_TRY(KerberosReadString(field, entry.s2kparams));
    }
  }
}

}  // namespace

int ParseEtypeInfo2(const ByteString& value, EtypeInfoList& list) {
  pki::DerWriter reader;
  TORNELL_TRY(KerberosReadElement(value, reader.output, 0, nullptr));
  ByteString fields;
  for (int i = 0;; ++i) {
    const int status = reader.ReadElement(i, fields);
    if (status == pki::kDerMissing) return kStatusOk;
    TORNELL_TRY(status);
    EtypeInfoEntry entry;
    TORNELL_TRY(ReadEtypeInfo2Entry(fields, entry));
    TORNELL_TRY(list.Append(entry));
  }
}

}  // namespace tornell::net
