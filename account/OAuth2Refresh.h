#pragma once
// A new access token from a refresh token (RFC 6749, section 6): one form-encoded POST to the
// provider's token endpoint. A provider that no longer takes the refresh token (it was revoked,
// the password changed, it ran out) answers invalid_grant: SignInAgain, and the user must sign
// in in the browser anew. Bounded by TOAuth2Options::Deadline and cancellable; runs on the
// thread that owns it, and OnDone is called once, from the event loop, never from inside Start
// or Cancel.

#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "account/OAuth2Tokens.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane::account {

class TOAuth2Refresh {
public:
    using TOnDone = std::function<void(TOAuth2Refresh& sender, const TOAuth2Outcome& outcome)>;

    // Nobody waits at a browser here: half a minute is plenty for one request.
    static TOAuth2Options DefaultOptions() {
        TOAuth2Options options;
        options.Deadline = std::chrono::seconds(30);
        return options;
    }

    // The Problem of SignInAgain when there was no refresh token to start with (the first
    // sign-in), as against one the provider no longer takes.
    static constexpr std::string_view NoRefreshToken = "there is no refresh token; sign in again";

    explicit TOAuth2Refresh(TOAuth2Options options = DefaultOptions());
    ~TOAuth2Refresh();
    TOAuth2Refresh(const TOAuth2Refresh&) = delete;
    TOAuth2Refresh& operator=(const TOAuth2Refresh&) = delete;

    // Asks Grant's token endpoint for a new access token with RefreshToken; a refresh still
    // running is cancelled first. Granted tokens hold a new refresh token only when the
    // provider sent one: the old one stays good otherwise.
    void Start(const TOAuth2Grant& grant, const std::string& refreshToken);
    void Cancel();
    bool Running() const { return m_running; }

    TOnDone OnDone;

private:
    void OnFinished(QNetworkReply& reply);
    void Finish(TOAuth2Outcome outcome);

    TOAuth2Options m_options;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QTimer m_deadline;
    QNetworkReply* m_reply = nullptr;
    bool m_running = false;
    std::uint64_t m_run = 0;  // counts refreshes, so an OnDone queued for a cancelled one is dropped
    std::shared_ptr<int> m_alive = std::make_shared<int>();  // CallLater's guard
};

}  // namespace corvane::account
