#include "crypto/rsa/AsymmetricKey.h"

namespace tornell {

AsymmetricKey::~AsymmetricKey() = default;

}  // namespace tornell
