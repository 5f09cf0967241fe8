#!/usr/bin/python3
"""An HTTP/1.1 server that asks for Negotiate and accepts the token with MIT's
GSS acceptor (python3-gssapi) on the key table given. A request it accepts
is answered with the initiator's name and the body it received with it.

usage: negotiate_peer.py PORT KEYTAB   (KRB5_CONFIG names the realm)
"""
import base64
import http.server
import os
import sys

from peer_handler import PeerHandler

os.environ["KRB5_KTNAME"] = "FILE:" + sys.argv[2]
os.environ["KRB5RCACHETYPE"] = "none"
import gssapi  # noqa: E402  (reads the key table name at first use)


class Handler(PeerHandler):
    def handle_any(self):
        body = self.read_body()
        auth = self.headers.get("Authorization", "")
        if auth.startswith("Negotiate "):
            try:
                context = gssapi.SecurityContext(usage="accept")
                reply = context.step(base64.b64decode(auth[10:]))
                initiator = str(context.initiator_name) if context.complete else None
            except Exception:  # noqa: BLE001  (any refusal is a 401)
                initiator = None
            if initiator is None:
                return self.answer(401, b"refused", [("WWW-Authenticate", "Negotiate")])
            headers = [("WWW-Authenticate", "Negotiate " + base64.b64encode(reply).decode())] if reply else []
            return self.answer(200, initiator.encode() + b" " + body, headers)
        self.answer(401, b"denied", [("WWW-Authenticate", "Negotiate")])

    do_GET = do_POST = handle_any


http.server.HTTPServer(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
