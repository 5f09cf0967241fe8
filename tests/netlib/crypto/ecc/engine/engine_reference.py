"""Reference side of the ECC engine tests: Wycheproof vectors pre-digested
into '|' lines, and ECDSA, ECDH and the ECIES-style composition done with
Python's cryptography package."""
import hashlib
import hmac
import json
import os
import sys

from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature, encode_dss_signature
from cryptography.hazmat.primitives.ciphers import Cipher, modes
from cryptography.hazmat.primitives import padding

try:
    from cryptography.hazmat.decrepit.ciphers.algorithms import TripleDES
except ImportError:  # older packages keep it among the algorithms
    from cryptography.hazmat.primitives.ciphers.algorithms import TripleDES

CURVES = {"0": (ec.SECP256R1(), 32, hashes.SHA256()),
          "1": (ec.SECP384R1(), 48, hashes.SHA384()),
          "2": (ec.SECP521R1(), 66, hashes.SHA512())}


def hx(b):
    return b.hex() if b else "-"


def unhex(s):
    return b"" if s == "-" else bytes.fromhex(s)


def wycheproof(path):
    data = json.load(open(path))
    for group in data["testGroups"]:
        if "publicKey" in group:
            key = group["publicKey"]
            head = [key["wx"], key["wy"], group["sha"]]
        else:
            head = [group["curve"]]
        for t in group["tests"]:
            if "sig" in t:
                row = [str(t["tcId"]), t["result"]] + head + [hx(bytes.fromhex(t["msg"])), hx(bytes.fromhex(t["sig"]))]
            else:
                row = [str(t["tcId"]), t["result"]] + head + [hx(bytes.fromhex(t["public"])), t["private"],
                                                              hx(bytes.fromhex(t["shared"]))]
            print("|".join(row))


def key_numbers(key, width):
    pub = key.public_key().public_numbers()
    return [key.private_numbers().private_value.to_bytes(width, "big").hex(),
            pub.x.to_bytes(width, "big").hex(), pub.y.to_bytes(width, "big").hex()]


def public_key(curve, x, y):
    return ec.EllipticCurvePublicNumbers(int(x, 16), int(y, 16), curve).public_key()


def private_key(curve, d):
    return ec.derive_private_key(int(d, 16), curve)


def keys(index, count):
    """d|x|y|msg|DER signature by the key|peer d|peer x|peer y|shared x"""
    curve, width, digest = CURVES[index]
    for i in range(int(count)):
        key = ec.generate_private_key(curve)
        peer = ec.generate_private_key(curve)
        msg = os.urandom(1 + i * 37)
        sig = key.sign(msg, ec.ECDSA(digest))
        shared = key.exchange(ec.ECDH(), peer.public_key())
        print("|".join(key_numbers(key, width) + [msg.hex(), sig.hex()] + key_numbers(peer, width) + [shared.hex()]))


def verify(index, x, y, msg, raw):
    """Verifies a raw r||s signature of ours; prints 1 or 0."""
    curve, width, digest = CURVES[index]
    raw = bytes.fromhex(raw)
    half = len(raw) // 2
    der = encode_dss_signature(int.from_bytes(raw[:half], "big"), int.from_bytes(raw[half:], "big"))
    try:
        public_key(curve, x, y).verify(der, bytes.fromhex(msg), ec.ECDSA(digest))
        print(1)
    except Exception:
        print(0)


def ies_keys(shared):
    k = b"".join(hashlib.sha1(shared + c.to_bytes(4, "big")).digest() for c in range(3))[:44]
    return k[:24], k[24:]


def ies_encrypt(index, x, y, plain):
    curve, width, _ = CURVES[index]
    eph = ec.generate_private_key(curve)
    shared = eph.exchange(ec.ECDH(), public_key(curve, x, y))
    ckey, mkey = ies_keys(shared)
    padder = padding.PKCS7(64).padder()
    body = padder.update(unhex(plain)) + padder.finalize()
    enc = Cipher(TripleDES(ckey), modes.CBC(bytes(8))).encryptor()
    c = enc.update(body) + enc.finalize()
    point = eph.public_key().public_numbers()
    r = b"\x04" + point.x.to_bytes(width, "big") + point.y.to_bytes(width, "big")
    print((r + c + hmac.new(mkey, c, hashlib.sha1).digest()).hex())


def ies_decrypt(index, d, message):
    curve, width, _ = CURVES[index]
    message = bytes.fromhex(message)
    r, c, tag = message[:2 * width + 1], message[2 * width + 1:-20], message[-20:]
    eph = public_key(curve, r[1:1 + width].hex(), r[1 + width:].hex())
    shared = private_key(curve, d).exchange(ec.ECDH(), eph)
    ckey, mkey = ies_keys(shared)
    if not hmac.compare_digest(hmac.new(mkey, c, hashlib.sha1).digest(), tag):
        print("BADMAC")
        return
    dec = Cipher(TripleDES(ckey), modes.CBC(bytes(8))).decryptor()
    unpadder = padding.PKCS7(64).unpadder()
    print(hx(unpadder.update(dec.update(c) + dec.finalize()) + unpadder.finalize()))


def digest(name, data):
    print(hashlib.new(name, unhex(data)).hexdigest())


def mac(name, key, data):
    print(hmac.new(unhex(key), unhex(data), name).hexdigest())


if __name__ == "__main__":
    globals()[sys.argv[1]](*sys.argv[2:])
