#pragma once
#include <memory>

// The handle on one certificate chosen for use: given as bytes or text (the
// blob route) or picked from a store by name, type, password and subject
// (the store route). It owns the certificate manager that loads it, exports
// its chain and verifies a received chain for it.
#include "core/base/ComponentBase.h"
#include "core/text/ByteString.h"
#include "core/text/SecretBytes.h"
#include "core/text/StringList.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

constexpr int kStatusChainTooLong = -1;  // more received certificates than a chain walk takes
constexpr int kMaxReceivedCertificates = 32;

class SelectedCertificate : public ComponentBase {
 public:
  SelectedCertificate() = default;
  ~SelectedCertificate() override;
  SelectedCertificate(const SelectedCertificate&) = delete;
  SelectedCertificate& operator=(const SelectedCertificate&) = delete;

  [[nodiscard]] int Reset();
  // A blob of at least one byte wins over the store arguments, which are then
  // not stored; a blob kept from an earlier Init is loaded again.
  [[nodiscard]] int Init(const char* store, int storeLength, int storeType, const char* password,
                         const char* subject, const char* blob, int blobLength);
  // Init with the certificate's DER as the blob, for a certificate that
  // X509Certificate::Decode has read already: taken over, not decoded again.
  [[nodiscard]] int Init(std::unique_ptr<X509Certificate> decoded);
  // The DER bytes of the selected certificate.
  [[nodiscard]] int GetEncoded(ByteString& der);
  // The same bytes without a copy, held by this object until it is asked again
  // or its selection changes.
  [[nodiscard]] int EncodedView(const ByteString*& der);
  CertificateManager* GetManager() const { return manager_; }
  int ReleaseManager();
  int IsLoaded() const { return loaded_; }
  // The selection's chain as certificate texts (DER with toDer set), with the
  // trust status of its top when status is given.
  [[nodiscard]] int ExportChain(StringList& encoded, int toDer, StringList* subjects, StringList* issuers,
                                StringList* serials, int* status, long flags);
  [[nodiscard]] int CopyFrom(const SelectedCertificate& other);
  // -1 not yet valid, 1 expired, 0 valid, or a positive status.
  [[nodiscard]] int CheckValidity();

  // Verifies the received chain (PEM texts, the leaf first) for the leaf: 0
  // trusted, -1 no trusted path, 274 untrusted root, -1 or 1 a certificate
  // outside its validity period, or a status. The text is not used.
  [[nodiscard]] static int VerifyChain(SelectedCertificate& leaf, const StringList& chain, const char* text,
                                       long flags, StringList* trusted);
  // VerifyChain for DER certificates as received, the leaf first, without a
  // trusted list: the same verdicts, with nothing armoured or unwrapped. The
  // leaf's own certificate is read from its store entry, not its text.
  [[nodiscard]] static int VerifyDerChain(SelectedCertificate& leaf, const StringList& chain, long flags);
  // Extends the path from its last certificate over the candidates: 0 when it
  // reached a self-issued certificate, -1 when it stopped short.
  [[nodiscard]] static int ExtendPath(ByteString& issuer, ByteString& subject, StringList& encoded,
                                      StringList& subjects, StringList& issuers, StringList& path);
  [[nodiscard]] static int MergeCertificates(StringList& intoEncoded, StringList& intoSubjects,
                                             StringList& intoIssuers, StringList& intoSerials,
                                             const StringList& fromEncoded, const StringList& fromSubjects,
                                             const StringList& fromIssuers, const StringList& fromSerials);
  [[nodiscard]] static int RemoveCertificateAt(int index, StringList& encoded, StringList& subjects,
                                               StringList& issuers);

 private:
  // Hands the blob (as decoded already when given), else the store fields, to a manager.
  [[nodiscard]] int LoadSelection(CertificateManager& manager, std::unique_ptr<X509Certificate> decoded = nullptr);
  // The manager made and loaded for the fields stored.
  [[nodiscard]] int MakeManager(std::unique_ptr<X509Certificate> decoded = nullptr);
  // Only the default store name with no type, password or subject: nothing
  // to select from.
  bool IsDefaultStoreOnly() const;

  ByteString storeName_;
  int storeType_ = 0;
  SecretBytes storePassword_;
  ShortString subject_;
  ByteString blob_;
  CertificateManager* manager_ = nullptr;
  int loaded_ = 0;
  // GetEncoded's last answer when the manager's text had to be unwrapped.
  ByteString unwrapped_;
};

}  // namespace tornell::pki
