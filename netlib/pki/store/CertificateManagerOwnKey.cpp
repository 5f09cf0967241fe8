// The certificate that goes with a loaded private key: a PKCS#12 store's own
// certificate, or the certificate beside the key in a PEM key store. Either
// becomes the manager's loaded certificate, holding the private key, so the
// TLS engine can send it and sign with it; the store's other certificates
// give the chain it sends with it.
#include <cstring>
#include <new>

#include "core/base/Status.h"
#include "pki/der/DerElement.h"
#include "pki/keys/KeyCodec.h"
#include "pki/x509/DerChildren.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

namespace {

// Equal numbers, leading zero bytes aside.
bool SameNumber(const ByteString& a, const ByteString& b) {
  int i = 0, j = 0;
  while (i < a.Length() && a.ByteAt(i) == 0) ++i;
  while (j < b.Length() && b.ByteAt(j) == 0) ++j;
  return a.Length() - i == b.Length() - j && std::memcmp(a.Data() + i, b.Data() + j, size_t(a.Length() - i)) == 0;
}

// Whether the certificate carries the public half of the key.
bool Matches(const X509Certificate& certificate, const KeyHolder& key) {
  if (key.type == kKeyTypeRsa) {
    RsaKey own;
    return certificate.GetRsaKey(own) == kStatusOk && SameNumber(own.n, key.rsaKey.n);
  }
  if (key.type == kKeyTypeEc) {
    EcKey own;
    return certificate.GetEcKey(own) == kStatusOk && SameNumber(own.X, key.ecKey.X) && SameNumber(own.Y, key.ecKey.Y);
  }
  if (key.type == kKeyTypeDsa) {
    DsaKey own;
    return certificate.GetDsaKey(own) == kStatusOk && SameNumber(own.y, key.dsaKey.y);
  }
  return false;
}

// A PKCS#12 reader keeps a certificate as its TBS part and signature value;
// the certificate is those two around the signature algorithm the TBS names
// (which the outer one repeats).
int WholeCertificate(const X509Certificate& part, ByteString& der) {
  if (!part.encoded.IsEmpty()) return der.Assign(part.encoded);
  DerElement tbs;
  TORNELL_TRY(detail::LoadSplit(tbs, part.tbsEncoded));
  const DerElement* field = tbs.firstChild;
  if (field != nullptr && field->tag == 0xA0) field = field->nextSibling;  // version
  if (field != nullptr) field = field->nextSibling;                        // serial number
  if (field == nullptr || field->tag != 0x30 || part.signatureValue.IsEmpty()) return kDerMissing;
  DerWriter whole;
  TORNELL_TRY(whole.output.Assign(part.tbsEncoded));
  TORNELL_TRY(whole.output.Append(field->body.output));
  TORNELL_TRY(whole.AppendHeader(0x03, size_t(part.signatureValue.Length())));
  TORNELL_TRY(whole.output.Append(part.signatureValue));
  TORNELL_TRY(whole.WrapAll(0x30));
  return der.Assign(whole.output);
}

// One decoded store certificate as a chain candidate: DER with normalised names.
int AddCandidate(const X509Certificate& certificate, StringList& der, StringList& subjects, StringList& issuers) {
  X509Certificate decoded;
  if (WholeCertificate(certificate, decoded.encoded) != kStatusOk || decoded.Decode() != kStatusOk) return kStatusOk;
  ByteString subject, issuer;
  TORNELL_TRY(KeyCodec::NormalizeName(decoded.GetSubject(), subject));
  TORNELL_TRY(KeyCodec::NormalizeName(decoded.GetIssuer(), issuer));
  TORNELL_TRY(der.Add(decoded.encoded.Data(), decoded.encoded.Length()));
  TORNELL_TRY(subjects.Add(subject.Data(), subject.Length()));
  return issuers.Add(issuer.Data(), issuer.Length());
}

constexpr int kMaxIssuers = 16;

}  // namespace

int CertificateManager::GetIssuerChain(StringList& der, int& reachedRoot) {
  TORNELL_TRY(der.Clear());
  reachedRoot = 0;
  if (GetSubject() == nullptr || GetIssuer() == nullptr) return kStatusOk;
  // The same text is the same name: a self-signed certificate, asked for in
  // every handshake, needs no normalising.
  if (std::strcmp(GetSubject(), GetIssuer()) == 0) return kStatusOk;
  ByteString subject, issuer;
  TORNELL_TRY(KeyCodec::NormalizeName(GetSubject(), subject));
  TORNELL_TRY(KeyCodec::NormalizeName(GetIssuer(), issuer));
  if (issuer.Equals(subject)) return kStatusOk;  // a self-issued certificate has no issuers to send
  StringList candidates, subjects, issuers;
  for (int i = 0; i < store_.entries.Count(); ++i) {
    const CertStoreEntry* entry = store_.entries.Get(i);
    if (entry == nullptr) continue;
    if (entry->certificate != nullptr) TORNELL_TRY(AddCandidate(*entry->certificate, candidates, subjects, issuers));
    if (entry->pkcs12 == nullptr) continue;
    PtrList<X509Certificate>& held = entry->pkcs12->certificates;
    for (int j = 0; j < held.Count(); ++j) TORNELL_TRY(AddCandidate(*held.Get(j), candidates, subjects, issuers));
  }
  // Each step takes a certificate named as the current issuer that is not
  // taken yet; a name loop ends when none is left, a long one at the bound.
  int used[kMaxIssuers] = {};
  int taken = 0;
  while (!issuer.Equals(subject) && taken < kMaxIssuers) {
    int next = -1;
    for (int k = 0; k < candidates.Count() && next < 0; ++k) {
      if (std::strcmp(subjects.Get(k), issuer.CStr()) != 0) continue;
      bool again = false;
      for (int t = 0; t < taken; ++t) again = again || used[t] == k;
      if (!again) next = k;
    }
    if (next < 0) break;
    used[taken++] = next;
    TORNELL_TRY(der.Add(candidates.Get(next), candidates.EntryLength(next)));
    TORNELL_TRY(subject.Set(subjects.Get(next), subjects.EntryLength(next)));
    TORNELL_TRY(issuer.Set(issuers.Get(next), issuers.EntryLength(next)));
  }
  reachedRoot = taken > 0 && issuer.Equals(subject) ? 1 : 0;
  return kStatusOk;
}

bool CertificateManager::IsReadableStoreType(int type) {
  return type == kStorePfxFile || type == kStorePfxBlob || type == kStorePemKeyFile || type == kStorePemKeyBlob ||
         type == kStorePuttyKeyFile || type == kStorePuttyKeyBlob || type == kStoreJwkFile || type == kStoreJwkBlob;
}

int CertificateManager::SelectPkcs12Certificate(const char* subject) {
  CertStoreEntry* entry = store_.Current();
  if (entry == nullptr || entry->pkcs12 == nullptr) return kStatusNoCertificate;
  KeyHolder key;
  const KeyHolder* held = entry->GetKeyHolder();
  if (held == nullptr) return kStatusNoMemory;
  TORNELL_TRY(key.CopyFrom(*held));
  PtrList<X509Certificate>& certificates = entry->pkcs12->certificates;
  const bool any = std::strcmp(subject, "*") == 0;
  ByteString der;
  for (int i = 0; i < certificates.Count() && der.IsEmpty(); ++i) {
    X509Certificate decoded;
    if (WholeCertificate(*certificates.Get(i), decoded.encoded) != kStatusOk || decoded.Decode() != kStatusOk) continue;
    if (any ? Matches(decoded, key) : std::strcmp(decoded.GetSubject(), subject) == 0) {
      TORNELL_TRY(der.Assign(decoded.encoded));
    }
  }
  if (der.IsEmpty()) {
    ByteString text;
    TORNELL_TRY(text.Set("Failed to find the certificate subject '"));
    TORNELL_TRY(text.Append(subject));
    TORNELL_TRY(text.Append("'"));
    return ReturnError(kStatusNoCertificate, text.CStr());
  }
  return AdoptCertificate(der.Data(), der.Length(), key);
}

int CertificateManager::AdoptCertificate(const char* data, int length, const KeyHolder& key) {
  const int keyOnly = store_.GetKeyOnly();
  store_.Clear();
  TORNELL_TRY(LoadCertificate(data, length));
  store_.SetKeyOnly(keyOnly);
  CertStoreEntry* entry = store_.Current();
  if (entry == nullptr) return kStatusNoCertificate;
  store_.selectedIndex = 0;
  delete entry->keyHolder;
  entry->keyHolder = new (std::nothrow) KeyHolder();
  if (entry->keyHolder == nullptr) return kStatusNoMemory;
  // Only a key that belongs to the certificate signs for it.
  if (entry->certificate == nullptr || !Matches(*entry->certificate, key)) return kStatusOk;
  return entry->keyHolder->CopyFrom(key);
}

}  // namespace tornell::pki
