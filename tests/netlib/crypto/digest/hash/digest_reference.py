#!/usr/bin/python3
"""Independent digest values for the digest tests.

Reads one request per line, "<algorithm> <message>", where the message is hex
or "a*N" for N letters a, and prints the hex digest of each on its own line.
Algorithms: the hashlib names, "shake128:N"/"shake256:N" for N output bytes,
"keccak224".."keccak512" and "md2" (pycryptodome), "md4" (the openssl tool).
"""
import hashlib
import subprocess
import sys

from Cryptodome.Hash import MD2, keccak


def message(text):
    if text.startswith("a*"):
        return b"a" * int(text[2:])
    return bytes.fromhex(text)


def md4(data):
    out = subprocess.run(
        ["openssl", "dgst", "-md4", "-provider", "legacy", "-provider", "default", "-r"],
        input=data, capture_output=True, check=True).stdout
    return out.split()[0].decode()


def digest(algorithm, data):
    if algorithm.startswith("shake"):
        name, length = algorithm.split(":")
        return hashlib.new(name, data).hexdigest(int(length))
    if algorithm.startswith("keccak"):
        return keccak.new(data=data, digest_bits=int(algorithm[6:])).hexdigest()
    if algorithm == "md2":
        return MD2.new(data).hexdigest()
    if algorithm == "md4":
        return md4(data)
    return hashlib.new(algorithm, data).hexdigest()


def main():
    for line in sys.stdin:
        parts = line.split()
        if not parts:
            continue
        data = message(parts[1] if len(parts) > 1 else "")
        print(digest(parts[0], data), flush=False)


if __name__ == "__main__":
    main()
