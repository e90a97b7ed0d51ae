// Encryption and sign-in in the dialogue, read as transcripts through the in-memory socket,
// whose StartTls is scripted: the exact bytes before and after the handshake, where the
// handshake happens, and every way it can go wrong without a byte of credentials leaking.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "MemorySocket.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {
namespace {

using namespace std::chrono_literals;
using test::TMemorySocket;

const std::string Greeting = "220 mail.test ESMTP\r\n";
const std::string OffersTls = "250-mail.test\r\n250 STARTTLS\r\n";
const std::string OffersAuth = "250-mail.test\r\n250 AUTH LOGIN PLAIN\r\n";
const std::string Accepting = "250 ok\r\n250 ok\r\n354 go\r\n250 queued\r\n221 bye\r\n";
const std::string Ehlo = "EHLO client.test\r\n";
// RFC 4616: NUL "ann" NUL "s3cret" in Base64.
const std::string AuthPlain = "AUTH PLAIN AGFubgBzM2NyZXQ=\r\n";

struct TRun {
    std::string Written;
    std::vector<std::string> Events;
    std::vector<TMemorySocket::TStartTlsCall> Handshakes;
    bool Sent = false;
    bool Aborted = false;
    net::TCertificateInfo Certificate;
};

using TSetUp = std::function<void(TWrenSMTP&, TMemorySocket&)>;

TRun RunSession(ESecurity security, std::vector<std::string> replies, const TSetUp& setUp = {}) {
    auto owned = std::make_unique<TMemorySocket>();
    TMemorySocket& wire = *owned;
    TWrenSMTP smtp(std::move(owned));
    smtp.LocalHostName = [] { return std::string("client.test"); };
    smtp.Host = "mail.test";
    smtp.Security = security;
    smtp.UserName = "ann";
    smtp.Password = "s3cret";
    TRun run;
    smtp.OnError = [&run](TWrenSMTP&, int code, const std::string& text) {
        run.Events.push_back("OnError " + std::to_string(code) + " " + text);
    };
    smtp.OnStartEncryption = [&run](TWrenSMTP&) { run.Events.push_back("OnStartEncryption"); };
    smtp.OnSignIn = [&run](TWrenSMTP&) { run.Events.push_back("OnSignIn"); };
    for (auto& reply : replies) {
        wire.Incoming(std::move(reply));
    }
    if (setUp) {
        setUp(smtp, wire);
    }
    TWrenMsg msg;
    msg.From = "ann@example.test";
    msg.SendTo = "bob@example.test";
    msg.Text = {"Hello"};
    smtp.Connect();
    if (!smtp.Failed && !smtp.Aborted) {
        run.Sent = smtp.SendMail(msg);
        smtp.Quit();
    }
    run.Written = wire.Written;
    run.Handshakes = wire.StartTlsCalls;
    run.Aborted = smtp.Aborted;
    run.Certificate = smtp.PeerCertificate;
    return run;
}

std::string Envelope() { return "MAIL FROM:<ann@example.test>\r\nRCPT TO:<bob@example.test>\r\nDATA\r\n"; }

TEST(SmtpSecurity, StartTlsUpgradesThenGreetsAgainAndSignsInInsideTls) {
    const TRun run = RunSession(ESecurity::StartTls, {Greeting, OffersTls, "220 2.0.0 go ahead\r\n", OffersAuth,
                                                      "235 2.7.0 ok\r\n", Accepting});
    ASSERT_TRUE(run.Sent) << testing::PrintToString(run.Events);
    EXPECT_TRUE(run.Written.starts_with(Ehlo + "STARTTLS\r\n" + Ehlo + AuthPlain + Envelope()));
    ASSERT_EQ(run.Handshakes.size(), 1u);
    EXPECT_EQ(run.Handshakes[0].WrittenBefore, (Ehlo + "STARTTLS\r\n").size());
    EXPECT_EQ(run.Handshakes[0].Options.ServerName, "mail.test");
    EXPECT_EQ(run.Events, (std::vector<std::string>{"OnStartEncryption", "OnSignIn"}));
    EXPECT_FALSE(run.Certificate.Empty());
}

TEST(SmtpSecurity, ImplicitTlsShakesHandsBeforeTheGreetingAndLoginIsUsedWhenPlainIsNot) {
    const std::vector<std::string> replies{Greeting, "250-mail.test\r\n250 AUTH LOGIN\r\n", "334 VXNlcm5hbWU6\r\n",
                                           "334 UGFzc3dvcmQ6\r\n", "235 2.7.0 ok\r\n", Accepting};
    const TRun run = RunSession(ESecurity::Tls, replies);
    ASSERT_TRUE(run.Sent) << testing::PrintToString(run.Events);
    ASSERT_EQ(run.Handshakes.size(), 1u);
    EXPECT_EQ(run.Handshakes[0].WrittenBefore, 0u);
    std::size_t served = 0;
    for (const auto& reply : replies) {
        served += reply.size();
    }
    EXPECT_EQ(run.Handshakes[0].UnreadIncoming, served) << "even the greeting comes through TLS";
    EXPECT_TRUE(run.Written.starts_with(Ehlo + "AUTH LOGIN\r\nYW5u\r\nczNjcmV0\r\n" + Envelope()));
}

TEST(SmtpSecurity, EveryFailureStopsTheDialogueAndNeverSendsCredentials) {
    struct TCase {
        const char* Name;
        ESecurity Security;
        std::vector<std::string> Replies;
        std::string Written;  // everything the client wrote
        std::string Error;
        TSetUp SetUp = {};
    };
    const auto refuse = [](net::ETlsFailure failure) {
        return [failure](TWrenSMTP&, TMemorySocket& wire) {
            wire.StartTlsResult.Status = net::ESocketStatus::Failed;
            wire.StartTlsResult.Failure = failure;
        };
    };
    const std::vector<TCase> cases{
        {"StartTlsNotOffered", ESecurity::StartTls, {Greeting, OffersAuth}, Ehlo,
         "OnError 109 The mail server mail.test does not offer STARTTLS."},
        {"StartTlsRefused", ESecurity::StartTls, {Greeting, OffersTls, "454 4.7.0 TLS not available\r\n"},
         Ehlo + "STARTTLS\r\n", "OnError 454 4.7.0 TLS not available"},
        {"BytesInjectedAfterThe220", ESecurity::StartTls, {Greeting, OffersTls, "220 go ahead\r\n250 AUTH PLAIN\r\n"},
         Ehlo + "STARTTLS\r\n", "OnError 109 The mail server mail.test sent data before encryption started."},
        {"HandshakeFails", ESecurity::StartTls, {Greeting, OffersTls, "220 go\r\n"}, Ehlo + "STARTTLS\r\n",
         "OnError 109 Encryption with mail.test could not be started.", refuse(net::ETlsFailure::Handshake)},
        {"CertificateExpired", ESecurity::Tls, {Greeting}, "",
         "OnError 108 The certificate of mail.test cannot be trusted: it has expired.",
         refuse(net::ETlsFailure::Expired)},
        {"CertificateForAnotherName", ESecurity::Tls, {Greeting}, "",
         "OnError 108 The certificate of mail.test cannot be trusted: it was issued for another name.",
         refuse(net::ETlsFailure::NameMismatch)},
        {"HandshakeNeverEnds", ESecurity::Tls, {Greeting}, "", "OnError 103 The mail server did not answer in time.",
         [](TWrenSMTP& smtp, TMemorySocket& wire) {
             wire.StartTlsBlocks = true;
             smtp.CommandTimeout = 200ms;
         }},
        {"PasswordRefused", ESecurity::Tls, {Greeting, OffersAuth, "535 5.7.8 Authentication credentials invalid\r\n"},
         Ehlo + AuthPlain, "OnError 535 5.7.8 Authentication credentials invalid"},
        // The provider's reason is on the first line of its reply, and only there.
        {"PasswordRefusedForAnAppPassword", ESecurity::Tls,
         {Greeting, OffersAuth,
          "534-5.7.9 Application-specific password required. Learn more at\r\n"
          "534 5.7.9 https://support.google.com/mail/?p=InvalidSecondFactor\r\n"},
         Ehlo + AuthPlain,
         "OnError 534 5.7.9 https://support.google.com/mail/?p=InvalidSecondFactor. Create an app password in "
         "the Google account and use it in place of the password."},
        {"NoMechanismOffered", ESecurity::Tls, {Greeting, "250-mail.test\r\n250 AUTH CRAM-MD5\r\n"}, Ehlo,
         "OnError 110 The mail server mail.test offers no way of signing in that Corvane knows (PLAIN, LOGIN)."},
        {"PlainConnection", ESecurity::None, {Greeting, OffersAuth}, Ehlo,
         "OnError 110 Signing in to mail.test needs encryption: choose STARTTLS or SSL/TLS."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const TRun run = RunSession(row.Security, row.Replies, row.SetUp);
        EXPECT_FALSE(run.Sent);
        EXPECT_EQ(run.Written, row.Written);
        ASSERT_FALSE(run.Events.empty());
        EXPECT_EQ(run.Events.back(), row.Error);
        for (const auto& event : run.Events) {
            EXPECT_EQ(event.find("s3cret"), std::string::npos);
        }
    }
}

TEST(SmtpSecurity, AbortDuringTheHandshakeEndsItPromptlyWithoutAnError) {
    auto owned = std::make_unique<TMemorySocket>();
    TMemorySocket& wire = *owned;
    TWrenSMTP smtp(std::move(owned));
    smtp.Host = "mail.test";
    smtp.Security = ESecurity::Tls;
    wire.StartTlsBlocks = true;
    int errors = 0;
    smtp.OnError = [&errors](TWrenSMTP&, int, const std::string&) { ++errors; };
    auto worker = std::async(std::launch::async, [&smtp] { smtp.Connect(); });
    ASSERT_TRUE(wire.WaitUntilBlocked(10s));
    smtp.Abort();
    ASSERT_EQ(worker.wait_for(2s), std::future_status::ready);
    EXPECT_TRUE(smtp.Aborted);
    EXPECT_FALSE(smtp.Failed);
    EXPECT_EQ(errors, 0);
    EXPECT_EQ(wire.Written, "");
    EXPECT_FALSE(wire.IsOpen());
}

}  // namespace
}  // namespace corvane::mail
