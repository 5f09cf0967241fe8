// The GSS-API, SPNEGO and Kerberos part of the token descriptions. Every
// element is measured against what is left of its parent before it is read.
#include <cstring>

#include "core/base/Status.h"
#include "net/auth/NtlmProvider.h"
#include "pki/der/DerCodec.h"
#include "pki/der/DerWriter.h"

namespace tornell {

namespace {

using pki::DerWriter;

const char kSpnegoOid[] = "1.3.6.1.5.5.2";
const char kKerberosOid[] = "1.2.840.113554.1.2.2";
constexpr int kTagNegTokenInit = 0xA0;
constexpr int kTagNegTokenResp = 0xA1;
constexpr int kTagMechTypes = 0xA0;
constexpr int kTagMechToken = 0xA2;
constexpr int kTokenApReq = 1;
constexpr int kTokenApRep = 2;
constexpr int kTokenError = 3;
constexpr int kMsgApReq = 14;
constexpr int kMsgError = 30;
constexpr int kApOptionsFlagsBack = 4;

// Content of the n-th element of bytes.
int Element(const ByteString& bytes, int n, ByteString& out, int* tag = nullptr) {
  DerWriter reader;
  TORNELL_TRY(reader.output.Assign(bytes));
  return reader.ReadElement(n, out, tag);
}

// Content of the element with the given context tag inside a SEQUENCE's content.
int Tagged(const ByteString& sequence, int tag, ByteString& out) {
  for (int i = 0;; ++i) {
    int found = 0;
    TORNELL_TRY(Element(sequence, i, out, &found));
    if (found == tag) return kStatusOk;
  }
}

// [n] INTEGER inside a SEQUENCE's content.
int TaggedInt(const ByteString& sequence, int tag, int& value) {
  ByteString inner;
  TORNELL_TRY(Tagged(sequence, tag, inner));
  DerWriter reader;
  TORNELL_TRY(reader.output.Assign(inner));
  return reader.ReadInt(0, value);
}

// Peer text, never with a zero byte in the log.
int AppendText(ByteString& log, const ByteString& text) {
  for (int i = 0; i < text.Length(); ++i) {
    const int c = text.ByteAt(i);
    TORNELL_TRY(log.AppendByte(c == 0 ? '?' : c));
  }
  return kStatusOk;
}

int DumpMechTypes(const ByteString& content, ByteString& log) {
  TORNELL_TRY(log.Append("\t\tFound mech types: \r\n"));
  ByteString list;
  TORNELL_TRY(Element(content, 0, list));
  DerWriter reader;
  TORNELL_TRY(reader.output.Assign(list));
  for (int i = 0;; ++i) {
    ByteString oid;
    const int status = reader.ReadOid(i, oid);
    if (status == pki::kDerMissing) return kStatusOk;
    TORNELL_TRY(status);
    TORNELL_TRY(log.AppendFormat("\t\t\t%s\r\n", oid.CStr()));
  }
}

int DumpMechToken(const ByteString& token, ByteString& log) {
  if (token.IsEmpty() || (token.ByteAt(0) & 0x60) != 0x60) return log.Append("\r\n");
  DerWriter reader;
  TORNELL_TRY(reader.output.Assign(token));
  TORNELL_TRY(reader.Unwrap(nullptr));
  ByteString oid;
  TORNELL_TRY(reader.ReadOid(0, oid));
  if (!oid.Equals(kKerberosOid)) return log.AppendFormat("\t\tUnknown mech token, OID is %s\r\n", oid.CStr());
  ByteString ignored;
  int type = 0;
  TORNELL_TRY(reader.ReadElement(1, ignored, &type));
  const char* name = type == kTokenApReq   ? "Kerberos KRB_AP_REQ token:\r\n"
                     : type == kTokenApRep ? "Kerberos KRB_AP_REP token:\r\n"
                     : type == kTokenError ? "Kerberos KRB_ERROR token:\r\n"
                                           : nullptr;
  if (name == nullptr) return log.AppendFormat("Unknown type(%d)\r\n", type);
  TORNELL_TRY(log.Append(name));
  // The message follows the OID and the two-byte token identifier, whole.
  const uint8_t* at = reader.output.Bytes();
  size_t left = static_cast<size_t>(reader.output.Length());
  for (int i = 0; i < 2; ++i) {
    const size_t length = pki::DerElementLength(at, left);
    if (length == 0) return pki::kDerMalformed;
    at += length;
    left -= length;
  }
  ByteString message;
  TORNELL_TRY(message.Set(at, static_cast<int>(left)));
  return NtlmProvider::DumpKerberosMessage(message, log, "\t\t\t");
}

int DumpTicket(const ByteString& element, ByteString& log, const char* indent) {
  DerWriter ticket;
  TORNELL_TRY(ticket.output.Assign(element));
  TORNELL_TRY(ticket.Unwrap(nullptr));  // [APPLICATION 1]
  ByteString fields;
  TORNELL_TRY(ticket.ReadElement(0, fields));
  int version = 0;
  TORNELL_TRY(TaggedInt(fields, 0xA0, version));
  TORNELL_TRY(log.AppendFormat("%sTicket: \r\n%s\tTkt-vno: %d\r\n", indent, indent, version));
  ByteString wrapped;
  ByteString realm;
  TORNELL_TRY(Tagged(fields, 0xA1, wrapped));
  TORNELL_TRY(Element(wrapped, 0, realm));
  TORNELL_TRY(log.AppendFormat("%s\tRealm: ", indent));
  TORNELL_TRY(AppendText(log, realm));
  TORNELL_TRY(log.Append("\r\n"));
  ByteString principal;
  TORNELL_TRY(Tagged(fields, 0xA2, wrapped));
  TORNELL_TRY(Element(wrapped, 0, principal));
  int type = 0;
  TORNELL_TRY(TaggedInt(principal, 0xA0, type));
  TORNELL_TRY(log.AppendFormat("%s\tPrincipal Name: type(%d)\r\n", indent, type));
  ByteString names;
  TORNELL_TRY(Tagged(principal, 0xA1, wrapped));
  TORNELL_TRY(Element(wrapped, 0, names));
  for (int i = 0;; ++i) {
    ByteString name;
    const int status = Element(names, i, name);
    if (status == pki::kDerMissing) return kStatusOk;
    TORNELL_TRY(status);
    TORNELL_TRY(log.AppendFormat("%s\t\tName: ", indent));
    TORNELL_TRY(AppendText(log, name));
    TORNELL_TRY(log.Append("\r\n"));
  }
}

int DumpApRequest(const ByteString& fields, ByteString& log, const char* indent) {
  TORNELL_TRY(log.AppendFormat("%sNSG Type : AP-REQ (14)\r\n", indent));
  ByteString wrapped;
  ByteString options;
  TORNELL_TRY(Tagged(fields, 0xA2, wrapped));
  TORNELL_TRY(Element(wrapped, 0, options));  // unused-bits byte first
  if (options.Length() < kApOptionsFlagsBack) {
    TORNELL_TRY(log.AppendFormat("%sAPOptions: Unknown\r\n", indent));
  } else {
    const int flags = options.ByteAt(options.Length() - kApOptionsFlagsBack);
    TORNELL_TRY(log.AppendFormat("%sAPOptions: use-session-key(%d) mutual-required(%d) ", indent,
                                 (flags & 0x40) != 0 ? 1 : 0, (flags & 0x20) != 0 ? 1 : 0));
    TORNELL_TRY(log.AppendHex(options.Data(), options.Length()));
    TORNELL_TRY(log.Append("\r\n"));
  }
  ByteString ticket;
  TORNELL_TRY(Tagged(fields, 0xA3, ticket));
  TORNELL_TRY(DumpTicket(ticket, log, indent));
  ByteString encrypted;
  TORNELL_TRY(Tagged(fields, 0xA4, wrapped));
  TORNELL_TRY(Element(wrapped, 0, encrypted));
  int etype = 0;
  TORNELL_TRY(TaggedInt(encrypted, 0xA0, etype));
  return log.AppendFormat("%sAuthenticator Encryption Type: %d\r\n", indent, etype);
}

}  // namespace

int NtlmProvider::DumpGssToken(const ByteString& token, ByteString& log) {
  TORNELL_TRY(log.Append("Found GSS-API token:\r\n"));
  DerWriter reader;
  TORNELL_TRY(reader.output.Assign(token));
  TORNELL_TRY(reader.Unwrap(nullptr));
  ByteString oid;
  TORNELL_TRY(reader.ReadOid(0, oid));
  TORNELL_TRY(log.AppendFormat("\tOID: %s\r\n", oid.CStr()));
  if (!oid.Equals(kSpnegoOid)) return log.Append("Unknown token OID.");
  TORNELL_TRY(log.Append("\tFound SPNEGO token. "));
  ByteString body;
  int tag = 0;
  TORNELL_TRY(reader.ReadElement(1, body, &tag));
  if (tag == kTagNegTokenResp) return log.Append("Response token (NegTokenTarg).\r\n");
  if (tag != kTagNegTokenInit) return log.AppendFormat("Unknown token type (%d).\r\n", tag);
  TORNELL_TRY(log.Append("Init token (NegTokenInit):\r\n"));
  ByteString fields;
  TORNELL_TRY(Element(body, 0, fields));
  for (int i = 0;; ++i) {
    ByteString content;
    int field = 0;
    const int status = Element(fields, i, content, &field);
    if (status == pki::kDerMissing) return kStatusOk;
    TORNELL_TRY(status);
    if (field == kTagMechTypes) TORNELL_TRY(DumpMechTypes(content, log));
    if (field == kTagMechToken) {
      ByteString token;
      TORNELL_TRY(Element(content, 0, token));
      TORNELL_TRY(log.AppendFormat("\t\tFound mech token, length is %d. ", token.Length()));
      TORNELL_TRY(DumpMechToken(token, log));
    }
  }
}

int NtlmProvider::DumpKerberosMessage(const ByteString& message, ByteString& log, const char* indent) {
  if (message.IsEmpty()) return kStatusOk;
  if (indent == nullptr) indent = "";
  DerWriter reader;
  TORNELL_TRY(reader.output.Assign(message));
  TORNELL_TRY(reader.Unwrap(nullptr));  // [APPLICATION n]
  ByteString fields;
  TORNELL_TRY(reader.ReadElement(0, fields));
  int version = 0;
  TORNELL_TRY(TaggedInt(fields, 0xA0, version));
  TORNELL_TRY(log.AppendFormat("%sPvno : %d\r\n", indent, version));
  int type = 0;
  TORNELL_TRY(TaggedInt(fields, 0xA1, type));
  if (type == kMsgApReq) return DumpApRequest(fields, log, indent);
  if (type == kMsgError) return log.Append("NSG Type : KRB-ERROR (30)\r\n");
  return log.AppendFormat("\t\tNSG Type : Unknown (%d)\r\n", type);
}

}  // namespace tornell
