#include "pki/store/SelectedCertificate.h"

#include <cstring>
#include <new>
#include <utility>

#include "core/base/Status.h"
#include "pki/keys/KeyCodec.h"
#include "pki/keys/KeyFileFormats.h"
#include "pki/store/CertificateCollection.h"

namespace tornell::pki {

namespace {

const char kNoCertificateText[] = "No certificate selected.  Please select a certificate first.";

// DER of a "CERTIFICATE" PEM text of the given length.
int UnwrapPem(const char* data, int length, ByteString& der) {
  TextArmor armor;
  SecretBytes none;
  TORNELL_TRY(KeyFileFormats::DecodePem(armor, "CERTIFICATE", data, length, none, 1));
  return der.Set(armor.Data(), armor.Length());
}

}  // namespace

SelectedCertificate::~SelectedCertificate() { ReleaseManager(); }

int SelectedCertificate::Reset() {
  storeType_ = 0;
  loaded_ = 0;
  TORNELL_TRY(storeName_.Clear());
  TORNELL_TRY(storePassword_.Clear());
  TORNELL_TRY(subject_.Clear());
  TORNELL_TRY(blob_.Clear());
  return ReleaseManager();
}

int SelectedCertificate::ReleaseManager() {
  delete manager_;
  manager_ = nullptr;
  return kStatusOk;
}

bool SelectedCertificate::IsDefaultStoreOnly() const {
  return blob_.Length() == 0 && storeName_.Length() == 2 && std::memcmp(storeName_.Data(), "MY", 2) == 0 &&
         storeType_ == 0 && storePassword_.Length() == 0 && subject_.Length() == 0;
}

int SelectedCertificate::LoadSelection(CertificateManager& manager, std::unique_ptr<X509Certificate> decoded) {
  if (blob_.Length() > 0) {
    if (decoded != nullptr) return manager.LoadCertificate(std::move(decoded));
    return manager.LoadCertificate(blob_.Data(), blob_.Length());
  }
  // The type first: it decides whether the manager keeps the store bytes.
  TORNELL_TRY(manager.SetStoreType(storeType_));
  TORNELL_TRY(manager.SetStore(storeName_.Data(), storeName_.Length()));
  TORNELL_TRY(manager.SetStorePassword(storePassword_.CStr()));
  return manager.SelectCertificate(subject_.CStr());
}

int SelectedCertificate::Init(const char* store, int storeLength, int storeType, const char* password,
                              const char* subject, const char* blob, int blobLength) {
  if (blob != nullptr && blobLength >= 1) {
    // Copied through a temporary: the bytes may be this object's own blob.
    ByteString copy;
    TORNELL_TRY(copy.Set(blob, blobLength));
    TORNELL_TRY(blob_.Assign(copy));
  } else {
    ByteString name;
    SecretBytes secret;
    ShortString selector;
    TORNELL_TRY(name.Set(store, store != nullptr && storeLength > 0 ? storeLength : 0));
    TORNELL_TRY(secret.Set(password != nullptr ? password : ""));
    TORNELL_TRY(selector.Set(subject != nullptr ? subject : ""));
    storeType_ = storeType;
    TORNELL_TRY(storeName_.Assign(name));
    TORNELL_TRY(storePassword_.Assign(secret));
    TORNELL_TRY(subject_.Assign(selector));
  }
  return MakeManager();
}

int SelectedCertificate::Init(std::unique_ptr<X509Certificate> decoded) {
  if (decoded == nullptr || decoded->encoded.IsEmpty()) return Init(nullptr, 0, 0, nullptr, nullptr, nullptr, 0);
  TORNELL_TRY(blob_.Assign(decoded->encoded));
  return MakeManager(std::move(decoded));
}

int SelectedCertificate::MakeManager(std::unique_ptr<X509Certificate> decoded) {
  ReleaseManager();
  manager_ = new (std::nothrow) CertificateManager();
  if (manager_ == nullptr) return ReturnError(kStatusNoCertificateSelected, "Failed to initialize CertMgr.");
  if (manager_->Reset() == 0) {
    ReleaseManager();
    return ReturnError(kStatusNoCertificateSelected, "Failed to initialize CertMgr.");
  }
  if (IsDefaultStoreOnly()) {
    ReleaseManager();
    return ReturnError(kStatusNoCertificateSelected, kNoCertificateText);
  }
  const int status = LoadSelection(*manager_, std::move(decoded));
  if (status != kStatusOk) {
    ByteString text;
    static_cast<void>(text.Set(manager_->GetLastErrorText()));
    ReleaseManager();
    return ReturnError(status, text.CStr());
  }
  loaded_ = 1;
  return kStatusOk;
}

int SelectedCertificate::GetEncoded(ByteString& der) {
  const ByteString* view = nullptr;
  TORNELL_TRY(EncodedView(view));
  return der.Assign(*view);
}

int SelectedCertificate::EncodedView(const ByteString*& der) {
  if (manager_ == nullptr) return ReturnError(kStatusNoCertificateSelected, kNoCertificateText);
  // The manager's PEM text is armoured from these very bytes.
  if (manager_->GetKeyFormat() != 1 && !manager_->GetLoadedDer().IsEmpty()) {
    der = &manager_->GetLoadedDer();
    return kStatusOk;
  }
  char* data = nullptr;
  int length = 0;
  TORNELL_TRY(manager_->GetEncoded(&data, &length));
  TORNELL_TRY(UnwrapPem(data, length, unwrapped_));
  der = &unwrapped_;
  return kStatusOk;
}

int SelectedCertificate::CopyFrom(const SelectedCertificate& other) {
  if (&other == this) return kStatusOk;
  TORNELL_TRY(storeName_.Assign(other.storeName_));
  TORNELL_TRY(blob_.Assign(other.blob_));
  TORNELL_TRY(storePassword_.Assign(other.storePassword_));
  TORNELL_TRY(subject_.Assign(other.subject_));
  storeType_ = other.storeType_;
  loaded_ = other.loaded_;
  ReleaseManager();
  if (loaded_ != 1) return kStatusOk;
  // Init stores the fields again; copies keep them apart from its arguments.
  ByteString store, blob;
  SecretBytes password;
  ShortString subject;
  TORNELL_TRY(store.Assign(storeName_));
  TORNELL_TRY(blob.Assign(blob_));
  TORNELL_TRY(password.Assign(storePassword_));
  TORNELL_TRY(subject.Assign(subject_));
  return Init(store.Data(), store.Length(), storeType_, password.CStr(), subject.CStr(), blob.Data(), blob.Length());
}

int SelectedCertificate::CheckValidity() {
  ByteString der;
  TORNELL_TRY(GetEncoded(der));
  X509Certificate record;
  TORNELL_TRY(record.encoded.Assign(der));
  TORNELL_TRY(record.Decode());
  return KeyCodec::CheckValidityPeriod(record.tbs.notBefore.CStr(), record.tbs.notAfter.CStr());
}

int SelectedCertificate::ExportChain(StringList& encoded, int toDer, StringList* subjects, StringList* issuers,
                                     StringList* serials, int* status, long flags) {
  if (manager_ == nullptr) return ReturnError(kStatusNoCertificateSelected, kNoCertificateText);
  CertificateCollection collection;
  if (collection.Reset() == 0) return ReturnError(kStatusNoCertificateSelected, "Init CertChain Failed.");
  collection.SetSslSecurityFlags(flags);
  const int loaded = LoadSelection(collection);
  if (loaded != kStatusOk) {
    if (collection.IsErrorTextEmpty() == 0) SetErrorText(collection.GetLastErrorText());
    return loaded;
  }
  StringList unused;
  TORNELL_TRY(collection.CollectSelected(unused));
  TORNELL_TRY(encoded.Assign(collection.encoded));
  if (status != nullptr) *status = collection.status;
  if (toDer != 0) {
    for (int i = 0; i < encoded.Count(); ++i) {
      ByteString der;
      TORNELL_TRY(UnwrapPem(encoded.Get(i), encoded.EntryLength(i), der));
      TORNELL_TRY(encoded.Set(i, der.Data(), der.Length()));
    }
  }
  if (subjects != nullptr) TORNELL_TRY(subjects->Assign(collection.subjects));
  if (issuers != nullptr) TORNELL_TRY(issuers->Assign(collection.issuers));
  if (serials != nullptr) TORNELL_TRY(serials->Assign(collection.serials));
  return kStatusOk;
}

int SelectedCertificate::MergeCertificates(StringList& intoEncoded, StringList& intoSubjects,
                                           StringList& intoIssuers, StringList& intoSerials,
                                           const StringList& fromEncoded, const StringList& fromSubjects,
                                           const StringList& fromIssuers, const StringList& fromSerials) {
  for (int j = 0; j < fromEncoded.Count(); ++j) {
    bool held = false;
    for (int k = 0; k < intoEncoded.Count() && !held; ++k) {
      held = std::strcmp(intoSubjects.Get(k), fromSubjects.Get(j)) == 0 &&
             std::strcmp(intoIssuers.Get(k), fromIssuers.Get(j)) == 0 &&
             std::strcmp(intoSerials.Get(k), fromSerials.Get(j)) == 0;
    }
    if (held) continue;
    TORNELL_TRY(intoEncoded.Add(fromEncoded.Get(j), fromEncoded.EntryLength(j)));
    TORNELL_TRY(intoSubjects.Add(fromSubjects.Get(j), fromSubjects.EntryLength(j)));
    TORNELL_TRY(intoIssuers.Add(fromIssuers.Get(j), fromIssuers.EntryLength(j)));
    TORNELL_TRY(intoSerials.Add(fromSerials.Get(j), fromSerials.EntryLength(j)));
  }
  return kStatusOk;
}

int SelectedCertificate::RemoveCertificateAt(int index, StringList& encoded, StringList& subjects,
                                             StringList& issuers) {
  TORNELL_TRY(encoded.RemoveAt(index));
  TORNELL_TRY(subjects.RemoveAt(index));
  return issuers.RemoveAt(index);
}

}  // namespace tornell::pki
