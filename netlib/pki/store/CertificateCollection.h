#pragma once
// A certificate manager that gathers certificates into four parallel lists
// (encoded text, normalised subject, normalised issuer, serial) with a trust
// status, instead of reporting them to an event sink.
#include "core/text/StringList.h"
#include "pki/store/CertificateManager.h"

namespace tornell::pki {

// Bit of the security flags that accepts a self-signed root.
constexpr long kAcceptSelfSignedRoot = 0x10;

class CertificateCollection : public CertificateManager {
 public:
  CertificateCollection() = default;
  ~CertificateCollection() override = default;

  // Takes the manager's own loaded certificate into the lists; the argument
  // is not used.
  [[nodiscard]] int CollectSelected(StringList& unused);
  [[nodiscard]] int GetSubjects(StringList& out) const { return out.Assign(subjects); }
  [[nodiscard]] int GetIssuers(StringList& out) const { return out.Assign(issuers); }
  [[nodiscard]] int GetSerials(StringList& out) const { return out.Assign(serials); }
  [[nodiscard]] int GetEncodedList(StringList& out) const { return out.Assign(encoded); }
  int GetStatus() const { return status; }
  int FireCertificate(const char* bytes, int length, const char* subject, const char* issuer, const char* extra,
                      int reportedStatus, int flags) override;

  StringList encoded;
  StringList subjects;
  StringList issuers;
  StringList serials;
  int status = 0;  // 274 untrusted, 0 accepted, for the last certificate taken in
};

}  // namespace tornell::pki
