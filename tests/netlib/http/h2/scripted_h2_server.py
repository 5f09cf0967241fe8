"""A scripted HTTP/2 server over TLS (python3-h2) for the client engine's
tests: each request path picks a behaviour. A query of "bytes" writes every
byte in its own TLS record.

  scripted_h2_server.py PORT CERT KEY [RECORD]
With RECORD, every byte received (after TLS) is appended to that file, and
the length of each read (at most one TLS record) as a line to RECORD.reads.
Paths:
  /plain           200 with the body "plain"
  /continuation    a 40000-byte header, so the block runs on in CONTINUATION
  /reset           headers, then RST_STREAM(CANCEL)
  /ping            a PING first; the body says whether its ACK came back
  /goaway          headers and some data, then GOAWAY not covering the stream
  /trailers        headers, body, then a trailer block
  /early           103 with a link header, then 200
  /lowered         (POST) lowers INITIAL_WINDOW_SIZE to 100, then echoes the body length
  /early-end       (POST) the whole response at once, then RST_STREAM(NO_ERROR)
  /overflow        a WINDOW_UPDATE taking the connection window past 2^31-1
  /bigframe        a frame header announcing 16385 bytes
"""
import socket
import ssl
import struct
import sys
import threading

import h2.config
import h2.connection
import h2.events
import h2.errors
import h2.settings


RECORD = None


class Session:
    def __init__(self, sock):
        self.sock = sock
        self.conn = h2.connection.H2Connection(h2.config.H2Configuration(client_side=False, header_encoding="utf-8"))
        self.byte_mode = False
        self.bodies = {}
        self.ping_acked = False
        self.pending_ping = None
        self.closing = False

    def flush(self, extra=b""):
        data = self.conn.data_to_send() + extra
        if not data:
            return
        if self.byte_mode:
            for i in range(len(data)):
                self.sock.sendall(data[i:i + 1])
        else:
            self.sock.sendall(data)

    def respond(self, stream, body, headers=None, end=True):
        self.conn.send_headers(stream, [(":status", "200")] + (headers or []))
        self.conn.send_data(stream, body, end_stream=end)

    def on_request(self, stream, headers):
        path = headers.get(":path", "/")
        if "?" in path:
            path, query = path.split("?", 1)
            self.byte_mode = query == "bytes"
        method = headers.get(":method")
        self.bodies[stream] = (path, bytearray())
        if method == "POST" and path in ("/lowered", "/early-end"):
            if path == "/lowered":
                self.conn.update_settings({h2.settings.SettingCodes.INITIAL_WINDOW_SIZE: 100})
            else:
                self.respond(stream, b"early")
                self.conn.reset_stream(stream, h2.errors.ErrorCodes.NO_ERROR)
            return
        if path == "/plain":
            self.respond(stream, b"plain")
        elif path == "/continuation":
            self.respond(stream, b"big", [("x-big", "v" * 40000), ("x-after", "after")])
        elif path == "/reset":
            self.conn.send_headers(stream, [(":status", "200")])
            self.conn.reset_stream(stream, h2.errors.ErrorCodes.CANCEL)
        elif path == "/ping":
            self.pending_ping = stream
            self.conn.ping(b"pingpong")
        elif path == "/goaway":
            self.conn.send_headers(stream, [(":status", "200")])
            self.conn.send_data(stream, b"partial")
            self.conn.close_connection(h2.errors.ErrorCodes.ENHANCE_YOUR_CALM, last_stream_id=max(0, stream - 2))
            # The client closes; until then what it sends is read and dropped.
            self.closing = True
        elif path == "/trailers":
            self.conn.send_headers(stream, [(":status", "200")])
            self.conn.send_data(stream, b"body")
            self.conn.send_headers(stream, [("x-checksum", "abc")], end_stream=True)
        elif path == "/early":
            self.conn.send_headers(stream, [(":status", "103"), ("link", "</style.css>; rel=preload")])
            self.respond(stream, b"final")
        elif path == "/overflow":
            self.flush(bytes.fromhex("000004080000000000") + struct.pack(">I", 0x7FFFFFFF))
        elif path == "/bigframe":
            self.flush(struct.pack(">I", 16385)[1:] + bytes([0, 0]) + struct.pack(">I", stream))
        else:
            self.conn.send_headers(stream, [(":status", "404")], end_stream=True)

    def run(self):
        self.conn.initiate_connection()
        self.flush()
        while True:
            data = self.sock.recv(65536)
            if not data:
                return
            if RECORD:
                with open(RECORD, "ab") as out:
                    out.write(data)
                with open(RECORD + ".reads", "a") as out:
                    out.write("%d\n" % len(data))
            if self.closing:
                continue
            for event in self.conn.receive_data(data):
                if isinstance(event, h2.events.RequestReceived):
                    self.on_request(event.stream_id, dict(event.headers))
                elif isinstance(event, h2.events.DataReceived):
                    self.conn.acknowledge_received_data(event.flow_controlled_length, event.stream_id)
                    if event.stream_id in self.bodies:
                        self.bodies[event.stream_id][1].extend(event.data)
                elif isinstance(event, h2.events.StreamEnded):
                    path, body = self.bodies.get(event.stream_id, ("", b""))
                    if path == "/lowered":
                        self.respond(event.stream_id, str(len(body)).encode())
                elif isinstance(event, h2.events.PingAckReceived):
                    if self.pending_ping is not None:
                        self.respond(self.pending_ping, b"ping acked")
                        self.pending_ping = None
            self.flush()


def serve(client):
    try:
        Session(client).run()
    except (EOFError, OSError, h2.exceptions.ProtocolError):
        pass
    finally:
        try:
            client.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        client.close()


def main():
    global RECORD
    port, cert, key = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    RECORD = sys.argv[4] if len(sys.argv) > 4 else None
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.load_cert_chain(cert, key)
    ctx.set_alpn_protocols(["h2"])
    listener = socket.socket()
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", port))
    listener.listen(8)
    while True:
        raw, _ = listener.accept()
        raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            client = ctx.wrap_socket(raw, server_side=True)
        except (ssl.SSLError, OSError):
            raw.close()
            continue
        client.settimeout(30)
        threading.Thread(target=serve, args=(client,), daemon=True).start()


if __name__ == "__main__":
    import h2.exceptions  # noqa: F401  (used in serve)
    main()
