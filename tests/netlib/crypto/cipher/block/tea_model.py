"""Reference model of the TEA family for the tests, written from the
published pseudo-code. It first reproduces the standard vectors (32-cycle
TEA and XTEA, XXTEA), then applies this library's variants: 64 cycles,
the XTEA mixing term ((z << 4) ^ ((z >> 5) + z)), big-endian words.
Prints rows: algorithm key plain cipher (hex)."""
import os
import sys

DELTA = 0x9E3779B9
MASK = 0xFFFFFFFF


def words(b):
    return [int.from_bytes(b[i:i + 4], 'big') for i in range(0, len(b) - len(b) % 4, 4)]


def tobytes(w):
    return b''.join(x.to_bytes(4, 'big') for x in w)


def tea(k, v, cycles):
    y, z, s = v[0], v[1], 0
    for _ in range(cycles):
        s = (s + DELTA) & MASK
        y = (y + ((((z << 4) + k[0]) & MASK) ^ ((z + s) & MASK) ^ (((z >> 5) + k[1]) & MASK))) & MASK
        z = (z + ((((y << 4) + k[2]) & MASK) ^ ((y + s) & MASK) ^ (((y >> 5) + k[3]) & MASK))) & MASK
    return [y, z]


def xtea(k, v, cycles, variant):
    def mix(x):
        if variant:  # the addition binds to the shifted value only
            return ((x << 4) & MASK) ^ (((x >> 5) + x) & MASK)
        return ((((x << 4) & MASK) ^ (x >> 5)) + x) & MASK
    y, z, s = v[0], v[1], 0
    for _ in range(cycles):
        y = (y + (mix(z) ^ ((s + k[s & 3]) & MASK))) & MASK
        s = (s + DELTA) & MASK
        z = (z + (mix(y) ^ ((s + k[(s >> 11) & 3]) & MASK))) & MASK
    return [y, z]


def xxtea(k, v):
    v = list(v)
    n = len(v)
    rounds = 6 + 52 // n
    s, z = 0, v[n - 1]
    for _ in range(rounds):
        s = (s + DELTA) & MASK
        e = (s >> 2) & 3
        for p in range(n):
            y = v[(p + 1) % n]
            mx = ((((z >> 5) ^ (y << 2)) + ((y >> 3) ^ (z << 4))) ^ ((s ^ y) + (k[(p & 3) ^ e] ^ z))) & MASK
            v[p] = (v[p] + mx) & MASK
            z = v[p]
    return v


# The standard family first.
assert tea([0] * 4, [0, 0], 32) == [0x41ea3a0a, 0x94baa940]
assert xtea(words(bytes(range(16))), words(b'ABCDEFGH'), 32, False) == [0x497df3d0, 0x72612cb5]
assert xxtea([0] * 4, [0, 0]) == [0x053704ab, 0x575d8c80]

count = int(sys.argv[1])
for _ in range(count):
    key = os.urandom(16)
    k = words(key)
    for name, fn in (('tea', lambda v: tea(k, v, 64)), ('xtea', lambda v: xtea(k, v, 64, True))):
        pt = os.urandom(8)
        print(name, key.hex(), pt.hex(), tobytes(fn(words(pt))).hex())
    for length in (8, 12, 40):
        pt = os.urandom(length)
        print('xxtea', key.hex(), pt.hex(), tobytes(xxtea(k, words(pt))).hex())
# High key bytes read as plain big-endian words.
key = bytes([0x80, 0xff, 0x90, 0xa0] * 4)
print('tea', key.hex(), '8081828384858687', tobytes(tea(words(key), words(bytes(range(0x80, 0x88))), 64)).hex())
