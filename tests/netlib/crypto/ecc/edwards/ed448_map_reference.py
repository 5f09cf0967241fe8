"""Elligator 2 onto curve448 (non-square -1) followed by the 4-isogeny onto
edwards448, with Python integers, written from the curves' equations.

Usage: ed448_map_reference.py <count> prints one line per input r:
  r x y   (56-byte little-endian hex each)
first the edge inputs, then <count> random ones.
"""
import os
import sys

P = 2**448 - 2**224 - 1
A = 156326
D = -39081 % P


def inv0(a):
    return pow(a, P - 2, P)


def is_square(a):
    return a % P == 0 or pow(a, (P - 1) // 2, P) == 1


def sqrt(a):
    return pow(a, (P + 1) // 4, P)


def sgn0(a):
    return a % P % 2


def elligator2(r):
    x1 = -A * inv0(1 - r * r) % P
    if x1 == 0:
        x1 = -A % P
    gx1 = (x1**3 + A * x1**2 + x1) % P
    x2 = (-x1 - A) % P
    gx2 = (x2**3 + A * x2**2 + x2) % P
    if is_square(gx1):
        x, y = x1, sqrt(gx1)
        if sgn0(y) != 1:
            y = -y % P
    else:
        x, y = x2, sqrt(gx2)
        if sgn0(y) != 0:
            y = -y % P
    assert (y * y - (x**3 + A * x * x + x)) % P == 0
    return x, y


def to_edwards(u, v):
    xn = 4 * v * (u * u - 1)
    xd = u**4 - 2 * u * u + 4 * v * v + 1
    yn = -(u**5 - 2 * u**3 - 4 * u * v * v + u)
    yd = u**5 - 2 * u * u * v * v - 2 * u**3 - 2 * v * v + u
    if xd % P == 0 or yd % P == 0:
        return 0, 1
    return xn * inv0(xd) % P, yn * inv0(yd) % P


def hex56(a):
    return (a % P).to_bytes(56, "little").hex()


def edges():
    out = [0, 1, P - 1, 2, P - 2]
    # r that make x1 or x2 equal u = 1 or -1 (order-4 points, where the
    # isogeny's denominators vanish): x1 = u0 needs r^2 = 1 + A/u0, x2 = u0
    # needs r^2 = 1 - A/(u0 + A). The map picks the other candidate there.
    for u0 in (1, P - 1):
        for rr in (1 + A * inv0(u0), 1 - A * inv0(u0 + A)):
            if is_square(rr):
                r = sqrt(rr % P)
                out += [r, P - r]
    return out


def main():
    count = int(sys.argv[1])
    rs = edges() + [int.from_bytes(os.urandom(56), "little") % P for _ in range(count)]
    for r in rs:
        x, y = to_edwards(*elligator2(r))
        assert (x * x + y * y - 1 - D * x * x * y * y) % P == 0
        print(hex56(r), hex56(x), hex56(y))


if __name__ == "__main__":
    main()
