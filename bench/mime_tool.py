#!/usr/bin/python3
"""Python's side of bench/compare.sh, with the standard library only.

  mime_tool.py compose FILE OUT            compose a message with FILE attached (CR LF line
                                           ends, ready for msmtp and curl -T) into OUT
  mime_tool.py send HOST PORT FILE         compose the same message with the email package
                                           and send it with smtplib (the peer being timed)
  mime_tool.py verify DATA FILE            DATA is what the sink received: undo the
                                           dot-stuffing, parse it with the email package
                                           and check that the one attachment equals FILE
"""

import hashlib
import smtplib
import sys
from email import policy
from email.message import EmailMessage
from email.parser import BytesParser
from email.utils import formatdate, make_msgid

SENDER = "a@example.org"
RECIPIENT = "b@example.org"


def build(path):
    msg = EmailMessage()
    msg["Date"] = formatdate(localtime=True)
    msg["Message-ID"] = make_msgid(domain="example.org")
    msg["From"] = SENDER
    msg["To"] = RECIPIENT
    msg["Subject"] = "S"
    msg.set_content("hello\n")
    with open(path, "rb") as f:
        data = f.read()
    msg.add_attachment(data, maintype="application", subtype="octet-stream",
                       filename=path.rsplit("/", 1)[-1])
    return msg


def compose(path, out):
    with open(out, "wb") as f:
        f.write(build(path).as_bytes(policy=policy.SMTP))


def send(host, port, path):
    with smtplib.SMTP(host, int(port), timeout=120) as smtp:
        smtp.send_message(build(path), from_addr=SENDER, to_addrs=[RECIPIENT])


def verify(data_path, path):
    with open(data_path, "rb") as f:
        data = f.read()
    # RFC 5321 section 4.5.2: a line that begins with "." arrived with a second ".".
    lines = data.split(b"\r\n")
    data = b"\r\n".join(line[1:] if line.startswith(b".") else line for line in lines)
    msg = BytesParser(policy=policy.default).parsebytes(data)
    parts = list(msg.iter_attachments())
    if len(parts) != 1:
        print(f"expected one attachment, found {len(parts)}")
        return 1
    got = parts[0].get_payload(decode=True)
    with open(path, "rb") as f:
        want = f.read()
    if got != want:
        print(f"attachment differs: {len(got)} bytes, sha256 {hashlib.sha256(got).hexdigest()}; "
              f"expected {len(want)} bytes, sha256 {hashlib.sha256(want).hexdigest()}")
        return 1
    print(f"ok {len(got)} bytes sha256 {hashlib.sha256(got).hexdigest()}")
    return 0


def main(argv):
    if len(argv) == 4 and argv[1] == "compose":
        compose(argv[2], argv[3])
        return 0
    if len(argv) == 5 and argv[1] == "send":
        send(argv[2], argv[3], argv[4])
        return 0
    if len(argv) == 4 and argv[1] == "verify":
        return verify(argv[2], argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
