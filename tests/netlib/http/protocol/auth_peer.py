#!/usr/bin/python3
"""An HTTP/1.1 server that checks Digest (RFC 2617, MD5 with qop auth and
auth-int) and NTLM answers on its own, with hashlib and pycryptodome.
The user is "user", the password "secret", the realm "test".

usage: auth_peer.py PORT
"""
import base64
import hashlib
import hmac
import http.server
import os
import re
import struct
import sys

from peer_handler import PeerHandler

USER, PASSWORD, REALM = "user", "secret", "test"
MD5 = 'Digest realm="test", nonce="%s", qop="%s", algorithm=MD5'
SHA = 'Digest realm="test", nonce="%s", qop="auth", algorithm=SHA-256'
CHALLENGES = {
    "/md5-then-sha": lambda n: [MD5 % (n, "auth"), SHA % n],
    "/sha-then-md5": lambda n: [SHA % n, MD5 % (n, "auth")],
    "/sha-only": lambda n: [SHA % n],
    "/auth-int": lambda n: [MD5 % (n, "auth-int")],
}


def h(text):
    return hashlib.md5(text if isinstance(text, bytes) else text.encode()).hexdigest()


def digest_ok(value, method, body):
    params = dict((k, a or b) for k, a, b in re.findall(r'(\w+)=(?:"([^"]*)"|([^,\s]*))', value))
    if params.get("username") != USER or params.get("realm") != REALM:
        return False
    a2 = method + ":" + params["uri"]
    if params.get("qop") == "auth-int":
        a2 += ":" + h(body)
    ha1 = h("%s:%s:%s" % (USER, REALM, PASSWORD))
    expected = h(":".join([ha1, params["nonce"], params["nc"], params["cnonce"], params["qop"], h(a2)]))
    return hmac.compare_digest(expected, params.get("response", ""))


def nt_hash(password):
    from Cryptodome.Hash import MD4
    return MD4.new(password.encode("utf-16-le")).digest()


def desl(key16, data):
    from Cryptodome.Cipher import DES

    def expand(k7):
        bits = int.from_bytes(k7, "big")
        return bytes((((bits >> (49 - 7 * i)) & 0x7F) << 1) for i in range(8))
    key = key16 + b"\0" * 5
    return b"".join(DES.new(expand(key[i:i + 7]), DES.MODE_ECB).encrypt(data) for i in (0, 7, 14))


def field(message, offset):
    length, _, at = struct.unpack_from("<HHI", message, offset)
    return message[at:at + length]


def ntlm_ok(message, server_challenge):
    if message[:8] != b"NTLMSSP\0" or struct.unpack_from("<I", message, 8)[0] != 3:
        return False
    lm, nt = field(message, 12), field(message, 20)
    domain, user = field(message, 28), field(message, 36)
    flags = struct.unpack_from("<I", message, 60)[0]
    unicode = flags & 1
    user_text = user.decode("utf-16-le" if unicode else "latin-1")
    if user_text.lower() != USER:
        return False
    key = nt_hash(PASSWORD)
    if len(nt) == 24:
        if len(lm) == 24 and lm[8:] == b"\0" * 16:
            mixed = hashlib.md5(server_challenge + lm[:8]).digest()[:8]
            return desl(key, mixed) == nt
        return desl(key, server_challenge) == nt
    v2 = hmac.new(key, (user_text.upper()).encode("utf-16-le") + domain, "md5").digest()
    proof = hmac.new(v2, server_challenge + nt[16:], "md5").digest()
    return proof == nt[:16]


class Handler(PeerHandler):
    ntlm_challenge = None

    def handle_any(self):
        body = self.read_body()
        auth = self.headers.get("Authorization", "")
        path = self.path
        if path.startswith("http://"):
            return self.proxy(path, body)
        if path in ("/ntlm", "/negotiate"):
            return self.ntlm(auth, "NTLM" if path == "/ntlm" else "Negotiate")
        if auth.startswith("Digest ") and digest_ok(auth[7:], self.command, body):
            return self.answer(200, b"digest ok " + body)
        nonce = os.urandom(8).hex()
        self.answer(401, b"denied", [("WWW-Authenticate", c) for c in CHALLENGES[path](nonce)])

    def proxy(self, url, body):
        # Forwarding proxy mode: Digest on Proxy-Authenticate, answered for
        # the path of the absolute URL.
        auth = self.headers.get("Proxy-Authorization", "")
        if auth.startswith("Digest ") and digest_ok(auth[7:], self.command, body):
            return self.answer(200, b"proxied " + url.encode())
        challenge = MD5 % (os.urandom(8).hex(), "auth")
        self.answer(407, b"proxy auth", [("Proxy-Authenticate", challenge)])

    def ntlm(self, auth, scheme):
        # Negotiate without Kerberos carries the same raw NTLM messages.
        prefix = scheme + " "
        token = base64.b64decode(auth[len(prefix):]) if auth.startswith(prefix) else b""
        kind = struct.unpack_from("<I", token, 8)[0] if len(token) >= 12 else 0
        if kind == 1:
            Handler.ntlm_challenge = os.urandom(8)
            flags = struct.unpack_from("<I", token, 12)[0] & 0xE2088297 | 0x00020000
            target = "TEST".encode("utf-16-le")
            message = (b"NTLMSSP\0" + struct.pack("<I", 2) + struct.pack("<HHI", len(target), len(target), 48) +
                       struct.pack("<I", flags) + Handler.ntlm_challenge + b"\0" * 8 +
                       struct.pack("<HHI", 0, 0, 48 + len(target)) + target)
            challenge = prefix + base64.b64encode(message).decode()
            return self.answer(401, b"challenge", [("WWW-Authenticate", challenge)])
        if kind == 3 and Handler.ntlm_challenge and ntlm_ok(token, Handler.ntlm_challenge):
            return self.answer(200, b"ntlm ok")
        self.answer(401, b"denied", [("WWW-Authenticate", scheme)])

    do_GET = do_POST = handle_any


http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
