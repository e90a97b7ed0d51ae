#!/usr/bin/python3
"""Python's side of bench/compare.sh and bench/text_compare.sh, with the standard library only.

  mime_tool.py compose FILE OUT            compose a message with FILE attached (CR LF line
                                           ends, ready for msmtp and curl -T) into OUT
  mime_tool.py send HOST PORT FILE         compose the same message with the email package
                                           and send it with smtplib (the peer being timed)
  mime_tool.py verify DATA FILE            DATA is what the sink received: undo the
                                           dot-stuffing, parse it with the email package
                                           and check that the one attachment equals FILE
  mime_tool.py text OUT MIB KIND           write MIB MiB of UTF-8 text in lines of 0 to 990
                                           bytes, the same every time; KIND mixed: Latin
                                           with accents, Greek, Cyrillic, Chinese, Japanese
                                           and emoji; latin: German, French and English
  mime_tool.py send-text HOST PORT TEXT CTE  compose TEXT as the body (set_content, with
                                           CTE: auto for the package's own choice, or 8bit
                                           with BODY=8BITMIME) and send it with smtplib
  mime_tool.py verify-text DATA TEXT       parse DATA (as verify does) and check that its
                                           text decodes to TEXT exactly (CR LF read as LF),
                                           or to TEXT and one empty line (said so), and its
                                           subject to the benchmark's; prints the transfer
                                           encoding used
  mime_tool.py subject                     print that subject
  mime_tool.py undot DATA OUT              DATA without its dot-stuffing, as a client would
                                           upload it (curl -T stuffs it again)
"""

import hashlib
import random
import smtplib
import sys
from email import policy
from email.message import EmailMessage
from email.parser import BytesParser
from email.utils import formatdate, make_msgid

SENDER = "a@example.org"
RECIPIENT = "b@example.org"
# The subject of the text benchmark: RFC 2047 encoded-words on both sides.
TEXT_SUBJECT = "Grüße – Καλημέρα – Привет – 你好 – こんにちは 🙂"

# Sentences the text is built from, by KIND.
PHRASES = {
    "latin": [
        "Grüße aus München! Die Änderungen für nächste Woche sind übersichtlich. ",
        "Merci pour votre réponse, nous en parlerons à la réunion de jeudi. ",
        "The quarterly figures are attached; please review them before Friday. ",
        "Everything else is on track, and the release notes are in the wiki. ",
        "Bitte prüfen Sie die Maße noch einmal, bevor wir bestellen. ",
        "Party tonight, bring snacks 🍕! ",
    ],
    "mixed": [
        "Grüße aus München! Die Änderungen für nächste Woche sind übersichtlich. ",
        "Merci pour votre réponse, nous en parlerons à la réunion de jeudi. ",
        "Καλημέρα σας, η συνάντηση μεταφέρθηκε την Πέμπτη. ",
        "Ευχαριστώ για το μήνυμα· θα απαντήσω αύριο το πρωί. ",
        "Добрый день! Отчёт за квартал во вложении, посмотрите до пятницы. ",
        "Спасибо, всё получилось, до встречи на следующей неделе. ",
        "会议改到星期四下午三点，请大家准时参加。",
        "附件是本季度的报告，请在周五之前审阅。",
        "お世話になっております。資料を添付しましたのでご確認ください。",
        "来週の打ち合わせは木曜日に変更になりました。",
        "The quarterly figures are attached; please review them before Friday. ",
        "Thanks 🙏, see you soon 👋🏽! ",
        "🎉🎂🍕🚀✨ ",
    ],
}


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
    msg = parse_received(data_path)
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


def undot(data):
    # RFC 5321 section 4.5.2: a line that begins with "." arrived with a second ".".
    lines = data.split(b"\r\n")
    return b"\r\n".join(line[1:] if line.startswith(b".") else line for line in lines)


def parse_received(data_path):
    with open(data_path, "rb") as f:
        return BytesParser(policy=policy.default).parsebytes(undot(f.read()))


def make_text(out, mib, kind):
    """Lines of 0 to 990 bytes (within the 998 that 8bit allows), built from whole phrases
    so no character is cut: a third short (under 80 bytes), the rest long paragraphs, now
    and then one that begins with "." (dot-stuffing) or ends in blanks (quoted-printable
    must protect them)."""
    phrases = [p.encode() for p in PHRASES[kind]]
    rng = random.Random(20261208)
    want = mib * 1024 * 1024
    lines = []
    size = 0
    while size < want:
        roll = rng.random()
        limit = rng.randint(0, 79) if roll < 0.33 else rng.randint(200, 990)
        line = b". " if roll > 0.99 else b""
        while True:
            phrase = rng.choice(phrases)
            if len(line) + len(phrase) > limit:
                break
            line += phrase
        if roll < 0.05:
            line = line.rstrip() + b" \t "
        lines.append(line.rstrip(b" ") if 0.05 <= roll < 0.5 else line)
        size += len(lines[-1]) + 1
    text = b"\n".join(lines) + b"\n"
    # Cut to the size asked for at a line end, then fill the last line with ASCII.
    text = text[:text.rfind(b"\n", 0, want - 1) + 1]
    text += b"x" * (want - 1 - len(text)) + b"\n"
    text.decode("utf-8")  # whole characters only
    with open(out, "wb") as f:
        f.write(text)


def build_text(path, cte):
    with open(path, encoding="utf-8", newline="") as f:
        text = f.read()
    msg = EmailMessage()
    msg["Date"] = formatdate(localtime=True)
    msg["Message-ID"] = make_msgid(domain="example.org")
    msg["From"] = SENDER
    msg["To"] = RECIPIENT
    msg["Subject"] = TEXT_SUBJECT
    msg.set_content(text, cte=None if cte == "auto" else cte)
    return msg


def send_text(host, port, path, cte):
    options = ["BODY=8BITMIME"] if cte == "8bit" else []
    with smtplib.SMTP(host, int(port), timeout=120) as smtp:
        smtp.send_message(build_text(path, cte), from_addr=SENDER, to_addrs=[RECIPIENT],
                          mail_options=options)


def verify_text(data_path, path):
    msg = parse_received(data_path)
    with open(path, encoding="utf-8", newline="") as f:
        want = f.read()
    body = msg.get_body(preferencelist=("plain",))
    if body is None:
        print("no text/plain part")
        return 1
    got = body.get_content().replace("\r\n", "\n")
    # corvane-send ends every message with an empty line before the final "." (as it always
    # has); in 8bit and quoted-printable that line is part of the decoded text.
    extra = ""
    if got == want + "\n":
        got = want
        extra = " and one empty line"
    if got != want:
        at = next((i for i, (a, b) in enumerate(zip(got, want)) if a != b), min(len(got), len(want)))
        print(f"text differs from character {at}: {len(got)} characters, expected {len(want)}")
        return 1
    if msg["Subject"] != TEXT_SUBJECT:
        print(f"subject differs: {msg['Subject']!r}")
        return 1
    cte = body.get("Content-Transfer-Encoding", "7bit").lower()
    print(f"ok {cte} {body.get_content_charset()}: the text of {len(want.encode())} bytes{extra}")
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
    if len(argv) == 5 and argv[1] == "text" and argv[4] in PHRASES:
        make_text(argv[2], int(argv[3]), argv[4])
        return 0
    if len(argv) == 6 and argv[1] == "send-text" and argv[5] in ("auto", "8bit"):
        send_text(argv[2], argv[3], argv[4], argv[5])
        return 0
    if len(argv) == 4 and argv[1] == "verify-text":
        return verify_text(argv[2], argv[3])
    if len(argv) == 2 and argv[1] == "subject":
        print(TEXT_SUBJECT)
        return 0
    if len(argv) == 4 and argv[1] == "undot":
        with open(argv[2], "rb") as f:
            data = undot(f.read())
        with open(argv[3], "wb") as f:
            f.write(data)
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
