// --find-server and --server auto in-process, with every source of the lookup on loopback: a
// provider table of the test's own whose one entry is aiosmtpd (TLS, sign-in required), the
// configuration documents at ports that refuse or never answer, a DNS server that knows no
// name, and probing at a refusing port.

#include "app/send/ServerLookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <sstream>

#include "AiosmtpdServer.h"
#include "LoopbackDns.h"
#include "LoopbackPorts.h"
#include "TestCertificates.h"

namespace corvane::send {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

class ServerLookup : public ::testing::Test {
protected:
    void SetUp() override {
        const auto& certificates = test::TTestCertificates::Shared();
        ASSERT_TRUE(certificates.Made()) << certificates.Problem();
        CORVANE_REQUIRE_LOOPBACK_DNS(m_dns);
        ASSERT_TRUE(m_refusing.Valid() && m_unanswered.Valid());
        m_trust.emplace(certificates.CaFile);
        m_smtp.emplace(test::SignInRequired(test::TAiosmtpdOptions::ESecurity::ImplicitTls,
                                            certificates.Loopback.Certificate, certificates.Loopback.Key,
                                            "ada@found.test", "right password"));
        ASSERT_TRUE(m_smtp->Running()) << m_smtp->Problem();

        account::TProvider loopback;
        loopback.Id = "loopback";
        loopback.Name = "Loopback Mail";
        loopback.Domains = {"found.test"};
        loopback.Smtp = {m_smtp->Host(), std::stoi(m_smtp->Port()), mail::ESecurity::Tls};
        loopback.UserName = "%EMAILADDRESS%";
        loopback.SignIn = {account::ESignIn::Password};
        m_providers = {loopback};
        m_finder.Providers = &m_providers;
        m_finder.Autoconfig.Endpoints = {{"autoconfig.nothing.test", "https://127.0.0.1:" + m_refusing.Port()},
                                         {"autoconfig.silent.test", "https://127.0.0.1:" + m_unanswered.Port()}};
        m_finder.Autoconfig.Deadline = 3s;
        m_finder.Dns = {m_dns.Address(), 3s};
        m_finder.ProbeDeadline = 3s;
        m_finder.Candidates = [this](const std::string&) {
            return std::vector<account::TProbeCandidate>{
                {m_refusing.Host(), std::stoi(m_refusing.Port()), mail::ESecurity::Tls}};
        };
    }

    std::string Server() const { return "127.0.0.1:" + m_smtp->Port(); }

    test::TLoopbackDns m_dns{"", {}};
    test::TRefusingPort m_refusing;
    test::TUnansweredPort m_unanswered;
    std::optional<test::TTrustOnly> m_trust;
    std::optional<test::TAiosmtpdServer> m_smtp;
    std::vector<account::TProvider> m_providers;
    account::TFinderOptions m_finder;
};

TEST_F(ServerLookup, FindServerPrintsTheOptionsFoundOrWhyThereAreNone) {
    const std::string described =
        Server() + ", SSL/TLS, user ada@found.test (from the provider table: Loopback Mail)\n";
    const struct {
        TFindServerRequested Request;
        bool Interrupted;
        int Exit;
        std::string Out;
        std::string Status;
    } cases[] = {
        {{"ada@found.test", false}, false, ExitAccepted,
         "--server " + Server() + " --security tls --user ada@found.test\n",
         "Looking up the mail server for found.test . . .\n" + described},
        {{"ada@found.test", true}, false, ExitAccepted,
         "--server " + Server() + " --security tls --user ada@found.test\n", described},
        {{"jo@nothing.test", false}, false, ExitFailed, "",
         "Looking up the mail server for nothing.test . . .\nNo mail server found for nothing.test: type it into Smtp.\n"},
        // The document's server never answers: only Ctrl+C ends the lookup before its deadline.
        {{"jo@silent.test", false}, true, ExitCancelled, "",
         "Looking up the mail server for silent.test . . .\nCanceled: Ready for your mail.\n"},
    };
    for (const auto& row : cases) {
        std::ostringstream out;
        std::ostringstream status;
        const std::atomic<bool> interrupted{row.Interrupted};
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(RunFindServer(row.Request, m_finder, out, status, interrupted), row.Exit) << row.Request.Address;
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s) << row.Request.Address;
        EXPECT_EQ(out.str(), row.Out);
        EXPECT_EQ(status.str(), row.Status);
    }
}

TEST_F(ServerLookup, ServerAutoSendsThroughTheServerFoundSignedInOverTls) {
    std::vector<std::string> asked;  // the user and server each password was read for
    const TPasswordReader readPassword = [&asked](const TSendOptions& options) {
        asked.push_back(options.User + " at " + options.Server);
        return TPasswordLookup{"right password", {}};
    };
    const auto send = [&](const std::string& from, std::string& status) {
        TSendOptions options;
        options.Server = "auto";
        options.From = from;
        options.To = "bob@example.org";
        options.Subject = "Found";
        std::istringstream text("Hello\n");
        std::ostringstream written;
        mail::TWrenSMTP smtp;
        const std::atomic<bool> interrupted{false};
        const int exit = RunFoundServerSend(options, m_finder, readPassword, text, written, smtp, interrupted);
        status = written.str();
        return exit;
    };
    std::string status;
    ASSERT_EQ(send("Ada <ada@found.test>", status), ExitAccepted) << status;
    EXPECT_EQ(asked, std::vector<std::string>{"ada@found.test at " + Server()});
    const auto message = m_smtp->Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_NE(message->Tls, "");
    EXPECT_EQ(message->Auth, "PLAIN ada@found.test");
    EXPECT_EQ(message->EnvelopeFrom, "ada@found.test");
    EXPECT_EQ(message->Header("Subject"), "Found");
    std::size_t at = 0;
    for (const std::string& line :
         {"Looking up the mail server for found.test . . .\n"s, Server() + ", SSL/TLS, user ada@found.test",
          "Connecting " + Server() + " . . .\n", "Signing in as ada@found.test . . .\n"s}) {
        at = status.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << status;
    }

    EXPECT_EQ(send("jo@nothing.test", status), ExitFailed);
    EXPECT_TRUE(status.ends_with("No mail server found for nothing.test: type it into Smtp.\n")) << status;
    EXPECT_EQ(asked.size(), 1u);  // nothing found, nothing read, nothing connected
    EXPECT_FALSE(m_smtp->Message(2).has_value());
}

}  // namespace
}  // namespace corvane::send
