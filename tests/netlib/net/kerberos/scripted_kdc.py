# A UDP KDC on 127.0.0.1:<port> that passes requests to the real KDC at
# 127.0.0.1:<kdc port> and changes its replies by mode, for what MIT will not
# do on demand. A TCP socket listens on the same port so that the test sees
# the script ready.
#   replay-first-as   every AS-REQ after the first gets the first one's reply
#   tgs-for-as        an AS-REQ gets the last TGS-REP once one was seen
#   strip-padata      AS-REP without its padata [2]
#   duplicate         every reply sent twice
#   enc-timestamp     KRB-ERROR e-data becomes METHOD-DATA { PA-ENC-TIMESTAMP "" }
# With a folder as fourth argument every reply is also written there (the
# fuzzer's seeds were made so).
import socket
import sys

mode, port, kdc_port = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
dump = sys.argv[4] if len(sys.argv) > 4 else None
replies = 0


def tlv(data, at):
    tag = data[at]
    first = data[at + 1]
    if first < 0x80:
        return tag, at + 2, first
    n = first & 0x7F
    return tag, at + 2 + n, int.from_bytes(data[at + 2:at + 2 + n], "big")


def encode(tag, content):
    n = len(content)
    if n < 0x80:
        head = bytes([n])
    elif n < 0x100:
        head = bytes([0x81, n])
    else:
        head = bytes([0x82]) + n.to_bytes(2, "big")
    return bytes([tag]) + head + content


def children(content):
    out, at = [], 0
    while at < len(content):
        tag, start, n = tlv(content, at)
        out.append((tag, content[at:start + n]))
        at = start + n
    return out


def rewrite_fields(message, change):
    outer, start, n = tlv(message, 0)
    seq, inner, m = tlv(message, start)
    fields = change(children(message[inner:inner + m]))
    return encode(outer, encode(seq, b"".join(element for _, element in fields)))


def empty_enc_timestamp(fields):
    pa = encode(0x30, encode(0xA1, bytes([2, 1, 2])) + encode(0xA2, encode(0x04, b"")))
    edata = encode(0xAC, encode(0x04, encode(0x30, pa)))
    return [f for f in fields if f[0] != 0xAC] + [(0xAC, edata)]


udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
udp.bind(("127.0.0.1", port))
tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
tcp.bind(("127.0.0.1", port))
tcp.listen(1)
kdc = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
kdc.settimeout(5)
first_as_reply = None
last_tgs_rep = None
while True:
    request, client = udp.recvfrom(65536)
    is_as = request[:1] == b"\x6a"
    if is_as and mode == "replay-first-as" and first_as_reply is not None:
        udp.sendto(first_as_reply, client)
        continue
    if is_as and mode == "tgs-for-as" and last_tgs_rep is not None:
        udp.sendto(last_tgs_rep, client)
        continue
    kdc.sendto(request, ("127.0.0.1", kdc_port))
    try:
        reply = kdc.recv(65536)
    except socket.timeout:
        continue
    if is_as and first_as_reply is None:
        first_as_reply = reply
    if reply[:1] == b"\x6d":
        last_tgs_rep = reply
    if mode == "strip-padata" and reply[:1] == b"\x6b":
        reply = rewrite_fields(reply, lambda fields: [f for f in fields if f[0] != 0xA2])
    if mode == "enc-timestamp" and reply[:1] == b"\x7e":
        reply = rewrite_fields(reply, empty_enc_timestamp)
    if dump is not None:
        with open("%s/reply%d" % (dump, replies), "wb") as out:
            out.write(reply)
        replies += 1
    udp.sendto(reply, client)
    if mode == "duplicate":
        udp.sendto(reply, client)
