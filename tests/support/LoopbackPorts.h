#pragma once
// Loopback ports with a known misbehaviour, for the connect paths of the dialogue tests.
// Both hold their port for their whole life, so no other program can take it meanwhile.

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

}  // namespace corvane::test
