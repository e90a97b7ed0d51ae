#pragma once
// Name lookup for TClientSocket, and the words for why a connection could not be made.
//
// getaddrinfo blocks for as long as the name service takes and cannot be interrupted, so a
// name is looked up on a helper thread of its own (TBackgroundLookup): the socket polls the
// lookup's descriptor together with its wake eventfd and deadline, and on Interrupt or the
// deadline simply walks away. The abandoned lookup finishes whenever the resolver returns,
// into state it shares with nobody any more, and then frees it.

#include <sys/socket.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::net {

// Why Open failed, as far as the system tells.
enum class EConnectProblem {
    None,                // Open succeeded, or was interrupted
    NoSuchHost,          // the name service knows no such name (EAI_NONAME)
    LookupFailed,        // the name service could not answer (EAI_AGAIN and the like)
    Refused,             // ECONNREFUSED: nobody listens on that port
    NetworkUnreachable,  // ENETUNREACH, ENETDOWN
    HostUnreachable,     // EHOSTUNREACH, EHOSTDOWN
    TimedOut,            // the deadline passed during the lookup or the connect
    Other,
};

// Lower-case words for a user: "connection refused".
std::string_view ConnectProblemText(EConnectProblem problem);
// From getaddrinfo's result code (EAI_*).
EConnectProblem LookupProblem(int lookupError);
// From connect's errno, or SO_ERROR after a non-blocking connect.
EConnectProblem ConnectProblem(int error);

struct TResolvedAddress {
    sockaddr_storage Address{};
    socklen_t Length = 0;
    int Family = AF_UNSPEC;
};

struct TLookupResult {
    int Error = 0;  // 0, or getaddrinfo's EAI_* code
    // In the order getaddrinfo prefers them.
    std::vector<TResolvedAddress> Addresses;
};

// Resolves Host for a TCP connection to Port. May block without bound; the socket runs it
// on a helper thread, where it must not touch anything but its arguments.
using TResolver = std::function<TLookupResult(const std::string& host, int port)>;

// getaddrinfo with any address family. No AI_ADDRCONFIG: it hides ::1 and 127.0.0.1 on
// machines with only loopback.
TLookupResult ResolveName(const std::string& host, int port);
// A numeric IPv4 or IPv6 address only (AI_NUMERICHOST): answers at once and asks no name
// service; EAI_NONAME for a name.
TLookupResult ResolveNumeric(const std::string& host, int port);

// One lookup running on a detached helper thread. Destroying this object abandons the
// lookup: it is never waited for, and its thread frees what it used when it ends.
class TBackgroundLookup {
public:
    // Starts Resolver(Host, Port) on a thread that owns copies of all three. Started() is
    // false when no thread or descriptor could be had.
    TBackgroundLookup(TResolver resolver, std::string host, int port);
    TBackgroundLookup(const TBackgroundLookup&) = delete;
    TBackgroundLookup& operator=(const TBackgroundLookup&) = delete;

    bool Started() const { return m_shared != nullptr; }
    // Readable once the result is in; valid while this object lives.
    int ReadyFd() const;
    // The result, once ReadyFd has become readable.
    TLookupResult Take();

private:
    struct TShared;
    std::shared_ptr<TShared> m_shared;
};

}  // namespace corvane::net
