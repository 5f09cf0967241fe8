// The messages the client sends: AS-REQ and TGS-REQ with their body and
// PA-DATA, the AP-REQ with its authenticator, and the GSS-API token.
#include <cstring>

#include "core/base/Status.h"
#include "net/kerberos/KerberosClient.h"
#include "net/kerberos/KerberosMessages.h"
#include "net/kerberos/KerberosPrimitives.h"
#include "pki/der/DerWriter.h"

namespace tornell {

using namespace net;

namespace {

constexpr int kPvno = 5;
constexpr int kApReqType = 14;
constexpr int kNameTypeUnknown = 0;
constexpr int kNameTypePrincipal = 1;
constexpr int kNameTypeService = 2;
constexpr int kPaTgsReq = 1;
constexpr int kPaEncTimestamp = 2;
constexpr int kUsagePaEncTimestamp = 1;
constexpr int kUsageTgsAuthenticator = 7;
constexpr int kUsageApAuthenticator = 11;
// forwarded (2), proxy (4), enc-tkt-in-skey (28), renew (30), validate (31)
constexpr uint32_t kAsForbiddenOptions = 0x2800000B;
constexpr uint8_t kMutualRequired = 0x20;
constexpr char kFarFuture[] = "19700101000000Z";
constexpr uint8_t kKerberosV5Oid[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x12, 0x01, 0x02, 0x02};

// [n] around a primitive element of the tag.
int Field(const ByteString& data, int tag, int n, ByteString& out) {
  return KerberosAppendExplicit(data, tag, kKerberosContext + n, out);
}

int FieldText(const char* text, int tag, int n, ByteString& out) {
  ByteString data;
  TORNELL_TRY(data.Set(text));
  return Field(data, tag, n, out);
}

// [n] around an element already encoded.
int Wrap(const ByteString& element, int n, ByteString& out) {
  return KerberosAppendExplicit(element, 0, kKerberosContext + n, out);
}

// An INTEGER of exactly four content bytes, whatever their value.
int FourByteInteger(const ByteString& bytes, int n, ByteString& out) { return Field(bytes, kKerberosTagInteger, n, out); }

int RandomFourBytes(uint8_t mask, ByteString& out) {
  TORNELL_TRY(KerberosRandomBytes(4, out));
  out.Data()[0] = static_cast<char>(out.Bytes()[0] & mask);
  return kStatusOk;
}

int BitString(uint32_t word, int n, ByteString& out) {
  ByteString bits;
  TORNELL_TRY(bits.Resize(5));
  bits.Data()[0] = 0;
  for (int i = 0; i < 4; ++i) bits.Data()[1 + i] = static_cast<char>(word >> (24 - 8 * i));
  return Field(bits, kKerberosTagBitString, n, out);
}

}  // namespace

uint32_t KerberosClient::RequestKdcOptions(uint32_t options, int messageType) {
  return messageType == kKerberosAsReq ? options & ~kAsForbiddenOptions : options;
}

int KerberosClient::BuildPrincipalName(const ByteString& text, ByteString& out, int nameType) {
  const char* data = text.Data();
  const int length = text.Length();
  const void* slash = std::memchr(data, '/', static_cast<size_t>(length));
  const void* at = slash != nullptr ? slash : std::memchr(data, '@', static_cast<size_t>(length));
  pki::DerWriter components;
  if (at == nullptr) {
    TORNELL_TRY(components.AppendPrimitive(data, length, kKerberosTagString));
  } else {
    const int split = static_cast<int>(static_cast<const char*>(at) - data);
    TORNELL_TRY(components.AppendPrimitive(data, split, kKerberosTagString));
    TORNELL_TRY(components.AppendPrimitive(data + split + 1, length - split - 1, kKerberosTagString));
  }
  ByteString type, names, sequence;
  TORNELL_TRY(KerberosAppendContextInt(nameType, 0, type));
  const ByteString* inner[] = {&components.output};
  TORNELL_TRY(KerberosSequence(inner, 1, sequence));
  TORNELL_TRY(Wrap(sequence, 1, names));
  const ByteString* fields[] = {&type, &names};
  return KerberosSequence(fields, 2, out);
}

int KerberosClient::BuildKdcRequestBody(int messageType, ByteString& out) {
  const bool as = messageType == kKerberosAsReq;
  ByteString options, cname, realm, sname, till, nonce, etypes;
  TORNELL_TRY(BitString(RequestKdcOptions(kdcOptions_, messageType), 0, options));
  ByteString name;
  if (as) {
    TORNELL_TRY(BuildPrincipalName(user_, name, kNameTypePrincipal));
    TORNELL_TRY(Wrap(name, 1, cname));
  }
  TORNELL_TRY(Field(realm_, kKerberosTagString, 2, realm));
  if (as) {
    ByteString krbtgt;
    TORNELL_TRY(krbtgt.Set("krbtgt@"));
    TORNELL_TRY(krbtgt.Append(realm_));
    TORNELL_TRY(BuildPrincipalName(krbtgt, name, kNameTypeService));
  } else {
    TORNELL_TRY(BuildPrincipalName(servicePrincipal_, name, kNameTypeUnknown));
  }
  TORNELL_TRY(Wrap(name, 3, sname));
  TORNELL_TRY(FieldText(kFarFuture, kKerberosTagTime, 5, till));
  ByteString nonceBytes;
  TORNELL_TRY(RandomFourBytes(0x3F, nonceBytes));
  nonce_ = static_cast<int>(KerberosReadU32BigEndian(nonceBytes));
  TORNELL_TRY(FourByteInteger(nonceBytes, 7, nonce));
  pki::DerWriter list;
  for (int i = 0; i < etypeList_.Length(); ++i) TORNELL_TRY(list.AppendInteger(etypeList_.Bytes()[i]));
  ByteString sequence;
  const ByteString* items[] = {&list.output};
  TORNELL_TRY(KerberosSequence(items, 1, sequence));
  TORNELL_TRY(Wrap(sequence, 8, etypes));
  const ByteString* fields[] = {&options, as ? &cname : nullptr, &realm, &sname, &till, &nonce, &etypes};
  return KerberosSequence(fields, 7, out);
}

// The body goes first: the TGS-REQ's authenticator checksums its bytes.
int KerberosClient::BuildKdcRequest(int messageType, bool firstAsRequest, ByteString& out) {
  ByteString body, pvno, type, padata, reqBody;
  TORNELL_TRY(BuildKdcRequestBody(messageType, body));
  TORNELL_TRY(KerberosAppendContextInt(kPvno, 1, pvno));
  TORNELL_TRY(KerberosAppendContextInt(messageType, 2, type));
  const bool withPadata = !(messageType == kKerberosAsReq && firstAsRequest);
  if (withPadata) {
    ByteString methodData;
    TORNELL_TRY(BuildPaData(messageType, body, methodData));
    TORNELL_TRY(Wrap(methodData, 3, padata));
  }
  TORNELL_TRY(Wrap(body, 4, reqBody));
  const ByteString* fields[] = {&pvno, &type, withPadata ? &padata : nullptr, &reqBody};
  ByteString sequence;
  TORNELL_TRY(KerberosSequence(fields, 4, sequence));
  return KerberosAppendExplicit(sequence, 0, kKerberosApplication + messageType, out);
}

int KerberosClient::BuildPaData(int messageType, const ByteString& body, ByteString& out) {
  ByteString value;
  int paType = kPaEncTimestamp;
  if (messageType == kKerberosAsReq) {
    TORNELL_TRY(BuildEncTimestamp(value));
  } else {
    paType = kPaTgsReq;
    TORNELL_TRY(BuildApReq(value, body, true));
  }
  ByteString type, octets, paData;
  TORNELL_TRY(KerberosAppendContextInt(paType, 1, type));
  TORNELL_TRY(Field(value, kKerberosTagOctetString, 2, octets));
  const ByteString* fields[] = {&type, &octets};
  TORNELL_TRY(KerberosSequence(fields, 2, paData));
  const ByteString* list[] = {&paData};
  return KerberosSequence(list, 1, out);
}

int KerberosClient::BuildPaEncTsEnc(ByteString& out) {
  ByteString now, field;
  TORNELL_TRY(KerberosUtcTime(now));
  TORNELL_TRY(Field(now, kKerberosTagTime, 0, field));
  const ByteString* fields[] = {&field};
  return KerberosSequence(fields, 1, out);
}

int KerberosClient::BuildEncryptedData(int etype, const ByteString& cipher, ByteString& out) {
  ByteString type, octets;
  TORNELL_TRY(KerberosAppendContextInt(etype, 0, type));
  TORNELL_TRY(Field(cipher, kKerberosTagOctetString, 2, octets));
  const ByteString* fields[] = {&type, &octets};
  return KerberosSequence(fields, 2, out);
}

int KerberosClient::BuildEncTimestamp(ByteString& out) {
  if (salt_.IsEmpty()) {
    TORNELL_TRY(salt_.Assign(realm_));
    TORNELL_TRY(salt_.Append(user_));
  }
  SecretBytes key;
  if (keytab_.GetFileName()[0] != '\0' && !keytab_.GetSelectedKey().IsEmpty()) {
    TORNELL_TRY(key.Assign(keytab_.GetSelectedKey()));
  } else {
    TORNELL_TRY(ClientKey(etype_, ByteString(), key));
  }
  ByteString plain, cipher;
  TORNELL_TRY(BuildPaEncTsEnc(plain));
  TORNELL_TRY(EncryptData(etype_, plain, key, kUsagePaEncTimestamp, cipher));
  return BuildEncryptedData(etype_, cipher, out);
}

int KerberosClient::BuildChecksum(int etype, const ByteString& key, const ByteString& data, ByteString& out) {
  ByteString checksum;
  int type = 0;
  TORNELL_TRY(ComputeChecksum(etype, -1, key, data, checksum, type));
  out.Clear();
  if (checksum.IsEmpty()) return kStatusOk;
  ByteString typeField, octets, sequence;
  TORNELL_TRY(KerberosAppendContextInt(type, 0, typeField));
  TORNELL_TRY(Field(checksum, kKerberosTagOctetString, 1, octets));
  const ByteString* fields[] = {&typeField, &octets};
  TORNELL_TRY(KerberosSequence(fields, 2, sequence));
  return Wrap(sequence, 3, out);
}

int KerberosClient::BuildAuthenticator(const ByteString& body, bool insideTgsRequest, ByteString& out) {
  ByteString vno, crealm, cname, cksum, cusec, ctime, seqNumber;
  SecretBytes subkey;
  TORNELL_TRY(KerberosAppendContextInt(kPvno, 0, vno));
  TORNELL_TRY(Field(realm_, kKerberosTagString, 1, crealm));
  ByteString name;
  TORNELL_TRY(BuildPrincipalName(user_, name, kNameTypePrincipal));
  TORNELL_TRY(Wrap(name, 2, cname));
  if (insideTgsRequest) TORNELL_TRY(BuildChecksum(etype_, sessionKey_, body, cksum));
  TORNELL_TRY(KerberosAppendContextInt(0, 4, cusec));
  ByteString now;
  TORNELL_TRY(KerberosUtcTime(now));
  TORNELL_TRY(Field(now, kKerberosTagTime, 5, ctime));
  if (!insideTgsRequest) {
    SecretBytes keyvalue, keytype, encryptionKey;
    TORNELL_TRY(MakeRandomKey(etype_, subkey_, keyvalue));
    TORNELL_TRY(KerberosAppendContextInt(etype_, 0, keytype));
    const ByteString* keyFields[] = {&keytype, &keyvalue};
    TORNELL_TRY(KerberosSequence(keyFields, 2, encryptionKey));
    TORNELL_TRY(Wrap(encryptionKey, 6, subkey));
    ByteString sequence;
    TORNELL_TRY(KerberosRandomSeqNumber(sequence));
    TORNELL_TRY(FourByteInteger(sequence, 7, seqNumber));
  }
  const ByteString* fields[] = {&vno,  &crealm, &cname,
                                insideTgsRequest && !cksum.IsEmpty() ? &cksum : nullptr,
                                &cusec, &ctime, insideTgsRequest ? nullptr : &subkey,
                                insideTgsRequest ? nullptr : &seqNumber};
  SecretBytes sequence;
  TORNELL_TRY(KerberosSequence(fields, 8, sequence));
  return KerberosAppendExplicit(sequence, 0, kKerberosApplication + 2, out);
}

int KerberosClient::BuildApReq(ByteString& out, const ByteString& body, bool insideTgsRequest) {
  ByteString pvno, type, options, ticket, authenticator;
  TORNELL_TRY(KerberosAppendContextInt(kPvno, 0, pvno));
  TORNELL_TRY(KerberosAppendContextInt(kApReqType, 1, type));
  TORNELL_TRY(BitString(insideTgsRequest ? 0u : static_cast<uint32_t>(kMutualRequired) << 24, 2, options));
  TORNELL_TRY(Wrap(ticket_, 3, ticket));
  SecretBytes plain;
  TORNELL_TRY(BuildAuthenticator(body, insideTgsRequest, plain));
  ByteString cipher, encrypted;
  TORNELL_TRY(EncryptData(etype_, plain, sessionKey_,
                          insideTgsRequest ? kUsageTgsAuthenticator : kUsageApAuthenticator, cipher));
  TORNELL_TRY(BuildEncryptedData(etype_, cipher, encrypted));
  TORNELL_TRY(Wrap(encrypted, 4, authenticator));
  const ByteString* fields[] = {&pvno, &type, &options, &ticket, &authenticator};
  ByteString sequence;
  TORNELL_TRY(KerberosSequence(fields, 5, sequence));
  return KerberosAppendExplicit(sequence, 0, kKerberosApplication + kApReqType, out);
}

int KerberosClient::WrapGssToken(const ByteString& apReq, ByteString& out) {
  if (apReq.IsEmpty()) return kStatusOk;
  pki::DerWriter writer;
  TORNELL_TRY(writer.AppendPrimitive(kKerberosV5Oid, sizeof kKerberosV5Oid, kKerberosTagOid));
  TORNELL_TRY(writer.output.AppendByte(0x01));
  TORNELL_TRY(writer.output.AppendByte(0x00));
  TORNELL_TRY(writer.output.Append(apReq));
  TORNELL_TRY(writer.WrapAllMinimal(kKerberosApplication));
  return out.Set(writer.output.Data(), writer.output.Length());
}

}  // namespace tornell
