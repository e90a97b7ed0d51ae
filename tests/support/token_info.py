#!/usr/bin/python3
"""A loopback token information endpoint for an IMAP server's XOAUTH2 in tests (dovecot's oauth2
passdb, tokeninfo_url): Python's http.server alone.

Usage: token_info.py ACCOUNT

ACCOUNT is a file of two lines, the user name and the one access token this server knows (in a
file, not on a command line others can read). Listens on 127.0.0.1 on a port the system picks and
writes "port N" as the first line of its standard error. GET /tokeninfo/TOKEN answers 200 with
{"active": true, "username": USER} for that token and {"active": false} for any other, the way
a provider's endpoint refuses a token. It ends by itself after ten minutes, or as soon as the
process that started it is gone.
"""

import http.server
import json
import os
import sys
import threading
import time

LIFETIME_SECONDS = 600


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"  # keeps the connection the server's HTTP client pools
    user = ""
    token = ""

    def do_GET(self):
        known = self.path == "/tokeninfo/" + self.token
        body = json.dumps({"active": True, "username": self.user} if known else {"active": False}).encode()
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def log_message(self, *arguments):
        pass  # nobody reads standard error after the port: a full pipe would block the server


def end_with_parent():
    parent = os.getppid()
    started = time.monotonic()
    while os.getppid() == parent and time.monotonic() - started < LIFETIME_SECONDS:
        time.sleep(0.2)
    os._exit(0)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as account:
        Handler.user, Handler.token = account.read().split("\n")[:2]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=end_with_parent, daemon=True).start()
    print(f"port {server.server_address[1]}", file=sys.stderr, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
