#pragma once
// Starts tests/support/https_autoconfig.py (Python's http.server behind TLS, run by the
// system's /usr/bin/python3) on 127.0.0.1 and an ephemeral port, with a certificate and key
// (e.g. from TTestCertificates) and the document it serves. The script's first path segment
// picks the answer: /document, /missing, /redirect-http, /stall, /huge, /huge-declared (the
// script's own comment says what each does). The destructor ends exactly that process.

#include <filesystem>
#include <memory>
#include <string>

namespace corvane::test {

class TProgramProcess;

class THttpsAutoconfigServer {
public:
    THttpsAutoconfigServer(const std::filesystem::path& certificate, const std::filesystem::path& key,
                           const std::filesystem::path& document);
    ~THttpsAutoconfigServer();
    THttpsAutoconfigServer(const THttpsAutoconfigServer&) = delete;
    THttpsAutoconfigServer& operator=(const THttpsAutoconfigServer&) = delete;

    // Whether the server started and told its port; Problem() says why not.
    bool Running() const { return m_port != 0; }
    const std::string& Problem() const { return m_problem; }
    // "https://127.0.0.1:PORT/Answer": a base URL whose requests get that answer.
    std::string Base(const std::string& answer) const;

private:
    std::unique_ptr<TProgramProcess> m_process;
    int m_port = 0;
    std::string m_problem;
};

}  // namespace corvane::test
