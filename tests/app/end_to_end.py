#!/usr/bin/python3
"""The real corvane on a private X display, used the way a person uses it.

Usage: end_to_end.py CORVANE SINK_SCRIPT OUTPUT_FOLDER

Starts Xvfb (it picks a free display), Debian's openbox as the window manager and trayer as
the notification area, and the aiosmtpd sink on loopback. Then, with a settings store of its
own (XDG_CONFIG_HOME in a temporary folder):

1. starts corvane on an empty store, types a mail with xdotool (sender, server as
   host:port, recipient, subject, text) and sends it with Ctrl+Return;
2. checks what the server received, takes a screenshot of the window (OUTPUT_FOLDER/
   send-mail.png), and closes the window through the window manager;
3. checks what the store holds after the close, starts corvane a second time on that
   store, sends at once with Ctrl+Return (the restored fields must make the same mail),
   screenshots its three pages (OUTPUT_FOLDER/second-start.png, option.png,
   about.png) and closes it again.

Every wait is bounded; every process started here is ended by its own process id.
"""

import os
import signal
import sqlite3
import subprocess
import sys
import tempfile
import time

TITLE = "Corvane v1.2"


class Failure(Exception):
    pass


def wait_until(condition, seconds, what):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    raise Failure(f"{what} did not happen within {seconds} s")


class Processes:
    """Processes started by this script, ended in reverse order by their ids."""

    def __init__(self):
        self.started = []

    def start(self, arguments, **options):
        process = subprocess.Popen(arguments, **options)
        self.started.append(process)
        return process

    def end_all(self):
        for process in reversed(self.started):
            if process.poll() is None:
                process.send_signal(signal.SIGTERM)
                try:
                    process.wait(timeout=5)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait(timeout=5)


def start_display(processes):
    read_end, write_end = os.pipe()
    processes.start(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1024x768x24",
                     "-nolisten", "tcp"], pass_fds=(write_end,), stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
    os.close(write_end)
    os.set_blocking(read_end, False)
    number = b""

    def reported():
        nonlocal number
        try:
            number += os.read(read_end, 16)
        except BlockingIOError:
            pass
        return number.endswith(b"\n")

    wait_until(reported, 15, "Xvfb reporting its display")
    os.close(read_end)
    return ":" + number.decode().strip()


def x_tool(display, *arguments, timeout=10):
    return subprocess.run(list(arguments), env=dict(os.environ, DISPLAY=display), check=True,
                          capture_output=True, text=True, timeout=timeout).stdout


def find_window(display):
    def search():
        found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                               env=dict(os.environ, DISPLAY=display), capture_output=True,
                               text=True, timeout=5)
        return found.stdout.split()[0] if found.returncode == 0 and found.stdout.strip() else None

    return wait_until(search, 20, "the corvane window appearing")


def start_corvane(processes, corvane, display, config):
    environment = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=config, XDG_DATA_HOME=config,
                       QT_QPA_PLATFORM="xcb")
    environment.pop("QT_QPA_PLATFORM_PLUGIN_PATH", None)
    program = processes.start([corvane], env=environment, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE)
    window = find_window(display)
    x_tool(display, "xdotool", "windowactivate", "--sync", window)
    time.sleep(0.3)  # let the window take the keyboard focus it was given
    return program, window


def type_text(display, text):
    x_tool(display, "xdotool", "type", "--delay", "10", text, timeout=60)


def key(display, *keys):
    x_tool(display, "xdotool", "key", "--delay", "40", *keys)


def screenshot(display, window, path):
    x_tool(display, "import", "-window", window, path, timeout=30)


def close_through_window_manager(display, program):
    x_tool(display, "wmctrl", "-c", TITLE)
    try:
        code = program.wait(timeout=15)
    except subprocess.TimeoutExpired:
        raise Failure("corvane did not end within 15 s of being closed")
    if code != 0:
        raise Failure(f"corvane ended with {code}: {program.stderr.read().decode(errors='replace')}")


def stored(config, key, name):
    with sqlite3.connect(os.path.join(config, "corvane", "registry.db")) as db:
        path = key.split("\\")
        parent = None
        for part in ["HKEY_CURRENT_USER"] + path:
            row = db.execute("SELECT id FROM keys WHERE ifnull(parent, 0) = ifnull(?, 0) AND name = ?",
                             (parent, part)).fetchone()
            if row is None:
                return None
            parent = row[0]
        row = db.execute("SELECT data FROM vals WHERE key = ? AND name = ?", (parent, name)).fetchone()
        return None if row is None else bytes(row[0])


def received_mail(inbox, number, what):
    """Waits for the sink's message NUMBER, checks its address and subject lines, and returns
    its text."""
    message = os.path.join(inbox, f"message-{number}")
    wait_until(lambda: os.path.exists(os.path.join(message, "defects")), 30, f"{what} arriving")
    with open(os.path.join(message, "headers")) as headers:
        received = headers.read()
    for expected in ("From: Ada <ada@example.org>", "To: bob@example.org",
                     "Subject: Typed by a robot"):
        if expected not in received:
            raise Failure(f"{what} has no '{expected}' line:\n{received}")
    with open(os.path.join(message, "text")) as text:
        return text.read()


def run(corvane, sink_script, output):
    processes = Processes()
    work = tempfile.mkdtemp(prefix="corvane-e2e-")
    config = os.path.join(work, "config")
    inbox = os.path.join(work, "inbox")
    os.makedirs(inbox)
    try:
        display = start_display(processes)
        processes.start(["openbox"], env=dict(os.environ, DISPLAY=display),
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        processes.start(["trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel",
                         "--width", "120"], env=dict(os.environ, DISPLAY=display),
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        sink = processes.start(["/usr/bin/python3", sink_script, inbox], stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
        port = sink.stdout.readline().decode().strip()
        if not port.isdigit():
            raise Failure("the aiosmtpd sink did not report its port")

        # First start: an empty store. The window opens with the sender field focused.
        program, window = start_corvane(processes, corvane, display, config)
        type_text(display, "Ada <ada@example.org>")
        key(display, "Tab")
        type_text(display, f"127.0.0.1:{port}")
        key(display, "Tab")
        type_text(display, "bob@example.org")
        for _ in range(4):  # Cc, Bcc, the attachment list, to the subject
            key(display, "Tab")
        type_text(display, "Typed by a robot")
        key(display, "Tab")
        for number, line in enumerate(["Hello Bob,", ".", "sent from the keyboard."]):
            if number > 0:
                key(display, "Return")
            type_text(display, line)
        key(display, "ctrl+Return")

        body = received_mail(inbox, 1, "the typed mail")
        if "Hello Bob,\n.\nsent from the keyboard." not in body.replace("\r\n", "\n"):
            raise Failure(f"the text arrived changed:\n{body!r}")
        time.sleep(1.0)  # the success status and the postmark are shown after the server's 250
        os.makedirs(output, exist_ok=True)
        screenshot(display, window, os.path.join(output, "send-mail.png"))
        close_through_window_manager(display, program)

        # What the close stored: the saved texts and the histories of the send.
        expectations = {
            ("Software\\Halden Software\\Corvane\\Option\\SaveText", "From"): b"Ada <ada@example.org>\0",
            ("Software\\Halden Software\\Corvane\\Option\\SaveText", "Smtp"): f"127.0.0.1:{port}\0".encode(),
            ("Software\\Halden Software\\Corvane\\From", "S0"): b"Ada <ada@example.org>\0",
            ("Software\\Halden Software\\Corvane\\Option\\General", "Width"): (640).to_bytes(4, "little"),
        }
        for (key_path, name), value in expectations.items():
            found = stored(config, key_path, name)
            if found != value:
                raise Failure(f"{key_path} {name} holds {found!r}, not {value!r}")

        # Second start on that store: the fields come back as they were, so sending at once
        # delivers the same mail again. Then a look at each of the three pages.
        program, window = start_corvane(processes, corvane, display, config)
        screenshot(display, window, os.path.join(output, "second-start.png"))
        key(display, "ctrl+Return")
        resent_body = received_mail(inbox, 2, "the mail sent from the restored fields")
        if resent_body != body:
            raise Failure(f"the second start brought back another text: {resent_body!r}")
        for page in ("option", "about"):
            key(display, "ctrl+Tab")
            time.sleep(0.5)
            screenshot(display, window, os.path.join(output, f"{page}.png"))
        close_through_window_manager(display, program)
        print("end to end: sent through aiosmtpd, stored on close, started again")
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as problem:
        print(f"end to end failed: {problem}", file=sys.stderr)
        return 1
    finally:
        processes.end_all()
        subprocess.run(["rm", "-rf", work], check=False)


if __name__ == "__main__":
    if len(sys.argv) != 4:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(run(*sys.argv[1:]))
