# Accepts a GSS-API initial context token (hex, first argument) with MIT's
# acceptor; the service key comes from KRB5_KTNAME. Prints the initiator.
import sys

import gssapi

context = gssapi.SecurityContext(usage="accept")
context.step(bytes.fromhex(sys.argv[1]))
print(str(context.initiator_name))
