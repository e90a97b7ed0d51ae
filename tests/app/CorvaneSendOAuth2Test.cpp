// corvane-send getting its OAuth2 access token itself, as a user runs it: the real program, the
// loopback authorization server over HTTPS (trusted through SSL_CERT_FILE, as the mail server
// is), aiosmtpd taking exactly the tokens that server issued, the provider in an own provider
// table and the client ID in the window's settings store, both in a scratch XDG_CONFIG_HOME.
// No output of any run may hold a token.

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>

#include "AiosmtpdServer.h"
#include "LoopbackPorts.h"
#include "OAuthServer.h"
#include "PrivateSecretService.h"
#include "ProgramProcess.h"
#include "RegistryTestSupport.h"
#include "TempFolder.h"
#include "TestCertificates.h"
#include "account/Keyring.h"
#include "account/ServerSettings.h"
#include "account/TokenBook.h"
#include "platform/registry/SqliteStore.h"

namespace corvane::send {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::TProgramProcess;

constexpr const char* User = "ada@oauth.test";

bool ShowsAToken(const TProgramProcess& process) {
    for (const std::string* text : {&process.Output(), &process.Error()}) {
        if (text->find("secret-at-") != std::string::npos || text->find("secret-rt-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// Under AddressSanitizer: Qt's HTTP thread gives OpenSSL a random generator of its own, which
// OpenSSL frees as that thread ends. When the program ends right after the token request, its
// exit-time cleanup of OpenSSL can overtake the end of the thread, which then never frees them:
// a leak of OpenSSL's own at exit, not the program's, that would fail a run now and then.
void IgnoreOpenSslThreadGeneratorsAtExit(const test::TTempFolder& folder) {
    const auto file = folder.WriteFile("lsan.supp", "leak:RAND_get0_public\nleak:RAND_get0_private\n");
    const char* old = std::getenv("LSAN_OPTIONS");
    // Quietly: a list of the suppressions used would end up in the status the tests compare. The
    // full stacks let the names match; the fast unwinder stops inside libcrypto.
    const std::string options = (old != nullptr && *old != '\0' ? std::string(old) + ":" : "") + "suppressions=" +
                                file.string() + ":print_suppressions=0:fast_unwind_on_malloc=0";
    ::setenv("LSAN_OPTIONS", options.c_str(), 1);
}

class CorvaneSendOAuth2 : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_certificates.Made()) << m_certificates.Problem();
        ASSERT_TRUE(m_oauth.Running()) << m_oauth.Problem();
        ASSERT_TRUE(m_smtp.Running()) << m_smtp.Problem();
        IgnoreOpenSslThreadGeneratorsAtExit(m_folder);
    }

    static test::TAiosmtpdOptions SmtpOptions(const std::filesystem::path& issued) {
        const auto& certificates = test::TTestCertificates::Shared();
        auto options = test::SignInRequired(test::TAiosmtpdOptions::ESecurity::ImplicitTls,
                                            certificates.Loopback.Certificate, certificates.Loopback.Key, User, "");
        options.IssuedTokens = issued;
        return options;
    }

    std::string Server() const { return "127.0.0.1:" + m_smtp.Port(); }
    std::string Key() const { return account::PasswordKey(User, "127.0.0.1", m_smtp.Port()); }

    // The own provider table: the SMTP server's host belongs to a provider whose endpoints
    // are the authorization server's, behaving as Mode; Token, when given, replaces the token URL.
    void WriteProviders(const std::string& mode, bool device = true, const std::string& token = {}) const {
        const std::string base = m_oauth.Base(mode);
        std::filesystem::create_directories(m_config.StoreFolder());
        std::ofstream(m_config.StoreFolder() / "providers.json")
            << R"({"version": 1, "providers": [{"id": "loopback", "name": "Loopback Mail", "domains": ["oauth.test"],
                 "smtp": {"host": "127.0.0.1", "port": )"
            << m_smtp.Port() << R"(, "security": "tls"}, "userName": "%EMAILADDRESS%", "signIn": ["oauth2"],
                 "oauth2": {"client": "loopback", "issuer": ")"
            << base << R"(", "authorization": ")" << base << R"(/authorize", "token": ")"
            << (token.empty() ? base + "/token" : token) << "\", "
            << (device ? R"("deviceAuthorization": ")" + base + "/device\", " : "")
            << R"("scopes": ["mail.send", "offline"]}}]})";
    }

    // The client ID the user typed into the window's settings for the server.
    void SaveClientId() const {
        account::TServerSettings settings;
        settings.Security = mail::ESecurity::Tls;
        settings.UserName = "someone-else@oauth.test";  // --user decides
        settings.SignIn = mail::ESignInKind::OAuth2;
        settings.OAuth2ClientId = test::TOAuthServer::ClientId;
        ASSERT_TRUE(account::SaveServerSettings(Server(), settings));
        registry::TSqliteStore::CloseProcess();
    }

    std::vector<std::string> Command(const std::string& server, std::vector<std::string> more = {}) const {
        std::vector<std::string> command{CORVANE_SEND_BINARY, "--server", server, "--from", User, "--to",
                                         "bob@example.org", "--user", User, "--auth", "oauth2"};
        if (server != "auto") {
            command.insert(command.end(), {"--security", "tls"});
        }
        command.insert(command.end(), more.begin(), more.end());
        return command;
    }

    // Runs corvane-send to its end; every run is checked for tokens in its output.
    struct TRun {
        std::optional<int> Exit;
        std::string Error;
    };
    TRun Send(const std::vector<std::string>& command) const {
        TProgramProcess send(command, "Hello\n");
        const auto exit = send.WaitForExit(60s);
        EXPECT_FALSE(ShowsAToken(send)) << "a token in the output of " << command.back();
        return {exit, send.Error()};
    }

    const test::TTestCertificates& m_certificates = test::TTestCertificates::Shared();
    test::TTrustOnly m_trust{m_certificates.CaFile};
    test::TScratchRegistry m_config;
    test::TTempFolder m_folder;
    test::TOAuthServer m_oauth{m_folder.Path() / "issued", m_certificates.Loopback};
    test::TAiosmtpdServer m_smtp{SmtpOptions(m_folder.Path() / "issued")};
};

// Each setup that cannot give a token ends the send before anything is connected, saying what
// to do; none makes a settings store that was not there.
TEST_F(CorvaneSendOAuth2, WithoutAProviderAClientOrAKeptSignInNothingIsConnected) {
    test::TTempFolder bus;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (bus.Path() / "no-bus").string()).c_str(), 1);
    struct TCase {
        const char* Name;
        std::function<void()> Setup;
        std::vector<std::string> Arguments;
        std::string Starts;  // what the standard error starts and ends with
        std::string Ends;
    };
    const std::string unknownHost = "corvane-send: Corvane knows no OAuth2 sign-in for ";
    const std::string unknownHostEnd =
        ": OAuth2 works with the servers of the providers in docs/PROVIDERS.md that take it.\n";
    const std::vector<TCase> cases{
        {"no store, so no client ID", [&] { WriteProviders("ok"); }, Command(Server()),
         "corvane-send: Corvane has no OAuth2 registration called \"loopback\" for Loopback Mail; sign in with a "
         "password there.",
         " Or type the client ID your organisation registered into the server's settings.\n"},
        {"a host no provider serves", [&] { WriteProviders("ok"); }, Command("[::1]:" + m_smtp.Port()),
         unknownHost + "::1" + unknownHostEnd, ""},
        {"an own table whose endpoints are not https",
         [&] {
             WriteProviders("ok", true, "http://127.0.0.1:1/token");
             SaveClientId();
         },
         Command(Server()), "corvane: not used: " + (m_config.StoreFolder() / "providers.json").string() + ": ",
         "\"http://127.0.0.1:1/token\" is not an https URL with a host, or holds a placeholder other than "
         "{tenant}\n" + unknownHost + "127.0.0.1" + unknownHostEnd},
        {"a provider without the device flow", [&] { WriteProviders("ok", false); },
         Command(Server(), {"--oauth2-device"}),
         "corvane-send: Loopback Mail offers no sign-in without a browser: sign in once in Corvane's window, then "
         "send without --oauth2-device\n",
         ""},
        {"no keyring", [&] { WriteProviders("ok"); }, Command(Server(), {"--quiet"}),
         "corvane-send: no keyring to read the OAuth2 sign-in for " + Key() + " from (",
         "): send with --oauth2-device or --token-command\n"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const bool hadStore = std::filesystem::exists(m_config.StoreFile());
        row.Setup();
        const bool storeBefore = std::filesystem::exists(m_config.StoreFile());
        const TRun run = Send(row.Arguments);
        EXPECT_EQ(run.Exit, 2) << run.Error;
        EXPECT_TRUE(run.Error.starts_with(row.Starts) && run.Error.ends_with(row.Ends)) << run.Error;
        EXPECT_EQ(std::filesystem::exists(m_config.StoreFile()), storeBefore) << "had one before: " << hadStore;
    }
    EXPECT_FALSE(m_smtp.Message(1).has_value());
    EXPECT_FALSE(std::filesystem::exists(m_folder.Path() / "issued")) << "no token was issued";
}

// The code is shown even with --quiet, which only leaves out the waiting; a refusal on the
// other device ends the send as a failure, and Ctrl+C ends the wait at once.
TEST_F(CorvaneSendOAuth2, ADeviceSignInRefusedOrInterruptedEndsBeforeConnecting) {
    test::TTempFolder bus;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (bus.Path() / "no-bus").string()).c_str(), 1);
    SaveClientId();
    WriteProviders("deny");
    const std::string activate = m_oauth.Base("deny") + "/activate";
    const std::string code = "To sign in, open " + activate +
                             " on any device and enter the code WDJB-MJHT (valid for 60 seconds).\nOr open " +
                             activate + "?user_code=WDJB-MJHT, which holds the code already.\n";
    const TRun refused = Send(Command(Server(), {"--oauth2-device", "--quiet"}));
    EXPECT_EQ(refused.Exit, 1);
    EXPECT_EQ(refused.Error,
              code + "corvane-send: Not signed in: the sign-in was refused (access_denied: The user said no.).\n");

    WriteProviders("ok");
    TProgramProcess waiting(Command(Server(), {"--oauth2-device"}), "Hello\n");
    ASSERT_TRUE(waiting.WaitForError("Waiting for the sign-in . . .\n", 30s)) << waiting.Error();
    EXPECT_NE(waiting.Error().find("enter the code WDJB-MJHT"), std::string::npos) << waiting.Error();
    const auto interrupted = std::chrono::steady_clock::now();
    waiting.Signal(SIGINT);
    EXPECT_EQ(waiting.WaitForExit(10s), 130) << waiting.Error();
    // Left alone, the flow would wait through slow_down for six seconds more, then send.
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 2s);
    EXPECT_TRUE(waiting.Error().ends_with("\nCanceled: Ready for your mail.\n")) << waiting.Error();
    EXPECT_FALSE(ShowsAToken(waiting));
    EXPECT_FALSE(m_smtp.Message(1).has_value());
}

// The whole life of a sign-in: the device flow (waiting through authorization_pending and
// slow_down) sends and keeps the refresh token in the keyring; a later send without
// --oauth2-device (here with --server auto, which finds the same server in the provider
// table) refreshes with it; an unreachable token endpoint fails that send but keeps the
// sign-in; a revoked one is forgotten, and from then on the user is told to sign in again.
TEST_F(CorvaneSendOAuth2, ADeviceSignInIsKeptForLaterSendsUntilTheProviderRevokesIt) {
    test::TPrivateSecretService keyring;
    ASSERT_EQ(keyring.Problem(), "");
    SaveClientId();
    WriteProviders("ok");
    const std::string refreshKey = account::RefreshTokenKey(Key());

    const auto started = std::chrono::steady_clock::now();
    const TRun device = Send(Command(Server(), {"--oauth2-device"}));
    ASSERT_EQ(device.Exit, 0) << device.Error;
    // The server refuses a poll that comes before its interval: slow_down's five seconds more were waited.
    EXPECT_GE(std::chrono::steady_clock::now() - started, 7s);
    std::size_t at = 0;
    for (const std::string& line :
         {"Signing in as "s + User + " with Loopback Mail . . .\n",
          "To sign in, open " + m_oauth.Base("ok") + "/activate on any device and enter the code WDJB-MJHT",
          "Waiting for the sign-in . . .\n"s, "Signing in as "s + User + " . . .\n"}) {
        at = device.Error.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << device.Error;
    }
    auto message = m_smtp.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->Auth, "XOAUTH2 "s + User);
    const std::optional<std::string> kept = test::LookedUpBySecretTool(refreshKey);
    EXPECT_TRUE(kept && kept->starts_with("secret-rt-")) << "no refresh token kept under " << refreshKey;

    const TRun refreshed = Send(Command("auto"));
    ASSERT_EQ(refreshed.Exit, 0) << refreshed.Error;
    EXPECT_NE(refreshed.Error.find("Getting an access token from Loopback Mail . . .\n"), std::string::npos)
        << refreshed.Error;
    message = m_smtp.Message(2);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->Auth, "XOAUTH2 "s + User);

    test::TRefusingPort refusing;
    ASSERT_TRUE(refusing.Valid());
    WriteProviders("ok", true, "https://127.0.0.1:" + refusing.Port() + "/token");
    const TRun unreachable = Send(Command(Server()));
    EXPECT_EQ(unreachable.Exit, 1);
    EXPECT_NE(unreachable.Error.find("corvane-send: Not signed in: the provider's token endpoint could not be reached"),
              std::string::npos)
        << unreachable.Error;
    EXPECT_TRUE(test::LookedUpBySecretTool(refreshKey) == kept) << "the sign-in is still kept";

    WriteProviders("revoked");
    const TRun revoked = Send(Command(Server()));
    EXPECT_EQ(revoked.Exit, 2);
    EXPECT_NE(revoked.Error.find("corvane-send: the OAuth2 sign-in kept for " + Key() +
                                 " is no longer valid, and is forgotten ("),
              std::string::npos)
        << revoked.Error;
    EXPECT_TRUE(revoked.Error.ends_with("invalid_grant: The refresh token is no longer valid.)): sign in once in "
                                        "Corvane's window, or send with --oauth2-device\n"))
        << revoked.Error;
    EXPECT_FALSE(test::LookedUpBySecretTool(refreshKey).has_value());

    const TRun forgotten = Send(Command(Server()));
    EXPECT_EQ(forgotten.Exit, 2);
    EXPECT_EQ(forgotten.Error, "corvane-send: no OAuth2 sign-in is kept for " + Key() +
                                   ": sign in once in Corvane's window, or send with --oauth2-device\n");
    EXPECT_FALSE(m_smtp.Message(3).has_value());
}

}  // namespace
}  // namespace corvane::send
