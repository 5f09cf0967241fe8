#!/usr/bin/env python3
"""Cases for the curve-integer and field tests, with Python's int as the
reference. One case a line, fields separated by '|', integers in hex.
  oracle.py bigint N         signed add, sub, mul, mod, modpow, modinverse
  oracle.py prime P N        field mul, add, sub, halve, inverse, sqrt for prime P
  oracle.py binary F N       GF(2^m) mul, square, inverse, half-trace for polynomial F
The seed is fixed so every run checks the same cases."""
import random
import sys

rng = random.Random(20261210)


def h(v):
    return ('-' if v < 0 else '') + format(abs(v), 'x')


def emit(*fields):
    print('|'.join(f if isinstance(f, str) else h(f) for f in fields))


def operand(bits):
    b = rng.choice([1, 31, 32, 33, 64, 95, 96, 97, 255, 256, 521, rng.randint(1, bits)])
    b = min(b, bits)
    v = rng.getrandbits(b) | (1 << (b - 1))
    return -v if rng.random() < 0.4 else v


def bigint(n):
    for _ in range(n):
        a, b = operand(1200), operand(1200)
        emit('add', a, b, a + b)
        emit('sub', a, b, a - b)
        emit('mul', a, b, a * b)
        m = abs(operand(600)) | 1
        emit('mod', a, m, abs(a) % m)
        e = abs(operand(130)) or 1
        emit('modpow', abs(a), e, m, pow(abs(a), e, m))
        x = abs(a) % m or 1
        from math import gcd
        g = gcd(x, m)
        inv = pow(x, -1, m) if g == 1 else 0
        emit('modinv', x, m, g, inv)


def prime(p, n):
    for _ in range(n):
        a, b = rng.randrange(p), rng.randrange(p)
        if rng.random() < 0.1:
            a = p - 1 - rng.randrange(4)
        emit('mul', a, b, a * b % p)
        emit('add', a, b, (a + b) % p)
        emit('sub', a, b, (a - b) % p)
        emit('halve', a, a * pow(2, -1, p) % p)
        if a:
            emit('inv', a, pow(a, -1, p))
        s = a * a % p
        emit('sqrt', s, 1)
        # a non-residue: its square root does not exist
        for _ in range(200):
            c = rng.randrange(1, p)
            if pow(c, (p - 1) // 2, p) == p - 1:
                emit('sqrt', c, 0)
                break


def clmul(a, b):
    r = 0
    while b:
        if b & 1:
            r ^= a
        a <<= 1
        b >>= 1
    return r


def pmod(a, f):
    m = f.bit_length() - 1
    while a.bit_length() - 1 >= m:
        a ^= f << (a.bit_length() - 1 - m)
    return a


def binary(f, n):
    m = f.bit_length() - 1
    for _ in range(n):
        a, b = rng.getrandbits(m), rng.getrandbits(m)
        emit('mul', a, b, pmod(clmul(a, b), f))
        emit('sqr', a, pmod(clmul(a, a), f))
        if a:
            inv = pow_gf(a, (1 << m) - 2, f)
            emit('inv', a, inv)
        if m % 2 == 1:
            t = a
            for _ in range((m - 1) // 2):
                t = pmod(clmul(t, t), f)
                t = pmod(clmul(t, t), f) ^ a
            emit('halftrace', a, t)


def pow_gf(a, e, f):
    r = 1
    while e:
        if e & 1:
            r = pmod(clmul(r, a), f)
        a = pmod(clmul(a, a), f)
        e >>= 1
    return r


if __name__ == '__main__':
    kind = sys.argv[1]
    if kind == 'bigint':
        bigint(int(sys.argv[2]))
    elif kind == 'prime':
        prime(int(sys.argv[2], 16), int(sys.argv[3]))
    else:
        binary(int(sys.argv[2], 16), int(sys.argv[3]))
