"""Reference values for the prime-curve tests, from plain Python integers and
the `cryptography` package. Prints one case per line, fields in hex, "-" for
the point at infinity.

  nist_reference.py cases <curve 0-2> <seed> <count>
  nist_reference.py wycheproof <ecdh file>
  nist_reference.py ecdsa <ecdsa file in r||s form>
"""
import json
import random
import sys

CURVES = [
    (2**256 - 2**224 + 2**192 + 2**96 - 1,
     0xFFFFFFFF00000000FFFFFFFFFFFFFFFFBCE6FAADA7179E84F3B9CAC2FC632551, 32, 'SECP256R1'),
    (2**384 - 2**128 - 2**96 + 2**32 - 1,
     int('F' * 48 + 'C7634D81F4372DDF581A0DB248B0A77AECEC196ACCC52973', 16), 48, 'SECP384R1'),
    (2**521 - 1,
     int('1' + 'F' * 65 + 'A51868783BF2F966B7FCC0148F709A5D03BB5C9B8899C47AEBB6FB71E91386409', 16), 66,
     'SECP521R1'),
]


def hx(v, size):
    return '-' if v is None else format(v, '0%dx' % (2 * size))


class Curve:
    def __init__(self, index):
        self.p, self.n, self.size, self.name = CURVES[index]
        from cryptography.hazmat.primitives.asymmetric import ec
        self.ec = ec
        self.curve = getattr(ec, self.name)()
        g = ec.derive_private_key(1, self.curve).public_key().public_numbers()
        self.g = (g.x, g.y)
        self.b = (g.y * g.y - g.x ** 3 + 3 * g.x) % self.p

    def add(self, a, b):
        p = self.p
        if a is None:
            return b
        if b is None:
            return a
        if a[0] == b[0]:
            if (a[1] + b[1]) % p == 0:
                return None
            lam = (3 * a[0] * a[0] - 3) * pow(2 * a[1], -1, p) % p
        else:
            lam = (b[1] - a[1]) * pow(b[0] - a[0], -1, p) % p
        x = (lam * lam - a[0] - b[0]) % p
        return (x, (lam * (a[0] - x) - a[1]) % p)

    def mul(self, k, pt):
        acc = None
        for bit in bin(k)[2:]:
            acc = self.add(acc, acc)
            if bit == '1':
                acc = self.add(acc, pt)
        return acc

    def point(self, pt):
        return (hx(None, 0), hx(None, 0)) if pt is None else (hx(pt[0], self.size), hx(pt[1], self.size))


def edge_scalars(c):
    top = 2 ** (8 * c.size) - 1
    half = 4 * c.size
    return [k for k in [0, 1, 2, 15, 16, c.n - 1, c.n, c.n + 1, 2 * c.n, top, (2 ** half - 1) << half, 2 ** half - 1,
            int('f0' * c.size, 16), int('0f' * c.size, 16), 1 << (8 * c.size - 1)] if k <= top]


def cases(index, seed, count):
    c = Curve(index)
    rnd = random.Random(seed)
    s = c.size
    out = []
    pairs = [(rnd.randrange(c.p), rnd.randrange(c.p)) for _ in range(count)]
    # Edge values for the carries of the products: the extremes of the field
    # and values with long runs of set or clear limbs.
    edges = [0, 1, 2, c.p - 1, c.p - 2, 2 ** (c.p.bit_length() - 1), (2 ** (8 * s) - 1) % c.p, 2 ** 64 - 1,
             (c.p - 1) // 2, c.p - 2 ** 64]
    pairs += [(x, y) for x in edges for y in edges[::3]]
    for a, b in pairs:
        out.append('field %s %s %s %s %s %s' % (hx(a, s), hx(b, s), hx(a * b % c.p, s), hx((a - b) % c.p, s),
                                                 hx(pow(a, -1, c.p) if a else 0, s), hx(a * a % c.p, s)))
    scalars = edge_scalars(c) + [rnd.randrange(2 ** (8 * s)) for _ in range(count)]
    for k in scalars:
        out.append('base %s %s %s' % ((hx(k, s),) + c.point(c.mul(k, c.g))))
    for k in scalars[:6] + scalars[-count:]:
        q = c.mul(rnd.randrange(1, c.n), c.g)
        out.append('mul %s %s %s %s %s' % ((hx(k, s),) + c.point(q) + c.point(c.mul(k, q))))
        u1, u2 = rnd.randrange(c.n), rnd.randrange(c.n)
        out.append('dmul %s %s %s %s %s %s' % ((hx(u1, s), hx(u2, s)) + c.point(q) +
                                               c.point(c.add(c.mul(u1, c.g), c.mul(u2, q)))))
        out.append('inv %s %s' % (hx(k, s), hx(pow(k, -1, c.n) if k % c.n else 0, s)))
    ec = c.ec
    for _ in range(count):
        own = ec.generate_private_key(c.curve)
        peer = ec.generate_private_key(c.curve).public_key()
        pn = peer.public_numbers()
        own_pub = own.public_key().public_numbers()
        shared = own.exchange(ec.ECDH(), peer)
        out.append('ecdh %s %s %s %s %s %s' % (hx(own.private_numbers().private_value, s), hx(pn.x, s),
                                               hx(pn.y, s), shared.hex(), hx(own_pub.x, s), hx(own_pub.y, s)))
        d, k, e = rnd.randrange(1, c.n), rnd.randrange(1, c.n), rnd.randrange(2 ** c.n.bit_length())
        r = c.mul(k, c.g)[0] % c.n
        sig = pow(k, -1, c.n) * (e + d * r) % c.n
        q = c.mul(d, c.g)
        out.append('sign %s %s %s %s %s %s %s' % ((hx(d, s), hx(k, s), hx(e, s), hx(r, s), hx(sig, s)) +
                                                  c.point(q)))
    print('\n'.join(out))


def ecdsa(path):
    import hashlib
    with open(path) as f:
        data = json.load(f)
    size = {'secp256r1': 32, 'secp384r1': 48, 'secp521r1': 66}[data['testGroups'][0]['publicKey']['curve']]
    nbits = [c[1] for c in CURVES if c[2] == size][0].bit_length()
    for group in data['testGroups']:
        key = group['publicKey']['uncompressed']
        qx, qy = key[2:2 + 2 * size], key[2 + 2 * size:]
        digest = hashlib.new(group['sha'].replace('-', '').lower())
        for t in group['tests']:
            h = hashlib.new(digest.name, bytes.fromhex(t['msg'])).digest()
            e = int.from_bytes(h, 'big') >> max(0, 8 * len(h) - nbits)
            sig = t['sig']
            r, s = (sig[:len(sig) // 2], sig[len(sig) // 2:]) if len(sig) == 4 * size else ('-', '-')
            print('%d %s %s %s %s %s %s' % (t['tcId'], t['result'], qx, qy, hx(e, size), r, s))


def wycheproof(path):
    with open(path) as f:
        data = json.load(f)
    for group in data['testGroups']:
        for t in group['tests']:
            print('%d %s %s %s %s' % (t['tcId'], t['result'], t['public'] or '-', t['private'] or '-',
                                      t['shared'] or '-'))


if __name__ == '__main__':
    if sys.argv[1] == 'cases':
        cases(int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]))
    elif sys.argv[1] == 'ecdsa':
        ecdsa(sys.argv[2])
    else:
        wycheproof(sys.argv[2])
