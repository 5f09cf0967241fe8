"""Plain-integer EdDSA (Ed25519, Ed25519ctx, Ed25519ph, Ed448, Ed448ph).

Slow and simple: affine Edwards arithmetic with Python integers, hashlib
for SHA-512 and SHAKE256. Used by the tests as a reference for the context
and prehash variants, which the installed peers do not offer.
Usage: eddsa_reference.py <count> prints random cases, one per line:
  variant seed pub msg ctx prehashed sig
"""
import hashlib
import os
import sys


class Curve:
    def __init__(self, p, d, a, q, by, bits, clamp, hash_fn, dom):
        self.p, self.d, self.a, self.q = p, d % p, a, q
        self.bits, self.clamp, self.hash, self.dom = bits, clamp, hash_fn, dom
        self.n = (bits + 7) // 8
        self.B = (self.recover_x(by, 0), by)

    def inv(self, x):
        return pow(x, self.p - 2, self.p)

    def sqrt(self, xx):
        p = self.p
        if p % 4 == 3:
            x = pow(xx, (p + 1) // 4, p)
        else:
            x = pow(xx, (p + 3) // 8, p)
            if (x * x - xx) % p:
                x = x * pow(2, (p - 1) // 4, p) % p
        return x if (x * x - xx) % p == 0 else None

    def recover_x(self, y, sign):
        p = self.p
        xx = (y * y - 1) * self.inv(self.d * y * y - self.a) % p
        x = self.sqrt(xx)
        if x is None or (x == 0 and sign):
            return None
        return p - x if (x & 1) != sign else x

    def add(self, P, Q):
        p = self.p
        (x1, y1), (x2, y2) = P, Q
        t = self.d * x1 * x2 * y1 * y2 % p
        return ((x1 * y2 + x2 * y1) * self.inv(1 + t) % p,
                (y1 * y2 - self.a * x1 * x2) * self.inv(1 - t) % p)

    def mul(self, k, P):
        R = (0, 1)
        while k:
            if k & 1:
                R = self.add(R, P)
            P = self.add(P, P)
            k >>= 1
        return R

    def encode(self, P):
        x, y = P
        return (y | ((x & 1) << (8 * self.n - 1))).to_bytes(self.n, 'little')

    def decode(self, b):
        v = int.from_bytes(b, 'little')
        sign = v >> (8 * self.n - 1)
        y = v & ((1 << (8 * self.n - 1)) - 1)
        if y >= self.p:
            return None
        x = self.recover_x(y, sign)
        return None if x is None else (x, y)

    def expand(self, seed):
        h = self.hash(seed, 2 * self.n)
        s = self.clamp(bytearray(h[:self.n]))
        return int.from_bytes(s, 'little'), h[self.n:]

    def sign(self, seed, msg, ctx, ph):
        a, prefix = self.expand(seed)
        A = self.encode(self.mul(a, self.B))
        dom = self.dom(ph, ctx)
        r = int.from_bytes(self.hash(dom + prefix + msg, 2 * self.n), 'little') % self.q
        R = self.encode(self.mul(r, self.B))
        k = int.from_bytes(self.hash(dom + R + A + msg, 2 * self.n), 'little') % self.q
        return A, R + ((r + k * a) % self.q).to_bytes(self.n, 'little')


def clamp25519(s):
    s[0] &= 248
    s[31] &= 127
    s[31] |= 64
    return bytes(s)


def clamp448(s):
    s[0] &= 252
    s[55] |= 128
    s[56] = 0
    return bytes(s)


def dom2(ph, ctx, plain):
    if plain:
        return b''
    return b'SigEd25519 no Ed25519 collisions' + bytes([ph, len(ctx)]) + ctx


ED25519 = Curve(2**255 - 19, -121665 * pow(121666, 2**255 - 21, 2**255 - 19), -1,
                2**252 + 27742317777372353535851937790883648493,
                4 * pow(5, 2**255 - 21, 2**255 - 19) % (2**255 - 19), 256, clamp25519,
                lambda m, n: hashlib.sha512(m).digest(), None)
ED448 = Curve(2**448 - 2**224 - 1, -39081, 1,
              2**446 - 13818066809895115352007386748515426880336692474882178609894547503885,
              298819210078481492676017930443930673437544040154080242095928241372331506189835876003536878655418784733982303233503462500531545062832660,
              456, clamp448, lambda m, n: hashlib.shake_256(m).digest(n),
              lambda ph, ctx: b'SigEd448' + bytes([ph, len(ctx)]) + ctx)


def case(variant):
    msg = os.urandom(int.from_bytes(os.urandom(1), 'big') % 80)
    ctx = os.urandom(1 + os.urandom(1)[0] % 40)
    if variant.startswith('ed25519'):
        curve, seed = ED25519, os.urandom(32)
        plain = variant == 'ed25519'
        curve.dom = lambda ph, c, plain=plain: dom2(ph, c, plain)
        if plain:
            ctx = b''
        ph = 1 if variant == 'ed25519ph' else 0
        m = hashlib.sha512(msg).digest() if ph else msg
    else:
        curve, seed = ED448, os.urandom(57)
        ph = 1 if variant == 'ed448ph' else 0
        m = hashlib.shake_256(msg).digest(64) if ph else msg
    pub, sig = curve.sign(seed, m, ctx, ph)
    h = lambda b: b.hex() or '-'
    return ' '.join([variant, seed.hex(), pub.hex(), h(msg), h(ctx), sig.hex()])


if __name__ == '__main__':
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 4
    for variant in ['ed25519', 'ed25519ctx', 'ed25519ph', 'ed448', 'ed448ph']:
        for _ in range(count):
            print(case(variant))
