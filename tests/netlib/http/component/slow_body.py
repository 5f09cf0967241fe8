"""An HTTP/1.1 server that sends its 200-byte body one byte every 50 ms.

Usage: slow_body.py PORT. Serves connections one at a time until killed.
"""
import socket
import sys
import time

BODY = b"x" * 200


def serve(conn):
    request = b""
    while b"\r\n\r\n" not in request:
        chunk = conn.recv(4096)
        if not chunk:
            return
        request += chunk
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n" % len(BODY))
    for i in range(len(BODY)):
        conn.sendall(BODY[i:i + 1])
        time.sleep(0.05)


def main():
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", int(sys.argv[1])))
    listener.listen(4)
    while True:
        conn, _ = listener.accept()
        try:
            serve(conn)
        except OSError:
            pass
        finally:
            conn.close()


main()
