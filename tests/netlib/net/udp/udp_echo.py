"""UDP echo for the datagram tests: binds the given family on loopback, a
free port, prints the port, then echoes every datagram whole until idle."""
import socket
import sys

family = socket.AF_INET6 if len(sys.argv) > 1 and sys.argv[1] == "6" else socket.AF_INET
host = "::1" if family == socket.AF_INET6 else "127.0.0.1"
s = socket.socket(family, socket.SOCK_DGRAM)
s.setsockopt(socket.SOL_SOCKET, socket.SO_SNDBUF, 1 << 20)
s.bind((host, 0))
print(s.getsockname()[1], flush=True)
s.settimeout(20)  # bounded: ends when nothing arrives for this long
try:
    while True:
        data, peer = s.recvfrom(65536)
        s.sendto(data, peer)
except socket.timeout:
    pass
