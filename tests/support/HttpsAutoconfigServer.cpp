#include "HttpsAutoconfigServer.h"

#include <chrono>
#include <cstdlib>

#include "ProgramProcess.h"

#ifndef CORVANE_HTTPS_AUTOCONFIG
#error "CORVANE_HTTPS_AUTOCONFIG must name tests/support/https_autoconfig.py"
#endif

namespace corvane::test {

namespace {

constexpr std::chrono::seconds StartLimit{30};

}  // namespace

THttpsAutoconfigServer::THttpsAutoconfigServer(const std::filesystem::path& certificate,
                                               const std::filesystem::path& key,
                                               const std::filesystem::path& document)
    : m_process(std::make_unique<TProgramProcess>(
          std::vector<std::string>{"/usr/bin/python3", CORVANE_HTTPS_AUTOCONFIG, certificate.string(), key.string(),
                                   document.string()},
          "")) {
    // Its first line on standard error is "port N".
    if (!m_process->Started() || !m_process->WaitForError("\n", StartLimit) ||
        m_process->Error().rfind("port ", 0) != 0) {
        m_problem = "the HTTPS server did not start: " + m_process->Error();
        return;
    }
    const int port = std::atoi(m_process->Error().c_str() + 5);
    if (port <= 0 || port > 65535) {
        m_problem = "the HTTPS server told no port: " + m_process->Error();
        return;
    }
    m_port = port;
}

THttpsAutoconfigServer::~THttpsAutoconfigServer() = default;

std::string THttpsAutoconfigServer::Base(const std::string& answer) const {
    return "https://127.0.0.1:" + std::to_string(m_port) + "/" + answer;
}

}  // namespace corvane::test
