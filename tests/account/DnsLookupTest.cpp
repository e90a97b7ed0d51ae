// The SRV and MX lookups against a DNS server of the test's own on a loopback address
// (loopback_dns.py, with Debian's python3-dnslib): the proposals and their order, a "."
// that says there is no service, the deadline of a name never answered, and Cancel.

#include "account/DnsLookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "EventLoop.h"
#include "LoopbackDns.h"

namespace corvane::account {
namespace {

using namespace std::chrono_literals;
using test::RunEventsFor;
using test::RunEventsUntil;

constexpr const char* Zone = R"(
_submissions._tcp.both.test.      60 IN SRV 0 1 465 light.both.test.
_submissions._tcp.both.test.      60 IN SRV 10 50 465 backup.both.test.
_submissions._tcp.both.test.      60 IN SRV 0 9 1465 heavy.both.test.
_submission._tcp.both.test.       60 IN SRV 5 0 587 smtp.both.test.
_submissions._tcp.starttls.test.  60 IN SRV 0 1 465 .
_submission._tcp.starttls.test.   60 IN SRV 0 0 587 submit.starttls.test.
_submissions._tcp.noservice.test. 60 IN SRV 0 0 0 .
_submission._tcp.noservice.test.  60 IN SRV 0 0 0 .
both.test.                        60 IN MX 20 mx2.both.test.
both.test.                        60 IN MX 30 relay.example.
both.test.                        60 IN MX 10 mx1.both.test.
both.test.                        60 IN MX 20 aa.both.test.
nullmx.test.                      60 IN MX 0 .
)";
constexpr const char* SilentNames[] = {"_submissions._tcp.silent.test", "_submission._tcp.silent.test", "silent.test"};

class DnsLookup : public ::testing::Test {
protected:
    void SetUp() override {
        CORVANE_REQUIRE_LOOPBACK_DNS(m_server);
        m_options.Nameserver = m_server.Address();
    }

    test::TLoopbackDns m_server{Zone, std::vector<std::string>(std::begin(SilentNames), std::end(SilentNames))};
    TDnsOptions m_options{QHostAddress(), 5s};
};

template <class TItem>
struct TReport {
    int Count = 0;
    EDnsOutcome Outcome = EDnsOutcome::Failed;
    std::vector<TItem> Items;
    std::string Problem;
};

template <class TLookup, class TItem>
void Listen(TLookup& lookup, TReport<TItem>& report) {
    lookup.OnDone = [&report](TLookup&, EDnsOutcome outcome, const std::vector<TItem>& items) {
        ++report.Count;
        report.Outcome = outcome;
        report.Items = items;
    };
}

// Looks Domain up with a lookup of its own and waits for its report.
template <class TLookup, class TItem>
TReport<TItem> LookUp(const TDnsOptions& options, const std::string& domain) {
    TLookup lookup(options);
    TReport<TItem> report;
    Listen(lookup, report);
    lookup.Start(domain);
    RunEventsUntil([&] { return report.Count > 0; }, 10s);
    report.Problem = lookup.Problem();
    return report;
}

std::vector<std::string> Described(const std::vector<TServerProposal>& proposals) {
    std::vector<std::string> described;
    for (const auto& proposal : proposals) {
        described.push_back(Describe(proposal));
    }
    return described;
}

TEST_F(DnsLookup, SubmissionServersImplicitTlsFirstThenByPriorityAndWeight) {
    const struct {
        const char* Domain;
        EDnsOutcome Outcome;
        std::vector<std::string> Proposals;
    } cases[] = {
        {"both.test",
         EDnsOutcome::Found,
         {"heavy.both.test:1465, SSL/TLS (from the domain's SRV record: _submissions._tcp.both.test SRV 0 9 1465 heavy.both.test)",
          "light.both.test:465, SSL/TLS (from the domain's SRV record: _submissions._tcp.both.test SRV 0 1 465 light.both.test)",
          "backup.both.test:465, SSL/TLS (from the domain's SRV record: _submissions._tcp.both.test SRV 10 50 465 backup.both.test)",
          "smtp.both.test:587, STARTTLS (from the domain's SRV record: _submission._tcp.both.test SRV 5 0 587 smtp.both.test)"}},
        {"starttls.test",
         EDnsOutcome::Found,
         {"submit.starttls.test:587, STARTTLS (from the domain's SRV record: _submission._tcp.starttls.test SRV 0 0 587 submit.starttls.test)"}},
        {"noservice.test", EDnsOutcome::NotFound, {}},
        {"nowhere.test", EDnsOutcome::NotFound, {}},
    };
    for (const auto& expected : cases) {
        const auto report = LookUp<TSrvLookup, TServerProposal>(m_options, expected.Domain);
        ASSERT_EQ(report.Count, 1) << expected.Domain;
        EXPECT_EQ(report.Outcome, expected.Outcome) << expected.Domain << ": " << report.Problem;
        EXPECT_EQ(Described(report.Items), expected.Proposals) << expected.Domain;
    }
}

TEST_F(DnsLookup, MailExchangersByPreference) {
    const struct {
        const char* Domain;
        EDnsOutcome Outcome;
        std::vector<std::string> Hosts;
    } cases[] = {
        {"both.test", EDnsOutcome::Found, {"mx1.both.test", "aa.both.test", "mx2.both.test", "relay.example"}},
        {"nullmx.test", EDnsOutcome::NotFound, {}},
        {"nowhere.test", EDnsOutcome::NotFound, {}},
    };
    for (const auto& expected : cases) {
        const auto report = LookUp<TMxLookup, std::string>(m_options, expected.Domain);
        ASSERT_EQ(report.Count, 1) << expected.Domain;
        EXPECT_EQ(report.Outcome, expected.Outcome) << expected.Domain << ": " << report.Problem;
        EXPECT_EQ(report.Items, expected.Hosts) << expected.Domain;
    }
}

TEST_F(DnsLookup, TheDeadlineEndsALookupNeverAnswered) {
    constexpr auto deadline = 400ms;
    m_options.Deadline = deadline;
    TSrvLookup srv(m_options);
    TMxLookup mx(m_options);
    TReport<TServerProposal> srvReport;
    TReport<std::string> mxReport;
    Listen(srv, srvReport);
    Listen(mx, mxReport);
    const auto start = std::chrono::steady_clock::now();
    srv.Start("silent.test");
    mx.Start("silent.test");
    ASSERT_TRUE(RunEventsUntil([&] { return srvReport.Count > 0 && mxReport.Count > 0; }, 5s));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, deadline);
    EXPECT_LT(elapsed, deadline + 1500ms);
    EXPECT_EQ(srvReport.Outcome, EDnsOutcome::TimedOut);
    EXPECT_EQ(mxReport.Outcome, EDnsOutcome::TimedOut);
    EXPECT_EQ(srv.Problem(), "The name server did not answer in time.");
    EXPECT_FALSE(srv.Running());
    RunEventsFor(deadline);
    EXPECT_EQ(srvReport.Count, 1);
    EXPECT_EQ(mxReport.Count, 1);
}

TEST_F(DnsLookup, NothingIsReportedAfterCancelOrDestruction) {
    TDnsOptions soon = m_options;
    soon.Deadline = 300ms;
    TReport<TServerProposal> cancelled;
    TReport<TServerProposal> cancelledLate;
    TReport<std::string> destroyed;
    TSrvLookup answered(m_options);
    Listen(answered, cancelled);
    answered.Start("both.test");
    answered.Cancel();
    EXPECT_FALSE(answered.Running());
    TSrvLookup silent(soon);
    Listen(silent, cancelledLate);
    silent.Start("silent.test");
    {
        TMxLookup mx(m_options);
        Listen(mx, destroyed);
        mx.Start("both.test");
    }
    RunEventsFor(100ms);
    silent.Cancel();
    RunEventsFor(soon.Deadline + 300ms);
    EXPECT_EQ(cancelled.Count, 0);
    EXPECT_EQ(cancelledLate.Count, 0);
    EXPECT_EQ(destroyed.Count, 0);

    // A cancelled lookup can be started again, and then reports once. (Its deadline is long:
    // Qt runs five queries at once, and those of unanswered names hold their places until the
    // resolver gives up.)
    answered.Start("starttls.test");
    ASSERT_TRUE(RunEventsUntil([&] { return cancelled.Count > 0; }, 10s));
    RunEventsFor(soon.Deadline);
    EXPECT_EQ(cancelled.Count, 1);
    EXPECT_EQ(cancelled.Outcome, EDnsOutcome::Found);
}

}  // namespace
}  // namespace corvane::account
