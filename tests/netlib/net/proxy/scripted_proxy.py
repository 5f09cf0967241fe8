#!/usr/bin/python3
"""A proxy that answers by script, for what real proxies do not show on demand.

Usage: scripted_proxy.py PORT MODE LOG
Each connection's request bytes are appended to LOG in hex, one line per
connection. After a successful reply the connection echoes what it gets.
"""
import socket
import sys
import time

PORT, MODE, LOG = int(sys.argv[1]), sys.argv[2], sys.argv[3]
PAUSE = 0.02


def read_exact(conn, n):
    data = b""
    while len(data) < n:
        piece = conn.recv(n - len(data))
        if not piece:
            raise EOFError
        data += piece
    return data


def read_until(conn, end):
    data = b""
    while not data.endswith(end):
        piece = conn.recv(1)
        if not piece:
            raise EOFError
        data += piece
    return data


def send_pieces(conn, pieces):
    for piece in pieces:
        conn.sendall(piece)
        time.sleep(PAUSE)


def one_by_one(data):
    return [data[i:i + 1] for i in range(len(data))]


def socks5_request(conn):
    head = read_exact(conn, 4)
    atyp = head[3]
    if atyp == 1:
        rest = read_exact(conn, 4 + 2)
    elif atyp == 3:
        n = read_exact(conn, 1)
        rest = n + read_exact(conn, n[0] + 2)
    else:
        rest = read_exact(conn, 16 + 2)
    return head + rest


def socks5_reply(atyp, code=0):
    if atyp == 1:
        bound = b"\x01\x7f\x00\x00\x01"
    elif atyp == 3:
        bound = b"\x03\x09localhost"
    else:
        bound = b"\x04" + b"\x00" * 15 + b"\x01"
    return bytes([5, code, 0]) + bound + b"\x12\x34"


def serve(conn):
    request = b""
    if MODE.startswith("basic"):
        request = read_until(conn, b"\r\n\r\n")
        log(request)
        if MODE == "basic-split":
            send_pieces(conn, one_by_one(b"HTTP/1.0 200 Connection established\r\nX-Via: script\r\n\r\n"))
        elif MODE == "basic-tail":
            conn.sendall(b"HTTP/1.0 200 Connection established\r\n\r\nxyz")
        elif MODE == "basic-lf":
            conn.sendall(b"HTTP/1.0 200 OK\n\n")
        elif MODE == "basic-403":
            conn.sendall(b"HTTP/1.0 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            return
        elif MODE == "basic-endless":
            conn.sendall(b"HTTP/1.0 200 OK\r\n")
            for _ in range(64):
                conn.sendall(b"X-Filler: " + b"a" * 1000 + b"\r\n")
            time.sleep(1)
            return
    elif MODE.startswith("socks4"):
        request = read_exact(conn, 8) + read_until(conn, b"\x00")
        log(request)
        reply = b"\x00\x5a\x12\x34\x7f\x00\x00\x01"
        if MODE == "socks4-split":
            send_pieces(conn, [reply[:3], reply[3:]])
        elif MODE == "socks4-tail":
            conn.sendall(reply + b"xyz")
        elif MODE == "socks4-reject":
            conn.sendall(b"\x00\x5b" + reply[2:])
            return
    elif MODE.startswith("socks5"):
        greeting = read_exact(conn, 2)
        greeting += read_exact(conn, greeting[1])
        split = MODE.endswith("-split")
        send_pieces(conn, one_by_one(b"\x05\x00") if split else [b"\x05\x00"])
        request = socks5_request(conn)
        log(greeting + b"|" + request)
        kind = MODE.split("-")[1]
        if kind == "x85":
            conn.sendall(socks5_reply(1, 0x85))
            return
        reply = socks5_reply({"atyp1": 1, "atyp3": 3, "atyp4": 4}[kind])
        if split:
            send_pieces(conn, one_by_one(reply))
        else:
            conn.sendall(reply + b"xyz")
    while True:
        data = conn.recv(65536)
        if not data:
            return
        conn.sendall(data)


def log(data):
    with open(LOG, "a") as out:
        out.write(data.hex() + "\n")


def main():
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", PORT))
    listener.listen(8)
    while True:
        conn, _ = listener.accept()
        try:
            serve(conn)
        except (EOFError, OSError):
            pass
        finally:
            conn.close()


if __name__ == "__main__":
    main()
