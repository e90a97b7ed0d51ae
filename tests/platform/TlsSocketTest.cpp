// TClientSocket's TLS against the scripted server on loopback, with certificates made for
// the test and trusted through SSL_CERT_FILE only.

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <thread>

#include "AiosmtpdServer.h"
#include "ScriptedSmtpServer.h"
#include "TestCertificates.h"
#include "platform/net/ClientSocket.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using net::ESocketStatus;
using net::ETlsFailure;
using net::TClientSocket;
using test::TCertificateFiles;
using test::TScriptedSmtpServer;
using test::TSmtpScript;

net::TDeadline In(std::chrono::milliseconds time) {
    return net::TClock::now() + time;
}

const test::TTestCertificates& Certificates() {
    return test::TTestCertificates::Shared();
}

TSmtpScript Serving(const TCertificateFiles& files) {
    return TSmtpScript().StartTls(files.Certificate.string(), files.Key.string());
}

// Everything up to Count bytes, or less when the connection ends or the deadline passes.
std::string ReceiveUpTo(TClientSocket& socket, std::size_t count, net::TDeadline deadline) {
    std::string received;
    std::string buffer(64 * 1024, '\0');
    while (received.size() < count) {
        const auto got = socket.Receive(buffer.data(), buffer.size(), deadline);
        if (got.Status != ESocketStatus::Ok) {
            break;
        }
        received.append(buffer, 0, got.Count);
    }
    return received;
}

class TlsSocket : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Certificates().Made()) << Certificates().Problem(); }

    // Opens Client to Server and runs the handshake for ServerName.
    net::TTlsResult Connect(TClientSocket& client, const TScriptedSmtpServer& server,
                            net::TTlsOptions options) {
        EXPECT_TRUE(server.Listening());
        EXPECT_EQ(client.Open(server.Host(), true, std::stoi(server.Port()), In(5s)),
                  ESocketStatus::Ok);
        return client.StartTls(options, In(10s));
    }

    test::TTrustOnly m_trust{Certificates().CaFile};
};

// ---- A trusted handshake -----------------------------------------------------------------

struct TNameCase {
    const char* Label;
    const char* ServerName;
    test::EAddressFamily Family;
    const char* SentAsSni;  // IP literals are checked against the certificate, never sent
};

class TlsSocketNames : public TlsSocket, public ::testing::WithParamInterface<TNameCase> {};

TEST_P(TlsSocketNames, StartTlsAfterPlainTextCarriesTheDialogueEncrypted) {
    const TNameCase& name = GetParam();
    const auto& files = Certificates().Loopback;
    TScriptedSmtpServer server(TSmtpScript()
                                   .Send("220 plain\r\n")
                                   .StartTls(files.Certificate.string(), files.Key.string())
                                   .Expect("250 inside\r\n"),
                               name.Family);
    if (!server.Listening()) {
        GTEST_SKIP() << "no loopback for this address family";
    }
    TClientSocket client;
    ASSERT_EQ(client.Open(server.Host(), true, std::stoi(server.Port()), In(5s)), ESocketStatus::Ok);
    EXPECT_EQ(ReceiveUpTo(client, 11, In(5s)), "220 plain\r\n");
    EXPECT_FALSE(client.IsEncrypted());

    const net::TTlsResult result = client.StartTls({name.ServerName, ""}, In(10s));
    ASSERT_EQ(result.Status, ESocketStatus::Ok) << result.Detail;
    EXPECT_EQ(result.Failure, ETlsFailure::None);
    EXPECT_TRUE(client.IsEncrypted());
    EXPECT_EQ(result.Certificate.Subject, "CN=loopback");
    EXPECT_EQ(result.Certificate.Issuer, "CN=Corvane test-ca");
    EXPECT_EQ(result.Certificate.Sha256Fingerprint, files.Sha256Fingerprint);
    EXPECT_TRUE(result.Certificate.NotAfter.ends_with(" UTC")) << result.Certificate.NotAfter;
    EXPECT_TRUE(client.TlsAgreement().starts_with("TLSv1.3 TLS_")) << client.TlsAgreement();  // OpenSSL 3 both ends

    ASSERT_EQ(client.Send("EHLO client.test\r\n", In(5s)), ESocketStatus::Ok);
    EXPECT_EQ(ReceiveUpTo(client, 12, In(5s)), "250 inside\r\n");
    client.Close();
    ASSERT_TRUE(server.WaitUntilClosed());
    EXPECT_EQ(server.Lines(), std::vector<std::string>{"EHLO client.test"});
    EXPECT_EQ(server.TlsServerName(), name.SentAsSni);
    EXPECT_EQ(server.Problem(), "");
}

INSTANTIATE_TEST_SUITE_P(Names, TlsSocketNames,
                         ::testing::Values(
                             TNameCase{"IPv4", "127.0.0.1", test::EAddressFamily::IPv4, ""},
                             TNameCase{"HostName", "localhost", test::EAddressFamily::IPv4,
                                       "localhost"},
                             TNameCase{"IPv6", "[::1]", test::EAddressFamily::IPv6, ""}),
                         [](const auto& each) { return std::string(each.param.Label); });

// ---- Refusals ----------------------------------------------------------------------------

using TFiles = TCertificateFiles test::TTestCertificates::*;

struct TRefusalCase {
    const char* Label;
    TFiles Served;
    const char* ServerName;
    TFiles Trusted;  // whose fingerprint is trusted; null: the trust store decides
    ETlsFailure Failure;
    const char* Words;  // in OpenSSL's detail
};

class TlsSocketRefusals : public TlsSocket, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(TlsSocketRefusals, CertificateIsRefusedForItsReasonAndStillDescribed) {
    const TRefusalCase& refusal = GetParam();
    const TCertificateFiles& served = Certificates().*refusal.Served;
    TScriptedSmtpServer server(Serving(served).ReadLine());
    TClientSocket client;
    const std::string trusted =
        refusal.Trusted ? (Certificates().*refusal.Trusted).Sha256Fingerprint : "";
    const net::TTlsResult result = Connect(client, server, {refusal.ServerName, trusted});
    EXPECT_EQ(result.Status, ESocketStatus::Failed);
    EXPECT_EQ(result.Failure, refusal.Failure) << result.Detail;
    EXPECT_NE(result.Detail.find(refusal.Words), std::string::npos) << result.Detail;
    EXPECT_EQ(result.Certificate.Sha256Fingerprint, served.Sha256Fingerprint);
    EXPECT_EQ(result.Certificate.Subject, "CN=" + served.Certificate.stem().string());
    EXPECT_FALSE(client.IsOpen());
    EXPECT_FALSE(client.IsEncrypted());
    // Not a byte of the dialogue reached the server.
    ASSERT_TRUE(server.WaitUntilClosed());
    EXPECT_TRUE(server.Lines().empty());
}

using T = test::TTestCertificates;
INSTANTIATE_TEST_SUITE_P(
    Reasons, TlsSocketRefusals,
    ::testing::Values(
        TRefusalCase{"Expired", &T::Expired, "127.0.0.1", nullptr, ETlsFailure::Expired, "expired"},
        TRefusalCase{"NotYetValid", &T::NotYetValid, "127.0.0.1", nullptr, ETlsFailure::NotYetValid,
                     "not yet valid"},
        TRefusalCase{"SelfSigned", &T::SelfSigned, "127.0.0.1", nullptr, ETlsFailure::Untrusted,
                     "self-signed"},
        TRefusalCase{"UnknownIssuer", &T::UnknownIssuer, "127.0.0.1", nullptr,
                     ETlsFailure::Untrusted, "issuer"},
        TRefusalCase{"OtherAddress", &T::OtherName, "127.0.0.1", nullptr, ETlsFailure::NameMismatch,
                     "IP address mismatch"},
        TRefusalCase{"OtherName", &T::Loopback, "other.test", nullptr, ETlsFailure::NameMismatch,
                     "hostname mismatch"},
        // A certificate trusted by its fingerprint admits no other, however valid.
        TRefusalCase{"ReplacedTrustedCertificate", &T::Loopback, "127.0.0.1", &T::SelfSigned,
                     ETlsFailure::FingerprintChanged, "not the one trusted"}),
    [](const auto& each) { return std::string(each.param.Label); });

TEST_F(TlsSocket, TrustedFingerprintAcceptsThatCertificateWhateverItsChainAndName) {
    // Lower case without colons is the same fingerprint as the fixture's "AB:CD:..." form.
    std::string fingerprint = Certificates().SelfSigned.Sha256Fingerprint;
    std::erase(fingerprint, ':');
    for (char& each : fingerprint) {
        each = static_cast<char>(std::tolower(static_cast<unsigned char>(each)));
    }
    TScriptedSmtpServer server(Serving(Certificates().SelfSigned).Expect("250 trusted\r\n"));
    TClientSocket client;
    const net::TTlsResult result = Connect(client, server, {"other.test", fingerprint});
    ASSERT_EQ(result.Status, ESocketStatus::Ok) << result.Detail;
    ASSERT_EQ(client.Send("NOOP\r\n", In(5s)), ESocketStatus::Ok);
    EXPECT_EQ(ReceiveUpTo(client, 13, In(5s)), "250 trusted\r\n");

    // What is not a SHA-256 fingerprint trusts nothing, and no handshake starts.
    TScriptedSmtpServer second(Serving(Certificates().SelfSigned));
    const net::TTlsResult malformed = Connect(client, second, {"127.0.0.1", fingerprint + "00"});
    EXPECT_EQ(malformed.Failure, ETlsFailure::Other);
    EXPECT_FALSE(client.IsOpen());
}

TEST_F(TlsSocket, TrustStoreIsReadAfreshForEachConnection) {
    for (const bool trustTheCa : {true, false, true}) {
        // Trusting only the self-signed certificate leaves the CA's servers untrusted.
        test::TTrustOnly trust(trustTheCa ? Certificates().CaFile
                                          : Certificates().SelfSigned.Certificate);
        TScriptedSmtpServer server(Serving(Certificates().Loopback));
        TClientSocket client;
        const net::TTlsResult result = Connect(client, server, {"127.0.0.1", ""});
        EXPECT_EQ(result.Failure, trustTheCa ? ETlsFailure::None : ETlsFailure::Untrusted)
            << result.Detail;
    }
}

// ---- Bounds: deadline, Interrupt, Close ------------------------------------------------

TEST_F(TlsSocket, HandshakeWithASilentServerEndsAtItsDeadline) {
    TScriptedSmtpServer server(TSmtpScript{});  // records the ClientHello, answers nothing
    TClientSocket client;
    ASSERT_EQ(client.Open(server.Host(), true, std::stoi(server.Port()), In(5s)), ESocketStatus::Ok);
    const auto started = net::TClock::now();
    const net::TTlsResult result = client.StartTls({"127.0.0.1", ""}, In(300ms));
    const auto took = net::TClock::now() - started;
    EXPECT_EQ(result.Status, ESocketStatus::TimedOut);
    EXPECT_EQ(result.Failure, ETlsFailure::Handshake);
    EXPECT_GE(took, 300ms);
    EXPECT_LT(took, 5s);
    EXPECT_FALSE(client.IsOpen());
    // A TLS handshake record (type 22) did go out.
    EXPECT_TRUE(server.WaitForReceived("\x16\x03"));
}

enum class EStage { Handshake, Receive };

class TlsSocketInterrupt : public TlsSocket, public ::testing::WithParamInterface<EStage> {};

TEST_P(TlsSocketInterrupt, InterruptFromAnotherThreadEndsTheWaitPromptly) {
    const bool inHandshake = GetParam() == EStage::Handshake;
    // The server goes quiet at the stage under test: after the ClientHello, or after a line
    // the client sends inside TLS just before it waits for the reply.
    TScriptedSmtpServer server(inHandshake ? TSmtpScript{}
                                           : Serving(Certificates().Loopback).ReadLine());
    TClientSocket client;
    ASSERT_EQ(client.Open(server.Host(), true, std::stoi(server.Port()), In(5s)), ESocketStatus::Ok);
    auto waiting = std::async(std::launch::async, [&] {
        if (inHandshake) {
            return client.StartTls({"127.0.0.1", ""}, In(60s)).Status;
        }
        const auto started = client.StartTls({"127.0.0.1", ""}, In(10s));
        if (started.Status != ESocketStatus::Ok ||
            client.Send("NOOP\r\n", In(5s)) != ESocketStatus::Ok) {
            return ESocketStatus::Failed;
        }
        char buffer[64];
        return client.Receive(buffer, sizeof buffer, In(60s)).Status;
    });
    ASSERT_TRUE(server.WaitForReceived(inHandshake ? "\x16\x03" : "NOOP\r\n"));
    const auto interrupted = net::TClock::now();
    client.Interrupt();
    ASSERT_EQ(waiting.wait_for(5s), std::future_status::ready);
    EXPECT_LT(net::TClock::now() - interrupted, 5s);
    EXPECT_EQ(waiting.get(), ESocketStatus::Interrupted);
}

INSTANTIATE_TEST_SUITE_P(Stages, TlsSocketInterrupt,
                         ::testing::Values(EStage::Handshake, EStage::Receive),
                         [](const auto& each) {
                             return each.param == EStage::Handshake ? "Handshake" : "Receive";
                         });

TEST_F(TlsSocket, CloseIsSafeInEveryStateAndTheSocketOpensAgain) {
    TClientSocket client;
    client.Close();  // never opened
    EXPECT_EQ(client.StartTls({"127.0.0.1", ""}, In(1s)).Status, ESocketStatus::Failed);

    {  // an interrupted handshake
        TScriptedSmtpServer silent(TSmtpScript{});
        ASSERT_EQ(client.Open(silent.Host(), true, std::stoi(silent.Port()), In(5s)),
                  ESocketStatus::Ok);
        client.Interrupt();
        EXPECT_EQ(client.StartTls({"127.0.0.1", ""}, In(5s)).Status, ESocketStatus::Interrupted);
        client.Close();
        client.ResetInterrupt();
    }
    {  // a refused certificate (the handshake itself completed)
        TScriptedSmtpServer refused(Serving(Certificates().Expired));
        EXPECT_EQ(Connect(client, refused, {"127.0.0.1", ""}).Failure, ETlsFailure::Expired);
        client.Close();
    }
    // Established sessions, one after the other on the same object: closed by the misuse of
    // a second handshake, and closed twice by hand.
    for (const bool secondHandshake : {true, false}) {
        TScriptedSmtpServer server(Serving(Certificates().Loopback).ReadLine());
        ASSERT_EQ(Connect(client, server, {"127.0.0.1", ""}).Status, ESocketStatus::Ok);
        if (secondHandshake) {
            EXPECT_EQ(client.StartTls({"127.0.0.1", ""}, In(1s)).Status, ESocketStatus::Failed);
        }
        client.Close();
        client.Close();
        EXPECT_FALSE(client.IsOpen());
        EXPECT_FALSE(client.IsEncrypted());
        EXPECT_TRUE(server.WaitUntilClosed());
    }
}

// ---- Data --------------------------------------------------------------------------------

TEST_F(TlsSocket, ThreeMebibytesCrossTlsByteForByteBothWays) {
    std::string data(3 * 1024 * 1024, '\0');
    std::uint32_t state = 12345;
    for (char& each : data) {
        state = state * 1103515245u + 12345u;
        each = static_cast<char>(state >> 24);
        if (each == '\r') {
            each = 'r';  // keep the end-of-data marker unambiguous
        }
    }
    TScriptedSmtpServer server(Serving(Certificates().Loopback).ReadData().Send(data));
    TClientSocket client;
    ASSERT_EQ(Connect(client, server, {"127.0.0.1", ""}).Status, ESocketStatus::Ok);
    ASSERT_EQ(client.Send(data + "\r\n.\r\n", In(30s)), ESocketStatus::Ok);
    const std::string echoed = ReceiveUpTo(client, data.size(), In(30s));
    EXPECT_EQ(echoed.size(), data.size());
    EXPECT_TRUE(echoed == data);
    ASSERT_EQ(server.Data().size(), 1u);
    EXPECT_TRUE(server.Data()[0] == data + "\r\n");
}

struct TEndCase {
    const char* Label;
    TSmtpScript (*End)(TSmtpScript);
    ESocketStatus Receive;
};

class TlsSocketEnds : public TlsSocket, public ::testing::WithParamInterface<TEndCase> {};

TEST_P(TlsSocketEnds, HowTheServerEndsTlsIsWhatReceiveSays) {
    TScriptedSmtpServer server(GetParam().End(Serving(Certificates().Loopback).Send("221 bye\r\n")));
    TClientSocket client;
    ASSERT_EQ(Connect(client, server, {"127.0.0.1", ""}).Status, ESocketStatus::Ok);
    EXPECT_EQ(ReceiveUpTo(client, 9, In(5s)), "221 bye\r\n");
    char buffer[64];
    EXPECT_EQ(client.Receive(buffer, sizeof buffer, In(5s)).Status, GetParam().Receive);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, TlsSocketEnds,
    ::testing::Values(
        TEndCase{"CloseNotify", [](TSmtpScript s) { return s.Close(); }, ESocketStatus::Closed},
        // A cut without close_notify could hide lost data: never an orderly end.
        TEndCase{"Truncation", [](TSmtpScript s) { return s.Truncate(); }, ESocketStatus::Failed}),
    [](const auto& each) { return std::string(each.param.Label); });

TEST_F(TlsSocket, SendingToAServerThatHasGoneFailsWithoutSigpipe) {
    TScriptedSmtpServer server(Serving(Certificates().Loopback).Reset());
    TClientSocket client;
    ASSERT_EQ(Connect(client, server, {"127.0.0.1", ""}).Status, ESocketStatus::Ok);
    ASSERT_TRUE(server.WaitUntilClosed());
    // The reset is reported once (here, to Receive); writing after it is EPIPE, which
    // raises SIGPIPE, whose default action would end this process, unless suppressed.
    char buffer[64];
    EXPECT_EQ(client.Receive(buffer, sizeof buffer, In(5s)).Status, ESocketStatus::Failed);
    EXPECT_EQ(client.Send("QUIT\r\n", In(5s)), ESocketStatus::Failed);
    client.Close();
}

// ---- Against a TLS stack nobody here wrote: Python's ssl inside aiosmtpd ---------------

// Sends Command (unless empty) and reads its whole reply (RFC 5321 section 4.2.1).
std::string Exchange(TClientSocket& socket, const std::string& command) {
    if (!command.empty() && socket.Send(command + "\r\n", In(5s)) != ESocketStatus::Ok) {
        return "send failed";
    }
    std::string reply;
    char byte = 0;
    for (std::size_t lineStart = 0;;) {
        if (socket.Receive(&byte, 1, In(10s)).Status != ESocketStatus::Ok) {
            return reply + "[receive failed]";
        }
        reply += byte;
        if (byte == '\n') {
            if (reply.size() - lineStart >= 4 && reply[lineStart + 3] == ' ') {
                return reply;
            }
            lineStart = reply.size();
        }
    }
}

class TlsSocketAiosmtpd : public TlsSocket,
                          public ::testing::WithParamInterface<test::TAiosmtpdOptions::ESecurity> {};

TEST_P(TlsSocketAiosmtpd, SignsInAndDeliversThroughTls) {
    const bool implicit = GetParam() == test::TAiosmtpdOptions::ESecurity::ImplicitTls;
    test::TAiosmtpdOptions options;
    options.Security = GetParam();
    options.CertificateFile = Certificates().Loopback.Certificate;
    options.KeyFile = Certificates().Loopback.Key;
    options.RequireStartTls = !implicit;
    options.User = "tester";
    options.Password = "secret";
    test::TAiosmtpdServer sink(options);
    ASSERT_TRUE(sink.Running()) << sink.Problem();

    TClientSocket client;
    ASSERT_EQ(client.Open(sink.Host(), true, std::stoi(sink.Port()), In(5s)), ESocketStatus::Ok);
    if (!implicit) {
        EXPECT_EQ(Exchange(client, "").substr(0, 4), "220 ");
        EXPECT_EQ(Exchange(client, "EHLO client.test").find("AUTH"), std::string::npos)
            << "no sign-in offered before TLS";
        EXPECT_EQ(Exchange(client, "STARTTLS").substr(0, 4), "220 ");
    }
    const net::TTlsResult tls = client.StartTls({"localhost", ""}, In(10s));
    ASSERT_EQ(tls.Status, ESocketStatus::Ok) << tls.Detail;
    if (implicit) {
        EXPECT_EQ(Exchange(client, "").substr(0, 4), "220 ");
    }
    EXPECT_NE(Exchange(client, "EHLO client.test").find("AUTH LOGIN PLAIN"), std::string::npos);
    EXPECT_EQ(Exchange(client, "AUTH PLAIN AHRlc3RlcgB3cm9uZw==").substr(0, 4), "535 ");
    EXPECT_EQ(Exchange(client, "AUTH PLAIN AHRlc3RlcgBzZWNyZXQ=").substr(0, 4), "235 ");
    EXPECT_EQ(Exchange(client, "MAIL FROM:<a@example.test>").substr(0, 4), "250 ");
    EXPECT_EQ(Exchange(client, "RCPT TO:<b@example.test>").substr(0, 4), "250 ");
    EXPECT_EQ(Exchange(client, "DATA").substr(0, 4), "354 ");
    EXPECT_EQ(Exchange(client, "Subject: over TLS\r\n\r\nHello.\r\n.").substr(0, 4), "250 ");
    EXPECT_EQ(Exchange(client, "QUIT").substr(0, 4), "221 ");
    client.Close();

    const auto message = sink.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->Text, "Hello.\r\n");
    EXPECT_TRUE(message->Tls.starts_with("TLSv1.")) << message->Tls;
    EXPECT_EQ(message->Auth, "PLAIN tester");
    EXPECT_EQ(sink.AuthAttempts(),
              (std::vector<std::string>{"PLAIN tester refused", "PLAIN tester accepted"}));
}

INSTANTIATE_TEST_SUITE_P(Modes, TlsSocketAiosmtpd,
                         ::testing::Values(test::TAiosmtpdOptions::ESecurity::StartTls,
                                           test::TAiosmtpdOptions::ESecurity::ImplicitTls),
                         [](const auto& each) {
                             return each.param == test::TAiosmtpdOptions::ESecurity::StartTls
                                        ? "StartTls"
                                        : "ImplicitTls";
                         });

}  // namespace
}  // namespace corvane
