#include "net/kerberos/KerberosClient.h"

namespace tornell {

// A failed reset leaves an empty receive buffer, which MaxPacketSize can
// set again; nothing else in it can fail.
KerberosClient::KerberosClient() { static_cast<void>(Reset()); }

KerberosClient::~KerberosClient() = default;

}  // namespace tornell
