#pragma once
// The servers a probe or a check meets, each on 127.0.0.1 and a port of its own, named by a
// label: real aiosmtpd servers over implicit TLS ("tls") and STARTTLS ("starttls") that want
// a sign-in as jo with "secret", one whose certificate names another host ("wrong name"), a
// port that refuses ("refusing") and one that never answers ("silent"). The test CA is the
// only one trusted meanwhile.

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "AiosmtpdServer.h"
#include "LoopbackPorts.h"
#include "TestCertificates.h"
#include "account/ServerProbe.h"

namespace corvane::test {

class TLoopbackSmtpServers : public ::testing::Test {
protected:
    using EServer = TAiosmtpdOptions::ESecurity;
    using ESecurity = mail::ESecurity;

    void SetUp() override {
        const auto& certificates = TTestCertificates::Shared();
        ASSERT_TRUE(certificates.Made()) << certificates.Problem();
        m_trust.emplace(certificates.CaFile);
        const auto& good = certificates.Loopback;
        Serve("tls", SignInRequired(EServer::ImplicitTls, good.Certificate, good.Key, "jo", "secret"), ESecurity::Tls);
        Serve("starttls", SignInRequired(EServer::StartTls, good.Certificate, good.Key, "jo", "secret"),
              ESecurity::StartTls);
        TAiosmtpdOptions wrongName;
        wrongName.Security = EServer::ImplicitTls;
        wrongName.CertificateFile = certificates.OtherName.Certificate;
        wrongName.KeyFile = certificates.OtherName.Key;
        Serve("wrong name", wrongName, ESecurity::Tls);
        ASSERT_TRUE(m_refusing.Valid() && m_silent.Valid());
        m_candidates["refusing"] = {m_refusing.Host(), std::stoi(m_refusing.Port()), ESecurity::Tls};
        m_candidates["silent"] = {m_silent.Host(), std::stoi(m_silent.Port()), ESecurity::StartTls};
    }

    void Serve(const std::string& label, const TAiosmtpdOptions& options, ESecurity security) {
        const auto& server = m_servers.emplace_back(std::make_unique<TAiosmtpdServer>(options));
        ASSERT_TRUE(server->Running()) << label << ": " << server->Problem();
        m_candidates[label] = {server->Host(), std::stoi(server->Port()), security};
    }

    std::vector<account::TProbeCandidate> Candidates(const std::vector<std::string>& labels) {
        std::vector<account::TProbeCandidate> candidates;
        for (const auto& label : labels) {
            candidates.push_back(m_candidates.at(label));
        }
        return candidates;
    }

    std::optional<TTrustOnly> m_trust;
    std::vector<std::unique_ptr<TAiosmtpdServer>> m_servers;
    TRefusingPort m_refusing;
    TUnansweredPort m_silent;
    std::map<std::string, account::TProbeCandidate> m_candidates;
};

}  // namespace corvane::test
