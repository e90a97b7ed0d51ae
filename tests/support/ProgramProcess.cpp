#include "ProgramProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>

extern char** environ;

namespace corvane::test {

namespace {

using TClock = std::chrono::steady_clock;

void CloseIfOpen(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// Input goes through a temporary file, so a large input never blocks the test on a pipe.
int InputFile(const std::string& input) {
    char name[] = "/tmp/corvane-child-input-XXXXXX";
    const int fd = ::mkstemp(name);
    if (fd < 0) {
        return -1;
    }
    ::unlink(name);
    std::size_t written = 0;
    while (written < input.size()) {
        const ssize_t n = ::write(fd, input.data() + written, input.size() - written);
        if (n <= 0) {
            break;
        }
        written += static_cast<std::size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

TProgramProcess::TProgramProcess(const std::vector<std::string>& arguments, const std::string& input,
                                 EStandardError error) {
    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    const int inFd = InputFile(input);
    if (inFd < 0 || ::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0) {
        return;
    }
    if (error == EStandardError::Unread) {
        CloseIfOpen(errPipe[0]);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inFd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    // A test process may ignore or block SIGPIPE (its servers do); the program must not
    // inherit that, or a program that dies of it would pass.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &pipeSignal);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) {
        m_pid = -1;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(inFd);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    m_outFd = outPipe[0];
    m_errFd = errPipe[0];
}

TProgramProcess::~TProgramProcess() {
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, SIGKILL);
        Reap(0);
    }
    CloseIfOpen(m_outFd);
    CloseIfOpen(m_errFd);
}

void TProgramProcess::Collect(TMilliseconds limit) {
    std::array<pollfd, 2> fds{{{m_outFd, POLLIN, 0}, {m_errFd, POLLIN, 0}}};
    if (::poll(fds.data(), fds.size(), static_cast<int>(limit.count())) <= 0) {
        return;
    }
    std::array<char, 65536> buffer;
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        int& fd = i == 0 ? m_outFd : m_errFd;
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got > 0) {
            (i == 0 ? m_output : m_error).append(buffer.data(), static_cast<std::size_t>(got));
        } else {
            CloseIfOpen(fd);
        }
    }
}

bool TProgramProcess::WaitForError(const std::string& needle, TMilliseconds limit) {
    const auto deadline = TClock::now() + limit;
    while (m_error.find(needle) == std::string::npos) {
        const auto left = std::chrono::duration_cast<TMilliseconds>(deadline - TClock::now());
        if (left.count() <= 0 || (m_outFd < 0 && m_errFd < 0)) {
            return false;
        }
        Collect(std::min(left, TMilliseconds(100)));
    }
    return true;
}

bool TProgramProcess::Reap(int options) {
    int status = 0;
    rusage usage{};
    if (::wait4(m_pid, &status, options, &usage) != m_pid) {
        return false;
    }
    m_peakKilobytes = usage.ru_maxrss;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return true;
}

std::optional<int> TProgramProcess::WaitForExit(TMilliseconds limit) {
    const auto deadline = TClock::now() + limit;
    while (!m_status && m_pid > 0) {
        Collect(TMilliseconds(20));
        if (Reap(WNOHANG) || TClock::now() >= deadline) {
            break;
        }
    }
    // Whatever the program wrote before it ended is still in the pipes (bounded: a program
    // it started may hold them open).
    const auto drainUntil = TClock::now() + TMilliseconds(2000);
    while (m_status && (m_outFd >= 0 || m_errFd >= 0) && TClock::now() < drainUntil) {
        Collect(TMilliseconds(100));
    }
    return m_status;
}

void TProgramProcess::Signal(int signal) const {
    if (m_pid > 0 && !m_status) {
        ::kill(m_pid, signal);
    }
}

}  // namespace corvane::test
