#!/usr/bin/python3
"""Independent NTLMv1 reference (MS-NLMP 3.3.1) built on pycryptodome.

  ntlm_reference.py hashes PASSWORD
      prints the LM and NT hashes in hex.
  ntlm_reference.py check AUTH_HEX USER DOMAIN PASSWORD SERVER_CHALLENGE_HEX
      checks an AUTHENTICATE message and prints "ok" or what is wrong.
"""
import hashlib
import struct
import sys

from Cryptodome.Cipher import DES
from Cryptodome.Hash import MD4


def des_key(seven):
    bits = int.from_bytes(seven, "big")
    return bytes(((bits >> (49 - 7 * i)) & 0x7F) << 1 for i in range(8))


def des(key7, data):
    return DES.new(des_key(key7), DES.MODE_ECB).encrypt(data)


def desl(key16, data):
    k = key16 + b"\0" * 5
    return des(k[0:7], data) + des(k[7:14], data) + des(k[14:21], data)


def nt_hash(password):
    return MD4.new(password.encode("latin-1").decode("latin-1").encode("utf-16-le")).digest()


def lm_hash(password):
    upper = bytes(c - 32 if 0x61 <= c <= 0x7A else c for c in password.encode("latin-1"))
    p = (upper + b"\0" * 14)[:14]
    return des(p[:7], b"KGS!@#$%") + des(p[7:], b"KGS!@#$%")


def field(msg, at):
    length, maxlen, offset = struct.unpack_from("<HHI", msg, at)
    if length != maxlen:
        raise ValueError("MaxLen differs from Len at %d" % at)
    if offset + length > len(msg):
        raise ValueError("field at %d runs past the message" % at)
    return msg[offset:offset + length]


def check(msg, user, domain, password, server_challenge):
    if msg[:8] != b"NTLMSSP\0" or struct.unpack_from("<I", msg, 8)[0] != 3:
        return "bad signature or type"
    flags = struct.unpack_from("<I", msg, 60)[0]
    if msg[64:72] != bytes(7) + b"\x0f":
        return "bad version"
    if field(msg, 28) != domain.encode("latin-1").decode("latin-1").encode("utf-16-le"):
        return "bad domain"
    if field(msg, 36) != user.encode("latin-1").decode("latin-1").encode("utf-16-le"):
        return "bad user"
    if field(msg, 44) or field(msg, 52):
        return "workstation or session key present"
    lm, nt = field(msg, 12), field(msg, 20)
    if flags & 0x00080000:
        client = lm[:8]
        if lm[8:] != bytes(16) or 0 in client:
            return "bad LM response for extended session security"
        want = desl(nt_hash(password), hashlib.md5(server_challenge + client).digest()[:8])
        if nt != want:
            return "bad NT response (NTLM2 session)"
    else:
        if nt != desl(nt_hash(password), server_challenge):
            return "bad NT response"
        if lm != desl(lm_hash(password), server_challenge):
            return "bad LM response"
    return "ok"


def main():
    if sys.argv[1] == "hashes":
        print(lm_hash(sys.argv[2]).hex(), nt_hash(sys.argv[2]).hex())
        return
    msg = bytes.fromhex(sys.argv[2])
    try:
        print(check(msg, sys.argv[3], sys.argv[4], sys.argv[5], bytes.fromhex(sys.argv[6])))
    except (ValueError, struct.error) as error:
        print(error)


if __name__ == "__main__":
    main()
