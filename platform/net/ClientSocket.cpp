#include "ClientSocket.h"

#include "TlsSession.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <memory>

namespace corvane::net {

namespace {

// Milliseconds left until the deadline, clamped to what poll() takes.
int MillisecondsUntil(TDeadline deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    if (left <= 0) {
        return 0;
    }
    return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

// Numeric IPv6 addresses may arrive in their URL form "[::1]".
std::string StripBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

// The reason a wait that did not end Ok gives to a failing Open.
EConnectProblem ProblemOf(ESocketStatus waited) {
    switch (waited) {
        case ESocketStatus::TimedOut:
            return EConnectProblem::TimedOut;
        case ESocketStatus::Interrupted:
            return EConnectProblem::None;  // a cancel needs no reason
        default:
            return EConnectProblem::Other;
    }
}

}  // namespace

TClientSocket::TClientSocket(TResolver resolver)
    : m_wakeFd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), m_resolver(std::move(resolver)) {}

TClientSocket::~TClientSocket() {
    Close();
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

void TClientSocket::Interrupt() noexcept {
    const std::uint64_t one = 1;
    // write() on an eventfd is async-signal-safe; a full counter already wakes every poll.
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

bool TClientSocket::InterruptPending() const {
    pollfd wake{m_wakeFd, POLLIN, 0};
    return ::poll(&wake, 1, 0) > 0;
}

void TClientSocket::ResetInterrupt() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = ::read(m_wakeFd, &count, sizeof count);
}

ESocketStatus TClientSocket::WaitFor(int fd, EWaitFor what, TDeadline deadline) const {
    std::array<pollfd, 2> fds{{{fd, static_cast<short>(what == EWaitFor::Readable ? POLLIN : POLLOUT), 0},
                               {m_wakeFd, POLLIN, 0}}};
    for (;;) {
        const int ready = ::poll(fds.data(), fds.size(), MillisecondsUntil(deadline));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;  // a signal; its handler may have interrupted us, poll tells
            }
            return ESocketStatus::Failed;
        }
        if (fds[1].revents != 0) {
            return ESocketStatus::Interrupted;
        }
        if (fds[0].revents != 0) {
            // Errors and hang-ups are reported by the following recv/send/connect call.
            return ESocketStatus::Ok;
        }
        if (TClock::now() >= deadline) {
            return ESocketStatus::TimedOut;
        }
    }
}

ESocketStatus TClientSocket::Finish(ESocketStatus status, EConnectProblem problem) {
    m_problem = problem;
    return status;
}

ESocketStatus TClientSocket::ConnectOne(const TResolvedAddress& address, TDeadline deadline) {
    const int fd =
        ::socket(address.Family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_TCP);
    if (fd < 0) {
        return Finish(ESocketStatus::Failed, ConnectProblem(errno));
    }
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.Address), address.Length) != 0 &&
        errno != EINPROGRESS) {
        const int error = errno;
        ::close(fd);
        return Finish(ESocketStatus::Failed, ConnectProblem(error));
    }
    const ESocketStatus waited = WaitFor(fd, EWaitFor::Writable, deadline);
    if (waited != ESocketStatus::Ok) {
        ::close(fd);
        return Finish(waited, ProblemOf(waited));
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        error = errno;
    }
    if (error != 0) {
        ::close(fd);
        return Finish(ESocketStatus::Failed, ConnectProblem(error));
    }
    const int on = 1;
    // Commands are small and each waits for its reply; Nagle would only add latency.
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    m_fd = fd;
    return Finish(ESocketStatus::Ok, EConnectProblem::None);
}

ESocketStatus TClientSocket::LookUp(const std::string& host, bool numericHost, int port,
                                    TDeadline deadline, TLookupResult& found) {
    // An address literal needs no name service, and so no thread: whatever the caller
    // guessed, try it as one first.
    found = ResolveNumeric(host, port);
    if (found.Error != 0 && !numericHost) {
        TBackgroundLookup lookup(m_resolver, host, port);
        if (!lookup.Started()) {
            return Finish(ESocketStatus::Failed, EConnectProblem::Other);
        }
        const ESocketStatus waited = WaitFor(lookup.ReadyFd(), EWaitFor::Readable, deadline);
        if (waited != ESocketStatus::Ok) {
            return Finish(waited, ProblemOf(waited));  // the lookup is left to finish alone
        }
        found = lookup.Take();
    }
    if (found.Error != 0) {
        return Finish(ESocketStatus::Failed, LookupProblem(found.Error));
    }
    return ESocketStatus::Ok;
}

ESocketStatus TClientSocket::Open(const std::string& host, bool numericHost, int port,
                                  TDeadline deadline) {
    Close();
    if (m_wakeFd < 0) {
        return Finish(ESocketStatus::Failed, EConnectProblem::Other);
    }
    TLookupResult found;
    ESocketStatus last = LookUp(StripBrackets(host), numericHost, port, deadline, found);
    if (last != ESocketStatus::Ok) {
        return last;
    }
    if (found.Addresses.empty()) {
        return Finish(ESocketStatus::Failed, EConnectProblem::NoSuchHost);
    }
    for (const TResolvedAddress& address : found.Addresses) {
        last = ConnectOne(address, deadline);
        if (last == ESocketStatus::Ok || last == ESocketStatus::Interrupted ||
            last == ESocketStatus::TimedOut) {
            break;
        }
    }
    return last;
}

ESocketStatus TClientSocket::Send(std::string_view data, TDeadline deadline) {
    if (m_fd < 0) {
        return ESocketStatus::Failed;
    }
    if (m_tls) {
        return SendTls(data, deadline);
    }
    while (!data.empty()) {
        if (InterruptPending()) {
            return ESocketStatus::Interrupted;
        }
        const ssize_t sent = ::send(m_fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (sent > 0) {
            data.remove_prefix(static_cast<std::size_t>(sent));
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const ESocketStatus waited = WaitFor(m_fd, EWaitFor::Writable, deadline);
            if (waited != ESocketStatus::Ok) {
                return waited;
            }
            continue;
        }
        return ESocketStatus::Failed;
    }
    return ESocketStatus::Ok;
}

ESocketStatus TSocket::SendFile(int fileFd, std::uint64_t offset, std::size_t count, TDeadline deadline) {
    constexpr std::size_t ChunkBytes = 256 * 1024;
    const auto chunk = std::make_unique_for_overwrite<char[]>(std::min(count, ChunkBytes));
    while (count > 0) {
        const ssize_t got = ::pread(fileFd, chunk.get(), std::min(count, ChunkBytes), static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return ESocketStatus::Failed;
        }
        const auto size = static_cast<std::size_t>(got);
        if (const ESocketStatus sent = Send({chunk.get(), size}, deadline); sent != ESocketStatus::Ok) {
            return sent;
        }
        offset += size;
        count -= size;
    }
    return ESocketStatus::Ok;
}

namespace {

// sendfile(2) has no MSG_NOSIGNAL: while it runs SIGPIPE is held back on this thread, and
// one it raised is taken away again, so that a peer gone away is a failed call, never a
// signal the program must handle.
class TSigPipeHeld {
public:
    TSigPipeHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_before);
        sigset_t pending;
        sigpending(&pending);
        m_pendingBefore = sigismember(&pending, SIGPIPE) == 1;
    }
    ~TSigPipeHeld() {
        sigset_t pending;
        if (!m_pendingBefore && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{0, 0};
            while (sigtimedwait(&m_pipe, nullptr, &now) < 0 && errno == EINTR) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &m_before, nullptr);
    }
    TSigPipeHeld(const TSigPipeHeld&) = delete;
    TSigPipeHeld& operator=(const TSigPipeHeld&) = delete;

private:
    sigset_t m_pipe{};
    sigset_t m_before{};
    bool m_pendingBefore = false;
};

}  // namespace

ESocketStatus TClientSocket::SendFile(int fileFd, std::uint64_t offset, std::size_t count, TDeadline deadline) {
    if (m_fd < 0 || m_tls) {
        return m_fd < 0 ? ESocketStatus::Failed : TSocket::SendFile(fileFd, offset, count, deadline);
    }
    const TSigPipeHeld held;
    auto at = static_cast<off_t>(offset);
    while (count > 0) {
        if (InterruptPending()) {
            return ESocketStatus::Interrupted;
        }
        const ssize_t sent = ::sendfile(m_fd, fileFd, &at, count);
        if (sent > 0) {
            count -= static_cast<std::size_t>(sent);
            continue;
        }
        if (sent < 0 && errno == EINTR) {
            continue;
        }
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (const ESocketStatus waited = WaitFor(m_fd, EWaitFor::Writable, deadline); waited != ESocketStatus::Ok) {
                return waited;
            }
            continue;
        }
        return ESocketStatus::Failed;  // the peer went away, the file could not be read or ended
    }
    return ESocketStatus::Ok;
}

TReceiveResult TClientSocket::Receive(char* buffer, std::size_t capacity, TDeadline deadline) {
    if (m_fd < 0) {
        return {ESocketStatus::Failed, 0};
    }
    if (m_tls) {
        return ReceiveTls(buffer, capacity, deadline);
    }
    for (;;) {
        const ESocketStatus waited = WaitFor(m_fd, EWaitFor::Readable, deadline);
        if (waited != ESocketStatus::Ok) {
            return {waited, 0};
        }
        const ssize_t got = ::recv(m_fd, buffer, capacity, 0);
        if (got > 0) {
            return {ESocketStatus::Ok, static_cast<std::size_t>(got)};
        }
        if (got == 0) {
            return {ESocketStatus::Closed, 0};
        }
        if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
            return {ESocketStatus::Failed, 0};
        }
    }
}

void TClientSocket::Close() {
    if (m_tls) {
        m_tls->Shutdown();
        m_tls.reset();
    }
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

// ---- TLS ---------------------------------------------------------------------------------
// TTlsSession never waits; these loops wait for what it asks (readable or writable) with
// the same poll as the plain calls, so the deadline and Interrupt bound TLS alike.

namespace {

ESocketStatus StatusOf(ETlsProgress progress) {
    return progress == ETlsProgress::Closed ? ESocketStatus::Closed : ESocketStatus::Failed;
}

bool NeedsWait(ETlsProgress progress) {
    return progress == ETlsProgress::WantRead || progress == ETlsProgress::WantWrite;
}

}  // namespace

TTlsResult TClientSocket::StartTls(const TTlsOptions& options, TDeadline deadline) {
    TTlsResult result = Handshake(options, deadline);
    if (result.Status != ESocketStatus::Ok) {
        Close();
    }
    return result;
}

TTlsResult TClientSocket::Handshake(const TTlsOptions& options, TDeadline deadline) {
    if (m_fd < 0 || m_tls) {
        return {ESocketStatus::Failed, ETlsFailure::Handshake,
                m_fd < 0 ? "not connected" : "TLS is already running", {}};
    }
    TTlsResult refusal;
    std::unique_ptr<TTlsSession> session = TTlsSession::Create(m_fd, options, refusal);
    if (!session) {
        return refusal;
    }
    for (;;) {
        if (InterruptPending()) {
            return {ESocketStatus::Interrupted, ETlsFailure::Handshake, "interrupted",
                    session->Certificate()};
        }
        const ETlsProgress progress = session->Handshake();
        if (progress == ETlsProgress::Done) {
            break;
        }
        if (!NeedsWait(progress)) {
            return {ESocketStatus::Failed, ETlsFailure::Handshake, session->LastError(),
                    session->Certificate()};
        }
        // A peer that trickles its handshake byte by byte is still held to the deadline.
        const ESocketStatus waited =
            TClock::now() >= deadline
                ? ESocketStatus::TimedOut
                : WaitFor(m_fd, progress == ETlsProgress::WantRead ? EWaitFor::Readable
                                                                   : EWaitFor::Writable,
                          deadline);
        if (waited != ESocketStatus::Ok) {
            return {waited, ETlsFailure::Handshake,
                    waited == ESocketStatus::TimedOut ? "the handshake did not finish in time"
                                                      : "interrupted",
                    session->Certificate()};
        }
    }
    TTlsResult verdict = session->Verdict();
    if (verdict.Status == ESocketStatus::Ok) {
        m_tls = std::move(session);
    } else {
        session->Shutdown();
    }
    return verdict;
}

ESocketStatus TClientSocket::SendTls(std::string_view data, TDeadline deadline) {
    while (!data.empty()) {
        if (InterruptPending()) {
            return ESocketStatus::Interrupted;
        }
        // After a "want", OpenSSL must be given the same bytes again: Data only moves on
        // by what a write reports done.
        const TTlsIo written = m_tls->Write(data);
        if (written.Progress == ETlsProgress::Done) {
            data.remove_prefix(written.Count);
            continue;
        }
        if (!NeedsWait(written.Progress)) {
            return ESocketStatus::Failed;
        }
        // TLS may need to read in order to write (a key update, a renegotiation).
        const ESocketStatus waited = WaitFor(
            m_fd, written.Progress == ETlsProgress::WantRead ? EWaitFor::Readable : EWaitFor::Writable,
            deadline);
        if (waited != ESocketStatus::Ok) {
            return waited;
        }
    }
    return ESocketStatus::Ok;
}

TReceiveResult TClientSocket::ReceiveTls(char* buffer, std::size_t capacity, TDeadline deadline) {
    for (;;) {
        if (InterruptPending()) {
            return {ESocketStatus::Interrupted, 0};
        }
        // Read before polling: OpenSSL may hold decrypted bytes the socket no longer shows.
        const TTlsIo got = m_tls->Read(buffer, capacity);
        if (got.Progress == ETlsProgress::Done) {
            return {ESocketStatus::Ok, got.Count};
        }
        if (!NeedsWait(got.Progress)) {
            return {StatusOf(got.Progress), 0};
        }
        const ESocketStatus waited = WaitFor(
            m_fd, got.Progress == ETlsProgress::WantWrite ? EWaitFor::Writable : EWaitFor::Readable,
            deadline);
        if (waited != ESocketStatus::Ok) {
            return {waited, 0};
        }
    }
}

std::string TClientSocket::TlsAgreement() const {
    return m_tls ? m_tls->Agreement() : std::string();
}

std::string TClientSocket::LocalHostName() const {
    std::array<char, 256> name{};
    if (::gethostname(name.data(), name.size() - 1) != 0) {
        return {};
    }
    return name.data();
}

std::string TClientSocket::LocalAddressLiteral() const {
    if (m_fd < 0) {
        return {};
    }
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        return {};
    }
    std::array<char, INET6_ADDRSTRLEN> text{};
    const void* address = nullptr;
    if (local.ss_family == AF_INET) {
        address = &reinterpret_cast<const sockaddr_in*>(&local)->sin_addr;
    } else if (local.ss_family == AF_INET6) {
        address = &reinterpret_cast<const sockaddr_in6*>(&local)->sin6_addr;
    }
    if (address == nullptr || ::inet_ntop(local.ss_family, address, text.data(), text.size()) == nullptr) {
        return {};
    }
    std::array<char, INET6_ADDRSTRLEN + 8> literal{};
    std::snprintf(literal.data(), literal.size(), local.ss_family == AF_INET6 ? "[IPv6:%s]" : "[%s]",
                  text.data());
    return literal.data();
}

}  // namespace corvane::net
