#!/usr/bin/python3
"""A scripted HTTP/1.1 server for the client tests: each path answers with
exact bytes, some of them one byte at a time, some malformed on purpose.

usage: http1_peer.py PORT [REDIRECT_PORT]
"""
import gzip
import socket
import socketserver
import struct
import sys
import time
import zlib

PORT = int(sys.argv[1])
OTHER = int(sys.argv[2]) if len(sys.argv) > 2 else 0
PAYLOAD = bytes((i * 7 + 3) % 251 for i in range(50000))


def gzip_member(data, name=False, extra=False, hcrc=False, comment=False):
    flags = (8 if name else 0) | (4 if extra else 0) | (2 if hcrc else 0) | (16 if comment else 0)
    head = b"\x1f\x8b\x08" + bytes([flags]) + struct.pack("<I", 0) + b"\x00\xff"
    if extra:
        field = b"AB" + struct.pack("<H", 5) + b"hello"
        head += struct.pack("<H", len(field)) + field
    if name:
        head += b"payload.bin\x00"
    if comment:
        head += b"a comment\x00"
    if hcrc:
        head += struct.pack("<H", zlib.crc32(head) & 0xFFFF)
    c = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = c.compress(data) + c.flush()
    return head + body + struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)


def response(status, headers, body=b""):
    head = "HTTP/1.1 %s\r\n" % status + "".join("%s: %s\r\n" % h for h in headers) + "\r\n"
    return head.encode() + body


def chunked(pieces, trailer=b""):
    out = b""
    for p in pieces:
        out += b"%x\r\n" % len(p) + p + b"\r\n"
    return out + b"0\r\n" + trailer + b"\r\n"


class Handler(socketserver.BaseRequestHandler):
    def read_request(self):
        data = self.buf
        while b"\r\n\r\n" not in data:
            more = self.request.recv(65536)
            if not more:
                return None
            data += more
        head, _, rest = data.partition(b"\r\n\r\n")
        lines = head.split(b"\r\n")
        fields = {}
        for line in lines[1:]:
            name, _, value = line.partition(b":")
            fields[name.strip().lower()] = value.strip()
        body = b""
        if lines[0].split(b" ")[1].endswith(b"/early"):
            # Refused before the body is read, as a server with a size cap does.
            self.buf = b""
            return "/early", head
        if fields.get(b"transfer-encoding", b"").lower() == b"chunked":
            while True:
                while b"\r\n" not in rest:
                    rest += self.request.recv(65536)
                size_line, _, rest = rest.partition(b"\r\n")
                size = int(size_line.split(b";")[0], 16)
                while len(rest) < size + 2:
                    rest += self.request.recv(65536)
                body += rest[:size]
                rest = rest[size + 2:]
                if size == 0:
                    break
        else:
            length = int(fields.get(b"content-length", b"0"))
            while len(rest) < length:
                more = self.request.recv(65536)
                if not more:
                    break
                rest += more
            body, rest = rest[:length], rest[length:]
        self.buf = rest
        return lines[0].split(b" ")[1].decode(), head + b"\r\n\r\n" + body

    def send_slowly(self, data):
        for i in range(len(data)):
            self.request.sendall(data[i:i + 1])
            time.sleep(0.0002)

    def handle(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.buf = b""
        while True:
            got = self.read_request()
            if got is None:
                return
            path, raw = got
            if path.startswith("http://"):  # absolute form, as a proxy sees it
                path = "/" + path[7:].partition("/")[2]
            if not self.answer(path, raw):
                return

    def answer(self, path, raw):
        send = self.request.sendall
        if path == "/echo":
            port = self.client_address[1]
            send(response("200 OK", [("Content-Length", len(raw)), ("X-Client-Port", port)], raw))
        elif path == "/early":
            send(response("413 Payload Too Large", [("Content-Length", 0)]))
            time.sleep(1)
            return False
        elif path == "/continue":
            send(b"HTTP/1.1 100 Continue\r\n\r\n")
            time.sleep(0.05)
            send(response("200 OK", [("Content-Length", 2)], b"ok"))
        elif path == "/chunkext":
            send(response("200 OK", [("Transfer-Encoding", "chunked")]) +
                 b"1a;name=value\r\n" + b"abcdefghijklmnopqrstuvwxyz\r\n0\r\n\r\n")
        elif path == "/chunkcrlf":
            # A line end inside the data, and one that straddles the
            # 4000-byte receive queue: CR as its last byte, LF as the next.
            data = b"x" * 3999 + b"\r\n" + b"y" * 3000 + b"\r\nend\r\n"
            send(response("200 OK", [("Transfer-Encoding", "chunked")]) + b"%x\r\n" % len(data))
            time.sleep(0.1)
            send(data + b"\r\n" + chunked([b"tail\r\n"]))
        elif path == "/trailers":
            send(response("200 OK", [("Transfer-Encoding", "chunked"), ("Trailer", "X-Sum")]) +
                 chunked([b"part one,", b" part two"], b"X-Sum: 42\r\n"))
        elif path == "/bigcookie":
            send(response("200 OK", [("Set-Cookie", "big=" + "c" * 60000), ("Content-Length", 2)], b"ok"))
        elif path == "/hugeheader":
            send(response("200 OK", [("Set-Cookie", "huge=" + "h" * 70000), ("Content-Length", 2)], b"ok"))
            return False
        elif path == "/short":
            send(response("200 OK", [("Content-Length", 100)], b"s" * 50))
            return False
        elif path == "/shortchunk":
            send(response("200 OK", [("Transfer-Encoding", "chunked")]) + b"10\r\nonly")
            return False
        elif path == "/beyond":
            send(response("200 OK", [("Content-Length", 5)], b"helloEXTRA"))
            time.sleep(0.2)
            return False
        elif path == "/gzipchunked":
            send(response("200 OK", [("Transfer-Encoding", "gzip, chunked")]) + chunked([gzip.compress(b"zipped")]))
        elif path == "/GZIPCHUNKED":
            send(response("200 OK", [("Transfer-Encoding", "Chunked")]) + chunked([b"upper"]))
        elif path.startswith("/badchunk/"):
            size = {"minus": b"-5", "nothex": b"zz", "huge": b"fffffffff"}[path[10:]]
            send(response("200 OK", [("Transfer-Encoding", "chunked")]) + size + b"\r\nhello\r\n0\r\n\r\n")
            return False
        elif path.startswith("/gzip/"):
            kind = path[6:]
            member = gzip_member(PAYLOAD, name="name" in kind, extra="extra" in kind, hcrc="hcrc" in kind,
                                 comment="comment" in kind)
            if "badcrc" in kind:
                member = member[:-8] + bytes([member[-8] ^ 1]) + member[-7:]
            if "cut" in kind:
                send(response("200 OK", [("Content-Encoding", "gzip")]) + member[:len(member) // 2])
                return False
            head = response("200 OK", [("Content-Encoding", "gzip"), ("Content-Length", len(member))])
            if "slow" in kind:
                send(head)
                self.send_slowly(member[:64])
                send(member[64:])
            else:
                send(head + member)
        elif path.startswith("/deflate/"):
            if path.endswith("zlib"):
                data = zlib.compress(PAYLOAD)
            else:
                c = zlib.compressobj(9, zlib.DEFLATED, -15)
                data = c.compress(PAYLOAD) + c.flush()
            send(response("200 OK", [("Content-Encoding", "deflate"), ("Content-Length", len(data))], data))
        elif path == "/nostatus":
            send(b"just a body\nwithout status\n")
            return False
        elif path == "/http10":
            self.send_slowly(b"HTTP/1.0 200 OK\r\nServer: old\r\n\r\n")
            send(b"until the close" * 1000)
            return False
        elif path.startswith("/hop/"):
            n = int(path[5:])
            send(response("302 Found", [("Location", "/hop/%d" % (n + 1)), ("Content-Length", 3)], b"hop"))
        elif path == "/same":
            send(response("302 Found", [("Location", "http://127.0.0.1:%d/same" % PORT), ("Content-Length", 0)]))
        elif path == "/away":
            send(response("302 Found", [("Location", "http://127.0.0.1:%d/echo" % OTHER), ("Content-Length", 0)]))
        elif path == "/home":
            send(response("302 Found", [("Location", "/echo"), ("Content-Length", 0)]))
        elif path == "/basic":
            if b"Authorization: Basic dXNlcjpwYXNz" in raw:
                send(response("200 OK", [("Content-Length", 7)], b"welcome"))
            else:
                send(response("401 Unauthorized", [("WWW-Authenticate", 'Basic realm="r"'), ("Content-Length", 0)]))
        else:
            send(response("404 Not Found", [("Content-Length", 0)]))
        return True


class Server(socketserver.ThreadingTCPServer):
    allow_reuse_address = True
    daemon_threads = True


Server(("127.0.0.1", PORT), Handler).serve_forever()
