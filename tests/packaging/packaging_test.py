#!/usr/bin/python3
"""Corvane as a user installs it.

Usage: packaging_test.py install BUILD_DIR SINK_SCRIPT
       packaging_test.py deb BUILD_DIR

install: `cmake --install` into a DESTDIR with the prefix /usr; checks that every expected
  file is there (icons at the size their folder names), that desktop-file-validate,
  appstreamcli and groff/man accept the menu entry, the metainfo and the manual pages, that
  corvane-send's manual page documents exactly the options of its usage text, and that the
  versions of the changelog and the metainfo's newest release are the program's. Then the
  installed corvane-send sends a mail to aiosmtpd, and the installed corvane starts under
  Xvfb on an empty store and shows its window with the stamp.bmp put beside it; a mailto:
  link opened with xdg-open, as a browser opens one, finds the menu entry's handler, whose start hands the link to that window, and so does
  `corvane FILE` with a file named relative to its folder: closed, the window has stored the
  link's recipient and subject and the file's full path.
deb: `cpack -G DEB`; dpkg-deb lists the expected files, the dependencies come from
  dpkg-shlibdeps, and lintian reports no errors (its warnings are printed).

Every wait is bounded; every process started here is ended by its own process id.
"""

import gzip
import os
import re
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ElementTree

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "app"))
import end_to_end as e2e  # noqa: E402  (the Xvfb, window and process helpers)

APP_ID = "org.example.Corvane"
EXPECTED = (["usr/bin/corvane", "usr/bin/corvane-send",
             f"usr/share/applications/{APP_ID}.desktop",
             f"usr/share/metainfo/{APP_ID}.metainfo.xml",
             f"usr/share/icons/hicolor/scalable/apps/{APP_ID}.svg",
             "usr/share/man/man1/corvane.1.gz", "usr/share/man/man1/corvane-send.1.gz"]
            + [f"usr/share/icons/hicolor/{s}x{s}/apps/{APP_ID}.png"
               for s in (16, 22, 24, 32, 48, 64, 128, 256)]
            + [f"usr/share/doc/corvane/{name}"
               for name in ("copyright", "changelog.gz", "README.md", "SETTINGS.md")])


def run(*arguments, timeout=120, **options):
    """Runs a command, failing with its output when it fails."""
    done = subprocess.run(list(arguments), capture_output=True, text=True, timeout=timeout,
                          **options)
    if done.returncode != 0:
        raise e2e.Failure(f"{' '.join(arguments)} ended with {done.returncode}:\n"
                          f"{done.stdout}{done.stderr}")
    return done


def clean_environment(**extra):
    """The environment of a user's session: nothing that points into the build tree."""
    environment = {k: v for k, v in os.environ.items()
                   if k not in ("LD_LIBRARY_PATH", "QT_PLUGIN_PATH", "QT_QPA_PLATFORM_PLUGIN_PATH")}
    environment.update(extra)
    return environment


def project_version(build):
    with open(os.path.join(build, "CMakeCache.txt")) as cache:
        return re.search(r"^CMAKE_PROJECT_VERSION:STATIC=(.*)$", cache.read(), re.M).group(1)


def check_files(root):
    missing = [path for path in EXPECTED if not os.path.isfile(os.path.join(root, path))]
    if missing:
        raise e2e.Failure("not installed: " + ", ".join(missing))
    for path in EXPECTED:
        size = re.search(r"/(\d+)x\1/", path)
        if size:
            described = run("file", "-b", os.path.join(root, path)).stdout
            if f"{size.group(1)} x {size.group(1)}" not in described:
                raise e2e.Failure(f"{path} is {described}")
    for program in ("usr/bin/corvane", "usr/bin/corvane-send"):
        dynamic = run("readelf", "-d", os.path.join(root, program)).stdout
        if "RPATH" in dynamic or "RUNPATH" in dynamic:
            raise e2e.Failure(f"{program} still searches a library path of its own:\n{dynamic}")


def check_validators(root):
    run("desktop-file-validate", os.path.join(root, EXPECTED[2]))
    run("appstreamcli", "validate", "--no-net", os.path.join(root, EXPECTED[3]))
    for page in ("corvane.1.gz", "corvane-send.1.gz"):
        path = os.path.join(root, "usr/share/man/man1", page)
        with gzip.open(path, "rt") as source:
            groff = run("groff", "-ww", "-z", "-man", input=source.read())
        rendered = run("man", "--warnings", "-l", path, env=dict(os.environ, MANWIDTH="80"))
        if groff.stderr or rendered.stderr:
            raise e2e.Failure(f"{page} renders with warnings:\n{groff.stderr}{rendered.stderr}")


def check_documented_options(root):
    """The manual page's OPTIONS are exactly the usage text's, plus --help."""
    usage = run(os.path.join(root, "usr/bin/corvane-send"), "--help",
                env=clean_environment()).stdout
    in_usage = set(re.findall(r"--[a-z][a-z0-9-]*", usage)) | {"--help"}
    with gzip.open(os.path.join(root, "usr/share/man/man1/corvane-send.1.gz"), "rt") as page:
        source = page.read()
    options = source.split(".SH OPTIONS", 1)[1].split("\n.SH ", 1)[0]
    in_page = {tag.replace("\\-", "-")
               for tag in re.findall(r"^\.TP\n\.B[IR]? .*?(\\-\\-[a-z][a-z0-9\\-]*)", options, re.M)}
    if in_usage != in_page:
        raise e2e.Failure(f"corvane-send's manual page and usage text differ: only in the usage "
                          f"{sorted(in_usage - in_page)}, only in the page {sorted(in_page - in_usage)}")


def check_versions(root, version):
    with gzip.open(os.path.join(root, "usr/share/doc/corvane/changelog.gz"), "rt") as changelog:
        logged = re.match(r"corvane \(([^)]+)\)", changelog.read()).group(1)
    released = ElementTree.parse(os.path.join(root, EXPECTED[3])).find("releases/release").get("version")
    if (logged, released) != (version, version):
        raise e2e.Failure(f"the program is {version}, the changelog's newest entry {logged}, "
                          f"the metainfo's newest release {released}")


def check_send(root, sink_script, work, processes):
    inbox = os.path.join(work, "inbox")
    os.makedirs(inbox)
    sink = processes.start(["/usr/bin/python3", sink_script, inbox], stdout=subprocess.PIPE,
                           stderr=subprocess.DEVNULL)
    port = sink.stdout.readline().decode().strip()
    if not port.isdigit():
        raise e2e.Failure("the aiosmtpd sink did not report its port")
    run(os.path.join(root, "usr/bin/corvane-send"), "--server", f"127.0.0.1:{port}",
        "--from", "ada@example.org", "--to", "bob@example.org", "--subject", "From the install",
        input="Sent by the installed program.\n", env=clean_environment(), timeout=60)
    with open(os.path.join(inbox, "message-1", "headers")) as headers:
        if "Subject: From the install" not in headers.read():
            raise e2e.Failure("the mail arrived without its subject")


def link_handed_over(link):
    """Whether no process holds LINK on its command line any more: xdg-open's child (before
    and after it became corvane) has handed it over and ended. Only read, never signalled."""
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as cmdline:
                if link.encode() in cmdline.read().split(b"\0"):
                    return False
        except OSError:
            pass  # ended meanwhile
    return True


def check_window(root, work, processes):
    """The installed corvane on an empty store, with a pure magenta stamp.bmp beside it: the
    window shows and its stamp is that picture; a mailto: link opened by xdg-open reaches it."""
    run("convert", "-size", "107x63", "xc:#FF00FF", "BMP3:" + os.path.join(root, "usr/bin/stamp.bmp"))
    display = e2e.start_display(processes)
    processes.start(["openbox"], env=dict(os.environ, DISPLAY=display), stdout=subprocess.DEVNULL,
                    stderr=subprocess.DEVNULL)
    e2e.wait_until(lambda: subprocess.run(["wmctrl", "-m"], env=dict(os.environ, DISPLAY=display),
                                          capture_output=True, timeout=5).returncode == 0,
                   15, "openbox managing the display")
    config = os.path.join(work, "config")
    # Only the installed menu entry and program: no handler of the user's or the system's.
    session = clean_environment(DISPLAY=display, XDG_CONFIG_HOME=config, QT_QPA_PLATFORM="xcb",
                                XDG_DATA_HOME=os.path.join(work, "data"),
                                XDG_DATA_DIRS=os.path.join(root, "usr/share"),
                                PATH=os.path.join(root, "usr/bin") + ":" + os.environ["PATH"],
                                # No session bus: where xdg-open hands the link to gio, gio
                                # would start one through X11, a daemon nobody here ends.
                                DBUS_SESSION_BUS_ADDRESS="unix:path=" + os.path.join(work, "no-bus"))
    program = processes.start([os.path.join(root, "usr/bin/corvane")], stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, env=session)
    window = e2e.find_window(display)
    shot = os.path.join(work, "window.png")

    def stamp_pixels():
        e2e.screenshot(display, window, shot)
        return int(run("convert", shot, "-fill", "black", "+opaque", "#FF00FF", "-fill", "white",
                       "-opaque", "#FF00FF", "-format", "%[fx:round(mean*w*h)]", "info:").stdout)

    e2e.wait_until(lambda: stamp_pixels() >= 107 * 63 * 0.9, 15, "the stamp.bmp beside the program showing")
    if not os.path.exists(os.path.join(config, "corvane", "registry.db")):
        raise e2e.Failure("the installed program made no settings store")

    link = "mailto:ada@example.org?subject=From%20a%20link%20caf%C3%A9"
    run("update-desktop-database", os.path.join(root, "usr/share/applications"))
    run("xdg-open", link, env=session, timeout=30)
    e2e.wait_until(lambda: link_handed_over(link), 20, "the link's corvane start handing over and ending")
    # A file named relative to the later start's own folder reaches the window as a full path.
    with open(os.path.join(work, "notes.txt"), "w") as notes:
        notes.write("notes\n")
    run(os.path.join(root, "usr/bin/corvane"), "notes.txt", cwd=work, env=session, timeout=30)
    e2e.close_through_window_manager(display, program)
    saved = "Software\\Halden Software\\Corvane\\Option\\SaveText"
    for name, value in (("SendTo", "ada@example.org"), ("Subject", "From a link caf\u00e9")):
        if e2e.stored(config, saved, name) != value.encode() + b"\0":
            raise e2e.Failure(f"the window's {name} holds {e2e.stored(config, saved, name)!r} after "
                              f"xdg-open {link}")
    attached = e2e.stored(config, "Software\\Halden Software\\Corvane\\Attachment", "file0")
    if attached != os.path.join(work, "notes.txt").encode() + b"\0":
        raise e2e.Failure(f"the attachment list holds {attached!r} after corvane notes.txt")


def test_install(build, sink_script):
    processes = e2e.Processes()
    work = tempfile.mkdtemp(prefix="corvane-install-")
    root = os.path.join(work, "root")
    try:
        run("cmake", "--install", build, "--prefix", "/usr", env=dict(os.environ, DESTDIR=root))
        check_files(root)
        check_validators(root)
        check_documented_options(root)
        check_versions(root, project_version(build))
        check_send(root, sink_script, work, processes)
        check_window(root, work, processes)
        print("install: files, menu entry, metainfo and manual pages valid; sent; window shown; "
              "mailto: link opened into it")
    finally:
        processes.end_all()
        subprocess.run(["rm", "-rf", work], check=False)


def test_deb(build):
    work = tempfile.mkdtemp(prefix="corvane-deb-")
    try:
        run("cpack", "-G", "DEB", "-B", work, "--config", os.path.join(build, "CPackConfig.cmake"),
            timeout=300)
        architecture = run("dpkg", "--print-architecture").stdout.strip()
        deb = os.path.join(work, f"corvane_{project_version(build)}_{architecture}.deb")
        listed = {line.split()[-1].removeprefix("./")
                  for line in run("dpkg-deb", "-c", deb).stdout.splitlines()}
        missing = [path for path in EXPECTED if path not in listed]
        if missing:
            raise e2e.Failure("not in the package: " + ", ".join(missing))
        depends = run("dpkg-deb", "-f", deb, "Depends").stdout
        if not all(library in depends for library in ("libc6", "libqt6widgets6", "libsqlite3-0")):
            raise e2e.Failure(f"the dependencies are not the libraries' packages: {depends}")
        lintian = subprocess.run(["lintian", "--fail-on", "error", "--tag-display-limit", "0", deb],
                                 capture_output=True, text=True, timeout=600)
        print(lintian.stdout + lintian.stderr, end="")
        if lintian.returncode != 0:
            raise e2e.Failure(f"lintian ended with {lintian.returncode}")
        print(f"deb: {len(listed)} entries; Depends: {depends.strip()}")
    finally:
        subprocess.run(["rm", "-rf", work], check=False)


def main(arguments):
    try:
        if len(arguments) == 3 and arguments[0] == "install":
            test_install(*arguments[1:])
        elif len(arguments) == 2 and arguments[0] == "deb":
            test_deb(arguments[1])
        else:
            print(__doc__, file=sys.stderr)
            return 2
        return 0
    except (e2e.Failure, subprocess.SubprocessError, OSError) as problem:
        print(f"packaging test failed: {problem}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
