#pragma once
// A DNS server of the test's own (loopback_dns.py, with Debian's python3-dnslib) on the first
// free address from 127.0.0.77 on, port 53: Qt 6.4's QDnsLookup asks no other port. It answers
// the records of a zone file and keeps silent for the names given. Binding port 53 needs root
// or CAP_NET_BIND_SERVICE; without them CannotBind() says so and the test skips.

#include <QHostAddress>
#include <gtest/gtest.h>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "ProgramProcess.h"
#include "TempFolder.h"

#ifndef CORVANE_LOOPBACK_DNS
#error "CORVANE_LOOPBACK_DNS must name tests/account/loopback_dns.py"
#endif

namespace corvane::test {

class TLoopbackDns {
public:
    TLoopbackDns(const std::string& zone, const std::vector<std::string>& silentNames) {
        std::vector<std::string> arguments{"/usr/bin/python3", CORVANE_LOOPBACK_DNS,
                                           m_folder.WriteFile("zone", zone).string()};
        arguments.insert(arguments.end(), silentNames.begin(), silentNames.end());
        m_server.emplace(arguments, "");
        if (!m_server->WaitForError("listening ", std::chrono::seconds(30))) {
            return;
        }
        const std::string& said = m_server->Error();
        const auto start = said.find("listening ") + 10;
        m_address = QHostAddress(QString::fromStdString(said.substr(start, said.find('\n', start) - start)));
    }

    bool Running() const { return m_address.isLoopback(); }
    bool CannotBind() const { return m_server->Error().find("cannot bind") != std::string::npos; }
    const std::string& Problem() const { return m_server->Error(); }
    // Where QDnsLookup should ask.
    const QHostAddress& Address() const { return m_address; }

private:
    TTempFolder m_folder;
    std::optional<TProgramProcess> m_server;
    QHostAddress m_address;
};

}  // namespace corvane::test

// In a fixture's SetUp: skips the test where port 53 cannot be bound, fails it where the
// server did not start for another reason.
#define CORVANE_REQUIRE_LOOPBACK_DNS(dns)                                                                   \
    do {                                                                                                 \
        if (!(dns).Running()) {                                                                          \
            if ((dns).CannotBind()) {                                                                    \
                GTEST_SKIP() << "Qt 6.4 asks a name server on port 53 only, and the loopback DNS "        \
                             << "server could not bind it (root or CAP_NET_BIND_SERVICE needed): "       \
                             << (dns).Problem();                                                         \
            }                                                                                            \
            FAIL() << "the loopback DNS server did not start: " << (dns).Problem();                      \
        }                                                                                                \
    } while (false)
