#!/usr/bin/python3
"""The real corvane on a private X display, sending through STARTTLS with a sign-in.

Usage: end_to_end_tls.py CORVANE SINK_SCRIPT

Starts Xvfb, openbox, a D-Bus session bus of its own with gnome-keyring-daemon on it
(unlocked with a test password), and the aiosmtpd sink with STARTTLS required and a sign-in
required, its certificate issued by a throw-away CA made here with openssl, which corvane is
told to trust (SSL_CERT_FILE). Then, with a settings store of its own:

1. starts corvane, types the sender, the server and the recipient, opens the server's
   settings with Ctrl+Shift+S, chooses STARTTLS, types the user name and the password
   (Remember password is on), checks that the keyring holds the password (secret-tool),
   types the subject and sends with Ctrl+Return; the mail must arrive through TLS, signed in;
2. closes the window, checks that the store holds the server's settings and the password
   nowhere, starts corvane again and sends at once: the password comes from the keyring
   (a password dialog would block the send, and the mail would not arrive);
3. with a store of its own whose provider table of the user's own names loop.test's server
   (a second sink, over implicit TLS), types only the address and the recipient and sends:
   corvane finds the server, the proposal is accepted, the password typed when asked, and
   the mail must arrive through TLS, signed in, with the server's settings stored;
4. with a store of its own whose provider table names oauth.test's server (a third sink over
   implicit TLS that takes only the access tokens a loopback OAuth2 server on HTTPS issued):
   the proposal says OAuth2, and the send says that a client ID is missing; the client ID is
   typed into the server's settings (Ctrl+Shift+S), and the next send signs in through the
   browser, which is a stand-in put first on PATH as xdg-open (it follows the sign-in page's
   redirect back to corvane); the mail must arrive signed in by XOAUTH2, the refresh token
   must be in the keyring and no token in the store or corvane's output. Started again,
   corvane sends with the refresh token alone, the browser not opened again.

Every wait is bounded; every process started here is ended by its own process id.
"""

import json
import os
import sqlite3
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import (TITLE, Failure, Processes, close_through_window_manager, key,  # noqa: E402
                        start_corvane, start_display, stored, type_text, wait_until, x_tool)

USER = "ada"
SUPPORT_SINK = ""  # tests/support/aiosmtpd_sink.py, beside oauth_server.py
PASSWORD = "correct horse battery staple"


def make_certificates(folder):
    """A CA and a certificate for 127.0.0.1 that it signed; returns (ca, certificate, key)."""
    def openssl(*arguments):
        subprocess.run(["openssl", *arguments], cwd=folder, check=True, capture_output=True, timeout=30)

    with open(os.path.join(folder, "server.ext"), "w") as extensions:
        extensions.write("subjectAltName=IP:127.0.0.1\nbasicConstraints=CA:FALSE\n")
    openssl("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
            "-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj", "/CN=Corvane test CA",
            "-addext", "basicConstraints=critical,CA:TRUE", "-addext", "keyUsage=critical,keyCertSign")
    openssl("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
            "-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=127.0.0.1")
    openssl("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
            "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile", "server.ext")
    return tuple(os.path.join(folder, name) for name in ("ca.pem", "server.pem", "server.key"))


def start_keyring(processes, work):
    """A session bus and an unlocked gnome-keyring-daemon on it; sets this process's
    DBUS_SESSION_BUS_ADDRESS so that corvane and secret-tool use them."""
    bus = processes.start(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                           "--address=unix:path=" + os.path.join(work, "bus")],
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    address = bus.stdout.readline().decode().strip()
    if not address.startswith("unix:"):
        raise Failure("dbus-daemon did not report its address")
    os.environ["DBUS_SESSION_BUS_ADDRESS"] = address
    os.environ["XDG_DATA_HOME"] = os.path.join(work, "data")
    daemon = processes.start(["gnome-keyring-daemon", "--foreground", "--unlock", "--components=secrets",
                              "--control-directory=" + os.path.join(work, "control")],
                             stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    daemon.stdin.write(b"keyring test password")
    daemon.stdin.close()

    def owned():
        reply = subprocess.run(["dbus-send", "--session", "--print-reply", "--dest=org.freedesktop.DBus",
                                "/org/freedesktop/DBus", "org.freedesktop.DBus.NameHasOwner",
                                "string:org.freedesktop.secrets"], capture_output=True, text=True, timeout=5)
        return "boolean true" in reply.stdout

    wait_until(owned, 15, "gnome-keyring-daemon taking the Secret Service name")


def keyring_entry(account):
    found = subprocess.run(["secret-tool", "lookup", "server", "Corvane", "user", account],
                           capture_output=True, text=True, timeout=10)
    return found.stdout if found.returncode == 0 else None


def received_signed_in(inbox, number, what):
    message = os.path.join(inbox, f"message-{number}")
    wait_until(lambda: os.path.exists(os.path.join(message, "defects")), 30, f"{what} arriving")
    with open(os.path.join(message, "tls")) as tls, open(os.path.join(message, "auth")) as auth:
        version, sign_in = tls.read().strip(), auth.read().strip()
    if not version or not sign_in.endswith(" " + USER):
        raise Failure(f"{what} came without TLS or sign-in: tls {version!r}, auth {sign_in!r}")


def set_up_server_in_the_dialog(display):
    key(display, "ctrl+shift+s")
    found = wait_until(lambda: subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "Server settings"], env=dict(os.environ, DISPLAY=display),
        capture_output=True, text=True, timeout=5).stdout.split(), 15, "the server settings dialog")
    x_tool(display, "xdotool", "windowactivate", "--sync", found[0])
    key(display, "Down")  # Security: None -> STARTTLS
    key(display, "Tab")
    type_text(display, USER)
    key(display, "Tab")
    type_text(display, PASSWORD)
    key(display, "Return")


def start_sink(processes, sink_script, inbox, *options):
    """The aiosmtpd sink; returns its port."""
    sink = processes.start(["/usr/bin/python3", sink_script, inbox, *options],
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    port = sink.stdout.readline().decode().strip()
    if not port.isdigit():
        raise Failure("the aiosmtpd sink did not report its port")
    return port


def visible_windows(display, name):
    found = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", name],
                           env=dict(os.environ, DISPLAY=display), capture_output=True, text=True, timeout=5)
    return found.stdout.split()


def config_with_own_providers(work, name, provider):
    """A settings folder whose provider table of the user's own holds Provider alone."""
    config = os.path.join(work, name)
    os.makedirs(os.path.join(config, "corvane"), mode=0o700)
    with open(os.path.join(config, "corvane", "providers.json"), "w") as table:
        json.dump({"version": 1, "providers": [provider]}, table)
    return config


def send_to_an_address_and_accept_the_proposal(processes, corvane, display, config, domain):
    """Starts corvane, types only the sender at Domain and the recipient, sends, and answers
    Yes to the server found; returns the running program."""
    program, _ = start_corvane(processes, corvane, display, config)
    type_text(display, f"Ada <{USER}@{domain}>")
    key(display, "Tab", "Tab")  # Smtp stays empty
    type_text(display, "bob@example.org")
    key(display, "ctrl+Return")
    # The proposal is a second window with the program's title; Return answers Yes.
    wait_until(lambda: len(visible_windows(display, TITLE)) > 1, 20, "the server found being proposed")
    key(display, "Return")
    return program


def send_through_the_server_found(processes, corvane, display, work, sink_script, sink_options):
    inbox = os.path.join(work, "inbox-found")
    os.makedirs(inbox)
    port = start_sink(processes, sink_script, inbox, *sink_options)
    config = config_with_own_providers(work, "config-found", {
        "id": "loop", "name": "Loopback Mail", "domains": ["loop.test"],
        "smtp": {"host": "127.0.0.1", "port": int(port), "security": "tls"},
        "userName": "%EMAILLOCALPART%", "signIn": ["password"]})
    program = send_to_an_address_and_accept_the_proposal(processes, corvane, display, config, "loop.test")
    asked = wait_until(lambda: visible_windows(display, "Password"), 20, "the password being asked for")
    x_tool(display, "xdotool", "windowactivate", "--sync", asked[0])
    type_text(display, PASSWORD)
    key(display, "Return")
    received_signed_in(inbox, 1, "the mail sent through the server found")
    close_through_window_manager(display, program)
    servers = f"Software\\Halden Software\\Corvane\\Servers\\127.0.0.1:{port}"
    if stored(config, servers, "Security") != (2).to_bytes(4, "little"):
        raise Failure("the store does not hold the settings of the server found")


BROWSER_STAND_IN = """#!/usr/bin/python3
# xdg-open for the test: follows the sign-in page to corvane's listener, as a browser would.
import os, ssl, sys, urllib.request
with open(os.environ["CORVANE_TEST_BROWSER_LOG"], "a") as log:
    log.write(sys.argv[1].split("?")[0] + "\\n")
if os.fork() == 0:
    context = ssl.create_default_context(cafile=os.environ["SSL_CERT_FILE"])
    urllib.request.urlopen(sys.argv[1], context=context, timeout=30).read()
"""


def install_browser_stand_in(work):
    """Puts the stand-in first on PATH; returns the file where it notes each page opened."""
    folder = os.path.join(work, "browser")
    os.makedirs(folder)
    opener = os.path.join(folder, "xdg-open")
    with open(opener, "w") as script:
        script.write(BROWSER_STAND_IN)
    os.chmod(opener, 0o755)
    log = os.path.join(work, "browser.log")
    open(log, "w").close()
    os.environ["PATH"] = folder + os.pathsep + os.environ["PATH"]
    os.environ["CORVANE_TEST_BROWSER_LOG"] = log
    return log


def start_oauth_server(processes, certificate, private_key, issued):
    """The loopback OAuth2 server over HTTPS; returns its base URL for the approving behaviour."""
    server = processes.start(["/usr/bin/python3", os.path.join(os.path.dirname(SUPPORT_SINK), "oauth_server.py"),
                              "--tls", certificate, private_key, "--issued", issued],
                             stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    first = server.stderr.readline().decode().split()
    if len(first) != 2 or first[0] != "port":
        raise Failure("the OAuth2 server did not report its port")
    return f"https://127.0.0.1:{first[1]}/ok"


def no_token_in(path, what):
    with open(path, "rb") as data:
        if b"secret-" in data.read():
            raise Failure(f"a token is in {what}")


def send_signed_in_with_oauth2(processes, corvane, display, work, certificate, private_key):
    issued = os.path.join(work, "issued")
    base = start_oauth_server(processes, certificate, private_key, issued)
    opened = install_browser_stand_in(work)
    inbox = os.path.join(work, "inbox-oauth2")
    os.makedirs(inbox)
    account = os.path.join(work, "account-oauth2")
    with open(account, "w") as lines:
        lines.write(f"{USER}\n-\n")
    port = start_sink(processes, SUPPORT_SINK, inbox, "--tls", certificate, private_key, "--account", account,
                      "--xoauth2", "--issued", issued)
    config = config_with_own_providers(work, "config-oauth2", {
        "id": "oauth", "name": "OAuth Mail", "domains": ["oauth.test"],
        "smtp": {"host": "127.0.0.1", "port": int(port), "security": "tls"},
        "userName": "%EMAILLOCALPART%", "signIn": ["oauth2"],
        "oauth2": {"client": "oauth", "issuer": base, "authorization": base + "/authorize",
                   "token": base + "/token", "scopes": ["mail.send"]}})
    program = send_to_an_address_and_accept_the_proposal(processes, corvane, display, config, "oauth.test")
    servers = f"Software\\Halden Software\\Corvane\\Servers\\127.0.0.1:{port}"
    wait_until(lambda: stored(config, servers, "SignIn") == (1).to_bytes(4, "little"), 20,
               "the server found being stored as one that signs in with OAuth2")
    # This build has no client of the provider's: the user types one into the settings.
    key(display, "ctrl+shift+s")
    found = wait_until(lambda: visible_windows(display, "Server settings"), 15, "the server settings dialog")
    x_tool(display, "xdotool", "windowactivate", "--sync", found[0])
    key(display, "Tab", "Tab", "Tab")  # Security, user name, sign-in, to the client ID
    type_text(display, "corvane-test-client")
    key(display, "Return")
    wait_until(lambda: stored(config, servers, "OAuth2ClientId") == b"corvane-test-client\0", 15,
               "the client ID being stored")
    key(display, "ctrl+Return")
    received_signed_in(inbox, 1, "the mail sent after the sign-in in the browser")
    with open(os.path.join(inbox, "message-1", "auth")) as auth:
        if not auth.read().startswith("XOAUTH2 "):
            raise Failure("the mail did not come signed in with OAuth2")
    if keyring_entry(f"oauth2-refresh:{USER}@127.0.0.1:{port}") is None:
        raise Failure("the keyring does not hold the refresh token")
    close_through_window_manager(display, program)
    no_token_in(os.path.join(config, "corvane", "registry.db"), "the settings store")
    if b"secret-" in program.stderr.read():
        raise Failure("a token is in corvane's output")

    program, _ = start_corvane(processes, corvane, display, config)
    key(display, "ctrl+Return")
    received_signed_in(inbox, 2, "the mail sent with the refresh token from the keyring")
    close_through_window_manager(display, program)
    with open(opened) as log:
        if len(log.read().splitlines()) != 1:
            raise Failure("the browser was opened again although the keyring held the sign-in")


def run(corvane, sink_script):
    processes = Processes()
    work = tempfile.mkdtemp(prefix="corvane-e2e-tls-")
    config = os.path.join(work, "config")
    inbox = os.path.join(work, "inbox")
    os.makedirs(inbox)
    os.makedirs(os.path.join(work, "no-certificates"))
    try:
        ca, certificate, private_key = make_certificates(work)
        os.environ["SSL_CERT_FILE"] = ca
        os.environ["SSL_CERT_DIR"] = os.path.join(work, "no-certificates")
        start_keyring(processes, work)
        account = os.path.join(work, "account")
        with open(account, "w") as lines:
            lines.write(f"{USER}\n{PASSWORD}\n")
        display = start_display(processes)
        processes.start(["openbox"], env=dict(os.environ, DISPLAY=display),
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = start_sink(processes, sink_script, inbox, "--starttls", certificate, private_key,
                          "--require-starttls", "--account", account)
        server = f"127.0.0.1:{port}"

        program, _ = start_corvane(processes, corvane, display, config)
        type_text(display, "Ada <ada@example.org>")
        key(display, "Tab")
        type_text(display, server)
        key(display, "Tab")
        type_text(display, "bob@example.org")
        set_up_server_in_the_dialog(display)
        wait_until(lambda: keyring_entry(f"{USER}@{server}") == PASSWORD, 15, "the password reaching the keyring")
        for _ in range(4):  # Cc, Bcc, the attachment list, to the subject
            key(display, "Tab")
        type_text(display, "Typed by a robot")
        key(display, "ctrl+Return")
        received_signed_in(inbox, 1, "the mail sent through STARTTLS")
        close_through_window_manager(display, program)

        servers = f"Software\\Halden Software\\Corvane\\Servers\\{server}"
        if stored(config, servers, "Security") != (1).to_bytes(4, "little") or \
                stored(config, servers, "UserName") != f"{USER}\0".encode():
            raise Failure("the store does not hold the server's settings")
        with sqlite3.connect(os.path.join(config, "corvane", "registry.db")) as db:
            if db.execute("SELECT count(*) FROM vals WHERE instr(data, ?) > 0", (PASSWORD.encode(),)).fetchone()[0]:
                raise Failure("the password is in the settings store")

        program, _ = start_corvane(processes, corvane, display, config)
        key(display, "ctrl+Return")
        received_signed_in(inbox, 2, "the mail sent with the password from the keyring")
        close_through_window_manager(display, program)

        send_through_the_server_found(processes, corvane, display, work, sink_script,
                                      ["--tls", certificate, private_key, "--account", account])
        send_signed_in_with_oauth2(processes, corvane, display, work, certificate, private_key)
        print("end to end: STARTTLS and sign-in with the password kept in the keyring; "
              "the server found for an address, over TLS; OAuth2 in the browser, then with the refresh token")
        return 0
    except (Failure, subprocess.SubprocessError, OSError) as problem:
        print(f"end to end failed: {problem}", file=sys.stderr)
        return 1
    finally:
        processes.end_all()
        subprocess.run(["rm", "-rf", work], check=False)


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    SUPPORT_SINK = sys.argv[2]
    sys.exit(run(*sys.argv[1:]))
