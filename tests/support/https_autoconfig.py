#!/usr/bin/python3
"""A loopback HTTPS server for the autoconfig lookup's tests: Python's http.server and ssl.

Usage: https_autoconfig.py CERT KEY DOCUMENT

Listens on 127.0.0.1 on a port the system picks and writes "port N" as the first line of its
standard error. The first segment of a request's path says how to answer; the rest of the path
and the query are ignored, so a test points each name of the lookup at the answer it wants:

  /document/...       200 with the bytes of the file DOCUMENT
  /missing/...        404
  /redirect-http/...  302 to the same document over plain http (nobody listens there)
  /stall/...          accepts the request and answers nothing for a minute
  /huge/...           200 with 50 MB of XML-looking bytes and no Content-Length
  /huge-declared/...  200 with "Content-Length: 52428800", then the same bytes

It ends by itself after ten minutes, or as soon as the process that started it is gone.
"""

import http.server
import os
import ssl
import sys
import threading
import time

HUGE = 50 * 1024 * 1024
CHUNK = b"<x>" + b"a" * 65530 + b"</x>"
LIFETIME_SECONDS = 600
STALL_SECONDS = 60


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    document = b""

    def log_message(self, format, *args):
        # Nobody reads standard error after the port: a full pipe would block the server.
        pass

    def answer(self, status, body=b"", headers=()):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(body)

    def huge(self, declared):
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        if declared:
            self.send_header("Content-Length", str(HUGE))
        self.send_header("Connection", "close")
        self.end_headers()
        sent = 0
        try:
            while sent < HUGE:
                self.wfile.write(CHUNK)
                sent += len(CHUNK)
        except OSError:
            pass  # the client hung up: what a size cap does

    def do_GET(self):
        action = self.path.lstrip("/").split("/", 1)[0].split("?", 1)[0]
        if action == "document":
            self.answer(200, self.document, [("Content-Type", "text/xml")])
        elif action == "redirect-http":
            port = self.server.server_address[1]
            self.answer(302, headers=[("Location", f"http://127.0.0.1:{port}/document/")])
        elif action == "stall":
            time.sleep(STALL_SECONDS)
            self.close_connection = True
        elif action in ("huge", "huge-declared"):
            self.huge(action == "huge-declared")
        else:
            self.answer(404, b"not here")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # a client that hangs up or refuses the certificate is what the tests do


def end_with_parent():
    parent = os.getppid()
    started = time.monotonic()
    while os.getppid() == parent and time.monotonic() - started < LIFETIME_SECONDS:
        time.sleep(0.2)
    os._exit(0)


def main():
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    certificate, key, document = sys.argv[1:]
    with open(document, "rb") as source:
        Handler.document = source.read()
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(certificate, key)
    server = Server(("127.0.0.1", 0), Handler)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=end_with_parent, daemon=True).start()
    print(f"port {server.server_address[1]}", file=sys.stderr, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
