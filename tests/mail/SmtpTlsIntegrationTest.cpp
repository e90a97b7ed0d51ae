// TWrenSMTP over real TLS: aiosmtpd that requires STARTTLS and a sign-in, aiosmtpd over
// implicit TLS, and the scripted server presenting each kind of untrustworthy certificate,
// with certificates made at test time by the openssl command and trusted through
// SSL_CERT_FILE.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "AiosmtpdServer.h"
#include "ScriptedSmtpServer.h"
#include "TestCertificates.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {
namespace {

using test::TAiosmtpdOptions;
using test::TTestCertificates;

const std::string User = "ann";
const std::string Password = "correct horse";

class SmtpOverTls : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(certificates.Made()) << certificates.Problem();
        smtp.CommandTimeout = smtp.DataTimeout = smtp.DataEndTimeout = smtp.SendTimeout = std::chrono::seconds(30);
        smtp.OnError = [this](TWrenSMTP&, int code, const std::string& text) {
            errors.push_back(std::to_string(code) + " " + text);
        };
        msg.From = "Ann <ann@example.test>";
        msg.SendTo = "bob@example.test";
        msg.Subject = "Über TLS";
        msg.Text = {"Grüße"};
    }

    bool Send() {
        smtp.Connect();
        const bool sent = !smtp.Failed && smtp.SendMail(msg);
        smtp.Quit();
        return sent;
    }

    TAiosmtpdOptions SignedIn(TAiosmtpdOptions::ESecurity security) const {
        return test::SignInRequired(security, certificates.Loopback.Certificate, certificates.Loopback.Key, User,
                                    Password);
    }

    const TTestCertificates& certificates = TTestCertificates::Shared();
    test::TTrustOnly trust{certificates.CaFile};
    TWrenSMTP smtp;
    TWrenMsg msg;
    std::vector<std::string> errors;
};

TEST_F(SmtpOverTls, DeliversThroughStartTlsAndImplicitTlsWithASignIn) {
    for (const auto& [security, server] : {std::pair{ESecurity::StartTls, TAiosmtpdOptions::ESecurity::StartTls},
                                          std::pair{ESecurity::Tls, TAiosmtpdOptions::ESecurity::ImplicitTls}}) {
        SCOPED_TRACE(security == ESecurity::Tls ? "implicit TLS" : "STARTTLS");
        test::TAiosmtpdServer sink(SignedIn(server));
        ASSERT_TRUE(sink.Running()) << sink.Problem();
        smtp.Host = sink.Host();
        smtp.Port = sink.Port();
        smtp.Security = security;
        smtp.UserName = User;
        smtp.Password = Password;
        EXPECT_TRUE(Send()) << testing::PrintToString(errors);
        const auto received = sink.Message(1);
        ASSERT_TRUE(received.has_value());
        EXPECT_TRUE(received->Tls.starts_with("TLSv1.")) << received->Tls;
        // The client's side of the agreement names the version the server reports, and a cipher.
        EXPECT_TRUE(smtp.TlsAgreement.starts_with(received->Tls + " TLS_")) << smtp.TlsAgreement;
        EXPECT_EQ(received->Auth, "PLAIN " + User);
        EXPECT_EQ(received->Header("Subject"), msg.Subject);
        EXPECT_FALSE(smtp.PeerCertificate.Empty());
    }
}

TEST_F(SmtpOverTls, AWrongPasswordShowsTheServersWordsAndAPlainConnectionNeverSignsIn) {
    test::TAiosmtpdServer sink(SignedIn(TAiosmtpdOptions::ESecurity::StartTls));
    ASSERT_TRUE(sink.Running()) << sink.Problem();
    smtp.Host = sink.Host();
    smtp.Port = sink.Port();
    smtp.Security = ESecurity::StartTls;
    smtp.UserName = User;
    smtp.Password = "wrong";
    EXPECT_FALSE(Send());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].starts_with("535 ")) << errors[0];

    TAiosmtpdOptions plain;
    plain.User = User;
    plain.Password = Password;
    plain.AuthOverPlainText = true;
    test::TAiosmtpdServer open(plain);
    ASSERT_TRUE(open.Running()) << open.Problem();
    smtp.Port = open.Port();
    smtp.Security = ESecurity::None;
    smtp.Password = Password;
    errors.clear();
    EXPECT_FALSE(Send());
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].starts_with("110 ")) << errors[0];
    EXPECT_TRUE(open.AuthAttempts().empty());
}

TEST_F(SmtpOverTls, AStaleTokenIsRefusedAsGoogleRefusesItAndTheFreshOneSignsInByXOAuth2) {
    TAiosmtpdOptions options = SignedIn(TAiosmtpdOptions::ESecurity::ImplicitTls);
    options.AccessToken = "ya29.fresh-token";
    test::TAiosmtpdServer sink(options);
    ASSERT_TRUE(sink.Running()) << sink.Problem();
    smtp.Host = sink.Host();
    smtp.Port = sink.Port();
    smtp.Security = ESecurity::Tls;
    smtp.SignInKind = ESignInKind::OAuth2;
    smtp.UserName = User;
    // What a caller does: a refused token is refreshed once and the send tried again.
    smtp.AccessToken = "ya29.stale-token";
    EXPECT_FALSE(Send());
    EXPECT_TRUE(smtp.TokenRefused);
    EXPECT_EQ(errors, (std::vector<std::string>{
                          "535 5.7.8 Authentication credentials invalid. The access token was refused (400)."}));
    smtp.AccessToken = options.AccessToken;
    errors.clear();
    EXPECT_TRUE(Send()) << testing::PrintToString(errors);
    EXPECT_FALSE(smtp.TokenRefused);
    EXPECT_EQ(smtp.SignInMechanism, "XOAUTH2");
    const auto received = sink.Message(1);
    ASSERT_TRUE(received.has_value());
    EXPECT_EQ(received->Auth, "XOAUTH2 " + User);
    EXPECT_EQ(sink.AuthAttempts(), (std::vector<std::string>{"XOAUTH2 ann refused", "XOAUTH2 ann accepted"}));
}

TEST_F(SmtpOverTls, UntrustworthyCertificatesAreRefusedWithTheirReasonUnlessTrustedOnPurpose) {
    struct TCase {
        const char* Name;
        const test::TCertificateFiles& Presented;
        std::string Trusted;  // fingerprint the user chose to trust
        std::string Error;    // empty: the handshake succeeds
    };
    const auto prefix = std::string("108 The certificate of 127.0.0.1 cannot be trusted: ");
    const std::vector<TCase> cases{
        {"Expired", certificates.Expired, "", prefix + "it has expired."},
        {"NotYetValid", certificates.NotYetValid, "", prefix + "it is not valid yet."},
        {"SelfSigned", certificates.SelfSigned, "", prefix + "it is self-signed or its issuer is unknown."},
        {"UnknownIssuer", certificates.UnknownIssuer, "", prefix + "it is self-signed or its issuer is unknown."},
        {"OtherName", certificates.OtherName, "", prefix + "it was issued for another name."},
        {"SelfSignedTrustedOnPurpose", certificates.SelfSigned, certificates.SelfSigned.Sha256Fingerprint, ""},
        {"ReplacedAfterTrusting", certificates.Loopback, certificates.SelfSigned.Sha256Fingerprint,
         prefix + "it is not the certificate you chose to trust; it may have been replaced."},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        test::TSmtpScript script;
        script.StartTls(row.Presented.Certificate.string(), row.Presented.Key.string())
            .Send("220 mail.test ESMTP\r\n")
            .Expect("250 mail.test\r\n")
            .Expect("221 bye\r\n");
        test::TScriptedSmtpServer server(std::move(script));
        smtp.Host = server.Host();
        smtp.Port = server.Port();
        smtp.Security = ESecurity::Tls;
        smtp.TrustedFingerprint = row.Trusted;
        smtp.UserName.clear();
        errors.clear();
        smtp.Connect();
        smtp.Quit();
        EXPECT_EQ(errors.empty() ? "" : errors[0], row.Error);
        EXPECT_EQ(smtp.PeerCertificate.Sha256Fingerprint, row.Presented.Sha256Fingerprint);
    }
}

}  // namespace
}  // namespace corvane::mail
