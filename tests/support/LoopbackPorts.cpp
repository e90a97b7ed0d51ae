#include "LoopbackPorts.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace corvane::test {

namespace {

struct TLoopbackAddress {
    sockaddr_storage Storage{};
    socklen_t Length = 0;
    sockaddr* Get() { return reinterpret_cast<sockaddr*>(&Storage); }
};

TLoopbackAddress Loopback(EAddressFamily family, int port) {
    TLoopbackAddress address;
    if (family == EAddressFamily::IPv4) {
        auto* v4 = reinterpret_cast<sockaddr_in*>(&address.Storage);
        v4->sin_family = AF_INET;
        v4->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        v4->sin_port = htons(static_cast<std::uint16_t>(port));
        address.Length = sizeof(sockaddr_in);
    } else {
        auto* v6 = reinterpret_cast<sockaddr_in6*>(&address.Storage);
        v6->sin6_family = AF_INET6;
        v6->sin6_addr = in6addr_loopback;
        v6->sin6_port = htons(static_cast<std::uint16_t>(port));
        address.Length = sizeof(sockaddr_in6);
    }
    return address;
}

// Binds a new socket to loopback port 0; returns the descriptor and stores the port.
int BindEphemeral(EAddressFamily family, int& port) {
    const int fd = ::socket(family == EAddressFamily::IPv4 ? AF_INET : AF_INET6,
                            SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    TLoopbackAddress address = Loopback(family, 0);
    if (::bind(fd, address.Get(), address.Length) != 0 ||
        ::getsockname(fd, address.Get(), &address.Length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(family == EAddressFamily::IPv4
                     ? reinterpret_cast<sockaddr_in*>(&address.Storage)->sin_port
                     : reinterpret_cast<sockaddr_in6*>(&address.Storage)->sin6_port);
    return fd;
}

std::string HostOf(EAddressFamily family) {
    return family == EAddressFamily::IPv4 ? "127.0.0.1" : "::1";
}

}  // namespace

TRefusingPort::TRefusingPort(EAddressFamily family) : m_family(family) {
    m_fd = BindEphemeral(family, m_port);
    if (m_fd < 0) {
        m_port = 0;
    }
}

TRefusingPort::~TRefusingPort() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string TRefusingPort::Host() const {
    return HostOf(m_family);
}

TUnansweredPort::TUnansweredPort(EAddressFamily family) : m_family(family) {
    int port = 0;
    m_listenFd = BindEphemeral(family, port);
    if (m_listenFd < 0 || ::listen(m_listenFd, 0) != 0) {
        return;
    }
    // Backlog 0 leaves room for one completed connection; this one takes it. Its connect
    // completes in the kernel without an accept, so this blocking call returns at once.
    m_fillerFd = ::socket(family == EAddressFamily::IPv4 ? AF_INET : AF_INET6,
                          SOCK_STREAM | SOCK_CLOEXEC, 0);
    TLoopbackAddress address = Loopback(family, port);
    if (m_fillerFd < 0 || ::connect(m_fillerFd, address.Get(), address.Length) != 0) {
        return;
    }
    m_port = port;
}

TUnansweredPort::~TUnansweredPort() {
    if (m_fillerFd >= 0) {
        ::close(m_fillerFd);
    }
    if (m_listenFd >= 0) {
        ::close(m_listenFd);
    }
}

std::string TUnansweredPort::Host() const {
    return HostOf(m_family);
}

TSilentPort::TSilentPort(EAddressFamily family) : m_family(family) {
    int port = 0;
    m_fd = BindEphemeral(family, port);
    // Room for a few connections, none ever accepted: each is complete and silent.
    if (m_fd >= 0 && ::listen(m_fd, 8) == 0) {
        m_port = port;
    }
}

TSilentPort::~TSilentPort() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::string TSilentPort::Host() const {
    return HostOf(m_family);
}

int FreeLoopbackPort(EAddressFamily family) {
    int port = 0;
    const int fd = BindEphemeral(family, port);
    if (fd < 0) {
        return 0;
    }
    ::close(fd);
    return port;
}

}  // namespace corvane::test
