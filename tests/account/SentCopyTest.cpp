// Copying a sent message into the Sent folder of real dovecot servers on loopback: byte for
// byte and marked \Seen, over STARTTLS and SSL/TLS, into the folder the server marks \Sent
// (beside one merely named "Sent"), into "Sent" where nothing is marked, with the certificate
// trusted by its fingerprint alone, and signed in by XOAUTH2; each way of failing with no copy
// and its own words; and a copy cancelled while the server keeps silent.

#include "account/SentCopy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <regex>
#include <string>

#include "DovecotServer.h"
#include "EventLoop.h"
#include "LoopbackPorts.h"
#include "TestCertificates.h"

namespace corvane::account {
namespace {

using namespace std::chrono_literals;
using ESecurity = mail::ESecurity;
using EFolders = test::TDovecotOptions::ESentFolder;

// The one access token the server with the marked folder takes.
constexpr const char* AccessToken = "secret-at-imap-token";

// What a byte-exact copy must keep: CRLF throughout, 8-bit text, a line that begins with a dot
// (SMTP would have doubled it), the Bcc header the window adds, and a body of many chunks.
std::string Message(const std::string& subject) {
    std::string message = "From: Jo <jo@example.test>\r\nTo: ann@example.test\r\nBcc: bob@example.test\r\n"
                          "Subject: " + subject + "\r\nMIME-Version: 1.0\r\n"
                          "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                          "Grüße aus Köln\r\n.a line with a dot\r\n";
    for (int line = 0; line < 4000; ++line) {
        message += "line " + std::to_string(line) + " of a body longer than one upload buffer\r\n";
    }
    return message;
}

struct TOutcome {
    int Reports = 0;
    TSentCopyResult Result;
};

// One copy from Start to its report, bounded.
TOutcome Copy(TSentCopyServer server, const std::string& message, TSentCopyLimits limits = {}) {
    TSentCopy copy(limits);
    TOutcome outcome;
    copy.OnDone = [&outcome](TSentCopy&, const TSentCopyResult& result) {
        ++outcome.Reports;
        outcome.Result = result;
    };
    copy.Start(std::move(server), message);
    EXPECT_EQ(outcome.Reports, 0) << "reported from inside Start";
    EXPECT_TRUE(test::RunEventsUntil([&outcome] { return outcome.Reports > 0; }, 60s)) << "no report in time";
    test::RunEventsFor(50ms);  // a second report would have come by now
    EXPECT_FALSE(copy.Running());
    return outcome;
}

class SentCopy : public ::testing::Test {
protected:
    static void TearDownTestSuite() { Servers().clear(); }

    void SetUp() override { ASSERT_TRUE(Certificates().Made()) << Certificates().Problem(); }

    static const test::TTestCertificates& Certificates() { return test::TTestCertificates::Shared(); }

    // Started at first use and kept for the suite: each has folders of its own.
    static test::TDovecotServer& Server(EFolders folders) {
        std::unique_ptr<test::TDovecotServer>& server = Servers()[folders];
        if (!server) {
            test::TDovecotOptions options;
            options.Sent = folders;
            options.CertificateFile = Certificates().Loopback.Certificate;
            options.KeyFile = Certificates().Loopback.Key;
            options.AccessToken = folders == EFolders::SpecialUse ? AccessToken : "";
            server = std::make_unique<test::TDovecotServer>(options);
        }
        EXPECT_TRUE(server->Running()) << server->Problem();
        return *server;
    }

    // Jo's account on that server over Security, signing in with Password, or by XOAUTH2 with
    // a Token.
    static TSentCopyServer Account(EFolders folders, ESecurity security, const std::string& password = "secret",
                                   const std::string& token = "") {
        const test::TDovecotServer& server = Server(folders);
        return {server.Host(), security == ESecurity::StartTls ? server.StartTlsPort() : server.TlsPort(), security,
                "jo", token.empty() ? password : "", token, {}};
    }

private:
    static std::map<EFolders, std::unique_ptr<test::TDovecotServer>>& Servers() {
        static std::map<EFolders, std::unique_ptr<test::TDovecotServer>> servers;
        return servers;
    }
};

TEST_F(SentCopy, CopiesTheExactBytesMarkedSeenIntoTheSentFolder) {
    const std::string fingerprint = Certificates().Loopback.Sha256Fingerprint;
    const struct {
        const char* Case;
        EFolders Folders;
        ESecurity Security;
        std::filesystem::path Trusted;   // the only authority trusted meanwhile
        std::string TrustedFingerprint;  // the certificate trusted on purpose
        std::string Token;               // XOAUTH2 with this token, not the password
        const char* Folder;
    } cases[] = {
        {"STARTTLS, the marked folder", EFolders::SpecialUse, ESecurity::StartTls, Certificates().CaFile, "", "",
         "Sent Items"},
        {"SSL/TLS, the marked folder", EFolders::SpecialUse, ESecurity::Tls, Certificates().CaFile, "", "", "Sent Items"},
        {"SSL/TLS, the name alone", EFolders::NameOnly, ESecurity::Tls, Certificates().CaFile, "", "", "Sent"},
        {"trusted by its fingerprint, its authority not", EFolders::SpecialUse, ESecurity::Tls,
         Certificates().SelfSigned.Certificate, fingerprint, "", "Sent Items"},
        {"XOAUTH2", EFolders::SpecialUse, ESecurity::Tls, Certificates().CaFile, "", AccessToken, "Sent Items"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.Case);
        const test::TTrustOnly trust(each.Trusted);
        TSentCopyServer account = Account(each.Folders, each.Security, "secret", each.Token);
        account.TrustedFingerprint = each.TrustedFingerprint;
        const std::string message = Message(each.Case);
        const TOutcome outcome = Copy(account, message);
        EXPECT_EQ(outcome.Reports, 1);
        EXPECT_TRUE(outcome.Result.Copied) << outcome.Result.Problem;
        EXPECT_EQ(outcome.Result.Folder, each.Folder);
        EXPECT_EQ(outcome.Result.Problem, "");
        const auto stored = Server(each.Folders).Messages(each.Folder);
        const auto copies = std::ranges::count_if(stored, [&message](const test::TStoredMessage& one) {
            return one.Bytes == message && one.Flags.find('S') != std::string::npos;
        });
        EXPECT_EQ(copies, 1) << Server(each.Folders).Log();
        if (!each.Token.empty()) {
            // Not OAUTHBEARER, which libcurl would rather take when the server offers both.
            EXPECT_NE(Server(each.Folders).Log().find("method=XOAUTH2"), std::string::npos) << Server(each.Folders).Log();
        }
    }
}

TEST_F(SentCopy, FailsWithoutACopyAndSaysWhy) {
    const test::TSilentPort silent;
    const test::TUnansweredPort unanswered;
    const test::TRefusingPort refusing;
    ASSERT_TRUE(silent.Valid() && unanswered.Valid() && refusing.Valid());
    const auto at = [](const auto& port) {
        return TSentCopyServer{port.Host(), std::stoi(port.Port()), ESecurity::Tls, "jo", "secret", {}, {}};
    };
    TSentCopyServer strangerTrusted = Account(EFolders::SpecialUse, ESecurity::Tls);
    strangerTrusted.TrustedFingerprint = Certificates().SelfSigned.Sha256Fingerprint;
    TSentCopyServer plain = Account(EFolders::SpecialUse, ESecurity::StartTls);
    plain.Security = ESecurity::None;
    const TSentCopyLimits quick{500ms, std::chrono::seconds(5), 1s};

    const struct {
        const char* Case;
        TSentCopyServer Server;
        std::filesystem::path Trusted;
        TSentCopyLimits Limits;
        const char* Problem;  // a pattern
    } cases[] = {
        {"a wrong password", Account(EFolders::SpecialUse, ESecurity::StartTls, "wrong-password"),
         Certificates().CaFile, {}, R"(The IMAP server refused the sign-in\.)"},
        {"a token the server does not know", Account(EFolders::SpecialUse, ESecurity::Tls, "", "secret-at-unknown"),
         Certificates().CaFile, {}, R"(The IMAP server refused the sign-in\.)"},
        {"no Sent folder", Account(EFolders::None, ESecurity::Tls), Certificates().CaFile, {},
         R"(The IMAP server has no Sent folder\.)"},
        {"an authority nobody trusts", Account(EFolders::SpecialUse, ESecurity::Tls),
         Certificates().SelfSigned.Certificate, {},
         R"(The IMAP server's certificate is not trusted: unable to get local issuer certificate\.)"},
        {"another certificate trusted on purpose", strangerTrusted, Certificates().CaFile, {},
         R"(The IMAP server's certificate is not trusted: the certificate is not the one trusted for this server\.)"},
        {"no encryption", plain, Certificates().CaFile, {},
         R"(The copy to Sent needs SSL/TLS or STARTTLS: the sign-in never crosses a plain connection\.)"},
        {"a port that refuses", at(refusing), Certificates().CaFile, {},
         R"(Could not connect to the IMAP server 127\.0\.0\.1:\d+\.)"},
        {"a server silent after the connect", at(silent), Certificates().CaFile, quick,
         R"(The IMAP server did not answer in time\.)"},
        {"a connect that never completes", at(unanswered), Certificates().CaFile, quick,
         R"(The IMAP server did not answer in time\.)"},
    };
    const std::size_t storedBefore = Server(EFolders::SpecialUse).Messages("Sent Items").size();
    for (const auto& each : cases) {
        SCOPED_TRACE(each.Case);
        const test::TTrustOnly trust(each.Trusted);
        const auto started = std::chrono::steady_clock::now();
        const TOutcome outcome = Copy(each.Server, Message(each.Case), each.Limits);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
        EXPECT_EQ(outcome.Reports, 1);
        EXPECT_FALSE(outcome.Result.Copied);
        EXPECT_EQ(outcome.Result.Folder, "");
        EXPECT_TRUE(std::regex_match(outcome.Result.Problem, std::regex(each.Problem))) << outcome.Result.Problem;
    }
    EXPECT_EQ(Server(EFolders::SpecialUse).Messages("Sent Items").size(), storedBefore);
}

TEST_F(SentCopy, CancelEndsACopyAtOnceAndNothingIsReported) {
    const test::TSilentPort silent;
    ASSERT_TRUE(silent.Valid());
    TSentCopy copy;  // the default limits: only the cancel can end it soon
    int reports = 0;
    copy.OnDone = [&reports](TSentCopy&, const TSentCopyResult&) { ++reports; };
    copy.Start({silent.Host(), std::stoi(silent.Port()), ESecurity::Tls, "jo", "secret", {}, {}}, Message("cancelled"));
    test::RunEventsFor(300ms);  // connected, waiting for the greeting
    ASSERT_TRUE(copy.Running());
    const auto started = std::chrono::steady_clock::now();
    copy.Cancel();
    // The dialogue let go of its connection, rather than being left to end on its own.
    EXPECT_LT(std::chrono::steady_clock::now() - started, TSentCopy::ReleaseLimit);
    EXPECT_FALSE(copy.Running());
    test::RunEventsFor(300ms);
    EXPECT_EQ(reports, 0);
}

}  // namespace
}  // namespace corvane::account
