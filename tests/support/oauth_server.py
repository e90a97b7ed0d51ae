#!/usr/bin/python3
"""A loopback OAuth2 authorization server for the sign-in tests: Python's http.server alone.

Usage: oauth_server.py [--tls CERT KEY] [--issued FILE]

Listens on 127.0.0.1 on a port the system picks and writes "port N" as the first line of its
standard error; with --tls over HTTPS with that certificate chain and key. With --issued, every
access token it issues is added to FILE as a line (an SMTP server's list of tokens it takes). The first segment of a request's path is how to behave, the second the
endpoint, so a test points each URL at the behaviour it wants:

  /MODE/authorize  GET: approves at once and redirects (302) to redirect_uri with a code and
                   the state; with MODE "deny" with error=access_denied instead. A request
                   without an S256 code challenge or a loopback redirect_uri gets
                   error=invalid_request.
  /MODE/token      POST, form-encoded:
                   authorization_code: grants each code once, to the client and redirect_uri
                   it was issued for, when the code_verifier hashes to its challenge;
                   refresh_token: a new access token for a refresh token it issued, or
                   invalid_grant when MODE is "revoked";
                   device_code: authorization_pending, then slow_down, then the tokens once
                   the client waited its interval and five seconds more (MODE "deny":
                   authorization_pending, then access_denied).
  /MODE/device     POST: a device code, user code WDJB-MJHT, interval 1 s, life 60 s; the
                   address to enter it at is /MODE/activate, over HTTPS when the server is.

MODE "short" is "ok" with access tokens that say they live 30 s: less than the minute a client
keeps in hand, so each use refreshes.

Tokens start with "secret-at-" (access) and "secret-rt-" (refresh), so a test can look for them. Any error answer is HTTP 400 with a JSON
object {"error": ..., "error_description": ...}. It ends by itself after ten minutes, or as soon
as the process that started it is gone.
"""

import base64
import hashlib
import http.server
import json
import os
import secrets
import ssl
import sys
import threading
import time
import urllib.parse

CLIENT_ID = "corvane-test-client"
LIFETIME_SECONDS = 600
INTERVAL_SECONDS = 1
SLOW_DOWN_SECONDS = 5

lock = threading.Lock()
codes = {}           # code -> (challenge, redirect_uri)
refresh_tokens = set()
devices = {}         # device code -> {"polls": n, "last": time, "interval": s}


def challenge_of(verifier):
    digest = hashlib.sha256(verifier.encode("ascii")).digest()
    return base64.urlsafe_b64encode(digest).rstrip(b"=").decode("ascii")


issued_file = None


def tokens(mode, with_refresh=True):
    access = "secret-at-" + secrets.token_urlsafe(24)
    if issued_file:
        descriptor = os.open(issued_file, os.O_WRONLY | os.O_APPEND | os.O_CREAT, 0o600)
        with os.fdopen(descriptor, "a") as issued:
            issued.write(access + "\n")
    answer = {"access_token": access, "token_type": "Bearer", "expires_in": 30 if mode == "short" else 3600}
    if with_refresh:
        refresh = "secret-rt-" + secrets.token_urlsafe(24)
        refresh_tokens.add(refresh)
        answer["refresh_token"] = refresh
    return answer


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass  # nobody reads standard error after the port: a full pipe would block the server

    def answer(self, status, body, headers=()):
        data = json.dumps(body).encode() if isinstance(body, dict) else body
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        self.send_header("Cache-Control", "no-store")
        self.end_headers()
        self.wfile.write(data)

    def error(self, code, description):
        self.answer(400, {"error": code, "error_description": description})

    def route(self):
        parts = urllib.parse.urlsplit(self.path)
        segments = parts.path.strip("/").split("/")
        mode, endpoint = (segments + ["", ""])[:2]
        return mode, endpoint, urllib.parse.parse_qs(parts.query)

    def form(self):
        length = int(self.headers.get("Content-Length", "0"))
        fields = urllib.parse.parse_qs(self.rfile.read(length).decode("utf-8"), keep_blank_values=True)
        return {name: values[0] for name, values in fields.items()}

    def do_GET(self):
        mode, endpoint, query = self.route()
        if endpoint != "authorize":
            return self.answer(404, {"error": "not_found"})
        ask = {name: values[0] for name, values in query.items()}
        redirect = ask.get("redirect_uri", "")
        if mode == "deny":
            result = {"error": "access_denied", "error_description": "The user said no."}
        elif (ask.get("response_type") != "code" or ask.get("client_id") != CLIENT_ID
              or ask.get("code_challenge_method") != "S256" or len(ask.get("code_challenge", "")) != 43
              or not redirect.startswith("http://127.0.0.1:")):
            result = {"error": "invalid_request", "error_description": "asked " + json.dumps(sorted(ask))}
        else:
            code = "4/" + secrets.token_urlsafe(16)
            with lock:
                codes[code] = (ask["code_challenge"], redirect)
            result = {"code": code}
        result["state"] = ask.get("state", "")
        self.send_response(302)
        self.send_header("Location", redirect + ("&" if "?" in redirect else "?") + urllib.parse.urlencode(result))
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_POST(self):
        mode, endpoint, _ = self.route()
        fields = self.form()
        if fields.get("client_id") != CLIENT_ID:
            return self.error("invalid_client", "unknown client")
        if endpoint == "device":
            device = secrets.token_urlsafe(16)
            with lock:
                devices[device] = {"polls": 0, "last": time.monotonic(), "interval": INTERVAL_SECONDS}
            activate = f"{self.server.scheme}://127.0.0.1:{self.server.server_address[1]}/{mode}/activate"
            return self.answer(200, {"device_code": device, "user_code": "WDJB-MJHT",
                                     "verification_uri": activate,
                                     "verification_uri_complete": activate + "?user_code=WDJB-MJHT",
                                     "expires_in": 60, "interval": INTERVAL_SECONDS})
        if endpoint != "token":
            return self.answer(404, {"error": "not_found"})
        grant = fields.get("grant_type")
        if grant == "authorization_code":
            return self.exchange_code(mode, fields)
        if grant == "refresh_token":
            with lock:
                known = fields.get("refresh_token") in refresh_tokens
                if mode == "revoked" or not known:
                    return self.error("invalid_grant", "The refresh token is no longer valid.")
                return self.answer(200, tokens(mode, with_refresh=False))
        if grant == "urn:ietf:params:oauth:grant-type:device_code":
            return self.poll(mode, fields.get("device_code"))
        return self.error("unsupported_grant_type", str(grant))

    def exchange_code(self, mode, fields):
        with lock:
            issued = codes.pop(fields.get("code", ""), None)  # each code once
            if issued is None:
                return self.error("invalid_grant", "unknown or used code")
            challenge, redirect = issued
            if fields.get("redirect_uri") != redirect:
                return self.error("invalid_grant", "redirect_uri differs")
            if challenge_of(fields.get("code_verifier", "")) != challenge:
                return self.error("invalid_grant", "the PKCE verifier does not match")
            return self.answer(200, tokens(mode))

    def poll(self, mode, device):
        with lock:
            state = devices.get(device)
            if state is None:
                return self.error("invalid_grant", "unknown device code")
            now = time.monotonic()
            waited = now - state["last"]
            state["last"] = now
            state["polls"] += 1
            if waited < state["interval"] - 0.2:
                return self.error("polled_too_soon", f"waited {waited:.1f} s of {state['interval']} s")
            if state["polls"] == 1:
                return self.error("authorization_pending", "not yet")
            if mode == "deny":
                return self.error("access_denied", "The user said no.")
            if state["polls"] == 2:
                state["interval"] += SLOW_DOWN_SECONDS
                return self.error("slow_down", "too often")
            del devices[device]
            return self.answer(200, tokens(mode))


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    scheme = "http"

    def handle_error(self, request, client_address):
        pass  # a client that hangs up is what the tests do


def end_with_parent():
    parent = os.getppid()
    started = time.monotonic()
    while os.getppid() == parent and time.monotonic() - started < LIFETIME_SECONDS:
        time.sleep(0.2)
    os._exit(0)


def main():
    global issued_file
    arguments = sys.argv[1:]
    certificate = None
    while arguments:
        if arguments[0] == "--tls" and len(arguments) >= 3:
            certificate, arguments = arguments[1:3], arguments[3:]
        elif arguments[0] == "--issued" and len(arguments) >= 2:
            issued_file, arguments = arguments[1], arguments[2:]
        else:
            sys.exit(__doc__)
    server = Server(("127.0.0.1", 0), Handler)
    if certificate:
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(*certificate)
        server.socket = context.wrap_socket(server.socket, server_side=True)
        server.scheme = "https"
    threading.Thread(target=end_with_parent, daemon=True).start()
    print(f"port {server.server_address[1]}", file=sys.stderr, flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
