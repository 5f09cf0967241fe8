#pragma once
// A wire reader over decrypted key material: its bytes are wiped when it goes.
// Not to be copied: a copy would share the bytes it wipes.
#include "core/buffer/SharedBytes.h"
#include "core/buffer/WireBuffer.h"
#include "core/secure/SecureWipe.h"

namespace tornell::pki {

class SecretWire : public WireBuffer {
 public:
  SecretWire() = default;
  SecretWire(const SecretWire&) = delete;
  ~SecretWire() override {
    if (Storage() != nullptr) SecureWipe(Storage()->Data(), static_cast<size_t>(Storage()->Length()));
  }
};

}  // namespace tornell::pki
