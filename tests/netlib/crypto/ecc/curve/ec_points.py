#!/usr/bin/env python3
"""Reference points for the curve tests, one a line, fields separated by '|'.
  ec_points.py x962 NAME...     name|uncompressed hex|compressed hex  (cryptography's X9.62 encodings)
  ec_points.py wycheproof FILE [LIMIT]  name|private hex|encoded public point hex|shared hex  (valid ECDH cases)
  ec_points.py derive NAME...   name|private hex|peer point hex|shared hex  (openssl pkeyutl -derive)"""
import json
import os
import re
import subprocess
import sys
import tempfile

from cryptography.hazmat.primitives import serialization
from cryptography.hazmat.primitives.asymmetric import ec

CURVES = {
    'secp256r1': ec.SECP256R1, 'secp384r1': ec.SECP384R1, 'secp521r1': ec.SECP521R1, 'secp224r1': ec.SECP224R1,
    'secp192r1': ec.SECP192R1, 'secp256k1': ec.SECP256K1, 'brainpoolP256r1': ec.BrainpoolP256R1,
    'brainpoolP384r1': ec.BrainpoolP384R1, 'brainpoolP512r1': ec.BrainpoolP512R1,
}


def x962(names):
    """cryptography's encodings; its binary curves are gone, so OpenSSL's for those."""
    with tempfile.TemporaryDirectory() as tmp:
        for name in names:
            for _ in range(3):
                if name in CURVES:
                    key = ec.generate_private_key(CURVES[name]()).public_key()
                    full = key.public_bytes(serialization.Encoding.X962,
                                            serialization.PublicFormat.UncompressedPoint).hex()
                    short = key.public_bytes(serialization.Encoding.X962,
                                             serialization.PublicFormat.CompressedPoint).hex()
                else:
                    path = os.path.join(tmp, 'k.pem')
                    openssl('genpkey', '-algorithm', 'EC', '-pkeyopt', 'ec_paramgen_curve:' + name, '-out', path)
                    full = key_fields(openssl('ec', '-in', path, '-text', '-noout'))[1]
                    short = key_fields(openssl('ec', '-in', path, '-conv_form', 'compressed', '-text', '-noout'))[1]
                print('%s|%s|%s' % (name, full, short))


CURVE_OIDS = {'secp256k1': '2b8104000a', 'brainpoolP256r1': '2b2403030208010107', 'sect283k1': '2b81040010',
              'sect571r1': '2b81040027'}


def der_items(data):
    """The (tag, content) pairs of a DER sequence's content."""
    items = []
    i = 0
    while i < len(data):
        tag, length = data[i], data[i + 1]
        i += 2
        if length & 0x80:
            count = length & 0x7f
            length = int.from_bytes(data[i:i + count], 'big')
            i += count
        items.append((tag, data[i:i + length]))
        i += length
    return items


def spki_point(spki, name):
    """The point of a SubjectPublicKeyInfo on the named curve, or None."""
    try:
        (tag, body), = der_items(spki)
        (t1, algorithm), (t2, bits) = der_items(body)
        (_, ec_oid), (param_tag, curve_oid) = der_items(algorithm)
        if tag != 0x30 or t2 != 0x03 or ec_oid.hex() != '2a8648ce3d0201' or param_tag != 0x06:
            return None
        if curve_oid.hex() != CURVE_OIDS[name] or bits[0] != 0:
            return None
        return bits[1:].hex()
    except (ValueError, IndexError, KeyError):
        return None


def wycheproof(path, limit):
    """Valid cases spread evenly over the file, so the edge cases of every part are among them."""
    data = json.load(open(path))
    cases = []
    for group in data['testGroups']:
        for t in group['tests']:
            if t['result'] == 'invalid' or not t['shared']:
                continue
            public = t['public']
            if group.get('encoding') != 'ecpoint':
                if t['result'] != 'valid':  # the acceptable ones are ASN.1 oddities
                    continue
                public = spki_point(bytes.fromhex(public), group['curve'])
            if public:
                cases.append((group['curve'], t['private'], public, t['shared']))
    if 0 < limit < len(cases):
        cases = [cases[i * len(cases) // limit] for i in range(limit)]
    for case in cases:
        print('|'.join(case))


def openssl(*args, data=None):
    return subprocess.run(['openssl'] + list(args), check=True, capture_output=True, input=data).stdout


def key_fields(output):
    text = output.decode()
    fields = {}
    key = None
    for line in text.splitlines():
        m = re.match(r'^(priv|pub):\s*$', line)
        if m:
            key = m.group(1)
            fields[key] = ''
        elif key and line.startswith('    '):
            fields[key] += line.strip().replace(':', '')
        else:
            key = None
    return fields.get('priv', ''), fields.get('pub', '')


def derive(names):
    with tempfile.TemporaryDirectory() as tmp:
        for name in names:
            a, b = os.path.join(tmp, 'a.pem'), os.path.join(tmp, 'b.pem')
            for path in (a, b):
                openssl('genpkey', '-algorithm', 'EC', '-pkeyopt', 'ec_paramgen_curve:' + name,
                        '-pkeyopt', 'ec_param_enc:named_curve', '-out', path)
            pub_b = os.path.join(tmp, 'b.pub')
            openssl('pkey', '-in', b, '-pubout', '-out', pub_b)
            shared = openssl('pkeyutl', '-derive', '-inkey', a, '-peerkey', pub_b)
            priv, _ = key_fields(openssl('pkey', '-in', a, '-text', '-noout'))
            _, point = key_fields(openssl('pkey', '-in', b, '-text', '-noout'))
            print('%s|%s|%s|%s' % (name, priv, point, shared.hex()))


if __name__ == '__main__':
    if sys.argv[1] == 'x962':
        x962(sys.argv[2:])
    elif sys.argv[1] == 'wycheproof':
        wycheproof(sys.argv[2], int(sys.argv[3]) if len(sys.argv) > 3 else -1)
    else:
        derive(sys.argv[2:])
