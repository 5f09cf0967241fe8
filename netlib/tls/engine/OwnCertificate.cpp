// The engine's own certificate: chosen from a store, copied with the engine.
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

}  // namespace tornell
