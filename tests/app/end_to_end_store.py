#!/usr/bin/python3
"""The real corvane on a private X display: one window per settings store, a private store,
and a long wrapped draft that comes back as typed.

Usage: end_to_end_store.py CORVANE

Starts Xvfb (it picks a free display) and openbox, then, under umask 022, with a settings
store in a temporary XDG_CONFIG_HOME:

1. starts corvane on an empty store: registry.db and its -wal and -shm are the user's alone
   (0600);
2. minimises the window and starts corvane again on the same store: the second start ends at
   once (status 0), and the first window is shown again, active, and still the only one;
3. starts corvane on another store: a window of its own, which closes on its own;
4. kills the first copy (SIGKILL: its socket file stays behind) and starts again: the start
   is not blocked, and the window closes as usual;
5. with Word Wrap on, types a draft of 150 lines, some of them long enough to wrap several
   times, and closes: the store holds the 150 lines as typed, byte for byte;
6. starts again and closes at once: the draft came back whole (the store holds the same).

Every wait is bounded; every process started here is ended by its own process id.
"""

import os
import signal
import sqlite3
import stat
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # nothing written beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import (TITLE, Failure, Processes, key, start_display, stored,  # noqa: E402
                        wait_until, x_tool)

MESSAGES = "Software\\Halden Software\\Corvane\\Messages"
GENERAL = "Software\\Halden Software\\Corvane\\Option\\General"


def step(text):
    print(f"{time.monotonic() - STARTED:6.1f} s  {text}", file=sys.stderr, flush=True)


STARTED = time.monotonic()


def visible_windows(display):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", TITLE],
                           env=dict(os.environ, DISPLAY=display), capture_output=True, text=True,
                           timeout=5)
    return sorted(found.stdout.split()) if found.returncode == 0 else []


def active_window(display):
    found = subprocess.run(["xdotool", "getactivewindow"], env=dict(os.environ, DISPLAY=display),
                           capture_output=True, text=True, timeout=5)
    return found.stdout.strip() if found.returncode == 0 else None


def environment(display, config):
    # The copies' sockets go to a runtime folder of the test's own (one for all its stores, as
    # a user has), so that a copy killed here leaves nothing behind in the shared /tmp.
    runtime = os.path.join(os.path.dirname(config), "runtime")
    env = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime,
               QT_QPA_PLATFORM="xcb")
    env.pop("QT_QPA_PLATFORM_PLUGIN_PATH", None)
    return env


def start(processes, corvane, display, config):
    return processes.start([corvane], env=environment(display, config), stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE)


def start_window(processes, corvane, display, config, before=()):
    """Starts corvane and waits for its window: the one visible window not in BEFORE."""
    program = start(processes, corvane, display, config)

    def new_window():
        if program.poll() is not None:
            raise Failure(f"corvane ended at its start with {program.returncode}: "
                          f"{program.stderr.read().decode(errors='replace')}")
        fresh = [window for window in visible_windows(display) if window not in before]
        return fresh[0] if len(fresh) == 1 else None

    try:
        return program, wait_until(new_window, 30, "the corvane window appearing")
    except Failure as problem:
        tree = subprocess.run(["xwininfo", "-root", "-tree"], env=dict(os.environ, DISPLAY=display),
                              capture_output=True, text=True, timeout=10).stdout
        mapped = [line.strip() for line in tree.splitlines() if TITLE in line]
        raise Failure(f"{problem} (corvane {'running' if program.poll() is None else 'ended'}; "
                      f"windows named so: {mapped}; visible: {visible_windows(display)}; "
                      f"before: {list(before)})")


def close(display, program, window):
    x_tool(display, "wmctrl", "-i", "-c", window)
    try:
        code = program.wait(timeout=20)
    except subprocess.TimeoutExpired:
        raise Failure("corvane did not end within 20 s of being closed")
    if code != 0:
        raise Failure(f"corvane ended with {code}: {program.stderr.read().decode(errors='replace')}")


def set_dword(config, key_path, name, value):
    with sqlite3.connect(os.path.join(config, "corvane", "registry.db")) as db:
        parent = None
        for part in ["HKEY_CURRENT_USER"] + key_path.split("\\"):
            parent = db.execute("SELECT id FROM keys WHERE ifnull(parent, 0) = ifnull(?, 0) "
                                "AND name = ?", (parent, part)).fetchone()[0]
        db.execute("UPDATE vals SET data = ? WHERE key = ? AND name = ?",
                   (value.to_bytes(4, "little"), parent, name))


def stored_draft(config):
    total = stored(config, MESSAGES, "Total")
    if total is None:
        return None
    return [stored(config, MESSAGES, f"Messages{i}") for i in range(int.from_bytes(total, "little"))]


def check_draft(config, expected, what):
    draft = stored_draft(config)
    if draft is None:
        raise Failure(f"{what} is not in the store")
    if draft != expected:
        differs = next((number for number, (have, want) in enumerate(zip(draft, expected))
                        if have != want), min(len(draft), len(expected)))
        found = draft[differs] if differs < len(draft) else None
        raise Failure(f"{what}: {len(draft)} lines stored, {len(expected)} typed; line {differs} "
                      f"holds {found!r}, typed {expected[differs] if differs < len(expected) else None!r}")


def draft_lines():
    """150 lines: every tenth one some 300 characters of words, far wider than the memo."""
    lines = []
    for number in range(150):
        if number % 10 == 0:
            words = " ".join(f"word{number:03d}-{i:02d}" for i in range(27))
            lines.append(f"Paragraph {number:03d}: {words}.")
        else:
            lines.append(f"Line {number:03d} of the draft")
    return lines


def check_private(config, companions):
    """The store, and its -wal and -shm (which exist while a copy has the store open), 0600."""
    store = os.path.join(config, "corvane", "registry.db")
    for path in (store, store + "-wal", store + "-shm"):
        if path != store and not companions and not os.path.exists(path):
            continue
        mode = stat.S_IMODE(os.stat(path).st_mode)
        if mode != 0o600:
            raise Failure(f"{path} has mode {mode:o}, not 600")


def run(corvane):
    os.umask(0o022)
    processes = Processes()
    work = tempfile.mkdtemp(prefix="corvane-e2e-store-")
    config = os.path.join(work, "config")
    other = os.path.join(work, "other")
    os.mkdir(os.path.join(work, "runtime"), 0o700)
    try:
        display = start_display(processes)
        processes.start(["openbox"], env=dict(os.environ, DISPLAY=display),
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        # A window mapped while the window manager is still taking over the screen may stay
        # unmapped: start only once openbox has announced itself.
        wait_until(lambda: subprocess.run(["wmctrl", "-m"], env=dict(os.environ, DISPLAY=display),
                                          capture_output=True, timeout=5).returncode == 0,
                   15, "openbox managing the display")

        # 1. A first start makes the store private to the user.
        step("1. A first start makes the store private to the user")
        first, window = start_window(processes, corvane, display, config)
        check_private(config, companions=True)

        # 2. A second start on the same store hands over to the first and ends.
        step("2. A second start on the same store hands over to the first and ends")
        x_tool(display, "xdotool", "windowminimize", "--sync", window)
        wait_until(lambda: window not in visible_windows(display), 10, "the window minimising")
        second = start(processes, corvane, display, config)
        try:
            code = second.wait(timeout=20)
        except subprocess.TimeoutExpired:
            raise Failure("the second start on the same store did not end within 20 s")
        if code != 0:
            raise Failure(f"the second start ended with {code}: "
                          f"{second.stderr.read().decode(errors='replace')}")
        wait_until(lambda: visible_windows(display) == [window], 10,
                   "the first window shown again as the only one")
        wait_until(lambda: active_window(display) == window, 10, "the first window activated")
        if first.poll() is not None:
            raise Failure(f"the first copy ended with {first.returncode}")

        # 3. Another store: a copy and a window of its own.
        step("3. Another store: a copy and a window of its own")
        third, third_window = start_window(processes, corvane, display, other, before=[window])
        close(display, third, third_window)

        # 4. A copy killed outright leaves its socket file; the next start is not blocked.
        step("4. A copy killed outright leaves its socket file; the next start is not blocked")
        first.send_signal(signal.SIGKILL)
        first.wait(timeout=10)
        wait_until(lambda: window not in visible_windows(display), 10, "the killed window going")
        program, window = start_window(processes, corvane, display, config)
        close(display, program, window)

        # 5. A long draft typed with Word Wrap on is stored as typed.
        step("5. A long draft typed with Word Wrap on is stored as typed")
        set_dword(config, GENERAL, "WordWrap", 1)
        program, window = start_window(processes, corvane, display, config)
        x_tool(display, "xdotool", "windowactivate", "--sync", window)
        time.sleep(0.3)  # let the window take the keyboard focus it was given
        for _ in range(7):  # From, Smtp, To, Cc, Bcc, the attachment list, Subject: the text
            key(display, "Tab")
        lines = draft_lines()
        for number, line in enumerate(lines):
            if number > 0:
                key(display, "Return")
            x_tool(display, "xdotool", "type", "--delay", "3", line, timeout=60)
        close(display, program, window)
        expected = [line.encode() + b"\0" for line in lines]
        if stored(config, GENERAL, "WordWrap") != (1).to_bytes(4, "little"):
            raise Failure("Word Wrap was not on")
        check_draft(config, expected, "the typed draft")

        # 6. It comes back whole: a start that closes at once stores the same lines again.
        step("6. It comes back whole: a start that closes at once stores the same lines again")
        program, window = start_window(processes, corvane, display, config)
        close(display, program, window)
        check_draft(config, expected, "the draft after a restart")
        check_private(config, companions=False)
        print("end to end (store): one window per store, private files, a 150-line wrapped "
              "draft kept as typed")
        return 0
    except (Failure, subprocess.SubprocessError, OSError, sqlite3.Error) as problem:
        print(f"end to end (store) failed: {problem}", file=sys.stderr)
        return 1
    finally:
        processes.end_all()
        subprocess.run(["rm", "-rf", work], check=False)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(run(sys.argv[1]))
