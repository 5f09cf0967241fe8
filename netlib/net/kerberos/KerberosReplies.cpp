// The KDC's replies: AS-REP and TGS-REP with their encrypted part, KRB-ERROR,
// and the PA-DATA that choose the encryption type and salt.
#include <cstdio>

#include "core/base/Status.h"
#include "net/kerberos/KerberosClient.h"
#include "net/kerberos/KerberosMessages.h"
#include "net/kerberos/KerberosTables.h"
#include "pki/der/DerStatus.h"

namespace tornell {

using namespace net;

namespace {

constexpr uint8_t kAsRep = 0x6B;
constexpr uint8_t kTgsRep = 0x6D;
constexpr uint8_t kKrbError = 0x7E;
constexpr int kPreauthRequired = 25;
constexpr int kPaEncTimestamp = 2;
constexpr int kPaPwSalt = 3;
constexpr int kPaEtypeInfo = 11;
constexpr int kPaSamResponse = 12;
constexpr int kPaEtypeInfo2 = 19;
constexpr int kUsageAsRep = 3;
constexpr int kUsageTgsRep = 8;
constexpr int kRc4Fallback = kKerberosEtypeRc4Hmac;

bool KnownEtype(int etype) {
  return etype == kKerberosEtypeDesCbcMd5 || etype == kKerberosEtypeAes128 || etype == kKerberosEtypeAes256 ||
         etype == kKerberosEtypeRc4Hmac;
}

// Tag of the n-th element, 0 when there is none.
int TagAt(const ByteString& fields, int n) {
  ByteString unused;
  int tag = 0;
  return KerberosReadElement(fields, unused, n, &tag) == kStatusOk ? tag : 0;
}

// The type and the value's octets from the fields of a PA-DATA.
int ReadPaData(const ByteString& fields, int& type, ByteString& value) {
  ByteString field;
  TORNELL_TRY(KerberosReadElement(fields, field, 0, nullptr));
  TORNELL_TRY(KerberosReadInt(field, type));
  TORNELL_TRY(KerberosReadElement(fields, field, 1, nullptr));
  return KerberosReadString(field, value);
}

}  // namespace

int KerberosClient::ErrorResponse(const ByteString& message) {
  TORNELL_TRY(LogPacket(1, "Error response", message));
  return ReturnError(kStatusKerberosErrorResponse, "Error response");
}

int KerberosClient::ProcessReply(const ByteString& message) {
  const int first = message.ByteAt(0);
  if (first == kAsRep && state_ == kKerberosAsSent) {
    TORNELL_TRY(LogPacket(1, "KRB_AS_REP", message));
    return ProcessKdcReply(message, true);
  }
  if (first == kTgsRep && state_ == kKerberosTgsSent) {
    TORNELL_TRY(LogPacket(1, "KRB_TGS_REP", message));
    return ProcessKdcReply(message, false);
  }
  if (first == kKrbError && !message.IsEmpty()) {
    TORNELL_TRY(LogPacket(1, "KRB_ERROR", message));
    return ProcessKrbError(message);
  }
  return ErrorResponse(message);
}

int KerberosClient::ProcessKdcReply(const ByteString& message, bool asReply) {
  ByteString fields;
  TORNELL_TRY(fields.Assign(message));
  TORNELL_TRY(KerberosUnwrap(fields));
  TORNELL_TRY(KerberosUnwrap(fields));
  ByteString field, s2kparams;
  TORNELL_TRY(KerberosReadElement(fields, field, 0, nullptr));
  TORNELL_TRY(KerberosReadElement(fields, field, 1, nullptr));
  int tag = 0;
  TORNELL_TRY(KerberosReadElement(fields, field, 2, &tag));
  int at = 3;
  if (tag == kKerberosContext + 2) {
    TORNELL_TRY(ProcessPaData(field, s2kparams));
  } else {
    at = 2;
  }
  TORNELL_TRY(KerberosReadElement(fields, field, at, nullptr));
  TORNELL_TRY(KerberosReadElement(fields, field, at + 1, nullptr));
  TORNELL_TRY(KerberosReadElement(fields, ticket_, at + 2, nullptr));
  ByteString encPart;
  TORNELL_TRY(KerberosReadElement(fields, encPart, at + 3, nullptr));

  int partEtype = 0;
  ByteString cipher;
  TORNELL_TRY(DecryptReplyPart(encPart, partEtype, cipher));
  // Without ETYPE-INFO2 nothing has chosen the type yet; the reply names it.
  const int etype = KnownEtype(partEtype) ? partEtype : etype_;
  SecretBytes key;
  if (asReply) {
    if (salt_.IsEmpty()) {
      TORNELL_TRY(salt_.Assign(realm_));
      TORNELL_TRY(salt_.Append(user_));
    }
    TORNELL_TRY(ClientKey(etype, s2kparams, key));
  } else {
    TORNELL_TRY(key.Assign(sessionKey_));
  }
  SecretBytes plain;
  TORNELL_TRY(DecryptData(etype, cipher, key, asReply ? kUsageAsRep : kUsageTgsRep, plain));
  int keyType = 0;
  int nonce = 0;
  SecretBytes sessionKey;
  TORNELL_TRY(ParseEncKdcRepPart(plain, keyType, sessionKey, nonce));
  if (nonce != nonce_) return ReturnError(kStatusKerberosErrorResponse, "Error response");
  TORNELL_TRY(sessionKey_.Assign(sessionKey));
  return SetEtype(keyType);
}

int KerberosClient::DecryptReplyPart(const ByteString& encryptedData, int& etype, ByteString& cipher) {
  ByteString fields, field;
  TORNELL_TRY(KerberosReadElement(encryptedData, fields, 0, nullptr));
  TORNELL_TRY(KerberosReadElement(fields, field, 0, nullptr));
  TORNELL_TRY(KerberosReadInt(field, etype));
  int tag = 0;
  TORNELL_TRY(KerberosReadElement(fields, field, 1, &tag));
  if (tag == kKerberosContext + 1) TORNELL_TRY(KerberosReadElement(fields, field, 2, nullptr));
  return KerberosReadString(field, cipher);
}

int KerberosClient::ParseEncKdcRepPart(const ByteString& part, int& keyType, SecretBytes& key, int& nonce) {
  SecretBytes fields, encryptionKey, field;
  TORNELL_TRY(fields.Assign(part));
  TORNELL_TRY(KerberosUnwrap(fields));
  TORNELL_TRY(KerberosUnwrap(fields));
  TORNELL_TRY(KerberosReadElement(fields, encryptionKey, 0, nullptr));
  TORNELL_TRY(KerberosUnwrap(encryptionKey));
  TORNELL_TRY(KerberosReadElement(encryptionKey, field, 0, nullptr));
  TORNELL_TRY(KerberosReadInt(field, keyType));
  TORNELL_TRY(KerberosReadElement(encryptionKey, field, 1, nullptr));
  TORNELL_TRY(KerberosReadString(field, key));
  int tag = 0;
  TORNELL_TRY(KerberosReadElement(fields, field, 2, &tag));
  if (tag != kKerberosContext + 2) return ReturnError(kStatusKerberosErrorResponse, "Error response");
  return KerberosReadInt(field, nonce);
}

int KerberosClient::KrbErrorText(int code) {
  char text[320];
  std::snprintf(text, sizeof text, "Received KRB-ERROR response. Error Code: 0x%x (%s). %s.", code, kdcErrorName(code),
                kdcErrorText(code));
  return ReturnError(kStatusKerberosKrbError, text);
}

int KerberosClient::ProcessKrbError(const ByteString& message) {
  ByteString fields, field;
  TORNELL_TRY(fields.Assign(message));
  TORNELL_TRY(KerberosUnwrap(fields));
  TORNELL_TRY(KerberosUnwrap(fields));
  TORNELL_TRY(KerberosReadElement(fields, field, 0, nullptr));
  TORNELL_TRY(KerberosReadElement(fields, field, 1, nullptr));
  int at = 2;
  if (TagAt(fields, at) == kKerberosContext + 2) ++at;  // ctime
  if (TagAt(fields, at) == kKerberosContext + 3) ++at;  // cusec
  at += 2;                                              // stime, susec
  int code = 0;
  TORNELL_TRY(KerberosReadElement(fields, field, at, nullptr));
  TORNELL_TRY(KerberosReadInt(field, code));
  // A second demand answers the pre-authenticated request: asking again
  // would go round for ever.
  if (code != kPreauthRequired || state_ != kKerberosAsSent || preauthSent_) return KrbErrorText(code);
  ++at;
  for (int n = 7; n <= 11; ++n) {
    if (TagAt(fields, at) == kKerberosContext + n) ++at;  // crealm, cname, realm, sname, e-text
  }
  int tag = 0;
  if (KerberosReadElement(fields, field, at, &tag) == kStatusOk && tag == kKerberosContext + 12) {
    ByteString methodData, s2kparams;
    if (KerberosReadString(field, methodData) == kStatusOk) static_cast<void>(ProcessPaData(methodData, s2kparams));
    ClearError();
  }
  if (etype_ == -1) TORNELL_TRY(SetEtype(kRc4Fallback));
  state_ = kKerberosPreauthRequired;
  return kStatusOk;
}

// MIT KDCs put PA-FX-FAST ahead of PA-ETYPE-INFO2, so the whole list is
// searched for the latter; the first PA-DATA decides only when it is absent.
int KerberosClient::ProcessPaData(const ByteString& list, ByteString& s2kparams) {
  ByteString paList, paData, value;
  TORNELL_TRY(KerberosReadElement(list, paList, 0, nullptr));
  for (int i = 0;; ++i) {
    const int status = KerberosReadElement(paList, paData, i, nullptr);
    if (status == pki::kDerMissing) break;
    TORNELL_TRY(status);
    int type = 0;
    if (ReadPaData(paData, type, value) != kStatusOk || type != kPaEtypeInfo2) continue;
    return ProcessEtypeInfo2(value);
  }
  TORNELL_TRY(KerberosReadElement(paList, paData, 0, nullptr));
  int type = 0;
  TORNELL_TRY(ReadPaData(paData, type, value));
  switch (type) {
    case kPaPwSalt: return salt_.Assign(value);
    case kPaEncTimestamp:
    case kPaEtypeInfo:
    case kPaSamResponse: return ProcessEtypeInfo(value, s2kparams);
    case kPaEtypeInfo2: return ProcessEtypeInfo2(value);
    default: return kStatusOk;
  }
}

int KerberosClient::ProcessEtypeInfo(const ByteString& value, ByteString& s2kparams) {
  ByteString entry, field;
  TORNELL_TRY(KerberosReadElement(value, entry, 0, nullptr));
  TORNELL_TRY(KerberosUnwrap(entry));
  TORNELL_TRY(KerberosReadElement(entry, field, 0, nullptr));
  int etype = 0;
  TORNELL_TRY(KerberosReadInt(field, etype));
  int tag = 0;
  if (KerberosReadElement(entry, field, 1, &tag) == kStatusOk) {
    if (tag == kKerberosContext + 1) TORNELL_TRY(KerberosReadString(field, salt_));
    if (tag == kKerberosContext + 2) TORNELL_TRY(KerberosReadString(field, s2kparams));
  }
  return etype != 0 ? SetEtype(etype) : kStatusOk;
}

int KerberosClient::ApplyEtypeInfoEntry(const EtypeInfoEntry& entry, bool keytabMatch) {
  TORNELL_TRY(SetEtype(entry.etype));
  TORNELL_TRY(LogFormat(1, keytabMatch ? "Encrypt type match, Current Encrypt Type is %d." : "Current Encrypt Type is %d.",
                        entry.etype));
  if (entry.salt.IsEmpty()) return kStatusOk;
  TORNELL_TRY(salt_.Assign(entry.salt));
  return LogFormat(1, "Current Salt is \"%s\".", salt_.CStr());
}

int KerberosClient::ProcessEtypeInfo2(const ByteString& value) {
  EtypeInfoList entries;
  TORNELL_TRY(ParseEtypeInfo2(value, entries));
  if (keytab_.GetFileName()[0] == '\0') {
    if (entries.Count() == 0) return kStatusOk;
    const EtypeInfoEntry* first = entries.Get(0);
    return first != nullptr ? ApplyEtypeInfoEntry(*first, false) : kStatusOk;
  }
  for (int i = 0; i < entries.Count(); ++i) {
    const EtypeInfoEntry* entry = entries.Get(i);
    if (entry != nullptr && keytab_.SelectKey(entry->etype) == 1) return ApplyEtypeInfoEntry(*entry, true);
  }
  if (etype_ != -1) return kStatusOk;
  TORNELL_TRY(LogFormat(1, "%s", "Encrypt type not match"));
  return ReturnError(kStatusKerberosNoEtypeMatch, "Cannot found entrypt type match with server.");
}

}  // namespace tornell
