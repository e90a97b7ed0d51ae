// corvane-bench-launch: how long a program takes from its start until its window is mapped,
// and how much memory it holds once it has settled.
//
//   corvane-bench-launch [--title TEXT] [--settle SECONDS] [--timeout SECONDS] -- PROGRAM ARGS...
//
// It connects to the X server of $DISPLAY, watches the root window for new windows being
// mapped (SubstructureNotify; so it must run without a window manager, which would map the
// program's window inside a frame of its own), notes the time, starts PROGRAM with fork and
// exec, and waits for a top-level window of that process (_NET_WM_PID) whose title holds
// TEXT (default "Corvane") to be mapped. The window is mapped after the program's window has
// been built and its fields loaded from the store (the constructor runs before show()).
// After --settle seconds (default 2) it reads VmRSS and VmHWM from /proc/PID/status, then
// ends the program with SIGTERM (SIGKILL after 2 s) and reaps it. It prints one line:
//
//   map_ms <ms> rss_kib <kib> hwm_kib <kib>
//
// Every wait is bounded by --timeout (default 10 s); on a timeout it kills the program and
// exits with 1.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

using TClock = std::chrono::steady_clock;

xcb_atom_t Atom(xcb_connection_t* connection, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr);
    const xcb_atom_t atom = reply != nullptr ? reply->atom : xcb_atom_t{XCB_ATOM_NONE};
    std::free(reply);
    return atom;
}

std::optional<std::string> Property(xcb_connection_t* connection, xcb_window_t window,
                                    xcb_atom_t property, xcb_atom_t type) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, property, type, 0, 1024), nullptr);
    if (reply == nullptr) {
        return std::nullopt;
    }
    std::optional<std::string> value;
    if (reply->type != XCB_ATOM_NONE) {
        const auto* bytes = static_cast<const char*>(xcb_get_property_value(reply));
        value = std::string(bytes, static_cast<std::size_t>(xcb_get_property_value_length(reply)));
    }
    std::free(reply);
    return value;
}

long StatusKib(pid_t pid, const char* field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
        }
    }
    return -1;
}

void EndChild(pid_t pid) {
    ::kill(pid, SIGTERM);
    const auto deadline = TClock::now() + std::chrono::seconds(2);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (TClock::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return;
        }
        ::usleep(10000);
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::string title = "Corvane";
    double settle = 2.0, timeout = 10.0;
    int first = argc;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            first = i + 1;
            break;
        }
        if (i + 1 >= argc) {
            break;
        }
        if (arg == "--title") {
            title = argv[++i];
        } else if (arg == "--settle") {
            settle = std::atof(argv[++i]);
        } else if (arg == "--timeout") {
            timeout = std::atof(argv[++i]);
        }
    }
    if (first >= argc) {
        std::fprintf(stderr,
                     "usage: corvane-bench-launch [--title T] [--settle S] [--timeout S] -- "
                     "PROGRAM ARGS...\n");
        return 2;
    }

    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection) != 0) {
        std::fprintf(stderr, "corvane-bench-launch: no X display\n");
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, screen->root, XCB_CW_EVENT_MASK, &mask);
    const xcb_atom_t pidAtom = Atom(connection, "_NET_WM_PID");
    const xcb_atom_t nameAtom = Atom(connection, "_NET_WM_NAME");
    const xcb_atom_t utf8Atom = Atom(connection, "UTF8_STRING");
    xcb_flush(connection);

    const auto start = TClock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        ::close(xcb_get_file_descriptor(connection));
        ::execv(argv[first], argv + first);
        std::perror("exec");
        ::_exit(127);
    }

    const auto deadline = start + std::chrono::duration<double>(timeout);
    std::optional<double> mappedMs;
    while (!mappedMs && TClock::now() < deadline) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (event == nullptr) {
            if (xcb_connection_has_error(connection) != 0) {
                break;
            }
            pollfd wait{xcb_get_file_descriptor(connection), POLLIN, 0};
            ::poll(&wait, 1, 20);
            continue;
        }
        if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY) {
            const auto now = TClock::now();
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            const auto owner = Property(connection, map->window, pidAtom, XCB_ATOM_CARDINAL);
            auto name = Property(connection, map->window, nameAtom, utf8Atom);
            if (!name) {
                name = Property(connection, map->window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
            }
            std::uint32_t ownerPid = 0;
            if (owner && owner->size() >= 4) {
                std::memcpy(&ownerPid, owner->data(), 4);
            }
            if (ownerPid == static_cast<std::uint32_t>(pid) && name &&
                name->find(title) != std::string::npos) {
                mappedMs = std::chrono::duration<double, std::milli>(now - start).count();
            }
        }
        std::free(event);
    }
    if (!mappedMs) {
        std::fprintf(stderr, "corvane-bench-launch: no window mapped in time\n");
        EndChild(pid);
        xcb_disconnect(connection);
        return 1;
    }
    ::usleep(static_cast<useconds_t>(settle * 1e6));
    const long rss = StatusKib(pid, "VmRSS");
    const long hwm = StatusKib(pid, "VmHWM");
    EndChild(pid);
    xcb_disconnect(connection);
    std::printf("map_ms %.1f rss_kib %ld hwm_kib %ld\n", *mappedMs, rss, hwm);
    return rss > 0 ? 0 : 1;
}
