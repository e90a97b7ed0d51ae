// The autoconfig lookup against a real HTTPS server on loopback (Python's http.server, with
// throw-away certificates): every name the lookup asks is mapped to 127.0.0.1, so nothing
// leaves the machine, not even a DNS query.

#include "account/AutoconfigLookup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "EventLoop.h"
#include "HttpsAutoconfigServer.h"
#include "TempFolder.h"
#include "TestCertificates.h"

namespace corvane::account {

// For gtest's messages: the names, not the bytes.
void PrintTo(EAutoconfigEnd end, std::ostream* out) {
    static constexpr const char* Names[] = {"Found",       "Refused",  "Unavailable", "Insecure",
                                            "Certificate", "TooLarge", "TimedOut",    "NotAsked"};
    *out << Names[static_cast<int>(end)];
}

namespace {

using namespace std::chrono_literals;
using EEnd = EAutoconfigEnd;
using TMilliseconds = std::chrono::milliseconds;

constexpr const char* Address = "jo@example.test";
constexpr const char* FirstUrl = "https://autoconfig.example.test/mail/config-v1.1.xml?emailaddress=jo%40example.test";
constexpr const char* SecondUrl = "https://example.test/.well-known/autoconfig/mail/config-v1.1.xml";
constexpr const char* Document =
    "<clientConfig version=\"1.1\"><emailProvider id=\"example.test\"><domain>example.test</domain>"
    "<outgoingServer type=\"smtp\"><hostname>smtp.%EMAILDOMAIN%</hostname><port>465</port>"
    "<socketType>SSL</socketType><username>%EMAILADDRESS%</username>"
    "<authentication>password-cleartext</authentication></outgoingServer></emailProvider></clientConfig>";
// Beyond this the lookup has failed its own limits; every wait of this test ends by then.
constexpr TMilliseconds Slack = 4000ms;

// AddressSanitizer keeps freed memory aside for a while, so under it the peak counts every
// allocation rather than what was held at once.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool PeakIsWhatIsHeld = false;
#else
constexpr bool PeakIsWhatIsHeld = true;
#endif

// The most memory this process has held at once, in KiB.
long PeakKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return -1;
}

struct TRun {
    std::optional<TAutoconfigOutcome> Outcome;
    TMilliseconds Took{};
};

// Runs one lookup on the event loop until it is done, or Limit has passed.
TRun Look(TAutoconfigLookup& lookup, TMilliseconds limit) {
    TRun run;
    lookup.OnDone = [&](TAutoconfigLookup&, const TAutoconfigOutcome& outcome) { run.Outcome = outcome; };
    const auto started = std::chrono::steady_clock::now();
    lookup.Start(Address);
    test::RunEventsUntil([&] { return run.Outcome.has_value(); }, limit);
    run.Took = std::chrono::duration_cast<TMilliseconds>(std::chrono::steady_clock::now() - started);
    return run;
}

// One server with the test CA's certificate, one whose certificate nobody here vouches for.
class AutoconfigLookup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_certificates.Made()) << m_certificates.Problem();
        ASSERT_TRUE(m_trusted.Running()) << m_trusted.Problem();
        ASSERT_TRUE(m_untrusted.Running()) << m_untrusted.Problem();
    }

    TAutoconfigOptions Options(bool untrusted, const char* first, const char* second) const {
        const auto& server = untrusted ? m_untrusted : m_trusted;
        TAutoconfigOptions options;
        options.Deadline = 10s;
        options.RequestTimeout = 5s;
        options.Endpoints = {{"autoconfig.example.test", server.Base(first)}, {"example.test", server.Base(second)}};
        options.TrustedAuthorities = QSslCertificate::fromPath(QString::fromStdString(m_certificates.CaFile.string()));
        return options;
    }

    const test::TTestCertificates& m_certificates = test::TTestCertificates::Shared();
    test::TTempFolder m_folder;
    const std::filesystem::path m_document = m_folder.WriteFile("config-v1.1.xml", Document);
    test::THttpsAutoconfigServer m_trusted{m_certificates.Loopback.Certificate, m_certificates.Loopback.Key, m_document};
    test::THttpsAutoconfigServer m_untrusted{m_certificates.UnknownIssuer.Certificate, m_certificates.UnknownIssuer.Key,
                                             m_document};
};

TEST_F(AutoconfigLookup, TakesTheFirstDocumentThatReadsAndNothingUnsafe) {
    const struct {
        const char* What;
        const char* First;  // what the server answers for each URL (https_autoconfig.py)
        const char* Second;
        bool Untrusted;
        TMilliseconds Deadline;
        TMilliseconds RequestTimeout;
        std::vector<EEnd> Ends;
    } cases[] = {
        {"found at the first URL", "document", "document", false, 10s, 5s, {EEnd::Found}},
        {"404, then found at the second", "missing", "document", false, 10s, 5s, {EEnd::Unavailable, EEnd::Found}},
        {"a redirect to http", "redirect-http", "missing", false, 10s, 5s, {EEnd::Insecure, EEnd::Unavailable}},
        {"a stalled request ends at its limit", "stall", "document", false, 10s, 700ms, {EEnd::TimedOut, EEnd::Found}},
        {"the lookup ends at its deadline", "stall", "document", false, 1s, 10s, {EEnd::TimedOut}},
        {"50 MB, without and with a length", "huge", "huge-declared", false, 10s, 5s, {EEnd::TooLarge, EEnd::TooLarge}},
        {"a certificate from an unknown CA", "document", "document", true, 10s, 5s,
         {EEnd::Certificate, EEnd::Certificate}},
    };
    const long peakBefore = PeakKilobytes();
    for (const auto& row : cases) {
        TAutoconfigOptions options = Options(row.Untrusted, row.First, row.Second);
        options.Deadline = row.Deadline;
        options.RequestTimeout = row.RequestTimeout;
        TAutoconfigLookup lookup(options);
        const TRun run = Look(lookup, row.Deadline + Slack);
        ASSERT_TRUE(run.Outcome) << row.What << ": no end after " << run.Took.count() << " ms";
        EXPECT_LT(run.Took, row.Deadline + 2000ms) << row.What;
        std::vector<EEnd> ends;
        for (const auto& attempt : run.Outcome->Attempts) {
            ends.push_back(attempt.End);
        }
        EXPECT_EQ(ends, row.Ends) << row.What << ": last detail: " << run.Outcome->Attempts.back().Detail;
        const bool found = row.Ends.back() == EEnd::Found;
        EXPECT_EQ(run.Outcome->Found, found) << row.What;
        if (found) {
            const auto& smtp = run.Outcome->Document.Smtp;
            ASSERT_EQ(smtp.size(), 1u) << row.What;
            EXPECT_EQ(Describe(smtp[0]), std::string("smtp.example.test:465, SSL/TLS, user jo@example.test (from the "
                                                     "provider's configuration document: ") +
                                             (row.Ends.size() == 1 ? FirstUrl : SecondUrl) + ")")
                << row.What;
        }
        // The capped answers were 50 MB each; what the lookup held stays far below that.
        if (PeakIsWhatIsHeld) {
            EXPECT_LT(PeakKilobytes() - peakBefore, 16 * 1024) << row.What;
        }
    }
}

TEST_F(AutoconfigLookup, NothingIsReportedAfterCancel) {
    TAutoconfigOptions options = Options(false, "stall", "document");
    options.RequestTimeout = 1000ms;
    TAutoconfigLookup lookup(options);
    bool done = false;
    lookup.OnDone = [&](TAutoconfigLookup&, const TAutoconfigOutcome&) { done = true; };
    lookup.Start(Address);
    EXPECT_TRUE(lookup.Running());
    test::RunEventsFor(200ms);
    lookup.Cancel();
    test::RunEventsFor(1300ms);
    EXPECT_FALSE(done);
    EXPECT_FALSE(lookup.Running());

    // And the same lookup can be started again.
    const TRun again = Look(lookup, 10s);
    ASSERT_TRUE(again.Outcome);
    EXPECT_TRUE(again.Outcome->Found);
}

TEST(AutoconfigUrls, AskTheProviderInOrderWithTheAddressEncoded) {
    EXPECT_EQ(AutoconfigUrls("jo+tag@Example.ORG"),
              (std::vector<std::string>{
                  "https://autoconfig.example.org/mail/config-v1.1.xml?emailaddress=jo%2Btag%40Example.ORG",
                  "https://example.org/.well-known/autoconfig/mail/config-v1.1.xml"}));
    EXPECT_EQ(AutoconfigUrls("jo@b\xC3\xBC" "cher.example"),
              (std::vector<std::string>{
                  "https://autoconfig.xn--bcher-kva.example/mail/config-v1.1.xml?emailaddress=jo%40b%C3%BCcher.example",
                  "https://xn--bcher-kva.example/.well-known/autoconfig/mail/config-v1.1.xml"}));
    EXPECT_TRUE(AutoconfigUrls("jo@[192.0.2.1]").empty());
    EXPECT_TRUE(AutoconfigUrls("jo@example.org&x=1").empty());
    EXPECT_TRUE(AutoconfigUrls("no address").empty());
}

}  // namespace
}  // namespace corvane::account
