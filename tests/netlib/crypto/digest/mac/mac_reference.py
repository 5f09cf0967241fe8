#!/usr/bin/python3
"""Independent values for the MAC and key-derivation tests.

Reads one request per line and prints one hex result per line:
  hmac <alg> <key> <msg>
  pbkdf2 <alg> <iterations> <length> <password> <salt>
  btk <alg> <iterations> <passwordFirst> <length> <password> <salt>
  ssl3 <length> <secret> <seed>
Byte arguments are hex, "-" for none. Algorithms: the hashlib names,
"keccak224".."keccak512" and "md2" (pycryptodome), "md4" (the openssl tool),
"shake128"/"shake256" with 32 and 64 output bytes.
"""
import hashlib
import hmac
import os
import sys

from Cryptodome.Hash import MD2, keccak


# The digest tests' reference, in ../hash, already knows how to get MD4.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "hash"))
import digest_reference  # noqa: E402


def md4(data):
    return bytes.fromhex(digest_reference.md4(data))


# name -> (digest function, input block in bytes) for what hmac.new cannot take.
OTHERS = {
    "md2": (lambda d: MD2.new(d).digest(), 16),
    "md4": (md4, 64),
    "keccak224": (lambda d: keccak.new(data=d, digest_bits=224).digest(), 144),
    "keccak256": (lambda d: keccak.new(data=d, digest_bits=256).digest(), 136),
    "keccak384": (lambda d: keccak.new(data=d, digest_bits=384).digest(), 104),
    "keccak512": (lambda d: keccak.new(data=d, digest_bits=512).digest(), 72),
    "shake128": (lambda d: hashlib.shake_128(d).digest(32), 168),
    "shake256": (lambda d: hashlib.shake_256(d).digest(64), 136),
}


def mac(alg, key, msg):
    if alg not in OTHERS:
        return hmac.new(key, msg, alg).digest()
    digest, block = OTHERS[alg]
    if len(key) > block:
        key = digest(key)
    key = key.ljust(block, b"\0")
    inner = digest(bytes(k ^ 0x36 for k in key) + msg)
    return digest(bytes(k ^ 0x5C for k in key) + inner)


def pbkdf2(alg, iterations, length, password, salt):
    if alg not in OTHERS:
        return hashlib.pbkdf2_hmac(alg, password, salt, iterations, length)
    out = b""
    index = 1
    while len(out) < length:
        u = mac(alg, password, salt + index.to_bytes(4, "big"))
        t = u
        for _ in range(iterations - 1):
            u = mac(alg, password, u)
            t = bytes(a ^ b for a, b in zip(t, u))
        out += t
        index += 1
    return out[:length]


def bytes_to_key(alg, iterations, password_first, length, password, salt):
    h = {"md5": hashlib.md5, "sha1": hashlib.sha1,
         "md2": lambda d: MD2.new(d)}[alg]
    out = b""
    d = b""
    while len(out) < length:
        d = h((password + d if password_first else d + password) + salt).digest()
        for _ in range(iterations - 1):
            d = h(d).digest()
        out += d
    return out[:length]


def ssl3(length, secret, seed):
    out = b""
    n = 1
    while len(out) < length:
        label = bytes([0x40 + n]) * n
        inner = hashlib.sha1(label + secret + seed).digest()
        out += hashlib.md5(secret + inner).digest()
        n += 1
    return out[:length]


def data(text):
    return b"" if text == "-" else bytes.fromhex(text)


def answer(parts):
    kind = parts[0]
    if kind == "hmac":
        return mac(parts[1], data(parts[2]), data(parts[3]))
    if kind == "pbkdf2":
        return pbkdf2(parts[1], int(parts[2]), int(parts[3]), data(parts[4]), data(parts[5]))
    if kind == "btk":
        return bytes_to_key(parts[1], int(parts[2]), int(parts[3]), int(parts[4]),
                            data(parts[5]), data(parts[6]))
    if kind == "ssl3":
        return ssl3(int(parts[1]), data(parts[2]), data(parts[3]))
    raise ValueError(kind)


def main():
    for line in sys.stdin:
        parts = line.split()
        if parts:
            print(answer(parts).hex())


if __name__ == "__main__":
    main()
