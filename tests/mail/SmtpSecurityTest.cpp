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
#include "mail/Base64.h"
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
    std::string SignInMechanism;
    bool TokenRefused = false;
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
    run.SignInMechanism = smtp.SignInMechanism;
    run.TokenRefused = smtp.TokenRefused;
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

TEST(SmtpSecurity, SignsInWithAnAccessTokenAndTellsARefusedTokenWithoutEverShowingIt) {
    const std::string token = "ya29.a0-Token_for.Ann";
    const std::string longToken = "EwBwA8l6" + std::string(600, 'x');
    const auto withToken = [](std::string user, std::string accessToken) {
        return [user, accessToken](TWrenSMTP& smtp, TMemorySocket&) {
            smtp.SignInKind = ESignInKind::OAuth2;
            smtp.UserName = user;
            smtp.AccessToken = accessToken;
        };
    };
    // The client's lines carrying the mechanisms' responses, from their plain bytes.
    const auto xoauth2 = [](const std::string& user, const std::string& accessToken) {
        return EncodeBase64("user=" + user + "\x01" "auth=Bearer " + accessToken + "\x01\x01");
    };
    const auto challenge = [](const std::string& json) { return "334 " + EncodeBase64(json) + "\r\n"; };
    const std::string offersBoth = "250-mail.test\r\n250 AUTH PLAIN LOGIN OAUTHBEARER XOAUTH2\r\n";
    const std::string offersBearer = "250-mail.test\r\n250 AUTH PLAIN OAUTHBEARER\r\n";
    const std::string googleChallenge = challenge(R"({"status":"400","schemes":"Bearer","scope":"https://mail.google.com/"})");
    const std::string bearerChallenge =
        challenge(R"({"status":"invalid_token","schemes":"bearer","scope":"https://mail.test/smtp"})");
    const std::string bearerLine = "AUTH OAUTHBEARER " +
                                   EncodeBase64("n,a=a=3Dnn=2C1@example.test,\x01" "host=mail.test\x01" "port=25\x01"
                                                "auth=Bearer " + token + "\x01\x01") +
                                   "\r\n";
    struct TCase {
        const char* Name;
        ESecurity Security;
        std::vector<std::string> Replies;
        std::string Written;  // what the client wrote; for a sign-in that succeeds, how it begins
        std::string Error;    // empty: signed in and sent
        std::string Mechanism;
        bool TokenRefused;
        TSetUp SetUp;
    };
    const std::vector<TCase> cases{
        {"XOAuth2WhenBothAreOffered", ESecurity::Tls, {Greeting, offersBoth, "235 2.7.0 Accepted\r\n", Accepting},
         Ehlo + "AUTH XOAUTH2 " + xoauth2("ann@example.test", token) + "\r\n" + Envelope(), "", "XOAUTH2", false,
         withToken("ann@example.test", token)},
        {"OAuthBearerWithAnEscapedUser", ESecurity::Tls, {Greeting, offersBearer, "235 2.7.0 Accepted\r\n", Accepting},
         Ehlo + bearerLine + Envelope(), "", "OAUTHBEARER", false, withToken("a=nn,1@example.test", token)},
        {"XOAuth2ErrorChallengeIsAnsweredWithAnEmptyLine", ESecurity::Tls,
         {Greeting, offersBoth, googleChallenge,
          "535-5.7.8 Username and Password not accepted. Learn more at\r\n"
          "535 5.7.8 https://support.google.com/mail/?p=BadCredentials\r\n"},
         Ehlo + "AUTH XOAUTH2 " + xoauth2("ann@example.test", token) + "\r\n\r\n",
         "OnError 535 5.7.8 https://support.google.com/mail/?p=BadCredentials. The access token was refused (400).",
         "XOAUTH2", true, withToken("ann@example.test", token)},
        {"OAuthBearerErrorChallengeIsAnsweredWithControlA", ESecurity::Tls,
         {Greeting, offersBearer, bearerChallenge, "535 5.7.8 Authentication credentials invalid\r\n"},
         Ehlo + bearerLine + "AQ==\r\n",
         "OnError 535 5.7.8 Authentication credentials invalid. The access token was refused (invalid_token).",
         "OAUTHBEARER", true, withToken("a=nn,1@example.test", token)},
        {"UnreadableErrorChallenge", ESecurity::Tls,
         {Greeting, offersBoth, challenge(R"({"status":"inv)"), "535 5.7.8 Authentication credentials invalid\r\n"},
         Ehlo + "AUTH XOAUTH2 " + xoauth2("ann@example.test", token) + "\r\n\r\n",
         "OnError 535 5.7.8 Authentication credentials invalid. The access token was refused.", "XOAUTH2", true,
         withToken("ann@example.test", token)},
        // Too long for the AUTH line: the response waits for the server's empty challenge.
        {"LongTokenAfterAnEmptyChallengeRefusedWith535", ESecurity::Tls,
         {Greeting, offersBoth, "334 \r\n", "535 5.7.3 Authentication unsuccessful\r\n"},
         Ehlo + "AUTH XOAUTH2\r\n" + xoauth2("ann@example.test", longToken) + "\r\n",
         "OnError 535 5.7.3 Authentication unsuccessful", "XOAUTH2", true, withToken("ann@example.test", longToken)},
        {"TokenOverAPlainConnection", ESecurity::None, {Greeting, offersBoth}, Ehlo,
         "OnError 110 Signing in to mail.test needs encryption: choose STARTTLS or SSL/TLS.", "", false,
         withToken("ann@example.test", token)},
        {"NoOAuth2MechanismOffered", ESecurity::Tls, {Greeting, OffersAuth}, Ehlo,
         "OnError 110 The mail server mail.test offers no OAuth2 sign-in (XOAUTH2, OAUTHBEARER).", "", false,
         withToken("ann@example.test", token)},
        {"NoToken", ESecurity::Tls, {Greeting, offersBoth}, Ehlo,
         "OnError 110 There is no access token for signing in to mail.test.", "", false,
         withToken("ann@example.test", "")},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const TRun run = RunSession(row.Security, row.Replies, row.SetUp);
        EXPECT_EQ(run.Sent, row.Error.empty()) << testing::PrintToString(run.Events);
        if (row.Error.empty()) {
            EXPECT_TRUE(run.Written.starts_with(row.Written)) << run.Written;
        } else {
            EXPECT_EQ(run.Written, row.Written);
            ASSERT_FALSE(run.Events.empty());
            EXPECT_EQ(run.Events.back(), row.Error);
        }
        EXPECT_EQ(run.SignInMechanism, row.Mechanism);
        EXPECT_EQ(run.TokenRefused, row.TokenRefused);
        EXPECT_EQ(run.Written.find("s3cret"), std::string::npos);
        for (const auto& event : run.Events) {
            for (const std::string& secret : {token, longToken.substr(0, 8), EncodeBase64(token).substr(0, 12)}) {
                EXPECT_EQ(event.find(secret), std::string::npos) << event;
            }
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
