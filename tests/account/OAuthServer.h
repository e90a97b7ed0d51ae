#pragma once
// The loopback OAuth2 server of the sign-in tests (tests/support/oauth_server.py, Python's
// standard library alone) on 127.0.0.1 and a port the system picks, over plain HTTP or, given
// a certificate, HTTPS. The first segment of a URL's path picks its behaviour (the script's own
// comment says each); the destructor ends exactly that process.

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ProgramProcess.h"
#include "TestCertificates.h"
#include "account/OAuth2Tokens.h"

#ifndef CORVANE_OAUTH_SERVER
#error "CORVANE_OAUTH_SERVER must name tests/support/oauth_server.py"
#endif

namespace corvane::test {

class TOAuthServer {
public:
    static constexpr const char* ClientId = "corvane-test-client";

    // With Issued, every access token issued is added to that file as a line
    // (TAiosmtpdOptions::IssuedTokens). With Tls, HTTPS with that certificate and key.
    explicit TOAuthServer(const std::filesystem::path& issued = {}, const std::optional<TCertificateFiles>& tls = {})
        : m_process(Command(issued, tls), ""), m_scheme(tls ? "https" : "http") {
        // Its first line on standard error is "port N".
        if (m_process.WaitForError("\n", std::chrono::seconds(30)) && m_process.Error().rfind("port ", 0) == 0) {
            m_port = std::atoi(m_process.Error().c_str() + 5);
        }
    }

    bool Running() const { return m_port > 0; }
    const std::string& Problem() const { return m_process.Error(); }

    // Where the server behaves as Mode: "ok", "short", "deny", "revoked".
    std::string Base(const std::string& mode) const {
        return m_scheme + "://127.0.0.1:" + std::to_string(m_port) + "/" + mode;
    }

    // What a sign-in asks of the server when it behaves as Mode.
    account::TOAuth2Grant Grant(const std::string& mode) const {
        const std::string base = Base(mode);
        return {base + "/authorize", base + "/token", base + "/device", ClientId, {}, {"mail.send", "offline"}, {}};
    }

private:
    static std::vector<std::string> Command(const std::filesystem::path& issued,
                                            const std::optional<TCertificateFiles>& tls) {
        std::vector<std::string> command{"/usr/bin/python3", CORVANE_OAUTH_SERVER};
        if (!issued.empty()) {
            command.insert(command.end(), {"--issued", issued.string()});
        }
        if (tls) {
            command.insert(command.end(), {"--tls", tls->Certificate.string(), tls->Key.string()});
        }
        return command;
    }

    TProgramProcess m_process;
    std::string m_scheme;
    int m_port = 0;
};

}  // namespace corvane::test
