// Checking a server's settings against real aiosmtpd servers on loopback: the lines of each
// step in order, a refused or missing password, a certificate for another name (refused, and
// trusted on purpose), a port that refuses and one Smtp cannot name; and a check stopped
// while the server keeps silent.

#include "account/ServerCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "EventLoop.h"
#include "LoopbackSmtpServers.h"

namespace corvane::account {
namespace {

using namespace std::chrono_literals;
using test::RunEventsFor;
using test::RunEventsUntil;
using ESecurity = mail::ESecurity;

struct TReport {
    std::vector<std::string> Lines;
    int Done = 0;
    bool Works = false;
};

void Listen(TServerCheck& check, TReport& report) {
    check.OnLine = [&report](TServerCheck&, const std::string& line) { report.Lines.push_back(line); };
    check.OnDone = [&report](TServerCheck&, bool works) {
        ++report.Done;
        report.Works = works;
    };
}

class ServerCheck : public test::TLoopbackSmtpServers {
protected:
    std::string Server(const std::string& label) const {
        const TProbeCandidate& server = m_candidates.at(label);
        return server.Host + ":" + std::to_string(server.Port);
    }
};

// What each line of a good implicit TLS or STARTTLS session says before the sign-in.
const std::vector<std::string> Encrypted{
    R"(Connected to 127\.0\.0\.1:\d+\.)",
    R"(Encryption started: TLSv1\.[23], cipher \w+\.)",
    R"(Certificate: CN=loopback, valid until \d{4}-\d\d-\d\d \d\d:\d\d:\d\d UTC\.)",
    // AUTH comes only inside TLS: these are the offers after the handshake.
    R"(The server offers: .*AUTH LOGIN PLAIN.*\.)",
};

std::vector<std::string> Then(std::vector<std::string> lines, const std::vector<std::string>& more) {
    lines.insert(lines.end(), more.begin(), more.end());
    return lines;
}

TEST_F(ServerCheck, ReportsEachStepInOrderAndWhetherTheSettingsWork) {
    const struct {
        std::string Server;  // a label of the fixture, or the Smtp text itself
        TServerSettings Settings;
        std::string Password;
        std::vector<std::string> Lines;  // patterns, one a line
        bool Works;
    } cases[] = {
        {"tls", {ESecurity::Tls, "jo", true, ""}, "secret",
         Then(Encrypted, {R"(Signed in as jo\.)", R"(These settings work\.)"}), true},
        {"starttls", {ESecurity::StartTls, "jo", true, ""}, "secret",
         Then(Encrypted, {R"(Signed in as jo\.)", R"(These settings work\.)"}), true},
        {"tls", {ESecurity::Tls, "jo", true, ""}, "wrong",
         Then(Encrypted, {R"(The server refused signing in as jo: 535 .*credentials invalid.*)",
                          R"(These settings do not work\.)"}),
         false},
        {"tls", {ESecurity::Tls, "jo", true, ""}, "",
         Then(Encrypted, {R"(No password known: signing in was not tried\.)",
                          R"(The connection works; signing in was not tried without a password\.)"}),
         true},
        {"wrong name", {ESecurity::Tls, "", true, ""}, "",
         {R"(Connected to 127\.0\.0\.1:\d+\.)", R"(Certificate: CN=other-name, valid until .* UTC\.)",
          R"(Error: 108 The certificate of 127\.0\.0\.1 cannot be trusted: it was issued for another name\.)",
          R"(These settings do not work\.)"},
         false},
        {"wrong name", {ESecurity::Tls, "", true, test::TTestCertificates::Shared().OtherName.Sha256Fingerprint}, "",
         {R"(Connected to 127\.0\.0\.1:\d+\.)", R"(Encryption started: .*)",
          R"(Certificate \(trusted on purpose\): CN=other-name, valid until .*)", R"(The server offers: .*)",
          R"(No user name: signing in was not tried\.)", R"(These settings work\.)"},
         true},
        {"refusing", {ESecurity::Tls, "jo", true, ""}, "secret",
         {R"(Error: 101 Failed to connect the mail server\. 127\.0\.0\.1:\d+: connection refused\.)",
          R"(These settings do not work\.)"},
         false},
        {"127.0.0.1:70000", {ESecurity::Tls, "", true, ""}, "",
         {R"(Invalid port "70000" in Smtp: a port is a number from 1 to 65535\.)", R"(These settings do not work\.)"},
         false},
    };
    for (const auto& expected : cases) {
        const std::string server = m_candidates.contains(expected.Server) ? Server(expected.Server) : expected.Server;
        const std::string label = expected.Server + " with password \"" + expected.Password + "\"";
        TServerCheck check(10s);
        TReport report;
        Listen(check, report);
        check.Start(server, expected.Settings, expected.Password);
        EXPECT_TRUE(check.Running()) << label;
        EXPECT_TRUE(report.Lines.empty()) << label;  // never from inside Start
        ASSERT_TRUE(RunEventsUntil([&] { return report.Done > 0; }, 15s)) << label;
        RunEventsFor(100ms);
        EXPECT_EQ(report.Done, 1) << label;
        EXPECT_EQ(report.Works, expected.Works) << label;
        EXPECT_FALSE(check.Running()) << label;
        ASSERT_EQ(report.Lines.size(), expected.Lines.size()) << label << ": " << ::testing::PrintToString(report.Lines);
        for (std::size_t i = 0; i < expected.Lines.size(); ++i) {
            EXPECT_TRUE(std::regex_match(report.Lines[i], std::regex(expected.Lines[i])))
                << label << ", line " << i << ": " << report.Lines[i];
            if (!expected.Password.empty()) {
                EXPECT_EQ(report.Lines[i].find(expected.Password), std::string::npos) << label << ", line " << i;
            }
        }
    }
}

// The server never answers the connect; the check's own time limit would end it within the
// wait below, so any line after Cancel or the destruction would be seen.
TEST_F(ServerCheck, StopsWithinItsBoundAndReportsNothingAfterCancelOrDestruction) {
    constexpr auto timeout = 1s;
    for (const bool destroy : {false, true}) {
        auto check = std::make_unique<TServerCheck>(timeout);
        TReport report;
        Listen(*check, report);
        check->Start(Server("silent"), {ESecurity::StartTls, "jo", true, ""}, "secret");
        RunEventsFor(300ms);
        const auto start = std::chrono::steady_clock::now();
        if (destroy) {
            check.reset();
        } else {
            check->Cancel();
            EXPECT_FALSE(check->Running());
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, TServerCheck::ReleaseLimit) << destroy;
        RunEventsFor(timeout + 1s);
        EXPECT_TRUE(report.Lines.empty()) << destroy << ": " << ::testing::PrintToString(report.Lines);
        EXPECT_EQ(report.Done, 0) << destroy;
    }
}

}  // namespace
}  // namespace corvane::account
