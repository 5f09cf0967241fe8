// The engine's own certificate: chosen from a store, copied with the engine,
// and sent with the certificates that issue it.
#include <new>

#include "core/base/Status.h"
#include "pki/store/SelectedCertificate.h"
#include "tls/engine/TlsEngine.h"

namespace tornell {

int TlsEngine::SetCertificateStore(const char* store, int length, int type, const char* password,
                                   const char* subject) {
  ownCertificate = nullptr;
  if (ownSelected == nullptr) ownSelected = new (std::nothrow) SelectedCertificate();
  if (ownSelected == nullptr) return kStatusNoMemory;
  const int status = ownSelected->Init(store, length, type, password, subject, nullptr, 0);
  if (status == kStatusOk) ownCertificate = ownSelected;
  return status;
}

int TlsEngine::CopyOwnCertificate(const TlsEngine& source) {
  ownCertificate = source.ownCertificate;
  // A selection the source owns dies with it: this engine loads its own.
  if (source.ownCertificate != nullptr && source.ownCertificate == source.ownSelected) {
    ownCertificate = nullptr;
    if (ownSelected == nullptr) ownSelected = new (std::nothrow) SelectedCertificate();
    if (ownSelected == nullptr) return kStatusNoMemory;
    TORNELL_TRY(ownSelected->CopyFrom(*source.ownSelected));
    ownCertificate = ownSelected;
  }
  current.ownCertificate = pending.ownCertificate = ownCertificate;
  return kStatusOk;
}

int TlsEngine::OwnChain(SelectedCertificate& own, StringList& chain) {
  TORNELL_TRY(chain.Clear());
  // The selection's manager holds it loaded already: loading it again per
  // handshake (a key store means a key derivation) would give the same bytes.
  const ByteString* leaf = nullptr;
  TORNELL_TRY(own.EncodedView(leaf));
  TORNELL_TRY(chain.Add(leaf->Data(), leaf->Length()));
  StringList issuers;
  int reachedRoot = 0;
  if (own.GetManager() == nullptr || own.GetManager()->GetIssuerChain(issuers, reachedRoot) != kStatusOk) {
    if (owner != nullptr) {
      (void)owner->OnTlsError(kStatusChainUnavailable, "Could not get certificate chain for our certificate");
    }
    return kStatusOk;
  }
  // The root is the peer's to have; an intermediate without one goes out.
  const int count = reachedRoot != 0 ? issuers.Count() - 1 : issuers.Count();
  for (int i = 0; i < count; ++i) TORNELL_TRY(chain.Add(issuers.Get(i), issuers.EntryLength(i)));
  return kStatusOk;
}

}  // namespace tornell
