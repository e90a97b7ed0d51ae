// The whole search for an address against loopback stand-ins for every source at once: the
// provider table, an HTTPS server with a configuration document, a DNS server with SRV and
// MX records, and aiosmtpd for probing. Each domain is known to one source, or to two, where
// the earlier must win; one is known to none.

#include "account/ServerFinder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "AiosmtpdServer.h"
#include "EventLoop.h"
#include "HttpsAutoconfigServer.h"
#include "LoopbackDns.h"
#include "LoopbackPorts.h"
#include "TempFolder.h"
#include "TestCertificates.h"

namespace corvane::account {
namespace {

using namespace std::chrono_literals;

constexpr const char* Zone = R"(
_submissions._tcp.srv.test.   60 IN SRV 0 1 465 smtp.srv.test.
_submissions._tcp.both.test.  60 IN SRV 0 1 465 smtp.both.test.
workspace.test.               60 IN MX 10 aspmx.l.google.com.
elsewhere.test.               60 IN MX 10 mx.elsewhere.test.
)";

constexpr const char* Document =
    "<clientConfig version=\"1.1\"><emailProvider id=\"auto.test\"><domain>auto.test</domain>"
    "<outgoingServer type=\"smtp\"><hostname>mail.auto.test</hostname><port>587</port>"
    "<socketType>STARTTLS</socketType><username>%EMAILLOCALPART%</username>"
    "<authentication>password-cleartext</authentication></outgoingServer>"
    // Where the copies of sent mail go: the first encrypted IMAP server with the same user.
    "<incomingServer type=\"imap\"><hostname>plain.auto.test</hostname><port>143</port><socketType>plain</socketType>"
    "<username>%EMAILLOCALPART%</username></incomingServer>"
    "<incomingServer type=\"imap\"><hostname>other.auto.test</hostname><port>993</port><socketType>SSL</socketType>"
    "<username>%EMAILADDRESS%</username></incomingServer>"
    "<incomingServer type=\"imap\"><hostname>imap.auto.test</hostname><port>143</port><socketType>STARTTLS</socketType>"
    "<username>%EMAILLOCALPART%</username></incomingServer></emailProvider></clientConfig>";

class ServerFinder : public ::testing::Test {
protected:
    void SetUp() override {
        const auto& certificates = test::TTestCertificates::Shared();
        ASSERT_TRUE(certificates.Made()) << certificates.Problem();
        CORVANE_REQUIRE_LOOPBACK_DNS(m_dns);
        m_trust.emplace(certificates.CaFile);
        m_https.emplace(certificates.Loopback.Certificate, certificates.Loopback.Key,
                        m_folder.WriteFile("config.xml", Document));
        ASSERT_TRUE(m_https->Running()) << m_https->Problem();
        test::TAiosmtpdOptions tls;
        tls.Security = test::TAiosmtpdOptions::ESecurity::ImplicitTls;
        tls.CertificateFile = certificates.Loopback.Certificate;
        tls.KeyFile = certificates.Loopback.Key;
        m_smtp.emplace(tls);
        ASSERT_TRUE(m_smtp->Running()) << m_smtp->Problem();

        m_options.Dns = {m_dns.Address(), 3s};
        // Every name the documents are asked under goes to loopback; any other is never asked.
        for (const char* domain : {"auto.test", "both.test"}) {
            m_options.Autoconfig.Endpoints["autoconfig." + std::string(domain)] = m_https->Base("document");
        }
        m_options.Autoconfig.TrustedAuthorities = QSslCertificate::fromPath(QString::fromStdString(certificates.CaFile.string()));
        m_options.Autoconfig.Deadline = 3s;
        m_options.ProbeDeadline = 3s;
        m_options.Candidates = [this](const std::string& domain) {
            // Only probe.test answers; the others are tried on a port that refuses.
            const bool answers = domain == "probe.test";
            return std::vector<TProbeCandidate>{{answers ? m_smtp->Host() : m_refusing.Host(),
                                                 std::stoi(answers ? m_smtp->Port() : m_refusing.Port()),
                                                 mail::ESecurity::Tls}};
        };
    }

    test::TTempFolder m_folder;
    // Never answered: a search for silent.test waits in its SRV step until the DNS deadline.
    test::TLoopbackDns m_dns{Zone, {"_submissions._tcp.silent.test", "_submission._tcp.silent.test"}};
    std::optional<test::TTrustOnly> m_trust;
    std::optional<test::THttpsAutoconfigServer> m_https;
    std::optional<test::TAiosmtpdServer> m_smtp;
    test::TRefusingPort m_refusing;
    TFinderOptions m_options;
};

TEST_F(ServerFinder, TheFirstSourceThatAnswersWins) {
    const struct {
        const char* Address;
        std::string Found;  // Describe(proposal), or the text when nothing was found
        std::string Imap = "";  // the IMAP server the source names for copies of sent mail
    } cases[] = {
        {"Jo@GMail.com", "smtp.gmail.com:465, SSL/TLS, user Jo@GMail.com (from the provider table: Google Mail)"},
        {"jo@auto.test",
         "mail.auto.test:587, STARTTLS, user jo (from the provider's configuration document: "
         "https://autoconfig.auto.test/mail/config-v1.1.xml?emailaddress=jo%40auto.test)",
         "imap.auto.test:143"},
        // A document and an SRV record: the document is asked first.
        {"jo@both.test",
         "mail.auto.test:587, STARTTLS, user jo (from the provider's configuration document: "
         "https://autoconfig.both.test/mail/config-v1.1.xml?emailaddress=jo%40both.test)",
         "imap.auto.test:143"},
        {"jo@srv.test",
         "smtp.srv.test:465, SSL/TLS, user jo@srv.test (from the domain's SRV record: "
         "_submissions._tcp.srv.test SRV 0 1 465 smtp.srv.test)"},
        {"jo@workspace.test",
         "smtp.gmail.com:465, SSL/TLS, user jo@workspace.test (from the domain's mail exchangers: "
         "Google Mail, mail exchanger aspmx.l.google.com)"},
        {"jo@probe.test", "127.0.0.1:" + m_smtp->Port() +
                                  ", SSL/TLS, user jo@probe.test (from a server that answered: a trusted certificate, no AUTH)"},
        {"jo@elsewhere.test", "No mail server found for elsewhere.test: type it into Smtp."},
        {"not an address", "No mail server found for : type it into Smtp."},
    };
    TServerFinder finder(m_options);
    for (const auto& expected : cases) {
        std::optional<TFinderResult> result;
        finder.OnDone = [&result](TServerFinder&, const TFinderResult& found) { result = found; };
        finder.Start(expected.Address);
        ASSERT_TRUE(test::RunEventsUntil([&] { return result.has_value(); }, 20s)) << expected.Address;
        EXPECT_EQ(result->Found ? Describe(*result->Found) : result->Text, expected.Found) << expected.Address;
        EXPECT_EQ(result->Found ? result->Found->ImapServer : "", expected.Imap) << expected.Address;
        EXPECT_FALSE(finder.Running());
    }
}

TEST_F(ServerFinder, CancelEndsTheSearchWithoutAWord) {
    TServerFinder finder(m_options);
    int reports = 0;
    finder.OnDone = [&reports](TServerFinder&, const TFinderResult&) { ++reports; };
    finder.Start("jo@gmail.com");  // answered at once, from the table: the report is queued
    finder.Cancel();
    finder.Start("jo@silent.test");
    test::RunEventsFor(300ms);
    EXPECT_TRUE(finder.Running());
    finder.Cancel();
    EXPECT_FALSE(finder.Running());
    test::RunEventsFor(m_options.Dns.Deadline + 500ms);
    EXPECT_EQ(reports, 0);
}

}  // namespace
}  // namespace corvane::account
