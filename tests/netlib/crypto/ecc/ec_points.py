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


def wycheproof(path, limit):
    data = json.load(open(path))
    count = 0
    for group in data['testGroups']:
        for t in group['tests']:
            if t['result'] == 'invalid' or not t['shared']:
                continue
            name = group['curve']
            public = t['public']
            if group.get('encoding') != 'ecpoint':
                try:
                    text = openssl('pkey', '-pubin', '-inform', 'DER', '-text', '-noout',
                                   data=bytes.fromhex(public)).decode()
                except subprocess.CalledProcessError:
                    continue
                if 'ASN1 OID: ' + name not in text:
                    continue
                public = key_fields(text.encode())[1]
            print('%s|%s|%s|%s' % (name, t['private'], public, t['shared']))
            count += 1
            if count == limit:
                return


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
