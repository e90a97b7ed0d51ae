#include "NameLookup.h"

#include <netdb.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace corvane::net {

std::string_view ConnectProblemText(EConnectProblem problem) {
    switch (problem) {
        case EConnectProblem::NoSuchHost:
            return "no such host";
        case EConnectProblem::LookupFailed:
            return "the name could not be looked up";
        case EConnectProblem::Refused:
            return "connection refused";
        case EConnectProblem::NetworkUnreachable:
            return "network unreachable";
        case EConnectProblem::HostUnreachable:
            return "host unreachable";
        case EConnectProblem::TimedOut:
            return "timed out";
        case EConnectProblem::None:
        case EConnectProblem::Other:
            break;
    }
    return "the connection failed";
}

EConnectProblem LookupProblem(int lookupError) {
    switch (lookupError) {
        case 0:
            return EConnectProblem::None;
        case EAI_NONAME:
        case EAI_NODATA:      // the name exists but has no address
        case EAI_ADDRFAMILY:  // likewise, for the family asked
            return EConnectProblem::NoSuchHost;
        case EAI_AGAIN:
        case EAI_FAIL:
        case EAI_SYSTEM:  // e.g. no resolver configuration could be read
            return EConnectProblem::LookupFailed;
        default:
            return EConnectProblem::Other;
    }
}

EConnectProblem ConnectProblem(int error) {
    switch (error) {
        case 0:
            return EConnectProblem::None;
        case ECONNREFUSED:
            return EConnectProblem::Refused;
        case ENETUNREACH:
        case ENETDOWN:
            return EConnectProblem::NetworkUnreachable;
        case EHOSTUNREACH:
        case EHOSTDOWN:
            return EConnectProblem::HostUnreachable;
        case ETIMEDOUT:  // the kernel gave up on the handshake before our deadline
            return EConnectProblem::TimedOut;
        default:
            return EConnectProblem::Other;
    }
}

namespace {

struct TAddrInfoDeleter {
    void operator()(addrinfo* info) const { freeaddrinfo(info); }
};
using TAddrInfoList = std::unique_ptr<addrinfo, TAddrInfoDeleter>;

TLookupResult Resolve(const std::string& host, int port, int flags) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = flags;
    addrinfo* found = nullptr;
    TLookupResult result;
    result.Error = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found);
    const TAddrInfoList list(found);
    for (const addrinfo* each = list.get(); each != nullptr; each = each->ai_next) {
        if (each->ai_addrlen <= sizeof(sockaddr_storage)) {
            TResolvedAddress& address = result.Addresses.emplace_back();
            std::memcpy(&address.Address, each->ai_addr, each->ai_addrlen);
            address.Length = each->ai_addrlen;
            address.Family = each->ai_family;
        }
    }
    return result;
}

}  // namespace

TLookupResult ResolveName(const std::string& host, int port) {
    return Resolve(host, port, 0);
}

TLookupResult ResolveNumeric(const std::string& host, int port) {
    return Resolve(host, port, AI_NUMERICHOST);
}

// Everything the helper thread touches. The thread and the socket each hold a reference;
// whichever lets go last closes the descriptor, so neither side can outlive what it uses.
struct TBackgroundLookup::TShared {
    TResolver Resolver;
    std::string Host;
    int Port = 0;
    int ReadyFd = -1;  // eventfd, written once the result is in
    std::mutex Mutex;
    TLookupResult Result;

    ~TShared() {
        if (ReadyFd >= 0) {
            ::close(ReadyFd);
        }
    }

    void Run() {
        TLookupResult found;
        try {
            found = Resolver(Host, Port);
        } catch (...) {
            // No one could catch it on this thread; a failed lookup is the honest outcome.
            found = {EAI_MEMORY, {}};
        }
        {
            const std::lock_guard lock(Mutex);
            Result = std::move(found);
        }
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(ReadyFd, &one, sizeof one);
    }
};

TBackgroundLookup::TBackgroundLookup(TResolver resolver, std::string host, int port) {
    auto shared = std::make_shared<TShared>();
    shared->ReadyFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (shared->ReadyFd < 0) {
        return;
    }
    shared->Resolver = std::move(resolver);
    shared->Host = std::move(host);
    shared->Port = port;
    try {
        std::thread([shared] { shared->Run(); }).detach();
    } catch (const std::system_error&) {
        return;  // no thread to be had: Started() says so
    }
    m_shared = std::move(shared);
}

int TBackgroundLookup::ReadyFd() const {
    return m_shared ? m_shared->ReadyFd : -1;
}

TLookupResult TBackgroundLookup::Take() {
    const std::lock_guard lock(m_shared->Mutex);
    return std::move(m_shared->Result);
}

}  // namespace corvane::net
