#pragma once
// Starts Debian's aiosmtpd (through tests/support/aiosmtpd_sink.py, run by the system's
// /usr/bin/python3) as a child process on 127.0.0.1 and an ephemeral port, and reads back
// what it received, as parsed by Python's email package. The destructor ends exactly that
// process and removes its folder.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace corvane::test {

// One message as the sink stored it.
struct TReceivedMessage {
    struct TAttachment {
        std::string FileName;
        std::string ContentType;
        std::string Data;
    };
    std::string EnvelopeFrom;
    std::vector<std::string> EnvelopeTo;
    std::string Raw;
    std::vector<std::string> Headers;  // "Name: value"
    std::string Text;
    std::vector<TAttachment> Attachments;
    std::string Defects;  // empty when the email package found nothing wrong

    // The value of the first header called Name (compared without regard to case).
    std::optional<std::string> Header(const std::string& name) const;
};

class TAiosmtpdServer {
public:
    static constexpr std::chrono::seconds StartLimit{30};

    TAiosmtpdServer();
    ~TAiosmtpdServer();
    TAiosmtpdServer(const TAiosmtpdServer&) = delete;
    TAiosmtpdServer& operator=(const TAiosmtpdServer&) = delete;

    // Whether the server started and told its port; Problem() says why not.
    bool Running() const { return m_port != 0; }
    const std::string& Problem() const { return m_problem; }
    std::string Host() const { return "127.0.0.1"; }
    std::string Port() const { return std::to_string(m_port); }

    // The Index-th message received (from 1), or nothing when it has not arrived.
    std::optional<TReceivedMessage> Message(int index) const;

private:
    void Start();
    void Terminate();

    TTempFolder m_folder;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_problem;
};

}  // namespace corvane::test
