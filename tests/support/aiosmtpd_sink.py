#!/usr/bin/python3
"""A real SMTP server for Corvane's integration tests, written by nobody here: aiosmtpd.

Usage: aiosmtpd_sink.py FOLDER

Listens on 127.0.0.1 on a port the system picks and prints that port on the first line of
standard output. Each accepted message becomes FOLDER/message-N (N counting from 1), made
complete before the server answers the end of data, so a client that has its 250 reply can
read it at once:

  envelope-from   the MAIL FROM address
  envelope-to     the RCPT TO addresses, one a line
  message.eml     the data exactly as received (transparency dots removed)
  headers         each top-level header as "Name: value", one a line
  text            the decoded body of the text part (of the whole message when not MIME)
  attachments     one line per attachment: index TAB file name TAB content type TAB size
  attachment-I    the decoded bytes of attachment I
  defects         what Python's email package found wrong, one a line (empty when nothing)
"""

import asyncio
import os
import sys

import email
import email.policy
from aiosmtpd.smtp import SMTP


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
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        final = os.path.join(self.folder, f"message-{self.count}")
        partial = final + ".partial"
        os.makedirs(partial)
        write(partial, "envelope-from", envelope.mail_from or "")
        write(partial, "envelope-to", "".join(address + "\n" for address in envelope.rcpt_tos))
        write(partial, "message.eml", envelope.original_content)
        try:
            describe(partial, envelope.original_content)
        except Exception as error:  # the test reports it; the server keeps going
            write(partial, "defects", f"parse failed: {error!r}\n")
        os.rename(partial, final)
        return "250 2.0.0 Stored as message-%d" % self.count


async def serve(folder):
    sink = Sink(folder)
    loop = asyncio.get_running_loop()
    # A fixed host name: aiosmtpd would otherwise look up this machine's name.
    server = await loop.create_server(
        lambda: SMTP(sink, hostname="sink.test", decode_data=False),
        host="127.0.0.1",
        port=0,
    )
    print(server.sockets[0].getsockname()[1], flush=True)
    await server.serve_forever()


def main():
    if len(sys.argv) != 2:
        print("usage: aiosmtpd_sink.py FOLDER", file=sys.stderr)
        return 2
    asyncio.run(serve(sys.argv[1]))
    return 0


if __name__ == "__main__":
    sys.exit(main())
