"""Kerberos encryption written from RFC 3961, 3962 and 4757 for the tests.
One request a line on stdin, one answer a line on stdout ("FAIL" when a
check fails). Fields are hex ("-" for empty):
  nfold BYTES DATA | s2k ETYPE PASSWORD SALT PARAMS
  enc ETYPE KEY USAGE PLAIN [CONFOUNDER] | dec ETYPE KEY USAGE CIPHER
  cksum ETYPE KEY USAGE DATA
des-cbc-md5 uses this system's fill: k bytes of value k, or eight zero
bytes when already aligned."""
import hashlib
import hmac
import os
import sys
import zlib

from Cryptodome.Cipher import AES, ARC4, DES
from Cryptodome.Hash import MD4


def unhex(s):
    return b"" if s == "-" else bytes.fromhex(s)


def rotate_right(data, shift):
    bits = len(data) * 8
    value = int.from_bytes(data, "big")
    shift %= bits
    value = ((value >> shift) | (value << (bits - shift))) & ((1 << bits) - 1)
    return value.to_bytes(len(data), "big")


def nfold(data, n):
    k = len(data)
    lcm = k * n // __import__("math").gcd(k, n)
    big = b"".join(rotate_right(data, 13 * i) for i in range(lcm // k))
    total = 0
    mask = (1 << (8 * n)) - 1
    for i in range(0, lcm, n):
        total += int.from_bytes(big[i:i + n], "big")
        while total > mask:
            total = (total & mask) + (total >> (8 * n))
    return total.to_bytes(n, "big")


def aes_cbc_zero(key, data):
    return AES.new(key, AES.MODE_ECB).encrypt(data)


def dk(key, constant):
    block = nfold(constant, 16)
    out = b""
    while len(out) < len(key):
        block = aes_cbc_zero(key, block)
        out += block
    return out[:len(key)]


def cts_encrypt(key, data):
    if len(data) == 16:
        return AES.new(key, AES.MODE_CBC, bytes(16)).encrypt(data)
    pad = (-len(data)) % 16
    c = AES.new(key, AES.MODE_CBC, bytes(16)).encrypt(data + bytes(pad))
    # Swap the last two blocks, then cut the (new) last one to the data's length.
    c = c[:-32] + c[-16:] + c[-32:-16]
    return c[:len(data)]


def cts_decrypt(key, data):
    if len(data) == 16:
        return AES.new(key, AES.MODE_CBC, bytes(16)).decrypt(data)
    ecb = AES.new(key, AES.MODE_ECB)
    n = len(data)
    tail = n - ((n - 1) // 16) * 16  # bytes in the last, partial block
    head = data[:n - 16 - tail]
    cn1 = data[n - 16 - tail:n - tail]
    cn = data[n - tail:]
    prev = head[-16:] if head else bytes(16)
    p_head = AES.new(key, AES.MODE_CBC, bytes(16)).decrypt(head) if head else b""
    d = ecb.decrypt(cn1)
    last = bytes(a ^ b for a, b in zip(d[:tail], cn))
    full_cn = cn + d[tail:]
    pn1 = bytes(a ^ b for a, b in zip(ecb.decrypt(full_cn), prev))
    return p_head + pn1 + last


def usage_key(key, usage, kind):
    return dk(key, usage.to_bytes(4, "big") + bytes([kind]))


def rc4_usage(u):
    return {3: 8, 9: 8, 23: 13}.get(u, u)


def hm(key, data, algo):
    return hmac.new(key, data, algo).digest()


def des_fill(m):
    rest = len(m) % 8
    return m + (bytes(8) if rest == 0 else bytes([8 - rest]) * (8 - rest))


def s2k(etype, password, salt, params):
    if etype in (17, 18):
        iters = int.from_bytes(params[:4].ljust(4, b"\0"), "big") if params else 4096
        tkey = hashlib.pbkdf2_hmac("sha1", password, salt, iters, 16 if etype == 17 else 32)
        return dk(tkey, b"kerberos")
    if etype == 23:
        return MD4.new(password).digest()
    raise ValueError(etype)


def encrypt(etype, key, usage, plain, conf):
    if etype in (17, 18):
        conf = conf or os.urandom(16)
        data = conf + plain
        return cts_encrypt(usage_key(key, usage, 0xAA), data) + hm(usage_key(key, usage, 0x55), data, "sha1")[:12]
    if etype == 23:
        conf = conf or os.urandom(8)
        k1 = hm(key, rc4_usage(usage).to_bytes(4, "little"), "md5")
        data = conf + plain
        checksum = hm(k1, data, "md5")
        k3 = hm(k1, checksum, "md5")
        return checksum + ARC4.new(k3).encrypt(data)
    if etype == 3:
        conf = conf or os.urandom(8)
        m = des_fill(conf + bytes(16) + plain)
        m = m[:8] + hashlib.md5(m).digest() + m[24:]
        return DES.new(key, DES.MODE_CBC, bytes(8)).encrypt(m)
    raise ValueError(etype)


def decrypt(etype, key, usage, cipher):
    if etype in (17, 18):
        data = cts_decrypt(usage_key(key, usage, 0xAA), cipher[:-12])
        if hm(usage_key(key, usage, 0x55), data, "sha1")[:12] != cipher[-12:]:
            return None
        return data[16:]
    if etype == 23:
        k1 = hm(key, rc4_usage(usage).to_bytes(4, "little"), "md5")
        k3 = hm(k1, cipher[:16], "md5")
        data = ARC4.new(k3).decrypt(cipher[16:])
        return data[8:] if hm(k1, data, "md5") == cipher[:16] else None
    if etype == 3:
        m = DES.new(key, DES.MODE_CBC, bytes(8)).decrypt(cipher)
        got = m[8:24]
        m = m[:8] + bytes(16) + m[24:]
        return m[24:] if hashlib.md5(m).digest() == got else None  # the fill stays
    raise ValueError(etype)


def checksum(etype, key, usage, data):
    if etype in (17, 18):
        return hm(usage_key(key, usage if usage >= 1 else 6, 0x99), data, "sha1")[:12]
    if etype == 23:
        return hashlib.md5(data).digest()
    if etype == 3:
        # RFC 3961 CRC-32: zlib's CRC without its initial and final complement.
        crc = zlib.crc32(data, 0xFFFFFFFF) ^ 0xFFFFFFFF
        return crc.to_bytes(4, "little")
    raise ValueError(etype)


for line in sys.stdin:
    f = line.split()
    op = f[0]
    if op == "nfold":
        out = nfold(unhex(f[2]), int(f[1]))
    elif op == "s2k":
        out = s2k(int(f[1]), unhex(f[2]), unhex(f[3]), unhex(f[4]))
    elif op == "enc":
        out = encrypt(int(f[1]), unhex(f[2]), int(f[3]), unhex(f[4]), unhex(f[5]) if len(f) > 5 else b"")
    elif op == "dec":
        out = decrypt(int(f[1]), unhex(f[2]), int(f[3]), unhex(f[4]))
    elif op == "cksum":
        out = checksum(int(f[1]), unhex(f[2]), int(f[3]), unhex(f[4]))
    print("FAIL" if out is None else (out.hex() or "-"), flush=True)
