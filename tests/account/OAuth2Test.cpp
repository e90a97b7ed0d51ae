// Getting OAuth2 tokens against a loopback authorization server (oauth_server.py): the sign-in
// in the browser with PKCE, whose browser is a stand-in that follows the sign-in page's
// redirect back to Corvane's listener; refreshing, and a refresh token the provider revoked;
// the token book; the device sign-in. Every request goes to 127.0.0.1, and no token may show
// in any text meant for the user.

#include <gtest/gtest.h>

#include <QTcpSocket>
#include <QUrlQuery>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>

#include "BrowserStandIn.h"
#include "EventLoop.h"
#include "MemoryKeyring.h"
#include "OAuthServer.h"
#include "account/FreshAccessToken.h"
#include "account/OAuth2DeviceSignIn.h"
#include "account/OAuth2SignIn.h"
#include "account/TokenBook.h"

namespace corvane::account {

void PrintTo(EOAuth2End end, std::ostream* out) {
    static constexpr const char* Names[] = {"Granted", "SignInAgain", "Refused", "Expired", "TimedOut", "Failed"};
    *out << Names[static_cast<int>(end)];
}

namespace {

using namespace std::chrono_literals;
using TMilliseconds = std::chrono::milliseconds;

// Beyond this past its own bound a try has failed its limits; every wait here ends by then.
constexpr TMilliseconds Slack = 4000ms;

TOAuth2Options Loopback(TMilliseconds deadline = 20s) {
    TOAuth2Options options;
    options.Deadline = deadline;
    options.RequestTimeout = 5s;
    options.AllowLoopbackHttp = true;
    return options;
}

// The server's tokens all start with "secret-"; none may reach a text for the user.
void ExpectNoToken(const std::string& text, const std::string& where) {
    EXPECT_EQ(text.find("secret-"), std::string::npos) << where << " shows a token: " << text;
}

struct TRun {
    std::optional<TOAuth2Outcome> Outcome;
    int Reports = 0;
    TMilliseconds Took{};
};

// Starts a try with Start and runs the event loop until it reports into Run, or Limit has
// passed; Run outlives the try, so a late report lands there too.
template <class TTry, class TStart>
void RunTry(TRun& run, TTry& attempt, TStart start, TMilliseconds limit) {
    attempt.OnDone = [&run](TTry&, const TOAuth2Outcome& outcome) {
        run.Outcome = outcome;
        ++run.Reports;
    };
    const auto started = std::chrono::steady_clock::now();
    start();
    test::RunEventsUntil([&] { return run.Outcome.has_value(); }, limit);
    run.Took = std::chrono::duration_cast<TMilliseconds>(std::chrono::steady_clock::now() - started);
}

bool Listening(quint16 port) {
    QTcpSocket socket;
    socket.connectToHost(QHostAddress(QHostAddress::LocalHost), port);
    return socket.waitForConnected(2000);
}

class OAuth2 : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Running()) << m_server.Problem(); }
    test::TOAuthServer m_server;
};

TEST_F(OAuth2, SignsInWithPkceKeepsTheRefreshTokenInTheKeyringAndRefreshesUntilTheProviderRevokes) {
    test::TBrowserStandIn browser;
    TOAuth2SignIn signIn(Loopback());
    signIn.OpenUrl = browser.Opener();
    TOAuth2Grant grant = m_server.Grant("ok");
    grant.LoginHint = "jo@example.test";
    TRun run;
    RunTry(run, signIn, [&] { signIn.Start(grant); }, 20s);
    ASSERT_TRUE(run.Outcome) << "no end after " << run.Took.count() << " ms";
    // The server grants only a code whose verifier hashes to the challenge it was asked with.
    ASSERT_EQ(run.Outcome->End, EOAuth2End::Granted) << run.Outcome->Problem;
    const TOAuth2Tokens& tokens = run.Outcome->Tokens;
    EXPECT_EQ(tokens.AccessToken.rfind("secret-at-", 0), 0u);
    EXPECT_EQ(tokens.RefreshToken.rfind("secret-rt-", 0), 0u);
    const auto life = tokens.ExpiresAt - std::chrono::system_clock::now();
    EXPECT_TRUE(life > 3500s && life <= 3600s) << std::chrono::duration_cast<std::chrono::seconds>(life).count();
    const QUrlQuery asked(signIn.BrowserUrl());
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("code_challenge_method")), u"S256");
    EXPECT_EQ(asked.queryItemValue(QStringLiteral("login_hint"), QUrl::FullyDecoded), u"jo@example.test");
    EXPECT_EQ(browser.RedirectedTo.host(), u"127.0.0.1");
    EXPECT_NE(browser.Page.find("return to Corvane"), std::string::npos) << browser.Page;
    ExpectNoToken(browser.Page, "the page");
    ExpectNoToken(signIn.BrowserUrl().toString().toStdString(), "the sign-in URL");
    // One answer per sign-in: nobody listens there any more.
    test::RunEventsFor(100ms);
    EXPECT_FALSE(Listening(static_cast<quint16>(browser.RedirectedTo.port())));

    const std::string key = PasswordKey("jo@example.test", "smtp.example.test", "587");
    auto* keyring = new test::TMemoryKeyring;
    TTokenBook book{std::unique_ptr<TKeyring>(keyring)};
    book.Keep(key, tokens);
    EXPECT_EQ(keyring->Entries, (std::map<std::string, std::string>{{RefreshTokenKey(key), tokens.RefreshToken}}));
    EXPECT_EQ(book.AccessToken(key), tokens.AccessToken);
    EXPECT_FALSE(book.AccessToken(key, tokens.ExpiresAt - TTokenBook::Margin));

    // Still good: the book's; run out: refreshed, the refresh token kept; revoked: sign in again.
    const struct {
        const char* What;
        const char* Mode;
        bool RunOut;
        EOAuth2End End;
        bool SameAccessToken;
        bool RefreshTokenKept;
    } cases[] = {
        {"a token still good", "ok", false, EOAuth2End::Granted, true, true},
        {"a token run out", "ok", true, EOAuth2End::Granted, false, true},
        {"a refresh token revoked", "revoked", true, EOAuth2End::SignInAgain, false, false},
    };
    for (const auto& row : cases) {
        const std::string before = book.AccessToken(key).value_or("");
        if (row.RunOut) {
            TOAuth2Tokens ranOut;
            ranOut.AccessToken = before;
            ranOut.ExpiresAt = std::chrono::system_clock::now();
            book.Keep(key, ranOut);
        }
        TFreshAccessToken fresh(book, Loopback(10s));
        TRun got;
        RunTry(got, fresh, [&] { fresh.Start(key, m_server.Grant(row.Mode)); }, 10s);
        ASSERT_TRUE(got.Outcome) << row.What;
        EXPECT_EQ(got.Outcome->End, row.End) << row.What << ": " << got.Outcome->Problem;
        EXPECT_EQ(got.Outcome->Tokens.AccessToken == before, row.SameAccessToken) << row.What;
        EXPECT_EQ(book.RefreshToken(key) == tokens.RefreshToken, row.RefreshTokenKept) << row.What;
        EXPECT_EQ(keyring->Entries.count(RefreshTokenKey(key)), row.RefreshTokenKept ? 1u : 0u) << row.What;
        ExpectNoToken(got.Outcome->Problem, row.What);
    }
    EXPECT_FALSE(book.AccessToken(key));
}

TEST_F(OAuth2, ARefusalAnAnswerWithAnotherStateOrAPlainHttpEndpointEndsWithoutTokens) {
    const struct {
        const char* What;
        const char* Mode;
        bool Forge;
        bool AllowLoopbackHttp;
        EOAuth2End End;
        const char* Problem;
        const char* Page;  // a part of what the browser shows; empty: the browser was not opened
    } cases[] = {
        {"the user says no", "deny", false, true, EOAuth2End::Refused, "access_denied: The user said no.",
         "did not take this answer"},
        {"a forged state", "ok", true, true, EOAuth2End::Refused, "state did not match", "did not take this answer"},
        {"a refusal with a forged state", "deny", true, true, EOAuth2End::Refused, "state did not match",
         "did not take this answer"},
        {"http outside tests", "ok", false, false, EOAuth2End::Failed, "is not https", ""},
    };
    for (const auto& row : cases) {
        test::TBrowserStandIn browser;
        browser.Forge = row.Forge;
        TOAuth2Options options = Loopback();
        options.AllowLoopbackHttp = row.AllowLoopbackHttp;
        TOAuth2SignIn signIn(options);
        signIn.OpenUrl = browser.Opener();
        TRun run;
        RunTry(run, signIn, [&] { signIn.Start(m_server.Grant(row.Mode)); }, 20s);
        ASSERT_TRUE(run.Outcome) << row.What;
        EXPECT_EQ(run.Outcome->End, row.End) << row.What << ": " << run.Outcome->Problem;
        EXPECT_NE(run.Outcome->Problem.find(row.Problem), std::string::npos) << row.What << ": " << run.Outcome->Problem;
        EXPECT_TRUE(run.Outcome->Tokens.AccessToken.empty()) << row.What;
        EXPECT_EQ(browser.Opened, *row.Page == '\0' ? 0 : 1) << row.What;
        test::RunEventsUntil([&] { return !browser.Page.empty() || *row.Page == '\0'; }, 5s);
        EXPECT_NE(browser.Page.find(row.Page), std::string::npos) << row.What << ": " << browser.Page;
        ExpectNoToken(run.Outcome->Problem, row.What);
    }
}

TEST_F(OAuth2, ABrowserThatNeverComesBackEndsAtTheDeadlineAndACancelledSignInSaysNothing) {
    for (const bool cancel : {false, true}) {
        TOAuth2SignIn signIn(Loopback(600ms));
        signIn.OpenUrl = [](const QUrl&) { return true; };
        TRun run;
        RunTry(run, signIn, [&] { signIn.Start(m_server.Grant("ok")); }, cancel ? 150ms : 600ms + Slack);
        const QUrl redirect(QUrlQuery(signIn.BrowserUrl()).queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded));
        if (cancel) {
            ASSERT_FALSE(run.Outcome);
            signIn.Cancel();
            test::RunEventsFor(1500ms);  // past the deadline it had
            EXPECT_EQ(run.Reports, 0);
        } else {
            ASSERT_TRUE(run.Outcome) << "no end after " << run.Took.count() << " ms";
            EXPECT_EQ(run.Outcome->End, EOAuth2End::TimedOut) << run.Outcome->Problem;
            EXPECT_GE(run.Took, 600ms);
            EXPECT_LT(run.Took, 600ms + 2000ms);
            test::RunEventsFor(100ms);
        }
        EXPECT_FALSE(signIn.Running());
        EXPECT_FALSE(Listening(static_cast<quint16>(redirect.port()))) << (cancel ? "cancelled" : "timed out");
    }
}

TEST_F(OAuth2, TheDeviceSignInWaitsWhilePendingSlowsDownWhenAskedAndEndsWithTokensOrARefusal) {
    const struct {
        const char* Mode;
        EOAuth2End End;
        std::chrono::seconds Interval;  // between polls at the end
    } cases[] = {
        {"ok", EOAuth2End::Granted, 1s + TOAuth2DeviceSignIn::SlowDownStep},
        {"deny", EOAuth2End::Refused, 1s},
    };
    for (const auto& row : cases) {
        TOAuth2DeviceSignIn device(Loopback(30s));
        std::vector<TDeviceCode> codes;
        device.OnCode = [&](TOAuth2DeviceSignIn&, const TDeviceCode& code) { codes.push_back(code); };
        TRun run;
        RunTry(run, device, [&] { device.Start(m_server.Grant(row.Mode)); }, 30s);
        ASSERT_TRUE(run.Outcome) << row.Mode;
        EXPECT_EQ(run.Outcome->End, row.End) << row.Mode << ": " << run.Outcome->Problem;
        EXPECT_EQ(device.Interval(), row.Interval) << row.Mode;
        ASSERT_EQ(codes.size(), 1u) << row.Mode;
        EXPECT_EQ(codes[0].UserCode, "WDJB-MJHT");
        EXPECT_EQ(codes[0].VerificationUrl.rfind("http://127.0.0.1:", 0), 0u) << codes[0].VerificationUrl;
        EXPECT_EQ(run.Outcome->Tokens.AccessToken.rfind("secret-at-", 0) == 0, row.End == EOAuth2End::Granted);
        ExpectNoToken(run.Outcome->Problem + codes[0].VerificationUrl + codes[0].UserCode, row.Mode);
    }
}

TEST(OAuth2Endpoints, HttpsAlwaysPlainHttpOnlyOnLoopbackAndOnlyWhenATestSaysSo) {
    const struct {
        const char* Url;
        bool Plain;   // allowed in the program
        bool InTest;  // allowed with AllowLoopbackHttp
    } cases[] = {
        {"https://login.example.test/token", true, true},
        {"http://127.0.0.1:8080/token", false, true},
        {"http://[::1]:8080/token", false, true},
        {"http://127.0.0.2/token", false, false},
        {"http://login.example.test/token", false, false},
        {"https://user@login.example.test/token", false, false},
        {"ftp://127.0.0.1/token", false, false},
        {"no url", false, false},
    };
    for (const auto& row : cases) {
        TOAuth2Options options;
        EXPECT_EQ(EndpointProblem(row.Url, options).empty(), row.Plain) << row.Url;
        options.AllowLoopbackHttp = true;
        EXPECT_EQ(EndpointProblem(row.Url, options).empty(), row.InTest) << row.Url;
    }
}

}  // namespace
}  // namespace corvane::account
