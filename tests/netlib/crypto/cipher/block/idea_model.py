"""Plain IDEA model for the tests: arithmetic straight from the definition
(products modulo 65537 with 0 as 65536, inverses by Fermat), checked
against the published vector before it prints random rows:
key plain cipher, in hex."""
import os
import sys

M = 0x10001


def mul(a, b):
    a = a or 0x10000
    b = b or 0x10000
    return (a * b % M) & 0xFFFF


def inv(a):
    return pow(a or 0x10000, M - 2, M) & 0xFFFF


def schedule(key):
    bits = int.from_bytes(key, 'big')
    z = []
    while len(z) < 52:
        z += [(bits >> (112 - 16 * i)) & 0xFFFF for i in range(8)]
        bits = ((bits << 25) | (bits >> 103)) & ((1 << 128) - 1)
    return z[:52]


def encrypt(key, block):
    z = schedule(key)
    x = [int.from_bytes(block[i:i + 2], 'big') for i in range(0, 8, 2)]
    for r in range(8):
        k = z[6 * r:6 * r + 6]
        a = mul(x[0], k[0])
        b = (x[1] + k[1]) & 0xFFFF
        c = (x[2] + k[2]) & 0xFFFF
        d = mul(x[3], k[3])
        t0 = mul(a ^ c, k[4])
        t1 = mul((t0 + (b ^ d)) & 0xFFFF, k[5])
        t0 = (t0 + t1) & 0xFFFF
        x = [a ^ t1, c ^ t1, b ^ t0, d ^ t0]
    k = z[48:]
    y = [mul(x[0], k[0]), (x[2] + k[1]) & 0xFFFF, (x[1] + k[2]) & 0xFFFF, mul(x[3], k[3])]
    return b''.join(v.to_bytes(2, 'big') for v in y)


assert encrypt(bytes.fromhex('00010002000300040005000600070008'),
               bytes.fromhex('0000000100020003')).hex() == '11fbed2b01986de5'
assert inv(0) == 0 and inv(1) == 1 and mul(inv(12345), 12345) == 1

keys = [os.urandom(16) for _ in range(int(sys.argv[1]))] + [bytes(16), b'\xff' * 16]
for key in keys:
    data = os.urandom(64)
    ct = b''.join(encrypt(key, data[i:i + 8]) for i in range(0, 64, 8))
    print(key.hex(), data.hex(), ct.hex())
