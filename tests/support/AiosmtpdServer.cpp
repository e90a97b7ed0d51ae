#include "AiosmtpdServer.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>

#ifndef CORVANE_AIOSMTPD_SINK
#error "CORVANE_AIOSMTPD_SINK must name tests/support/aiosmtpd_sink.py"
#endif

namespace corvane::test {

namespace {

// Debian's interpreter, which has python3-aiosmtpd; a python3 found on PATH may not.
constexpr const char* SystemPython = "/usr/bin/python3";
constexpr std::chrono::seconds StopLimit{5};

std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> SplitAt(const std::string& text, char separator) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(separator, start);
        fields.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return fields;
        }
        start = end + 1;
    }
}

bool SameNoCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Waits until the child Pid has ended, at most Limit; reaps it when it has.
bool WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (pidFd >= 0) {
        pollfd exited{pidFd, POLLIN, 0};
        ::poll(&exited, 1, static_cast<int>(limit.count()));
        ::close(pidFd);
    }
    int status = 0;
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

// ---- TReceivedMessage --------------------------------------------------------------------

std::optional<std::string> TReceivedMessage::Header(const std::string& name) const {
    for (const auto& line : Headers) {
        const auto colon = line.find(": ");
        if (colon != std::string::npos && SameNoCase(line.substr(0, colon), name)) {
            return line.substr(colon + 2);
        }
    }
    return std::nullopt;
}

// ---- TAiosmtpdServer ---------------------------------------------------------------------

TAiosmtpdServer::TAiosmtpdServer() : TAiosmtpdServer(TAiosmtpdOptions{}) {}

TAiosmtpdServer::TAiosmtpdServer(const TAiosmtpdOptions& options) {
    Start(options);
}

TAiosmtpdServer::~TAiosmtpdServer() {
    Terminate();
}

TAiosmtpdOptions SignInRequired(TAiosmtpdOptions::ESecurity security, const std::filesystem::path& certificate,
                                const std::filesystem::path& key, std::string user, std::string password) {
    TAiosmtpdOptions options;
    options.Security = security;
    options.CertificateFile = certificate;
    options.KeyFile = key;
    options.RequireStartTls = security == TAiosmtpdOptions::ESecurity::StartTls;
    options.User = std::move(user);
    options.Password = std::move(password);
    return options;
}

std::vector<std::string> TAiosmtpdServer::SinkArguments(const TAiosmtpdOptions& options) const {
    std::vector<std::string> arguments{SystemPython, CORVANE_AIOSMTPD_SINK, m_folder.Path().string()};
    using ESecurity = TAiosmtpdOptions::ESecurity;
    if (options.Security != ESecurity::None) {
        arguments.insert(arguments.end(),
                         {options.Security == ESecurity::StartTls ? "--starttls" : "--tls",
                          options.CertificateFile.string(), options.KeyFile.string()});
    }
    if (options.RequireStartTls) {
        arguments.push_back("--require-starttls");
    }
    if (options.Pipelining) {
        arguments.push_back("--pipelining");
    }
    if (options.LargeMessages) {
        arguments.insert(arguments.end(), {"--size-limit", "0", "--raw-only"});
    }
    if (options.SmtpUtf8) {
        arguments.push_back("--smtputf8");
    }
    if (!options.User.empty()) {
        // In a file of the server's own folder, not on a command line others can read.
        const bool byToken = !options.AccessToken.empty() || !options.IssuedTokens.empty();
        const auto account =
            m_folder.WriteFile("account", options.User + "\n" + (byToken ? options.AccessToken : options.Password));
        std::filesystem::permissions(account, std::filesystem::perms::owner_read |
                                                  std::filesystem::perms::owner_write);
        arguments.insert(arguments.end(), {"--account", account.string()});
        if (options.AuthOverPlainText) {
            arguments.push_back("--auth-over-plain");
        }
        if (byToken) {
            arguments.push_back("--xoauth2");
        }
        if (!options.IssuedTokens.empty()) {
            arguments.insert(arguments.end(), {"--issued", options.IssuedTokens.string()});
        }
    }
    return arguments;
}

void TAiosmtpdServer::Start(const TAiosmtpdOptions& options) {
    if (m_folder.Path().empty()) {
        m_problem = "no temporary folder";
        return;
    }
    const std::vector<std::string> arguments = SinkArguments(options);
    const std::string log = (m_folder.Path() / "sink.log").string();
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<char*> argv;
    for (const auto& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    const int logFd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    std::array<int, 2> pipeFds{-1, -1};
    if (logFd < 0 || ::pipe2(pipeFds.data(), O_CLOEXEC) != 0) {
        m_problem = "cannot create the sink's log or pipe";
        if (logFd >= 0) {
            ::close(logFd);
        }
        return;
    }
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // The server must not outlive a test binary that crashed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        ::dup2(pipeFds[1], STDOUT_FILENO);
        ::dup2(logFd, STDERR_FILENO);
        ::execv(SystemPython, argv.data());
        ::_exit(127);
    }
    ::close(pipeFds[1]);
    ::close(logFd);
    if (pid < 0) {
        ::close(pipeFds[0]);
        m_problem = "fork failed";
        return;
    }
    m_pid = pid;

    // The first line of its output is the port; wait for it, but not for ever.
    std::string output;
    const auto deadline = std::chrono::steady_clock::now() + StartLimit;
    while (output.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd readable{pipeFds[0], POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) <= 0) {
            break;
        }
        std::array<char, 64> chunk;
        const ssize_t got = ::read(pipeFds[0], chunk.data(), chunk.size());
        if (got <= 0) {
            break;
        }
        output.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(pipeFds[0]);
    const int port = std::atoi(output.c_str());
    if (port <= 0 || port > 65535) {
        Terminate();
        m_problem = "the sink did not report its port; its log says: " + ReadWholeFile(log);
        return;
    }
    m_port = port;
}

void TAiosmtpdServer::Terminate() {
    if (m_pid <= 0) {
        return;
    }
    // Exactly the process this object started.
    ::kill(m_pid, SIGTERM);
    if (!WaitForExit(m_pid, StopLimit)) {
        ::kill(m_pid, SIGKILL);
        int status = 0;
        ::waitpid(m_pid, &status, 0);  // SIGKILL cannot be ignored: this returns at once
    }
    m_pid = -1;
    m_port = 0;
}

std::filesystem::path TAiosmtpdServer::RawMessageFile(int index) const {
    return m_folder.Path() / ("message-" + std::to_string(index)) / "message.eml";
}

std::optional<TReceivedMessage> TAiosmtpdServer::Message(int index) const {
    const std::filesystem::path folder = m_folder.Path() / ("message-" + std::to_string(index));
    if (!std::filesystem::is_directory(folder)) {
        return std::nullopt;
    }
    TReceivedMessage message;
    message.EnvelopeFrom = ReadWholeFile(folder / "envelope-from");
    message.EnvelopeTo = SplitLines(ReadWholeFile(folder / "envelope-to"));
    message.Raw = ReadWholeFile(folder / "message.eml");
    message.Headers = SplitLines(ReadWholeFile(folder / "headers"));
    message.Text = ReadWholeFile(folder / "text");
    message.Defects = ReadWholeFile(folder / "defects");
    message.Tls = ReadWholeFile(folder / "tls");
    message.Auth = ReadWholeFile(folder / "auth");
    for (const auto& line : SplitLines(ReadWholeFile(folder / "attachments"))) {
        const auto fields = SplitAt(line, '\t');
        if (fields.size() != 4) {
            message.Defects += "unreadable attachment listing: " + line + "\n";
            continue;
        }
        message.Attachments.push_back(
            {fields[1], fields[2], ReadWholeFile(folder / ("attachment-" + fields[0]))});
    }
    return message;
}

std::vector<std::string> TAiosmtpdServer::AuthAttempts() const {
    return SplitLines(ReadWholeFile(m_folder.Path() / "auth-log"));
}

}  // namespace corvane::test
