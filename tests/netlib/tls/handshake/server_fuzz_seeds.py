"""Writes ClientHello seeds for the server fuzzer: TLS 1.2 and TLS 1.3
hellos in records (with a valid P-256 key share: the curve's generator) and
an SSL 2.0-form hello, each behind a mode byte."""
import os
import struct
import sys

G = bytes.fromhex(
    "04"
    "6b17d1f2e12c4247f8bce6e563a440f277037d812deb33a0f4a13945d898c296"
    "4fe342e2fe1a7f9b8ee7eb4a7c0f9e162bce33576b315ececbb6406837bf51f5")


def ext(kind, body):
    return struct.pack(">HH", kind, len(body)) + body


def vec(width, body):
    return len(body).to_bytes(width, "big") + body


def hello(version, suites, extensions):
    body = struct.pack(">H", version) + bytes(range(32)) + vec(1, b"")
    body += vec(2, b"".join(struct.pack(">H", s) for s in suites)) + vec(1, b"\x00")
    if extensions:
        body += vec(2, b"".join(extensions))
    message = b"\x01" + vec(3, body)
    return b"\x16\x03\x01" + vec(2, message)


common = [ext(10, vec(2, b"\x00\x17\x00\x18")), ext(11, vec(1, b"\x00")),
          ext(13, vec(2, b"\x08\x04\x04\x01\x04\x03\x02\x01\x02\x02"))]
seeds = {
    "tls12": (0, hello(0x0303, [0xC02F, 0xC02B, 0x009C, 0x002F, 0x0033, 0x00FF], common)),
    "tls12_dss": (2, hello(0x0303, [0x0032, 0xC013, 0x0005, 0x000A], common + [ext(0xFF01, b"\x00")])),
    "tls13": (0, hello(0x0303, [0x1301, 0x1302, 0x1303, 0xC02F],
                       common + [ext(43, vec(1, b"\x0a\x0a\x03\x04\x03\x03")), ext(45, vec(1, b"\x01")),
                                 ext(51, vec(2, struct.pack(">H", 23) + vec(2, G)))])),
    "tls13_retry": (5, hello(0x0303, [0x1301], common + [ext(43, vec(1, b"\x03\x04")),
                                                         ext(51, vec(2, struct.pack(">H", 29) + vec(2, bytes(32))))])),
    "ssl30": (6, hello(0x0300, [0x002F, 0x0004, 0x0005, 0x0033], [])),
}
specs = b"".join(b"\x00" + struct.pack(">H", s) for s in [0x002F, 0x0035, 0x000A, 0x00FF])
ssl2 = b"\x01\x03\x01" + struct.pack(">HHH", len(specs), 0, 16) + specs + bytes(range(16))
seeds["ssl2"] = (0, bytes([0x80 | (len(ssl2) >> 8), len(ssl2) & 0xFF]) + ssl2)
for name, (mode, data) in seeds.items():
    with open(os.path.join(sys.argv[1], name + ".bin"), "wb") as out:
        out.write(bytes([mode]) + data)
