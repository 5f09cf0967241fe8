"""Reference results for the cipher engine tests, from Python's cryptography.

Each input line: algorithm mode padding key iv aad data (hex, '-' for empty).
Each output line: the hex result of encrypting with one call (for the AEAD
algorithms the ciphertext followed by the 16-byte tag), SKIP when this
release of cryptography (or its OpenSSL) lacks the algorithm, or ERR.
"""
import sys
import warnings

warnings.simplefilter("ignore")
from cryptography.exceptions import UnsupportedAlgorithm  # noqa: E402
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes  # noqa: E402
from cryptography.hazmat.primitives.ciphers.aead import AESGCM, ChaCha20Poly1305  # noqa: E402
try:
    from cryptography.hazmat.decrepit.ciphers import algorithms as old
except ImportError:  # older releases keep these beside the others
    old = algorithms

CBC, ECB, OFB, CFB, CTS = 1, 2, 3, 4, 5
NONE, PKCS7, ZEROS, ZEROS_AND_COUNT = 1, 2, 3, 4


class Missing(Exception):
    pass


def block_algorithm(alg, key):
    if alg == 8 and not hasattr(old, "RC2"):
        raise Missing()
    return {0: lambda: algorithms.AES(key), 1: lambda: old.TripleDES(key), 2: lambda: old.TripleDES(key),
            3: lambda: old.CAST5(key), 4: lambda: old.Blowfish(key), 6: lambda: old.IDEA(key),
            8: lambda: old.RC2(key), 13: lambda: algorithms.AES(key)}[alg]()


def run(algorithm, mode, data):
    c = Cipher(algorithm, mode).encryptor()
    return c.update(data) + c.finalize()


def pad(data, padding, b):
    if padding == NONE:
        return data
    n = b - len(data) % b
    if padding == PKCS7:
        return data + bytes([n]) * n
    if padding == ZEROS_AND_COUNT:
        return data + bytes(n - 1) + bytes([n])
    return data + bytes(n)


def block_mode(alg, mode, padding, key, iv, data):
    a = block_algorithm(alg, key)
    b = a.block_size // 8
    iv = iv[:b]
    if mode == ECB:
        return run(a, modes.ECB(), pad(data, padding, b))
    if mode == CBC:
        return run(a, modes.CBC(iv), pad(data, padding, b))
    if mode == OFB:
        return run(a, modes.OFB(iv), data)
    if mode == CFB:
        return run(a, modes.CFB(iv), data)
    # Ciphertext stealing with the last two blocks always swapped.
    if len(data) == b:
        return run(a, modes.CBC(iv), data)
    r = len(data) % b or b
    c = run(a, modes.CBC(iv), data + bytes(b - r))
    return c[:-2 * b] + c[-b:] + c[-2 * b:-2 * b + r]


def encrypt(alg, mode, padding, key, iv, aad, data):
    if alg == 7:
        return run(old.ARC4(key), None, data)
    if alg == 14:
        nonce = (bytes(4) + iv) if len(iv) == 12 else (bytes(8) + iv)
        return run(algorithms.ChaCha20(key, nonce), None, data)
    if alg == 12:
        return AESGCM(key).encrypt(iv, data, aad)
    if alg == 15:
        return ChaCha20Poly1305(key).encrypt(iv, data, aad)
    return block_mode(alg, mode, padding, key, iv, data)


for line in sys.stdin:
    f = line.split()
    h = [bytes.fromhex(x) if x != "-" else b"" for x in f[3:]]
    try:
        print(encrypt(int(f[0]), int(f[1]), int(f[2]), *h).hex() or "-")
    except (Missing, UnsupportedAlgorithm):
        print("SKIP")
    except Exception as e:  # noqa: BLE001
        print("ERR", type(e).__name__)
    sys.stdout.flush()
