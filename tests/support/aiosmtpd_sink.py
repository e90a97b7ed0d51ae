#!/usr/bin/python3
"""A real SMTP server for Corvane's integration tests, written by nobody here: aiosmtpd.

Usage: aiosmtpd_sink.py FOLDER [--starttls CERT KEY [--require-starttls]] [--tls CERT KEY]
                               [--account FILE [--auth-over-plain] [--xoauth2 [--issued FILE]]]
                               [--smtputf8] [--pause SECONDS] [--pipelining]
                               [--size-limit BYTES] [--raw-only]

Listens on 127.0.0.1 on a port the system picks and prints that port on the first line of
standard output. Without options it is a plain server that takes every message.

  --starttls CERT KEY   offers STARTTLS (RFC 3207) with this certificate chain and key
  --require-starttls    refuses every command but EHLO, NOOP, QUIT and STARTTLS before TLS
  --tls CERT KEY        implicit TLS: the handshake comes first, as on port 465
  --account FILE        sign-in required: FILE holds the user name on its first line and the
                        password on its second; AUTH PLAIN and LOGIN are offered, only inside
                        TLS unless --auth-over-plain is given too
  --xoauth2             the second line of the account FILE is the one OAuth2 access token
                        taken, by AUTH XOAUTH2 only; another is refused as Google refuses it
  --issued FILE         with --xoauth2, the tokens taken are instead the lines FILE holds at
                        each sign-in: what a loopback OAuth2 server (oauth_server.py) issued
  --pause SECONDS       waits this long before answering MAIL, RCPT and the end of data
  --pipelining          offers PIPELINING (RFC 2920) in its EHLO reply
  --size-limit BYTES    the SIZE it offers and takes (32 MiB unless given; 0: no limit)
  --raw-only            stores message.eml and the envelope only, without parsing: for
                        messages too large for the email package to hold

Each accepted message becomes FOLDER/message-N (N counting from 1), made complete before the
server answers the end of data, so a client that has its 250 reply can read it at once:

  envelope-from   the MAIL FROM address
  envelope-to     the RCPT TO addresses, one a line
  message.eml     the data exactly as received (transparency dots removed)
  headers         each top-level header as "Name: value", one a line
  text            the decoded body of the text part (of the whole message when not MIME)
  attachments     one line per attachment: index TAB file name TAB content type TAB size
  attachment-I    the decoded bytes of attachment I
  defects         what Python's email package found wrong, one a line (empty when nothing)
  tls             the TLS version the message came through ("TLSv1.3"), empty for plain text
  auth            "MECHANISM user" of the sign-in it came under, empty for none

Every sign-in attempt adds "MECHANISM user accepted" or "... refused" to FOLDER/auth-log.
Passwords and tokens are never written anywhere.
"""

import argparse
import asyncio
import base64
import binascii
import os
import ssl
import sys

import email
import email.policy
from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword


def write(folder, name, data):
    mode = "wb" if isinstance(data, bytes) else "w"
    with open(os.path.join(folder, name), mode) as out:
        out.write(data)


def describe(folder, raw):
    """Parses the message with the email package and writes what it found."""
    message = email.message_from_bytes(raw, policy=email.policy.default)
    write(folder, "headers", "".join(f"{name}: {value}\n" for name, value in message.items()))

    defects = [f"message: {defect!r}" for defect in message.defects]
    if message.is_multipart():
        parts = list(message.iter_parts())
        text = parts[0].get_payload(decode=True) if parts else b""
    else:
        text = message.get_payload(decode=True)
    write(folder, "text", text or b"")

    listing = []
    for index, part in enumerate(message.iter_attachments()):
        # get_payload(decode=True) notes bad Base64 as defects of the part.
        data = part.get_payload(decode=True) or b""
        write(folder, f"attachment-{index}", data)
        listing.append(f"{index}\t{part.get_filename()}\t{part.get_content_type()}\t{len(data)}\n")
        defects += [f"attachment {index}: {defect!r}" for defect in part.defects]
    for index, part in enumerate(message.walk()):
        if index > 0:
            defects += [f"part {index}: {defect!r}" for defect in part.defects]
    write(folder, "attachments", "".join(listing))
    write(folder, "defects", "".join(line + "\n" for line in sorted(set(defects))))


class Sink:
    def __init__(self, folder, pause=0.0, pipelining=False):
        self.folder = folder
        self.count = 0
        self.pause = pause
        self.pipelining = pipelining
        self.raw_only = False

    async def handle_EHLO(self, server, session, envelope, hostname, responses):
        # aiosmtpd reads commands one after the other whether or not they came in one
        # write; it only does not say so.
        session.host_name = hostname
        if self.pipelining:
            responses.insert(len(responses) - 1, "250-PIPELINING")
        return responses

    async def handle_DATA(self, server, session, envelope):
        await asyncio.sleep(self.pause)
        self.count += 1
        final = os.path.join(self.folder, f"message-{self.count}")
        partial = final + ".partial"
        os.makedirs(partial)
        write(partial, "envelope-from", envelope.mail_from or "")
        write(partial, "envelope-to", "".join(address + "\n" for address in envelope.rcpt_tos))
        write(partial, "message.eml", envelope.original_content)
        tls = server.transport.get_extra_info("ssl_object") if server.transport else None
        write(partial, "tls", tls.version() if tls else "")
        write(partial, "auth", session.auth_data if session.authenticated else "")
        try:
            if not self.raw_only:
                describe(partial, envelope.original_content)
        except Exception as error:  # the test reports it; the server keeps going
            write(partial, "defects", f"parse failed: {error!r}\n")
        os.rename(partial, final)
        return "250 2.0.0 Stored as message-%d" % self.count


class PausingSink(Sink):
    """Takes its time before each answer to MAIL, RCPT and the end of data, as a distant
    server does, so that what a client shows between them can be seen."""

    async def handle_MAIL(self, server, session, envelope, address, options):
        await asyncio.sleep(self.pause)
        envelope.mail_from = address
        envelope.mail_options.extend(options)
        return "250 OK"

    async def handle_RCPT(self, server, session, envelope, address, options):
        await asyncio.sleep(self.pause)
        envelope.rcpt_tos.append(address)
        envelope.rcpt_options.extend(options)
        return "250 OK"


class Account:
    """aiosmtpd's authenticator: one user and password, and a log of every attempt."""

    def __init__(self, folder, account_file, issued=None):
        with open(account_file, "rb") as account:
            lines = account.read().split(b"\n")
        self.user, self.password = lines[0], lines[1]
        self.issued = issued
        self.log = os.path.join(folder, "auth-log")

    def secret_taken(self, secret):
        if self.issued is None:
            return secret == self.password
        try:
            with open(self.issued, "rb") as issued:
                return secret in issued.read().split(b"\n")
        except OSError:
            return False

    def __call__(self, server, session, envelope, mechanism, auth_data):
        accepted = (isinstance(auth_data, LoginPassword) and auth_data.login == self.user
                    and auth_data.password and self.secret_taken(auth_data.password))
        login = auth_data.login.decode("utf-8", "replace") if auth_data else ""
        with open(self.log, "a") as log:
            log.write(f"{mechanism} {login} {'accepted' if accepted else 'refused'}\n")
        if not accepted:
            return AuthResult(success=False, handled=False)
        return AuthResult(success=True, auth_data=f"{mechanism} {login}")


class TokenSMTP(SMTP):
    """Signs in by AUTH XOAUTH2, the token checked as the account's password. A refused token
    gets Google's error challenge, and 535 once the client has answered it."""

    async def auth_XOAUTH2(self, _, args):
        if len(args) == 1:
            response = await self.challenge_auth("")
        else:
            try:
                response = base64.b64decode(args[1], validate=True)
            except binascii.Error:
                response = MISSING
                await self.push("501 5.5.2 Can't decode base64")
        if response is MISSING:
            return AuthResult(success=False, handled=True)
        fields = dict(field.split(b"=", 1) for field in response.split(b"\x01") if b"=" in field)
        token = fields.get(b"auth", b"").removeprefix(b"Bearer ")
        result = self._authenticate("XOAUTH2", LoginPassword(fields.get(b"user", b""), token))
        if not result.success:
            error = b'{"status":"400","schemes":"Bearer","scope":"https://mail.google.com/"}'
            if await self.challenge_auth(error) is MISSING:
                return AuthResult(success=False, handled=True)
        return result


def tls_context(certificate, key):
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.minimum_version = ssl.TLSVersion.TLSv1_2
    context.load_cert_chain(certificate, key)
    return context


async def serve(options):
    sink = (PausingSink(options.folder, options.pause, options.pipelining) if options.pause
            else Sink(options.folder, pipelining=options.pipelining))
    sink.raw_only = options.raw_only
    smtp_options = {"enable_SMTPUTF8": options.smtputf8, "data_size_limit": options.size_limit or None}
    if options.starttls:
        smtp_options["tls_context"] = tls_context(*options.starttls)
        smtp_options["require_starttls"] = options.require_starttls
    if options.account:
        smtp_options["authenticator"] = Account(options.folder, options.account, options.issued)
        smtp_options["auth_required"] = True
        # aiosmtpd only counts STARTTLS as TLS: over implicit TLS everything already is.
        smtp_options["auth_require_tls"] = not (options.auth_over_plain or options.tls)
        if options.xoauth2:
            smtp_options["auth_exclude_mechanism"] = ["PLAIN", "LOGIN"]
    server_class = TokenSMTP if options.xoauth2 else SMTP
    implicit = tls_context(*options.tls) if options.tls else None
    loop = asyncio.get_running_loop()
    # A fixed host name: aiosmtpd would otherwise look up this machine's name.
    server = await loop.create_server(
        lambda: server_class(sink, hostname="sink.test", decode_data=False, **smtp_options),
        host="127.0.0.1",
        port=0,
        ssl=implicit,
    )
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


def main():
    parser = argparse.ArgumentParser(description="aiosmtpd sink for Corvane's tests")
    parser.add_argument("folder")
    parser.add_argument("--starttls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--require-starttls", action="store_true")
    parser.add_argument("--tls", nargs=2, metavar=("CERT", "KEY"))
    parser.add_argument("--account", metavar="FILE")
    parser.add_argument("--auth-over-plain", action="store_true")
    parser.add_argument("--xoauth2", action="store_true")
    parser.add_argument("--issued", metavar="FILE")
    parser.add_argument("--smtputf8", action="store_true", help="offer SMTPUTF8 (RFC 6531)")
    parser.add_argument("--pause", type=float, default=0.0, metavar="SECONDS")
    parser.add_argument("--pipelining", action="store_true", help="offer PIPELINING (RFC 2920)")
    parser.add_argument("--size-limit", type=int, default=33554432, metavar="BYTES")
    parser.add_argument("--raw-only", action="store_true")
    options = parser.parse_args()
    if options.starttls and options.tls:
        parser.error("--starttls and --tls exclude each other")
    asyncio.run(serve(options))
    return 0


if __name__ == "__main__":
    sys.exit(main())
