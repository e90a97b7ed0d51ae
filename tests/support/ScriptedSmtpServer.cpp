#include "ScriptedSmtpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <memory>

namespace corvane::test {

namespace {

constexpr std::chrono::seconds AcceptLimit{30};
// How long the server goes on recording after its script, or keeps from reading, at most.
constexpr std::chrono::seconds QuietLimit{60};
constexpr std::string_view EndOfData = "\r\n.\r\n";

int PollMilliseconds(std::chrono::milliseconds limit) {
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, limit.count()));
}

struct TContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

std::string TakeOpenSslError() {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    std::array<char, 256> text{};
    ERR_error_string_n(code, text.data(), text.size());
    return code == 0 ? std::string("the connection ended") : std::string(text.data());
}

// What a TLS call that would block waits for.
bool WouldBlock(int error, short& events) {
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        events = error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT;
        return true;
    }
    return false;
}

}  // namespace

// ---- TSmtpScript -------------------------------------------------------------------------

TSmtpScript& TSmtpScript::Send(std::string bytes) {
    m_steps.push_back({EKind::Send, {std::move(bytes)}, TMilliseconds{0}});
    return *this;
}

TSmtpScript& TSmtpScript::SendChunks(std::vector<std::string> chunks, TMilliseconds pause) {
    m_steps.push_back({EKind::Send, std::move(chunks), pause});
    return *this;
}

TSmtpScript& TSmtpScript::ReadLine() {
    m_steps.push_back({EKind::ReadLine, {}, TMilliseconds{0}});
    return *this;
}

TSmtpScript& TSmtpScript::ReadData() {
    m_steps.push_back({EKind::ReadData, {}, TMilliseconds{0}});
    return *this;
}

TSmtpScript& TSmtpScript::Close() {
    m_steps.push_back({EKind::Close, {}, TMilliseconds{0}});
    return *this;
}

TSmtpScript& TSmtpScript::Truncate() {
    m_steps.push_back({EKind::Truncate, {}, TMilliseconds{0}});
    return *this;
}

TSmtpScript& TSmtpScript::Reset() {
    m_steps.push_back({EKind::Reset, {}, TMilliseconds{0}});
    return *this;
}

TSmtpScript& TSmtpScript::StopReading() {
    m_steps.push_back({EKind::StopReading, {}, TMilliseconds{0}});
    return *this;
}

TSmtpScript& TSmtpScript::StartTls(std::string certificateFile, std::string keyFile) {
    m_steps.push_back({EKind::StartTls, {std::move(certificateFile), std::move(keyFile)},
                       TMilliseconds{0}});
    return *this;
}

// ---- TScriptedSmtpServer -----------------------------------------------------------------

TScriptedSmtpServer::TScriptedSmtpServer(TSmtpScript script, EAddressFamily family)
    : m_script(std::move(script)), m_family(family) {
    m_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    const int domain = family == EAddressFamily::IPv4 ? AF_INET : AF_INET6;
    const int fd = ::socket(domain, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0 || m_wakeFd < 0) {
        if (fd >= 0) {
            ::close(fd);
        }
        return;
    }
    // Numeric loopback addresses only: the server never asks a name service.
    sockaddr_storage address{};
    socklen_t length = 0;
    if (family == EAddressFamily::IPv4) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        length = sizeof(sockaddr_in);
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        length = sizeof(sockaddr_in6);
    }
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 1) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return;
    }
    m_port = ntohs(family == EAddressFamily::IPv4
                       ? reinterpret_cast<sockaddr_in*>(&address)->sin_port
                       : reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    m_listenFd = fd;
    m_listening = true;
    m_thread = std::thread([this] { Run(); });
}

TScriptedSmtpServer::~TScriptedSmtpServer() {
    Stop();
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

void TScriptedSmtpServer::Stop() {
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    if (m_wakeFd >= 0) {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
    }
    // Every wait of the server thread polls the wake descriptor, so this join is prompt.
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

std::string TScriptedSmtpServer::Host() const {
    return m_family == EAddressFamily::IPv4 ? "127.0.0.1" : "::1";
}

std::string TScriptedSmtpServer::Received() const {
    const std::lock_guard lock(m_mutex);
    return m_received;
}

std::vector<std::string> TScriptedSmtpServer::Lines() const {
    const std::lock_guard lock(m_mutex);
    return m_lines;
}

std::vector<std::string> TScriptedSmtpServer::Data() const {
    const std::lock_guard lock(m_mutex);
    return m_data;
}

std::string TScriptedSmtpServer::Problem() const {
    const std::lock_guard lock(m_mutex);
    return m_problem;
}

std::string TScriptedSmtpServer::TlsServerName() const {
    const std::lock_guard lock(m_mutex);
    return m_tlsServerName;
}

bool TScriptedSmtpServer::TlsEstablished() const {
    const std::lock_guard lock(m_mutex);
    return m_tlsEstablished;
}

bool TScriptedSmtpServer::WaitUntilAccepted(TMilliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_accepted; });
}

bool TScriptedSmtpServer::WaitForReceived(std::string_view needle, TMilliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit,
                              [&] { return m_received.find(needle) != std::string::npos; });
}

bool TScriptedSmtpServer::WaitUntilClosed(TMilliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [&] { return m_closed; });
}

void TScriptedSmtpServer::ResumeReading() {
    {
        const std::lock_guard lock(m_mutex);
        m_resume = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

void TScriptedSmtpServer::NoteProblem(std::string text) {
    const std::lock_guard lock(m_mutex);
    if (m_problem.empty()) {
        m_problem = std::move(text);
    }
}

bool TScriptedSmtpServer::Stopping() const {
    const std::lock_guard lock(m_mutex);
    return m_stopping;
}

TScriptedSmtpServer::EWaitResult TScriptedSmtpServer::WaitFor(int fd, short events,
                                                              TMilliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (Stopping()) {
            return EWaitResult::Stopped;
        }
        const auto left =
            std::chrono::duration_cast<TMilliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return EWaitResult::TimedOut;
        }
        std::array<pollfd, 2> fds{{{m_wakeFd, POLLIN, 0}, {fd, events, 0}}};
        // A negative descriptor is ignored by poll: then this only waits for the wake-up.
        const int ready = ::poll(fds.data(), fds.size(), PollMilliseconds(left));
        if (ready < 0 && errno != EINTR) {
            return EWaitResult::Failed;
        }
        if (fds[0].revents != 0) {
            // Stop, or ResumeReading: consume the wake-up and let the caller look at why.
            std::uint64_t count = 0;
            [[maybe_unused]] const auto got = ::read(m_wakeFd, &count, sizeof count);
            if (Stopping()) {
                return EWaitResult::Stopped;
            }
            return EWaitResult::Woken;
        }
        if (ready > 0 && fds[1].revents != 0) {
            return EWaitResult::Ready;
        }
    }
}

long TScriptedSmtpServer::ReadNow(int fd, char* buffer, std::size_t capacity, short& events) {
    events = POLLIN;
    if (m_tls != nullptr) {
        ERR_clear_error();
        std::size_t got = 0;
        const int ok = SSL_read_ex(m_tls, buffer, capacity, &got);
        if (ok == 1) {
            return static_cast<long>(got);
        }
        // close_notify, truncation or a TLS error: for the script the connection is over.
        const bool blocked = WouldBlock(SSL_get_error(m_tls, ok), events);
        ERR_clear_error();
        return blocked ? -1 : 0;
    }
    for (;;) {
        const ssize_t got = ::recv(fd, buffer, capacity, 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return -1;
        }
        return got < 0 ? 0 : got;
    }
}

long TScriptedSmtpServer::WriteNow(int fd, std::string_view bytes, short& events) {
    events = POLLOUT;
    if (m_tls != nullptr) {
        ERR_clear_error();
        std::size_t sent = 0;
        const int ok = SSL_write_ex(m_tls, bytes.data(), bytes.size(), &sent);
        if (ok == 1) {
            return static_cast<long>(sent);
        }
        const bool blocked = WouldBlock(SSL_get_error(m_tls, ok), events);
        ERR_clear_error();
        return blocked ? -1 : 0;
    }
    for (;;) {
        const ssize_t sent = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            return -1;
        }
        return sent < 0 ? 0 : sent;
    }
}

TScriptedSmtpServer::ERead TScriptedSmtpServer::ReadMore(int fd, TMilliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (Stopping()) {
            return ERead::Stopped;
        }
        std::array<char, 64 * 1024> buffer;
        short events = POLLIN;
        const long got = ReadNow(fd, buffer.data(), buffer.size(), events);
        if (got < 0) {
            const auto left = std::chrono::duration_cast<TMilliseconds>(
                deadline - std::chrono::steady_clock::now());
            switch (WaitFor(fd, events, left)) {
                case EWaitResult::Ready:
                case EWaitResult::Woken:  // ResumeReading has no meaning here
                    continue;
                case EWaitResult::Stopped:
                    return ERead::Stopped;
                case EWaitResult::TimedOut:
                    return ERead::TimedOut;
                case EWaitResult::Failed:
                    return ERead::Closed;
            }
        }
        if (got == 0) {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
            m_changed.notify_all();
            return ERead::Closed;
        }
        const std::string_view bytes(buffer.data(), static_cast<std::size_t>(got));
        m_unparsed.append(bytes);
        const std::lock_guard lock(m_mutex);
        m_received.append(bytes);
        m_changed.notify_all();
        return ERead::Data;
    }
}

bool TScriptedSmtpServer::SendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        short events = POLLOUT;
        const long sent = WriteNow(fd, bytes, events);
        if (sent > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0) {
            const EWaitResult waited = WaitFor(fd, events, DefaultLimit);
            if (waited == EWaitResult::Ready || waited == EWaitResult::Woken) {
                continue;
            }
        }
        return false;
    }
    return true;
}

bool TScriptedSmtpServer::AcceptTls(int fd, const std::string& certificateFile,
                                    const std::string& keyFile, const std::string& where) {
    EndTls(false);
    ERR_clear_error();
    const std::unique_ptr<SSL_CTX, TContextDeleter> context(SSL_CTX_new(TLS_server_method()));
    if (context == nullptr ||
        SSL_CTX_use_certificate_chain_file(context.get(), certificateFile.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), keyFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        (m_tls = SSL_new(context.get())) == nullptr || SSL_set_fd(m_tls, fd) != 1) {
        NoteProblem("cannot set up TLS" + where + ": " + TakeOpenSslError());
        return false;
    }
    SSL_set_accept_state(m_tls);
    for (;;) {
        ERR_clear_error();
        const int ok = SSL_do_handshake(m_tls);
        if (ok == 1) {
            break;
        }
        short events = POLLIN;
        if (!WouldBlock(SSL_get_error(m_tls, ok), events)) {
            NoteProblem("TLS handshake failed" + where + ": " + TakeOpenSslError());
            EndTls(false);
            return false;
        }
        const EWaitResult waited = WaitFor(fd, events, DefaultLimit);
        if (waited != EWaitResult::Ready && waited != EWaitResult::Woken) {
            NoteProblem("TLS handshake unfinished" + where);
            EndTls(false);
            return false;
        }
    }
    const char* serverName = SSL_get_servername(m_tls, TLSEXT_NAMETYPE_host_name);
    const std::lock_guard lock(m_mutex);
    m_tlsServerName = serverName != nullptr ? serverName : "";
    m_tlsEstablished = true;
    return true;
}

void TScriptedSmtpServer::EndTls(bool closeNotify) {
    if (m_tls == nullptr) {
        return;
    }
    if (closeNotify) {
        SSL_shutdown(m_tls);  // best effort: the client may be gone already
    }
    ERR_clear_error();
    SSL_free(m_tls);
    m_tls = nullptr;
}

bool TScriptedSmtpServer::PauseFor(TMilliseconds pause) {
    const auto deadline = std::chrono::steady_clock::now() + pause;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<TMilliseconds>(deadline - std::chrono::steady_clock::now());
        switch (WaitFor(-1, 0, left)) {
            case EWaitResult::Stopped:
            case EWaitResult::Failed:
                return false;
            case EWaitResult::TimedOut:
                return true;
            case EWaitResult::Ready:
            case EWaitResult::Woken:
                break;
        }
    }
}

bool TScriptedSmtpServer::WaitForResume() {
    const auto deadline = std::chrono::steady_clock::now() + QuietLimit;
    for (;;) {
        {
            const std::lock_guard lock(m_mutex);
            if (m_resume) {
                return true;
            }
        }
        const auto left =
            std::chrono::duration_cast<TMilliseconds>(deadline - std::chrono::steady_clock::now());
        const EWaitResult waited = WaitFor(-1, 0, left);
        if (waited != EWaitResult::Woken) {
            return false;
        }
    }
}

int TScriptedSmtpServer::AcceptClient() {
    if (WaitFor(m_listenFd, POLLIN, AcceptLimit) != EWaitResult::Ready) {
        NoteProblem("no client connected");
        return -1;
    }
    const int fd = ::accept4(m_listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
        NoteProblem("accept failed");
        return -1;
    }
    const std::lock_guard lock(m_mutex);
    m_accepted = true;
    m_changed.notify_all();
    return fd;
}

bool TScriptedSmtpServer::RunStep(int& fd, std::size_t index) {
    const TSmtpScript::TStep& step = m_script.m_steps[index];
    const std::string where = " in step " + std::to_string(index + 1);
    switch (step.Kind) {
        case TSmtpScript::EKind::Send:
            for (std::size_t i = 0; i < step.Chunks.size(); ++i) {
                if ((i > 0 && !PauseFor(step.Pause)) || !SendAll(fd, step.Chunks[i])) {
                    NoteProblem("could not send" + where);
                    return false;
                }
            }
            return true;
        case TSmtpScript::EKind::ReadLine:
            for (;;) {
                const auto end = m_unparsed.find("\r\n");
                if (end != std::string::npos) {
                    const std::lock_guard lock(m_mutex);
                    m_lines.push_back(m_unparsed.substr(0, end));
                    m_unparsed.erase(0, end + 2);
                    return true;
                }
                if (ReadMore(fd, DefaultLimit) != ERead::Data) {
                    NoteProblem("no complete line" + where);
                    return false;
                }
            }
        case TSmtpScript::EKind::ReadData:
            for (;;) {
                // Empty data is the marker's dot line alone; otherwise the CR LF before the
                // dot ends the data's last line and stays with the data.
                if (m_unparsed.starts_with(EndOfData.substr(2))) {
                    const std::lock_guard lock(m_mutex);
                    m_data.emplace_back();
                    m_unparsed.erase(0, EndOfData.size() - 2);
                    return true;
                }
                const auto end = m_unparsed.find(EndOfData);
                if (end != std::string::npos) {
                    const std::lock_guard lock(m_mutex);
                    m_data.push_back(m_unparsed.substr(0, end + 2));
                    m_unparsed.erase(0, end + EndOfData.size());
                    return true;
                }
                if (ReadMore(fd, DefaultLimit) != ERead::Data) {
                    NoteProblem("no end of data" + where);
                    return false;
                }
            }
        case TSmtpScript::EKind::Close:
            if (m_tls != nullptr) {
                // RFC 8446 section 6.1: close_notify first. The session stays, so what the
                // client still writes is decrypted and recorded as before.
                ERR_clear_error();
                SSL_shutdown(m_tls);
                ERR_clear_error();
            }
            [[fallthrough]];
        case TSmtpScript::EKind::Truncate:
            ::shutdown(fd, SHUT_WR);
            return true;
        case TSmtpScript::EKind::StartTls:
            return AcceptTls(fd, step.Chunks[0], step.Chunks[1], where);
        case TSmtpScript::EKind::Reset: {
            EndTls(false);
            const linger abortive{1, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
            ::close(fd);
            fd = -1;
            const std::lock_guard lock(m_mutex);
            m_closed = true;
            m_changed.notify_all();
            return false;
        }
        case TSmtpScript::EKind::StopReading:
            return WaitForResume();
    }
    return false;
}

void TScriptedSmtpServer::Run() {
    // OpenSSL writes with write(), which raises SIGPIPE when the client has gone; blocked
    // here, the signal stays pending on this thread and vanishes with it.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);

    int fd = AcceptClient();
    if (fd < 0) {
        return;
    }
    // One connection per script: nobody else gets in.
    ::close(m_listenFd);
    m_listenFd = -1;

    for (std::size_t i = 0; i < m_script.m_steps.size(); ++i) {
        if (!RunStep(fd, i)) {
            break;
        }
    }
    // Record whatever else the client writes, until it closes.
    while (fd >= 0) {
        const ERead read = ReadMore(fd, QuietLimit);
        if (read != ERead::Data) {
            break;
        }
    }
    EndTls(false);
    if (fd >= 0) {
        ::close(fd);
    }
}

}  // namespace corvane::test
