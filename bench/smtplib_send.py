#!/usr/bin/python3
"""Python's smtplib as bench/roundtrip_compare.sh times it: sends MESSAGE (a file, as it is)
from FROM to every RECIPIENT on 127.0.0.1:PORT, the way a script would write it.

  smtplib_send.py PORT none|starttls|tls MESSAGE FROM RECIPIENT... [--user U --password-file F
                  --cafile CA]

With --user, signs in with login() (AUTH PLAIN with its initial response where the server
offers it); --cafile is the CA the server's certificate is checked against.
"""

import argparse
import smtplib
import ssl
import sys

TIMEOUT = 30


def connect(port, security, context):
    if security == "tls":
        return smtplib.SMTP_SSL("127.0.0.1", port, timeout=TIMEOUT, context=context)
    client = smtplib.SMTP("127.0.0.1", port, timeout=TIMEOUT)
    if security == "starttls":
        client.starttls(context=context)
    return client


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("port", type=int)
    parser.add_argument("security", choices=["none", "starttls", "tls"])
    parser.add_argument("message")
    parser.add_argument("sender")
    parser.add_argument("recipients", nargs="+")
    parser.add_argument("--user")
    parser.add_argument("--password-file")
    parser.add_argument("--cafile")
    options = parser.parse_args()
    context = ssl.create_default_context(cafile=options.cafile)
    with open(options.message, "rb") as message:
        data = message.read()
    with connect(options.port, options.security, context) as client:
        if options.user:
            with open(options.password_file) as secret:
                client.login(options.user, secret.readline().rstrip("\n"))
        refused = client.sendmail(options.sender, options.recipients, data)
    return 1 if refused else 0


if __name__ == "__main__":
    sys.exit(main())
