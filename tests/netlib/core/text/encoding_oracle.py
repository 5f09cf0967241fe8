#!/usr/bin/python3
"""Reference encodings for the string tests: one request per line on stdin,
"<mode> <hex data> [<hex extra>]", one hex answer (or ERR) per line on stdout."""
import base64
import binascii
import codecs
import quopri
import sys
import urllib.parse


def wrap(text, width):
    return b"\r\n".join(text[i:i + width] for i in range(0, len(text), width))


def answer(mode, data, extra):
    if mode == "b64":
        return base64.b64encode(data)
    if mode == "b64url":
        return base64.urlsafe_b64encode(data).rstrip(b"=")
    if mode == "b64wrap":
        return wrap(base64.b64encode(data), int(extra.decode()))
    if mode == "hex":
        return binascii.hexlify(data)
    if mode == "utf16":
        return codecs.decode(data, "utf-16-le", "strict").encode("utf-8", "surrogatepass")
    if mode == "qp":
        return quopri.decodestring(data)
    if mode == "url":
        return urllib.parse.quote(data, safe=extra.decode("latin-1")).encode("ascii")
    raise ValueError(mode)


for line in sys.stdin:
    parts = line.split()
    def unhex(text):
        return b"" if text == "-" else bytes.fromhex(text)
    mode, data = parts[0], unhex(parts[1])
    extra = unhex(parts[2]) if len(parts) > 2 else b""
    try:
        print(answer(mode, data, extra).hex() or "-")
    except (UnicodeDecodeError, binascii.Error):
        print("ERR")
