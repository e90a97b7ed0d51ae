#pragma once
// Loopback ports with a known misbehaviour, for the connect paths of the dialogue tests.
// Each holds its port for its whole life, so no other program can take it meanwhile.

#include <string>

#include "ScriptedSmtpServer.h"

namespace corvane::test {

// A port that is bound but not listening: a connection attempt is refused at once.
class TRefusingPort {
public:
    explicit TRefusingPort(EAddressFamily family = EAddressFamily::IPv4);
    ~TRefusingPort();
    TRefusingPort(const TRefusingPort&) = delete;
    TRefusingPort& operator=(const TRefusingPort&) = delete;

    bool Valid() const { return m_port != 0; }
    std::string Host() const;
    std::string Port() const { return std::to_string(m_port); }

private:
    EAddressFamily m_family;
    int m_fd = -1;
    int m_port = 0;
};

// A listener whose one-place accept queue is already taken by a connection of its own and
// that never accepts: the kernel drops further connection requests, so a connect to it
// neither succeeds nor fails until the caller gives up.
class TUnansweredPort {
public:
    explicit TUnansweredPort(EAddressFamily family = EAddressFamily::IPv4);
    ~TUnansweredPort();
    TUnansweredPort(const TUnansweredPort&) = delete;
    TUnansweredPort& operator=(const TUnansweredPort&) = delete;

    bool Valid() const { return m_port != 0; }
    std::string Host() const;
    std::string Port() const { return std::to_string(m_port); }

private:
    EAddressFamily m_family;
    int m_listenFd = -1;
    int m_fillerFd = -1;
    int m_port = 0;
};

// A listener that never accepts, reads or writes: a connection to it completes in the kernel
// and then hears nothing, like a server that hangs before its greeting.
class TSilentPort {
public:
    explicit TSilentPort(EAddressFamily family = EAddressFamily::IPv4);
    ~TSilentPort();
    TSilentPort(const TSilentPort&) = delete;
    TSilentPort& operator=(const TSilentPort&) = delete;

    bool Valid() const { return m_port != 0; }
    std::string Host() const;
    std::string Port() const { return std::to_string(m_port); }

private:
    EAddressFamily m_family;
    int m_fd = -1;
    int m_port = 0;
};

// A loopback port nobody listens on at this moment, for a server that insists on binding its
// own (dovecot): another program may take it before the server does, so a caller that cannot
// bind it tries another. 0 when the system gives none.
int FreeLoopbackPort(EAddressFamily family = EAddressFamily::IPv4);

}  // namespace corvane::test
