#!/usr/bin/python3
"""The real corvane as a screen reader meets it: through AT-SPI, the accessibility tree that
Orca reads, in a D-Bus session of its own.

Usage: dbus-run-session -- end_to_end_a11y.py CORVANE SINK_SCRIPT

Starts the accessibility bus of this session (at-spi-bus-launcher), Xvfb with openbox, and the
aiosmtpd sink on loopback, then corvane on an empty store with QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1.
Through AT-SPI alone (and the keyboard for Tab) it checks that:

1. every field has a name, and the six with a caption are labelled by it;
2. Tab from From visits the fields in reading order and ends on the stamp, a "Send" button,
   and on the Option page visits every control in reading order;
3. a mail filled in through the fields' editable text and sent by the stamp's Press action
   reaches the sink; the status texts of each stage could be read as they came (name changes
   of the status bar's panel), and the gauge's value reached its maximum;
4. started with LANG set to German, French and Spanish (each on a store of its own), the window
   names its pages, captions and first status text in that language (in German also a failed
   connection, the mail engine's reason included), and it still reads in English where no
   translation is shipped.

Every wait is bounded; every process started here is ended by its own process id.
"""

import os
import re
import socket
import subprocess
import sys
import tempfile
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, GLib  # noqa: E402

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from end_to_end import (TITLE, Failure, Processes, find_window, key, start_display,  # noqa: E402
                        x_tool)
from end_to_end_tls import start_sink  # noqa: E402

FIELDS = ["From:", "Smtp:", "To:", "Cc:", "Bcc:", "Attachments", "Subject:", "Message text"]
CAPTIONED = ["From:", "Smtp:", "To:", "Cc:", "Bcc:", "Subject:"]


def pump_until(condition, seconds, what):
    """Waits for Condition while AT-SPI's events are delivered."""
    deadline = time.monotonic() + seconds
    context = GLib.MainContext.default()
    while time.monotonic() < deadline:
        while context.pending():
            context.iteration(False)
        result = condition()
        if result:
            return result
        time.sleep(0.05)
    raise Failure(f"{what} did not happen within {seconds} s")


def descendants(node):
    stack = [node]
    while stack:
        current = stack.pop()
        yield current
        for index in reversed(range(current.get_child_count())):
            child = current.get_child_at_index(index)
            if child is not None:
                stack.append(child)


def corvane_application():
    desktop = Atspi.get_desktop(0)
    for index in range(desktop.get_child_count()):
        application = desktop.get_child_at_index(index)
        if application is not None and application.get_name() == TITLE:
            return application
    return None


def by_role_and_name(application, role, name):
    for node in descendants(application):
        if node.get_role() == role and node.get_name() == name:
            return node
    raise Failure(f"no {role.value_nick} named {name!r} in the tree")


def field(application, name):
    for node in descendants(application):
        if node.get_name() == name and node.get_role() in (Atspi.Role.COMBO_BOX, Atspi.Role.LIST,
                                                           Atspi.Role.TEXT):
            return node
    raise Failure(f"no field named {name!r}: a screen reader would announce only its contents")


def editable(node):
    """The node itself, or for a combo box its line edit."""
    if node.get_role() == Atspi.Role.COMBO_BOX:
        for child in descendants(node):
            if child.get_role() == Atspi.Role.TEXT:
                return child
    return node


class FocusWatch:
    """The control that has the keyboard focus, as AT-SPI's focus events say, which is how a
    screen reader learns it: the tree's states of hidden pages may lag behind."""

    def __init__(self):
        self.focused = None
        self.listener = Atspi.EventListener.new(self.on_focus)
        self.listener.register("object:state-changed:focused")

    def on_focus(self, event):
        if event.detail1 == 1:
            self.focused = event.source

    def name(self):
        node = self.focused
        if node is None:
            return None
        name = node.get_name()
        if not name:  # a combo box's line edit: the combo box carries the name
            parent = node.get_parent()
            name = parent.get_name() if parent is not None else ""
        return name or node.get_role().value_nick


FOCUS = None


def names_visited_by_tab(display, start, name, steps):
    """Focuses Start (whose name is Name), presses Tab Steps times, and returns the name of
    each control the focus reached, Start's first."""
    Atspi.Component.grab_focus(start)
    pump_until(lambda: FOCUS.name() == name, 10, f"the focus reaching {name!r} (it is on {FOCUS.name()!r})")
    visited = [name]
    for _ in range(steps):
        key(display, "Tab")
        before = visited[-1]
        visited.append(pump_until(lambda: (now := FOCUS.name()) != before and now, 10,
                                  f"Tab moving on from {before!r}"))
    return visited


def check_names_and_relations(application):
    for name in FIELDS + [f"Signature {number}" for number in range(1, 9)]:
        field(application, name)
    for caption in CAPTIONED:
        relations = [relation.get_relation_type() for relation in field(application, caption).get_relation_set()]
        if Atspi.RelationType.LABELLED_BY not in relations:
            raise Failure(f"the field {caption!r} is not labelled by its caption")
    stamp = by_role_and_name(application, Atspi.Role.PUSH_BUTTON, "Send")
    actions = [Atspi.Action.get_action_name(stamp, index) for index in range(Atspi.Action.get_n_actions(stamp))]
    if "Press" not in actions:
        raise Failure(f"the stamp offers no Press action, only {actions}")
    by_role_and_name(application, Atspi.Role.PROGRESS_BAR, "Progress")
    for tab in ["No signature", "Signature 1", "Signature 8"]:
        by_role_and_name(application, Atspi.Role.PAGE_TAB, tab)
    return stamp


def check_tab_order(display, application):
    visited = names_visited_by_tab(display, editable(field(application, "From:")), "From:", len(FIELDS) + 1)
    expected = FIELDS + ["No signature", "Send"]  # the signature tabs, by the one chosen
    if visited != expected:
        raise Failure(f"Tab visits {visited}, not the reading order {expected}")


# The Option page in reading order: the three groups top to bottom, left to right, then the
# fields below them and the row under those.
# The priority's list reads as its value, as Qt names a list that cannot be typed into.
OPTION_ORDER = (["Word Wrap", "Editable Signature", "Load in Tray", "Sound", "Priority", "Normal",
                 "Include Organization", "Include X-Mailer", "Include X-Header", "Font"]
                + [f"Clear {name}" for name in ["From", "Smtp", "To", "Cc", "Bcc", "Attachment", "Subject",
                                                "Messages", "Now"]]
                + [f"Save {name}" for name in ["From", "Smtp", "To", "Cc", "Bcc", "Attachment", "Subject",
                                               "Messages", "Now"]]
                + ["Organization:", "X-Mailer:", "X-Header:", "Keep sent mail", "Open Sent folder", "Read receipt",
                   "Delivery report"])


def check_option_tab_order(display, application):
    Atspi.Action.do_action(by_role_and_name(application, Atspi.Role.PAGE_TAB, "Option"), 0)
    first = by_role_and_name(application, Atspi.Role.CHECK_BOX, OPTION_ORDER[0])
    pump_until(lambda: first.get_state_set().contains(Atspi.StateType.SHOWING), 10, "the Option page showing")
    # The fields these boxes switch on take the focus only while they are on.
    for box in ["Priority", "Include Organization", "Include X-Mailer", "Include X-Header"]:
        Atspi.Action.do_action(by_role_and_name(application, Atspi.Role.CHECK_BOX, box), 0)
    level = by_role_and_name(application, Atspi.Role.COMBO_BOX, "Normal")
    pump_until(lambda: level.get_state_set().contains(Atspi.StateType.ENABLED), 10, "the priority level switched on")
    visited = names_visited_by_tab(display, first, OPTION_ORDER[0], len(OPTION_ORDER) - 1)
    if visited != OPTION_ORDER:
        raise Failure(f"Tab on the Option page visits {visited}, not the reading order {OPTION_ORDER}")
    Atspi.Action.do_action(by_role_and_name(application, Atspi.Role.PAGE_TAB, "Send Mail"), 0)


def send_through_the_stamp(application, stamp, port, inbox):
    statuses = []
    gauge = by_role_and_name(application, Atspi.Role.PROGRESS_BAR, "Progress")
    highest = [0.0]

    def on_name(event):
        # Qt's event names the panel, not its new text: it is read at once, as a screen
        # reader reads it, while the sink's pauses hold each stage.
        parent = event.source.get_parent()
        if parent is not None and parent.get_role() == Atspi.Role.STATUS_BAR:
            statuses.append(event.source.get_name())

    def on_value(event):
        if event.source == gauge:
            highest[0] = max(highest[0], Atspi.Value.get_current_value(gauge))

    name_listener = Atspi.EventListener.new(on_name)
    name_listener.register("object:property-change:accessible-name")
    value_listener = Atspi.EventListener.new(on_value)
    value_listener.register("object:property-change:accessible-value")

    for name, text in [("From:", "Ada <ada@example.org>"), ("Smtp:", f"127.0.0.1:{port}"),
                       ("To:", "bob@example.org"), ("Subject:", "Read by a screen reader"),
                       ("Message text", "Sent by the Press action.")]:
        if not Atspi.EditableText.set_text_contents(editable(field(application, name)), text):
            raise Failure(f"{name!r} took no text")
    Atspi.Action.do_action(stamp, 0)
    message = os.path.join(inbox, "message-1")
    pump_until(lambda: os.path.exists(os.path.join(message, "defects")), 30, "the mail arriving")
    with open(os.path.join(message, "headers")) as headers:
        if "Subject: Read by a screen reader" not in headers.read():
            raise Failure("the mail sent by the Press action lacks its subject")
    pump_until(lambda: any(status.startswith("Successful") for status in statuses), 15,
               "the success being announced")
    # The stages the sink's pauses hold: before MAIL, the whole message sent, the answer.
    for stage in [r"Connected: Sending message \. \. \.", r"Connected: Sending message \. \. \. (\d+) of \1 bytes\.",
                  r"Successful: Ready for your mail\."]:
        if not any(re.fullmatch(stage, status) for status in statuses):
            raise Failure(f"no status {stage!r} could be read; heard {statuses}")
    if highest[0] < Atspi.Value.get_maximum_value(gauge):
        raise Failure(f"the gauge's value went no higher than {highest[0]}")
    name_listener.deregister("object:property-change:accessible-name")
    value_listener.deregister("object:property-change:accessible-value")


# A locale, and what the window shows in it: the first page's tab, the sender's caption (its
# field's name), and the first status text.
LANGUAGES = [
    ("de_DE.UTF-8", "Mail senden", "Von:", "Bereit für Ihre Mail . . ."),
    ("fr_FR.UTF-8", "Envoyer", "De :", "Prêt pour votre message . . ."),
    ("es_ES.UTF-8", "Enviar correo", "De:", "Listo para su correo . . ."),
    ("nl_NL.UTF-8", "Send Mail", "From:", "Ready for your mail . . ."),
]
# And a failure in German: the window's words and the mail engine's around the address.
REFUSED_IN_GERMAN = ("Fehler: 101 Verbindung zum Mailserver fehlgeschlagen. 127.0.0.1:{port}: Verbindung abgewiesen. "
                     "Die Einstellungen des Servers lassen sich mit Strg+Umschalt+S finden.")


def refusing_port():
    """A loopback port nothing listens on: bound, then given up."""
    with socket.socket(socket.AF_INET, socket.SOCK_STREAM) as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def status_text(application):
    for node in descendants(application):
        parent = node.get_parent()
        if node.get_role() == Atspi.Role.LABEL and parent is not None and parent.get_role() == Atspi.Role.STATUS_BAR \
                and node.get_name():
            return node.get_name()
    return None


def check_a_failure_in_german(application):
    port = refusing_port()
    for name, text in [("Von:", "ada@example.org"), ("Smtp:", f"127.0.0.1:{port}"), ("An:", "bob@example.org")]:
        Atspi.EditableText.set_text_contents(editable(field(application, name)), text)
    Atspi.Action.do_action(by_role_and_name(application, Atspi.Role.PUSH_BUTTON, "Senden"), 0)
    expected = REFUSED_IN_GERMAN.format(port=port)
    pump_until(lambda: status_text(application) == expected, 15,
               f"{expected!r} in the status bar (it shows {status_text(application)!r})")


def start_window(processes, corvane, display, work, **variables):
    environment = dict(os.environ, DISPLAY=display, XDG_CONFIG_HOME=work, XDG_DATA_HOME=work,
                       QT_QPA_PLATFORM="xcb", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", **variables)
    environment.pop("QT_QPA_PLATFORM_PLUGIN_PATH", None)
    program = processes.start([corvane], env=environment, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    window = find_window(display)
    x_tool(display, "xdotool", "windowactivate", "--sync", window)
    return program, pump_until(corvane_application, 20, "corvane appearing in the accessibility tree")


def check_languages(processes, corvane, display, work):
    for language, page, caption, ready in LANGUAGES:
        store = os.path.join(work, language)
        program, application = start_window(processes, corvane, display, store, LANG=language, LANGUAGE="",
                                            LC_ALL="", LC_MESSAGES="")
        by_role_and_name(application, Atspi.Role.PAGE_TAB, page)
        field(application, caption)
        status = pump_until(lambda: status_text(application), 10, f"a status text in {language}")
        if status != ready:
            raise Failure(f"in {language} the first status text is {status!r}, not {ready!r}")
        if language.startswith("de_"):
            check_a_failure_in_german(application)
        program.terminate()
        program.wait(timeout=15)


def run(corvane, sink_script):
    processes = Processes()
    work = tempfile.mkdtemp(prefix="corvane-a11y-")
    inbox = os.path.join(work, "inbox")
    os.makedirs(inbox)
    try:
        processes.start(["/usr/libexec/at-spi-bus-launcher", "--launch-immediately"],
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        display = start_display(processes)
        processes.start(["openbox"], env=dict(os.environ, DISPLAY=display),
                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        port = start_sink(processes, sink_script, inbox, "--pause", "0.5")
        global FOCUS
        FOCUS = FocusWatch()
        program, application = start_window(processes, corvane, display, work, LANG="C.UTF-8", LANGUAGE="",
                                            LC_ALL="", LC_MESSAGES="")

        stamp = check_names_and_relations(application)
        check_tab_order(display, application)
        check_option_tab_order(display, application)
        send_through_the_stamp(application, stamp, port, inbox)
        program.terminate()
        program.wait(timeout=15)
        check_languages(processes, corvane, display, work)
        print("all checks passed")
        return 0
    except Failure as failure:
        print(f"FAILED: {failure}", file=sys.stderr)
        return 1
    finally:
        processes.end_all()


if __name__ == "__main__":
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    sys.exit(run(sys.argv[1], sys.argv[2]))
