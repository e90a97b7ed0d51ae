#include "MemorySocket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>

namespace corvane::test {

TMemorySocket::TMemorySocket() : m_wakeFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

TMemorySocket::~TMemorySocket() {
    if (m_wakeFd >= 0) {
        ::close(m_wakeFd);
    }
}

void TMemorySocket::Interrupt() noexcept {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_wakeFd, &one, sizeof one);
}

void TMemorySocket::ResetInterrupt() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto got = ::read(m_wakeFd, &count, sizeof count);
}

bool TMemorySocket::InterruptPending() const {
    pollfd wake{m_wakeFd, POLLIN, 0};
    return ::poll(&wake, 1, 0) > 0;
}

void TMemorySocket::SetBlocked(bool blocked) {
    const std::lock_guard lock(m_mutex);
    m_blocked = blocked;
    m_changed.notify_all();
}

bool TMemorySocket::WaitUntilBlocked(std::chrono::milliseconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, limit, [this] { return m_blocked; });
}

net::ESocketStatus TMemorySocket::Block(net::TDeadline deadline) {
    SetBlocked(true);
    net::ESocketStatus result = net::ESocketStatus::TimedOut;
    for (;;) {
        const auto now = net::TClock::now();
        if (now >= deadline) {
            break;
        }
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        pollfd wake{m_wakeFd, POLLIN, 0};
        const int ready = ::poll(&wake, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready > 0) {
            result = net::ESocketStatus::Interrupted;
            break;
        }
        if (ready < 0 && errno != EINTR) {
            result = net::ESocketStatus::Failed;
            break;
        }
    }
    SetBlocked(false);
    return result;
}

net::ESocketStatus TMemorySocket::Open(const std::string& host, bool numericHost, int port,
                                       net::TDeadline deadline) {
    Close();
    Opens.push_back({host, numericHost, port});
    if (OpenResult == net::ESocketStatus::TimedOut ||
        OpenResult == net::ESocketStatus::Interrupted) {
        // A connect that never completes: it ends at the deadline or with Interrupt.
        const net::ESocketStatus waited = Block(deadline);
        return waited == net::ESocketStatus::Interrupted ? waited : OpenResult;
    }
    m_open = OpenResult == net::ESocketStatus::Ok;
    return OpenResult;
}

net::ESocketStatus TMemorySocket::Send(std::string_view data, net::TDeadline deadline) {
    if (!m_open) {
        return net::ESocketStatus::Failed;
    }
    if (InterruptPending()) {
        return net::ESocketStatus::Interrupted;
    }
    if (SendCapacity) {
        const std::size_t room = *SendCapacity - std::min(*SendCapacity, Written.size());
        if (data.size() > room) {
            Written.append(data.substr(0, room));
            return Block(deadline);
        }
    }
    Written.append(data);
    return net::ESocketStatus::Ok;
}

net::TReceiveResult TMemorySocket::Receive(char* buffer, std::size_t capacity,
                                           net::TDeadline deadline) {
    if (!m_open) {
        return {net::ESocketStatus::Failed, 0};
    }
    if (InterruptPending()) {
        return {net::ESocketStatus::Interrupted, 0};
    }
    while (!m_incoming.empty() && m_incoming.front().empty()) {
        m_incoming.pop_front();
    }
    if (m_incoming.empty()) {
        switch (WhenDrained) {
            case EWhenDrained::Block:
                return {Block(deadline), 0};
            case EWhenDrained::Close:
                return {net::ESocketStatus::Closed, 0};
            case EWhenDrained::Fail:
                return {net::ESocketStatus::Failed, 0};
        }
    }
    std::string& chunk = m_incoming.front();
    const std::size_t count = std::min(capacity, chunk.size());
    std::memcpy(buffer, chunk.data(), count);
    chunk.erase(0, count);
    if (chunk.empty()) {
        m_incoming.pop_front();
    }
    return {net::ESocketStatus::Ok, count};
}

net::TCertificateInfo TMemorySocket::MadeUpCertificate() {
    std::string fingerprint;
    for (int i = 0; i < 32; ++i) {
        fingerprint += i == 0 ? "AB" : ":AB";
    }
    return {"CN=memory.test", "CN=Memory Test CA", "2026-01-01 00:00:00 UTC",
            "2036-01-01 00:00:00 UTC", fingerprint};
}

net::TTlsResult TMemorySocket::StartTls(const net::TTlsOptions& options,
                                        net::TDeadline deadline) {
    std::size_t unread = 0;
    for (const auto& chunk : m_incoming) {
        unread += chunk.size();
    }
    StartTlsCalls.push_back({options, Written.size(), unread});
    net::TTlsResult result = StartTlsResult;
    if (!m_open || m_encrypted) {
        result = {net::ESocketStatus::Failed, net::ETlsFailure::Handshake,
                  m_open ? "TLS is already running" : "not connected", {}};
    } else if (InterruptPending()) {
        result = {net::ESocketStatus::Interrupted, net::ETlsFailure::Handshake, "interrupted", {}};
    } else if (StartTlsBlocks) {
        result = {Block(deadline), net::ETlsFailure::Handshake, "the handshake did not finish", {}};
    }
    if (result.Status == net::ESocketStatus::Ok) {
        m_encrypted = true;
    } else {
        Close();
    }
    return result;
}

void TMemorySocket::Close() {
    m_encrypted = false;
    if (m_open) {
        m_open = false;
        ++Closes;
    }
}

}  // namespace corvane::test
