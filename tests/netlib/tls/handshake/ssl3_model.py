"""An independent SSL 3.0 model (RFC 6101) for one captured full handshake
with RSA or DHE key exchange: from the master secret and the bytes each side
sent, it derives the key block, opens every protected record and checks its
SSL 3.0 MAC, and checks both Finished messages. Prints one JSON line: the key
block and the application data of each direction; exits 1 on any mismatch.

Usage: ssl3_model.py <input file>, a JSON object with hex fields master,
client_to_server, server_to_client and the suite's cipher ("aes", "3des",
"des", "rc4"), key_length and mac ("md5" or "sha1"). With client_certificate
(hex DER) the client's CertificateVerify is checked too: RSA signs both
hashes, DSA and ECDSA the SHA-1 one alone (RFC 6101 section 5.6.8)."""
import hashlib
import json
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes
from cryptography.hazmat.primitives.asymmetric import dsa, ec, rsa, utils
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes


def fail(why):
    print(json.dumps({"error": why}))
    sys.exit(1)


def records(stream):
    out, at = [], 0
    while at < len(stream):
        if stream[at] & 0x80:  # SSL 2.0-form record
            n = ((stream[at] & 0x7F) << 8) | stream[at + 1]
            out.append(("ssl2", stream[at + 2:at + 2 + n]))
            at += 2 + n
            continue
        n = int.from_bytes(stream[at + 3:at + 5], "big")
        out.append((stream[at], stream[at + 5:at + 5 + n]))
        at += 5 + n
    return out


def key_block(master, server_random, client_random, length):
    out, i = b"", 0
    while len(out) < length:
        salt = bytes([0x41 + i]) * (i + 1)
        inner = hashlib.sha1(salt + master + server_random + client_random).digest()
        out += hashlib.md5(master + inner).digest()
        i += 1
    return out[:length]


def ssl3_mac(name, secret, seq, kind, data):
    pad = 48 if name == "md5" else 40
    h = lambda b: hashlib.new(name, b).digest()
    inner = h(secret + b"\x36" * pad + seq.to_bytes(8, "big") + bytes([kind]) + len(data).to_bytes(2, "big") + data)
    return h(secret + b"\x5c" * pad + inner)


def check_certificate_verify(certificate, master, messages, body):
    signature = body[6:6 + int.from_bytes(body[4:6], "big")]
    hashes36 = finished(master, messages, b"")
    key = x509.load_der_x509_certificate(certificate).public_key()
    try:
        if isinstance(key, rsa.RSAPublicKey):
            numbers = key.public_numbers()
            k = (numbers.n.bit_length() + 7) // 8
            block = pow(int.from_bytes(signature, "big"), numbers.e, numbers.n).to_bytes(k, "big")
            if block != b"\x00\x01" + b"\xff" * (k - 3 - 36) + b"\x00" + hashes36:
                fail("client CertificateVerify (RSA)")
        elif isinstance(key, dsa.DSAPublicKey):
            key.verify(signature, hashes36[16:], utils.Prehashed(hashes.SHA1()))
        elif isinstance(key, ec.EllipticCurvePublicKey):
            key.verify(signature, hashes36[16:], ec.ECDSA(utils.Prehashed(hashes.SHA1())))
        else:
            fail("client key type")
    except Exception as error:  # an invalid signature raises
        fail("client CertificateVerify: %r" % error)


def finished(master, messages, sender):
    out = b""
    for name, pad in (("md5", 48), ("sha1", 40)):
        inner = hashlib.new(name, messages + sender + master + b"\x36" * pad).digest()
        out += hashlib.new(name, master + b"\x5c" * pad + inner).digest()
    return out


class Reader:
    """One direction's protected records: decryption, padding and MAC."""

    def __init__(self, cipher, key, iv, mac, secret):
        self.mac, self.secret, self.seq = mac, secret, 0
        if cipher == "rc4":
            self.block, self.box = 0, Cipher(algorithms.ARC4(key), mode=None).decryptor()
        else:
            algorithm = algorithms.AES(key) if cipher == "aes" else algorithms.TripleDES(key if cipher == "3des" else key * 3)
            self.block, self.box = len(iv), Cipher(algorithm, modes.CBC(iv)).decryptor()

    def open(self, kind, fragment):
        plain = self.box.update(fragment)
        if self.block:
            pad = plain[-1]
            if pad >= self.block:
                fail("padding longer than a block")
            plain = plain[:-(pad + 1)]
        size = 16 if self.mac == "md5" else 20
        data, tag = plain[:-size], plain[-size:]
        if ssl3_mac(self.mac, self.secret, self.seq, kind, data) != tag:
            fail("record MAC %d" % self.seq)
        self.seq += 1
        return data


def main():
    spec = json.load(open(sys.argv[1]))
    master = bytes.fromhex(spec["master"])
    up, down = records(bytes.fromhex(spec["client_to_server"])), records(bytes.fromhex(spec["server_to_client"]))
    # Plain handshake records until each side's ChangeCipherSpec.
    def plain_part(recs):
        i = 0
        while recs[i][0] != 20:
            i += 1
        return recs[:i], recs[i + 1:]
    up_plain, up_protected = plain_part(up)
    down_plain, down_protected = plain_part(down)
    hello = up_plain[0][1]
    if up_plain[0][0] == "ssl2":
        challenge_length = int.from_bytes(hello[7:9], "big")
        client_random = hello[-challenge_length:].rjust(32, b"\x00")
    else:
        client_random = hello[6:38]
    server_hello = down_plain[0][1]
    server_random = server_hello[6:38]
    transcript = b"".join(r[1] for r in up_plain[:1]) + b"".join(r[1] for r in down_plain)
    verified = False
    for kind, body in up_plain[1:]:
        if body[0] == 15 and "client_certificate" in spec:
            check_certificate_verify(bytes.fromhex(spec["client_certificate"]), master, transcript, body)
            verified = True
        transcript += body
    if "client_certificate" in spec and not verified:
        fail("no client CertificateVerify")

    mac = spec["mac"]
    mac_size = 16 if mac == "md5" else 20
    key_length = spec["key_length"]
    iv_length = {"aes": 16, "3des": 8, "des": 8, "rc4": 0}[spec["cipher"]]
    block = key_block(master, server_random, client_random, 2 * (mac_size + key_length + iv_length))
    parts, at = [], 0
    for n in (mac_size, mac_size, key_length, key_length, iv_length, iv_length):
        parts.append(block[at:at + n])
        at += n
    client_mac, server_mac, client_key, server_key, client_iv, server_iv = parts
    from_client = Reader(spec["cipher"], client_key, client_iv, mac, client_mac)
    from_server = Reader(spec["cipher"], server_key, server_iv, mac, server_mac)

    client_finished = from_client.open(22, up_protected[0][1])
    if client_finished[4:] != finished(master, transcript, b"CLNT"):
        fail("client Finished")
    transcript += client_finished
    server_finished = from_server.open(22, down_protected[0][1])
    if server_finished[4:] != finished(master, transcript, b"SRVR"):
        fail("server Finished")
    up_data = b"".join(from_client.open(k, f) for k, f in up_protected[1:] if k == 23)
    down_data = b"".join(from_server.open(k, f) for k, f in down_protected[1:] if k == 23)
    print(json.dumps({"key_block": block.hex(), "client_data": up_data.hex(), "server_data": down_data.hex(),
                      "records": from_client.seq + from_server.seq, "certificate_verify": verified}))


main()
