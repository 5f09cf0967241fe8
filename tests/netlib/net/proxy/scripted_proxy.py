#!/usr/bin/python3
"""A proxy that answers by script, for what real proxies do not show on demand.

Usage: scripted_proxy.py PORT MODE LOG
Each connection's request bytes are appended to LOG in hex, one line per
connection (one per request in the authenticated modes). After a successful
reply the connection echoes what it gets.

The authenticated modes, "leg-SCHEME-FRAMING[-SECOND]", answer the first
CONNECT with a 407 framed as FRAMING and check the second request's
credentials on their own (NTLM through ntlm_reference.py, Digest with
hashlib): only right ones get SECOND (a 200 by default), else a 407.
"""
import base64
import hashlib
import os
import re
import socket
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "auth"))
import ntlm_reference  # noqa: E402

PORT, MODE, LOG = int(sys.argv[1]), sys.argv[2], sys.argv[3]
PAUSE = 0.02


def read_exact(conn, n):
    data = b""
    while len(data) < n:
        piece = conn.recv(n - len(data))
        if not piece:
            raise EOFError
        data += piece
    return data


def read_until(conn, end):
    data = b""
    while not data.endswith(end):
        piece = conn.recv(1)
        if not piece:
            raise EOFError
        data += piece
    return data


def send_pieces(conn, pieces, pause=PAUSE):
    for piece in pieces:
        conn.sendall(piece)
        time.sleep(pause)


def one_by_one(data):
    return [data[i:i + 1] for i in range(len(data))]


def socks5_request(conn):
    head = read_exact(conn, 4)
    atyp = head[3]
    if atyp == 1:
        rest = read_exact(conn, 4 + 2)
    elif atyp == 3:
        n = read_exact(conn, 1)
        rest = n + read_exact(conn, n[0] + 2)
    else:
        rest = read_exact(conn, 16 + 2)
    return head + rest


def socks5_reply(atyp, code=0):
    if atyp == 1:
        bound = b"\x01\x7f\x00\x00\x01"
    elif atyp == 3:
        bound = b"\x03\x09localhost"
    else:
        bound = b"\x04" + b"\x00" * 15 + b"\x01"
    return bytes([5, code, 0]) + bound + b"\x12\x34"


LEG_USER, LEG_DOMAIN, LEG_PASSWORD = "alice", "CORP", "s3cret"
SERVER_CHALLENGE = bytes.fromhex("0123456789abcdef")
REALM, NONCE, OPAQUE = "script", "dcd98b7102dd2f0e8b11d0f600bfb0c093", "5ccc069c403ebaf9f0171e9517f40e41"
# LF-only lines and no line end at the close, as squid's error pages have.
BODY = b"<html>\n<body>\r\nProxy auth\n</body>\n</html>"


def ntlm_challenge():
    """A CHALLENGE without target name or information (MS-NLMP 2.2.1.2)."""
    flags = 0x00088205  # Unicode, target requested, NTLM, always sign, extended session security
    return (b"NTLMSSP\0" + struct.pack("<IHHII", 2, 0, 0, 0, flags) + SERVER_CHALLENGE + bytes(8)
            + struct.pack("<HHI", 0, 0, 0) + b"\x06\x01\xb1\x1d\0\0\0\x0f")


def challenge_lines(scheme, framing):
    if scheme == "digest":
        md5 = 'Digest realm="%s", qop="auth", nonce="%s", opaque="%s"' % (REALM, NONCE, OPAQUE)
        lines = ["Proxy-Authenticate: " + md5]
        if framing == "schemes":
            lines = ['Proxy-Authenticate: Digest realm="%s", algorithm=SHA-256, qop="auth", nonce="sha"' % REALM,
                     'Proxy-Authenticate: Basic realm="script"'] + lines
        return lines
    name = "Negotiate" if scheme == "negotiate" else "NTLM"
    lines = ["Proxy-Authenticate: %s %s" % (name, base64.b64encode(ntlm_challenge()).decode())]
    if framing == "schemes":
        other = "NTLM" if scheme == "negotiate" else "Negotiate"
        lines = ["Proxy-Authenticate: %s" % other] + lines + ['Proxy-Authenticate: Basic realm="script"']
    return lines


def reply_407(scheme, framing):
    head = "HTTP/1.1 407 Proxy Authentication Required\r\n" + "".join(
        line + "\r\n" for line in challenge_lines(scheme, framing))
    if framing == "chunked":
        # A chunk ending in CRLF, chunk extensions and a trailer.
        chunks = [BODY[:9], BODY[9:10], BODY[10:]]
        body = b"".join(b"%x;x=1\r\n%s\r\n" % (len(c), c) for c in chunks) + b"0\r\nX-Trailer: 1\r\n\r\n"
        return [(head + "Transfer-Encoding: chunked\r\n\r\n").encode() + body]
    if framing == "nolength":
        return [(head + "\r\n").encode()]
    head = (head + "Content-Length: %d\r\n\r\n" % len(BODY)).encode()
    if framing == "split":
        return [head] + one_by_one(BODY)
    return [head + BODY]


def digest_params(value):
    return dict((k.lower(), v1 or v2) for k, v1, v2 in re.findall(r'(\w+)=(?:"([^"]*)"|([^,\s]*))', value))


def check_digest(value, target):
    if not value.startswith("Digest "):
        return "not Digest"
    p = digest_params(value[7:])
    if p.get("username") != LEG_USER or p.get("realm") != REALM or p.get("nonce") != NONCE:
        return "wrong user, realm or nonce"
    if p.get("opaque") != OPAQUE or p.get("qop") != "auth" or p.get("nc") != "00000001":
        return "wrong opaque, qop or nc"
    if p.get("uri") != target:
        return "uri %r is not the CONNECT target" % p.get("uri")
    md5 = lambda text: hashlib.md5(text.encode()).hexdigest()  # noqa: E731
    ha1 = md5("%s:%s:%s" % (LEG_USER, REALM, LEG_PASSWORD))
    ha2 = md5("CONNECT:" + p["uri"])
    want = md5(":".join([ha1, NONCE, p["nc"], p["cnonce"], "auth", ha2]))
    return "ok" if p.get("response") == want else "wrong response"


def check_credentials(scheme, request):
    text = request.decode("latin-1")
    target = text.split(" ")[1]
    match = re.search(r"\r\nProxy-Authorization: ([^\r]*)\r\n", text)
    if match is None:
        return "no Proxy-Authorization"
    value = match.group(1)
    if scheme == "digest":
        return check_digest(value, target)
    name = "Negotiate " if scheme == "negotiate" else "NTLM "
    if not value.startswith(name):
        return "wrong scheme"
    return ntlm_reference.check(base64.b64decode(value[len(name):]), LEG_USER, LEG_DOMAIN, LEG_PASSWORD,
                                SERVER_CHALLENGE)


def serve_leg(conn):
    """leg-SCHEME-FRAMING[-SECOND]: False when the tunnel is not opened."""
    conn.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    parts = MODE.split("-")
    scheme, framing = parts[1], parts[2]
    second = parts[3] if len(parts) > 3 else "200"
    request = read_until(conn, b"\r\n\r\n")
    log(request)
    if framing == "first200":
        conn.sendall(b"HTTP/1.0 200 Connection established\r\nProxy-Agent: script\r\n\r\nxyz")
        return True
    send_pieces(conn, reply_407(scheme, framing), 0.002)
    request = read_until(conn, b"\r\n\r\n")
    log(request)
    verdict = check_credentials(scheme, request)
    with open(LOG + ".verdict", "a") as out:
        out.write(verdict + "\n")
    if verdict != "ok" or second == "407":
        conn.sendall(b"HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n\r\n")
        return False
    status = b"201 Created" if second == "201" else b"200 Connection established"
    conn.sendall(b"HTTP/1.1 " + status + b"\r\nProxy-Agent: script\r\n\r\n")
    return True


def serve(conn):
    request = b""
    if MODE.startswith("leg-"):
        if not serve_leg(conn):
            time.sleep(1)
            return
    elif MODE.startswith("basic"):
        request = read_until(conn, b"\r\n\r\n")
        log(request)
        if MODE == "basic-split":
            send_pieces(conn, one_by_one(b"HTTP/1.0 200 Connection established\r\nX-Via: script\r\n\r\n"))
        elif MODE == "basic-tail":
            conn.sendall(b"HTTP/1.0 200 Connection established\r\n\r\nxyz")
        elif MODE == "basic-lf":
            conn.sendall(b"HTTP/1.0 200 OK\n\n")
        elif MODE == "basic-403":
            conn.sendall(b"HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            return
        elif MODE == "basic-endless":
            conn.sendall(b"HTTP/1.0 200 OK\r\n")
            for _ in range(64):
                conn.sendall(b"X-Filler: " + b"a" * 1000 + b"\r\n")
            time.sleep(1)
            return
    elif MODE.startswith("socks4"):
        request = read_exact(conn, 8) + read_until(conn, b"\x00")
        log(request)
        reply = b"\x00\x5a\x12\x34\x7f\x00\x00\x01"
        if MODE == "socks4-split":
            send_pieces(conn, [reply[:3], reply[3:]])
        elif MODE == "socks4-tail":
            conn.sendall(reply + b"xyz")
        elif MODE == "socks4-reject":
            conn.sendall(b"\x00\x5b" + reply[2:])
            return
    elif MODE.startswith("socks5"):
        greeting = read_exact(conn, 2)
        greeting += read_exact(conn, greeting[1])
        split = MODE.endswith("-split")
        send_pieces(conn, one_by_one(b"\x05\x00") if split else [b"\x05\x00"])
        request = socks5_request(conn)
        log(greeting + b"|" + request)
        kind = MODE.split("-")[1]
        if kind == "x85":
            conn.sendall(socks5_reply(1, 0x85))
            return
        reply = socks5_reply({"atyp1": 1, "atyp3": 3, "atyp4": 4}[kind])
        if split:
            send_pieces(conn, one_by_one(reply))
        else:
            conn.sendall(reply + b"xyz")
    while True:
        data = conn.recv(65536)
        if not data:
            return
        conn.sendall(data)


def log(data):
    with open(LOG, "a") as out:
        out.write(data.hex() + "\n")


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", PORT))
    listener.listen(8)
    while True:
        conn, _ = listener.accept()
        try:
            serve(conn)
        except (EOFError, OSError):
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
