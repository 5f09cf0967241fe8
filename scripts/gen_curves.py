#!/usr/bin/env python3
"""Writes netlib/crypto/ecc/curve/NamedCurveTable.cpp, the parameters of every
named curve by index. OpenSSL's explicit parameters are the source where it
has the curve; the GOST R 34.10-2001 sets are those of RFC 4357 and the
Weierstrass image of Curve25519 is derived from RFC 7748.

Usage: scripts/gen_curves.py [output]   (run from the repository root)"""
import re
import subprocess
import sys

# index: (OpenSSL name, kind, reduction id, (m, k1, k2, k3) for other binaries)
# kinds: 0 NIST prime, 1 other prime, 2 binary with a NIST polynomial, 3 other binary
OPENSSL_CURVES = {
    0: ('prime256v1', 0, 0x6103), 1: ('secp384r1', 0, 0x6104), 2: ('secp521r1', 0, 0x6105),
    3: ('secp112r1', 1, 0x6100), 4: ('secp112r2', 1, 0x6100), 5: ('secp128r1', 1, 0x6100),
    6: ('secp128r2', 1, 0x6100), 7: ('secp160k1', 1, 0x6100), 8: ('secp160r1', 1, 0x6100),
    9: ('secp160r2', 1, 0x6100), 10: ('secp192k1', 1, 0x6100), 11: ('prime192v1', 0, 0x6101),
    12: ('secp224k1', 1, 0x6100), 13: ('secp224r1', 0, 0x6102), 14: ('secp256k1', 1, 0x6100),
    15: ('sect113r1', 3, 0x6100), 16: ('sect113r2', 3, 0x6100), 17: ('sect131r1', 3, 0x6100),
    18: ('sect131r2', 3, 0x6100), 19: ('sect163k1', 2, 0x6106), 20: ('sect163r1', 2, 0x6106),
    21: ('sect163r2', 2, 0x6106), 22: ('sect193r1', 3, 0x6100), 23: ('sect193r2', 3, 0x6100),
    24: ('sect233k1', 2, 0x6107), 25: ('sect233r1', 2, 0x6107), 26: ('sect239k1', 3, 0x6100),
    27: ('sect283k1', 2, 0x6108), 28: ('sect283r1', 2, 0x6108), 29: ('sect409k1', 2, 0x6109),
    30: ('sect409r1', 2, 0x6109), 31: ('sect571k1', 2, 0x610A), 32: ('sect571r1', 2, 0x610A),
}
BRAINPOOL = ['brainpoolP%d%s' % (bits, t) for bits in (160, 192, 224, 256, 320, 384, 512) for t in ('r1', 't1')]
for i, name in enumerate(BRAINPOOL):
    OPENSSL_CURVES[64 + i] = (name, 1, 0x6100)
NO_SEED = set(range(64, 78))  # the Brainpool standard gives no seed field

# RFC 4357, section 11.4: p, a, b, x, y, q. The group order is prime (cofactor 1).
GOST_TEST = ('8000000000000000000000000000000000000000000000000000000000000431', '7',
             '5FBFF498AA938CE739B8E022FBAFEF40563F6E6A3472FC2A514C0CE9DAE23B7E', '2',
             '08E2A8A0E65147D4BD6316030E16D19C85C97F0A9CA267122B96ABBCEA7E8FC8',
             '8000000000000000000000000000000150FE8A1892976154C59CFC193ACCF5B3')
GOST_A = ('FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFD97',
          'FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFD94', 'A6', '1',
          '8D91E471E0989CDA27DF505A453F2B7635294F2DDF23E3B122ACC99C9E9F1E14',
          'FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF6C611070995AD10045841B09B761B893')
GOST_B = ('8000000000000000000000000000000000000000000000000000000000000C99',
          '8000000000000000000000000000000000000000000000000000000000000C96',
          '3E1AF419A269A5F866A7D3C25C3DF80AE979259373FF2B182F49D4CE7E1BBC8B', '1',
          '3FA8124359F96680B83D1C3EB2C070E5C545C9858D03ECFB744BF8D717717EFC',
          '800000000000000000000000000000015F700CFFF1A624E5E497161BCC8A198F')
GOST_C = ('9B9F605F5A858107AB1EC85E6B41C8AACF846E86789051D37998F7B9022D759B',
          '9B9F605F5A858107AB1EC85E6B41C8AACF846E86789051D37998F7B9022D7598', '805A', '0',
          '41ECE55743711A8C3CBF3783CD08C0EE4D4DC440D4641A8F366E550DFDB3BB67',
          '9B9F605F5A858107AB1EC85E6B41C8AA582CA3511EDDFB74F02F3A6598980BB9')
GOST = {58: GOST_TEST, 59: GOST_A, 60: GOST_B, 61: GOST_C, 62: GOST_A, 63: GOST_C}


def hexval(v):
    return format(v, 'X')


def colon_hex(lines):
    return int(''.join(lines).replace(':', '').strip() or '0', 16)


def openssl_params(name):
    text = subprocess.run(['openssl', 'ecparam', '-name', name, '-param_enc', 'explicit', '-noout', '-text'],
                          check=True, capture_output=True, text=True).stdout
    fields = {}
    key = None
    for line in text.splitlines():
        m = re.match(r'^([A-Za-z][A-Za-z ()]*):\s*(.*)$', line)
        if m and not line.startswith(' '):
            key = m.group(1).strip()
            rest = m.group(2).strip()
            fields[key] = []
            if rest:
                inline = re.match(r'^(\d+)', rest)
                fields[key] = ['%x' % int(inline.group(1))] if inline and key not in ('Field Type', 'Basis Type') \
                    else [rest]
        elif key is not None and line.startswith(' '):
            fields[key].append(line.strip())
    out = {'binary': fields['Field Type'][0] == 'characteristic-two-field'}
    out['p'] = colon_hex(fields['Polynomial'] if out['binary'] else fields['Prime'])
    out['a'] = colon_hex(fields['A'])
    out['b'] = colon_hex(fields['B'])
    gen = ''.join(fields['Generator (uncompressed)']).replace(':', '')
    assert gen[:2] == '04'
    half = (len(gen) - 2) // 2
    out['gx'] = int(gen[2:2 + half], 16)
    out['gy'] = int(gen[2 + half:], 16)
    out['n'] = colon_hex(fields['Order'])
    out['h'] = int(fields['Cofactor'][0], 16)
    out['seed'] = ''.join(fields['Seed']).replace(':', '').upper() if 'Seed' in fields else ''
    return out


def curve25519_weierstrass():
    p = 2 ** 255 - 19
    A = 486662
    inv3 = pow(3, -1, p)
    a = (3 - A * A) * inv3 % p
    b = (2 * A ** 3 - 9 * A) * pow(27, -1, p) % p
    u = 9
    v = 14781619447589544791020593568409986887264606134616475288964881837755586237401
    assert (v * v - (u ** 3 + A * u * u + u)) % p == 0
    gx = (u + A * inv3) % p
    n = 2 ** 252 + 27742317777372353535851937790883648493
    return {'binary': False, 'p': p, 'a': a, 'b': b, 'gx': gx, 'gy': v, 'n': n, 'h': 8, 'seed': ''}


def exponents(poly):
    m = poly.bit_length() - 1
    ks = [e for e in range(1, m) if poly >> e & 1]
    ks += [0] * (3 - len(ks))
    return m, ks[0], ks[1], ks[2]


def row(index, kind, rid, c, name):
    m, k1, k2, k3 = exponents(c['p']) if c['binary'] else (0, 0, 0, 0)
    vals = [hexval(c[key]) for key in ('p', 'a', 'b', 'gx', 'gy', 'n')]
    return ('    {%d, %d, 0x%04X, %d, %d, %d, %d, %d,  // %s\n     "%s",\n     "%s",\n     "%s",\n     "%s",\n'
            '     "%s",\n     "%s",\n     "%s"},\n') % (
        index, kind, rid, m, k1, k2, k3, c['h'], name, vals[0], vals[1], vals[2], vals[3], vals[4], vals[5],
        c['seed'])


def main():
    out_path = sys.argv[1] if len(sys.argv) > 1 else 'netlib/crypto/ecc/curve/NamedCurveTable.cpp'
    rows = []
    for index in sorted(list(OPENSSL_CURVES) + list(GOST) + [78]):
        if index in OPENSSL_CURVES:
            name, kind, rid = OPENSSL_CURVES[index]
            c = openssl_params(name)
            if index in NO_SEED:
                c['seed'] = ''
        elif index in GOST:
            p, a, b, gx, gy, n = (int(v, 16) for v in GOST[index])
            c = {'binary': False, 'p': p, 'a': a, 'b': b, 'gx': gx, 'gy': gy, 'n': n, 'h': 1, 'seed': ''}
            name, kind, rid = 'GOST R 34.10-2001 set', 1, 0x6100
        else:
            c = curve25519_weierstrass()
            name, kind, rid = 'Curve25519 in short Weierstrass form', 1, 0x6100
        rows.append(row(index, kind, rid, c, name))
    with open(out_path, 'w') as f:
        f.write('// Generated by scripts/gen_curves.py from OpenSSL\'s explicit curve parameters,\n'
                '// RFC 4357 and RFC 7748. Do not edit; run the script again.\n'
                '#include "crypto/ecc/curve/NamedCurveTable.h"\n\nnamespace tornell {\n\n'
                'const NamedCurveParams kNamedCurves[] = {\n')
        f.write(''.join(rows))
        f.write('};\n\nconst int kNamedCurveCount = static_cast<int>(sizeof kNamedCurves / sizeof kNamedCurves[0]);\n'
                '\n}  // namespace tornell\n')


if __name__ == '__main__':
    main()
