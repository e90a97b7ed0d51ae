#include "app/send/TokenCommand.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ostream>
#include <string_view>

#include "account/Passwords.h"

extern char** environ;

namespace corvane::send {

namespace {

using TClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// An access token is a few kilobytes at most; output beyond this is something else, and a
// command that keeps printing would otherwise fill memory until its bound.
constexpr std::size_t OutputCap = 64 * 1024;
// While the command is silent, how often its end and the interrupt flag are looked at.
constexpr milliseconds CheckEvery{20};

struct TPipe {
    int Read = -1;
    int Write = -1;
    TPipe() {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) == 0) {
            Read = ends[0];
            Write = ends[1];
        }
    }
    ~TPipe() {
        CloseRead();
        CloseWrite();
    }
    TPipe(const TPipe&) = delete;
    TPipe& operator=(const TPipe&) = delete;
    bool Valid() const { return Read >= 0; }
    void CloseRead() { Close(Read); }
    void CloseWrite() { Close(Write); }

private:
    static void Close(int& fd) {
        if (fd >= 0) {
            ::close(fd);
            fd = -1;
        }
    }
};

// The shell, as the leader of a new process group (so the group's id is its process id),
// with standard output and error into the pipes and an empty standard input: the message
// text waiting there is corvane-send's, not the command's. SIGPIPE is at its default again,
// as a shell would start it (corvane-send ignores it for its own writes). Returns the
// process id, or -1 with Error set.
pid_t StartShell(const std::string& command, const TPipe& out, const TPipe& err, int& error) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out.Write, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.Write, STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    char shell[] = "sh";
    char dashC[] = "-c";
    char* argv[] = {shell, dashC, const_cast<char*>(command.c_str()), nullptr};
    pid_t pid = -1;
    error = posix_spawn(&pid, "/bin/sh", &actions, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

enum class EEnd { Exited, TimedOut, Interrupted, TooMuchOutput };

// One run of the command, from its start until it is reaped.
class TCommandRun {
public:
    TCommandRun(TPipe& out, TPipe& err, pid_t shell, std::ostream& errors)
        : m_out(out), m_err(err), m_shell(shell), m_errors(errors) {
        // Sized once: a buffer that grew would leave copies of the token in freed memory.
        m_output.resize(OutputCap + 1);
    }
    ~TCommandRun() { account::Wipe(m_output); }
    TCommandRun(const TCommandRun&) = delete;
    TCommandRun& operator=(const TCommandRun&) = delete;

    EEnd WaitForEnd(const std::atomic<bool>& interrupted, TClock::time_point deadline) {
        for (;;) {
            if (interrupted) {
                return EEnd::Interrupted;
            }
            if (m_kept > OutputCap) {
                return EEnd::TooMuchOutput;
            }
            if (ShellExited()) {
                // What the shell wrote before it ended is in the pipes already; what its
                // leftovers write from now on is no part of its answer.
                while (TClock::now() < deadline && Collect(milliseconds(0)) && m_kept <= OutputCap) {
                }
                return m_kept > OutputCap ? EEnd::TooMuchOutput : EEnd::Exited;
            }
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - TClock::now());
            if (left.count() <= 0) {
                return EEnd::TimedOut;
            }
            Collect(std::min(left, CheckEvery));
        }
    }

    // Ends whatever is left of the command's process group, then reaps the shell and
    // returns its wait status. The group is killed while the shell is still unreaped, so its
    // id cannot have passed to a process of someone else's.
    int End() {
        ::kill(-m_shell, SIGKILL);
        int status = 0;
        while (::waitpid(m_shell, &status, 0) < 0 && errno == EINTR) {
        }
        return status;
    }

    std::string_view Output() const { return std::string_view(m_output).substr(0, std::min(m_kept, OutputCap)); }

private:
    // Whether the shell has ended, leaving it unreaped.
    bool ShellExited() const {
        siginfo_t info{};
        return ::waitid(P_PID, static_cast<id_t>(m_shell), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == m_shell;
    }

    // Reads what is ready on the pipes, waiting at most Wait for something to be. Whether
    // anything was read.
    bool Collect(milliseconds wait) {
        std::array<pollfd, 2> fds{{{m_out.Read, POLLIN, 0}, {m_err.Read, POLLIN, 0}}};
        // A closed pipe (-1) is skipped by poll; with both closed it only waits.
        if (::poll(fds.data(), fds.size(), static_cast<int>(wait.count())) <= 0) {
            return false;
        }
        bool got = false;
        if (fds[0].revents != 0) {
            got |= ReadOutput();
        }
        if (fds[1].revents != 0) {
            got |= PassOnErrors();
        }
        return got;
    }

    // Straight into the buffer, one byte past the cap to see it passed.
    bool ReadOutput() {
        const ssize_t n = ::read(m_out.Read, m_output.data() + m_kept, m_output.size() - m_kept);
        if (n <= 0) {
            m_out.CloseRead();
            return false;
        }
        m_kept += static_cast<std::size_t>(n);
        return true;
    }

    bool PassOnErrors() {
        std::array<char, 4096> block;
        const ssize_t n = ::read(m_err.Read, block.data(), block.size());
        if (n <= 0) {
            m_err.CloseRead();
            return false;
        }
        // As it comes, unfinished lines too: a helper may be asking the user to act.
        m_errors.write(block.data(), n);
        m_errors.flush();
        return true;
    }

    TPipe& m_out;
    TPipe& m_err;
    const pid_t m_shell;
    std::ostream& m_errors;
    std::string m_output;
    std::size_t m_kept = 0;
};

std::string DurationText(milliseconds limit) {
    return limit.count() % 1000 == 0 ? std::to_string(limit.count() / 1000) + " s" : std::to_string(limit.count()) + " ms";
}

// What goes after "Bearer " in XOAUTH2 and OAUTHBEARER: a space or control character would
// break that framing, and neither they nor bytes beyond ASCII are in any token.
bool CanBeToken(std::string_view line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c > ' ' && c < '\x7f'; });
}

// Only the first line counts, as with --password-file: `pass show` keeps notes on the lines
// below the secret, and a helper that prints a document instead of a token is caught by the
// check of the first line's characters all the same.
TTokenCommandResult TokenFrom(std::string_view output) {
    std::string_view line = output.substr(0, output.find('\n'));
    if (line.ends_with('\r')) {
        line.remove_suffix(1);
    }
    if (line.empty()) {
        return {std::nullopt, "the token command printed no token"};
    }
    if (!CanBeToken(line)) {
        return {std::nullopt,
                "the token command printed a token with a space, a control character or a non-ASCII character in it"};
    }
    TTokenCommandResult result;
    result.Token.emplace(line);
    return result;
}

TTokenCommandResult Outcome(EEnd end, int status, std::string_view output, milliseconds limit) {
    switch (end) {
        case EEnd::Interrupted:
            return {std::nullopt, {}, true};
        case EEnd::TimedOut:
            return {std::nullopt, "the token command did not finish within " + DurationText(limit)};
        case EEnd::TooMuchOutput:
            return {std::nullopt, "the token command printed more than 64 KiB, which is no token"};
        case EEnd::Exited:
            break;
    }
    if (WIFSIGNALED(status)) {
        return {std::nullopt, "the token command was killed by signal " + std::to_string(WTERMSIG(status))};
    }
    if (WEXITSTATUS(status) != 0) {
        return {std::nullopt, "the token command failed (exit status " + std::to_string(WEXITSTATUS(status)) + ")"};
    }
    return TokenFrom(output);
}

}  // namespace

TTokenCommandResult RunTokenCommand(const std::string& command, std::ostream& errors,
                                    const std::atomic<bool>& interrupted, milliseconds limit) {
    const auto deadline = TClock::now() + limit;
    TPipe out;
    TPipe err;
    if (!out.Valid() || !err.Valid()) {
        return {std::nullopt, std::string("cannot run the token command: ") + std::strerror(errno)};
    }
    int error = 0;
    const pid_t shell = StartShell(command, out, err, error);
    // Only the command holds the writing ends now: its end closes them.
    out.CloseWrite();
    err.CloseWrite();
    if (shell < 0) {
        return {std::nullopt, std::string("cannot run the token command with /bin/sh: ") + std::strerror(error)};
    }
    TCommandRun run(out, err, shell, errors);
    const EEnd end = run.WaitForEnd(interrupted, deadline);
    const int status = run.End();
    return Outcome(end, status, run.Output(), limit);
}

}  // namespace corvane::send
