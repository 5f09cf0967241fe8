#!/usr/bin/env python3
"""Prints cases for the big-integer differential test: one per line,
fields separated by '|', integers as signed hexadecimal. Python's int is
the reference; the seed is fixed so every run checks the same cases."""
import random
import sys

rng = random.Random(int(sys.argv[1]) if len(sys.argv) > 1 else 20261210)


def h(v):
    return ('-' if v < 0 else '') + format(abs(v), 'x')


def operand(max_bits, signed=True):
    kind = rng.random()
    bits = rng.choice([1, 2, 31, 32, 33, 63, 64, 65, 127, 128, 129]) if kind < 0.3 else rng.randint(1, max_bits)
    bits = min(bits, max_bits)
    if rng.random() < 0.15:
        v = (1 << bits) - rng.choice([0, 1])          # powers of two and all-ones runs
    elif rng.random() < 0.1:
        v = (1 << bits) | rng.getrandbits(max(1, bits // 3))   # long zero runs
    else:
        v = rng.getrandbits(bits) | (1 << (bits - 1))
    if signed and rng.random() < 0.5:
        v = -v
    return v


def trunc_divmod(a, b):
    q = abs(a) // abs(b)
    if (a < 0) != (b < 0):
        q = -q
    return q, a - q * b


def emit(*fields):
    print('|'.join(str(f) if isinstance(f, str) else h(f) for f in fields))


def twos_bytes(v):
    n = (v.bit_length() if v >= 0 else (~v).bit_length()) // 8 + 1
    return v.to_bytes(n, 'big', signed=True).hex()


def digits(v, radix):
    if v == 0:
        return '0'
    alphabet = '0123456789ABCDEFGHIJKLMNOPQRSTUV'
    out, m = [], abs(v)
    while m:
        out.append(alphabet[m % radix])
        m //= radix
    return ('-' if v < 0 else '') + ''.join(reversed(out))


for _ in range(300):
    a, b = operand(4096), operand(4096)
    emit('add', a, b, a + b)
    emit('sub', a, b, a - b)
    emit('mul', a, b, a * b)
    if b != 0:
        q, r = trunc_divmod(a, b)
        emit('divrem', a, b, q, r)
    # Divisors just under the dividend: the quotient estimate's hard cases.
    d = abs(a) >> rng.randint(0, 130)
    if d > 1:
        d -= rng.randint(0, 1)
        q, r = trunc_divmod(a, d)
        emit('divrem', a, d, q, r)
    m = abs(b) or 1
    emit('mod', a, m, a % m)
    n = rng.randint(-300, 300)
    emit('shl', a, str(n), a << n if n >= 0 else a >> -n)
    emit('shr', a, str(n), a >> n if n >= 0 else a << -n)
    emit('bytes', a, twos_bytes(a))
    emit('bits', a, str(a.bit_length() if a >= 0 else (~a).bit_length()),
         str((a & -a).bit_length() - 1 if a else -1), str(a & 0xFFFFFFFFFFFFFFFF))
    word = rng.randint(0, 140)
    emit('getint', a, str(word), str((a >> (32 * word)) & 0xFFFFFFFF))
    radix = rng.randint(2, 32)
    emit('text', a, str(radix), digits(a, radix))

for _ in range(120):
    bits = rng.choice([8, 64, 100, 256, 521, 1024, 2048])
    m = operand(bits, signed=False) | 1
    if m == 1:
        m = 3
    a = operand(bits + rng.choice([0, 0, 64]))
    try:
        emit('modinv', a, m, pow(a, -1, m))
    except ValueError:
        emit('modinv', a, m, 'none')
    even = operand(bits, signed=False) << rng.randint(1, 70)
    try:
        emit('modinv', a, even, pow(a, -1, even))
    except ValueError:
        emit('modinv', a, even, 'none')

# Exponentiation: odd, even and power-of-two moduli, both signs of base and
# exponent; few of the largest sizes to keep the sanitiser build quick.
for i in range(90):
    bits = [64, 128, 192, 256, 512, 1024, 1536, 2048][i % 8] if i < 80 else 4096
    kind = rng.choice(['odd', 'odd', 'even', 'pow2'])
    if kind == 'odd':
        m = rng.getrandbits(bits) | (1 << (bits - 1)) | 1
    elif kind == 'even':
        m = (rng.getrandbits(bits) | (1 << (bits - 1))) & ~((1 << rng.randint(1, min(80, bits - 1))) - 1)
    else:
        m = 1 << rng.randint(1, bits)
    # Bases beyond twice the modulus' size take the division path.
    base = operand(bits + 8) if rng.random() < 0.8 else operand(3 * bits + 64)
    e = rng.getrandbits(rng.choice([1, 16, 17, 33, bits]))
    if rng.random() < 0.2:
        e = -e
    try:
        emit('modpow', base, e, m, pow(base, e, m))
    except ValueError:
        emit('modpow', base, e, m, 'none')
    if e >= 0 and bits <= 512:
        emit('modpowbin', base, e, m, pow(base, e, m) if e else 1)

for _ in range(40):
    a = operand(300)
    e = rng.randint(0, 20)
    emit('pow', a, str(e), a ** e)

# Full-width operands of the RSA and DSA sizes, whose multiply, square and
# Montgomery kernels are unrolled for their length.
for bits in (512, 1024, 2048):
    for _ in range(3):
        a = rng.getrandbits(bits) | (1 << (bits - 1))
        b = rng.getrandbits(bits) | (1 << (bits - 1))
        emit('mul', a, b, a * b)
        m = rng.getrandbits(bits) | (1 << (bits - 1)) | 1
        e = rng.getrandbits(bits)
        emit('modpow', a % m, e, m, pow(a % m, e, m))
