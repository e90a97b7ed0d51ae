#pragma once
// Signing in with OAuth2 in the user's browser: the authorization code flow with PKCE (S256)
// and a loopback redirect (RFC 8252, section 7.3), through Qt's QOAuth2AuthorizationCodeFlow
// and QOAuthHttpServerReplyHandler. The provider's answer comes to http://127.0.0.1:PORT/ on a
// port the system picks, listened on at 127.0.0.1 alone; the first request ends the listening,
// one whose state is not this sign-in's is refused, and the browser shows a short page that
// sends the user back to Corvane. The code then becomes tokens at the token endpoint, with the
// PKCE verifier only this sign-in knows.
//
// The account layer opens no browser itself (that is Qt Gui's QDesktopServices): the caller
// sets OpenUrl, and the window passes QDesktopServices::openUrl. The whole sign-in is bounded
// by TOAuth2Options::Deadline and can be cancelled. Runs on the thread that owns it, through
// that thread's event loop; OnDone is called once, from the event loop, never from inside
// Start or Cancel, so its handler may start another sign-in or destroy this one.

#include <QPointer>
#include <QUrl>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "account/OAuth2Tokens.h"

class QNetworkAccessManager;
class QNetworkReply;
class QObject;
class QOAuth2AuthorizationCodeFlow;
class QOAuthHttpServerReplyHandler;
class QTimer;

namespace corvane::account {

class TOAuth2SignIn {
public:
    using TOnDone = std::function<void(TOAuth2SignIn& sender, const TOAuth2Outcome& outcome)>;
    // Opens Url in the user's browser; false when no browser could be opened.
    using TOpenUrl = std::function<bool(const QUrl& url)>;

    explicit TOAuth2SignIn(TOAuth2Options options = {});
    ~TOAuth2SignIn();
    TOAuth2SignIn(const TOAuth2SignIn&) = delete;
    TOAuth2SignIn& operator=(const TOAuth2SignIn&) = delete;

    // Signs in as Grant asks (its authorization and token URLs, client and scopes); a sign-in
    // still running is cancelled first.
    void Start(const TOAuth2Grant& grant);
    // Stops listening and drops what is under way; OnDone is not called for this sign-in.
    void Cancel();
    bool Running() const { return m_running; }
    // The address the browser was sent to (it holds no token), for a window to offer as a
    // link when no browser came up; empty before the sign-in got that far.
    const QUrl& BrowserUrl() const { return m_browserUrl; }

    TOpenUrl OpenUrl;
    TOnDone OnDone;

private:
    void Begin(const TOAuth2Grant& grant);
    void OnBrowser(const QUrl& url);
    void OnCallback(const QVariantMap& answer);
    void OnTokenReply(QNetworkReply& reply);
    void OnGranted();
    void Finish(EOAuth2End end, std::string problem);
    enum class ETearDown { Now, FromEventLoop };
    void TearDown(ETearDown when);

    TOAuth2Options m_options;
    std::unique_ptr<QTimer> m_deadline;
    // Owns the flow, its reply handler and network access for one sign-in; deleted from the
    // event loop, as its own signals may be what ends the sign-in.
    QObject* m_session = nullptr;
    QOAuth2AuthorizationCodeFlow* m_flow = nullptr;
    QOAuthHttpServerReplyHandler* m_listener = nullptr;
    QNetworkAccessManager* m_network = nullptr;
    std::vector<QPointer<QObject>> m_lingering;  // sessions ended, still sending the page
    QString m_state;
    bool m_running = false;
    bool m_answered = false;  // the one request the listener takes has come
    QUrl m_browserUrl;
    std::uint64_t m_run = 0;  // counts sign-ins, so an OnDone queued for a cancelled one is dropped
    TOAuth2Outcome m_outcome;
    std::shared_ptr<int> m_alive = std::make_shared<int>();  // CallLater's guard
};

}  // namespace corvane::account
