// Probing: the sign-in kinds read from an AUTH line, and whole probes against real aiosmtpd
// servers on loopback (TLS, STARTTLS, a certificate for another name), a port that refuses
// and one that never answers, with the test CA as the only trusted one.

#include "account/ServerProbe.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
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

TEST(SignInKinds, FromTheMechanismsOfTheAuthLine) {
    const struct {
        const char* AuthLine;
        std::vector<ESignIn> Kinds;
    } cases[] = {
        {"250 AUTH PLAIN LOGIN", {ESignIn::Password}},
        {"250 AUTH LOGIN", {ESignIn::Password}},
        {"250 AUTH PLAIN XOAUTH2", {ESignIn::OAuth2, ESignIn::Password}},
        {"250 AUTH OAUTHBEARER", {ESignIn::OAuth2}},
        {"250 AUTH CRAM-MD5", {}},
        {"250 8BITMIME", {}},
    };
    for (const auto& [authLine, kinds] : cases) {
        EXPECT_EQ(SignInKinds(mail::TCapabilities::FromEhloReply({"250-mail.example.org", authLine})), kinds)
            << authLine;
    }
}

class ServerProbe : public test::TLoopbackSmtpServers {};

struct TReport {
    int Count = 0;
    std::optional<TServerProposal> Found;
};

void Listen(TServerProbe& probe, TReport& report) {
    probe.OnDone = [&report](TServerProbe&, const std::optional<TServerProposal>& found) {
        ++report.Count;
        report.Found = found;
    };
}

TEST_F(ServerProbe, TheBestCandidateWithATrustedCertificateWins) {
    constexpr auto deadline = 3s;
    const struct {
        std::vector<std::string> Tried;  // best first
        std::optional<std::string> Winner;
        bool AtTheDeadline;  // a better candidate never answers, so only the deadline decides
    } cases[] = {
        {{"wrong name", "refusing", "tls", "starttls"}, "tls", false},
        {{"refusing", "starttls", "tls"}, "starttls", false},
        {{"wrong name", "refusing"}, std::nullopt, false},
        {{"silent", "tls"}, "tls", true},
    };
    for (const auto& expected : cases) {
        const std::string tried = ::testing::PrintToString(expected.Tried);
        TServerProbe probe(deadline);
        TReport report;
        Listen(probe, report);
        const auto start = std::chrono::steady_clock::now();
        probe.Start(Candidates(expected.Tried));
        ASSERT_TRUE(RunEventsUntil([&] { return report.Count > 0; }, deadline + 2s)) << tried;
        const auto elapsed = std::chrono::steady_clock::now() - start;
        EXPECT_LT(elapsed, deadline + 1s) << tried;
        EXPECT_EQ(elapsed >= deadline, expected.AtTheDeadline) << tried;
        if (!expected.Winner) {
            EXPECT_FALSE(report.Found) << tried << ": " << Describe(*report.Found);
            continue;
        }
        ASSERT_TRUE(report.Found) << tried;
        const TProbeCandidate& winner = m_candidates.at(*expected.Winner);
        EXPECT_EQ(report.Found->Port, winner.Port) << tried;
        EXPECT_EQ(report.Found->Security, winner.Security) << tried;
        EXPECT_EQ(report.Found->Source, ESource::Probe) << tried;
        // aiosmtpd offers AUTH only inside TLS: these come from the EHLO after the handshake.
        EXPECT_EQ(report.Found->SignIn, std::vector{ESignIn::Password}) << tried;
        EXPECT_EQ(report.Found->SourceDetail, "a trusted certificate, AUTH LOGIN PLAIN") << tried;
    }
}

TEST_F(ServerProbe, NothingIsReportedAfterCancelOrDestruction) {
    constexpr auto deadline = 2s;
    const auto candidates = Candidates({"silent", "tls"});
    TReport cancelled;
    TReport destroyed;
    TServerProbe probe(deadline);
    Listen(probe, cancelled);
    probe.Start(candidates);
    auto doomed = std::make_unique<TServerProbe>(deadline);
    Listen(*doomed, destroyed);
    doomed->Start(candidates);
    RunEventsFor(300ms);  // "tls" has answered; "silent" keeps both undecided

    auto start = std::chrono::steady_clock::now();
    probe.Cancel();
    EXPECT_LT(std::chrono::steady_clock::now() - start, TServerProbe::ReleaseLimit);
    EXPECT_FALSE(probe.Running());
    start = std::chrono::steady_clock::now();
    doomed.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, TServerProbe::ReleaseLimit);
    RunEventsFor(deadline + 500ms);
    EXPECT_EQ(cancelled.Count, 0);
    EXPECT_EQ(destroyed.Count, 0);

    // Started again, it reports once.
    probe.Start(Candidates({"tls"}));
    ASSERT_TRUE(RunEventsUntil([&] { return cancelled.Count > 0; }, deadline + 1s));
    RunEventsFor(200ms);
    EXPECT_EQ(cancelled.Count, 1);
    EXPECT_TRUE(cancelled.Found);
}

}  // namespace
}  // namespace corvane::account
