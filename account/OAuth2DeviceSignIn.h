#pragma once
// Signing in with OAuth2 where no browser can be opened (RFC 8628, the device authorization
// grant): the provider gives a short code and a web address; the user opens it on any device,
// types the code and signs in there, while this polls the token endpoint at the interval the
// provider asks (authorization_pending: go on; slow_down: five seconds more between polls;
// access_denied: Refused; expired_token: Expired).
//
// Bounded by TOAuth2Options::Deadline and by the code's own life, and cancellable. Runs on the
// thread that owns it; OnCode and OnDone are called from the event loop, never from inside
// Start or Cancel, so their handlers may cancel or destroy it. OnDone is called once.

#include <QTimer>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "account/OAuth2Tokens.h"

class QNetworkAccessManager;
class QNetworkReply;

namespace corvane::account {

// What the user is told: go to VerificationUrl and type UserCode.
struct TDeviceCode {
    std::string VerificationUrl;
    std::string UserCode;
    std::string VerificationUrlComplete;  // with the code in it, when the provider gives one
    std::chrono::seconds ExpiresIn{0};
};

class TOAuth2DeviceSignIn {
public:
    using TOnCode = std::function<void(TOAuth2DeviceSignIn& sender, const TDeviceCode& code)>;
    using TOnDone = std::function<void(TOAuth2DeviceSignIn& sender, const TOAuth2Outcome& outcome)>;

    // Long enough to walk to another device and sign in; Microsoft's codes last 15 minutes.
    static TOAuth2Options DefaultOptions() {
        TOAuth2Options options;
        options.Deadline = std::chrono::minutes(15);
        return options;
    }
    // What slow_down adds to the time between polls.
    static constexpr std::chrono::seconds SlowDownStep{5};

    explicit TOAuth2DeviceSignIn(TOAuth2Options options = DefaultOptions());
    ~TOAuth2DeviceSignIn();
    TOAuth2DeviceSignIn(const TOAuth2DeviceSignIn&) = delete;
    TOAuth2DeviceSignIn& operator=(const TOAuth2DeviceSignIn&) = delete;

    // Signs in as Grant asks (its device authorization and token URLs, client and scopes); one
    // still running is cancelled first.
    void Start(const TOAuth2Grant& grant);
    void Cancel();
    bool Running() const { return m_running; }
    // The time between polls now, as the provider asked and slow_down made it.
    std::chrono::seconds Interval() const { return m_interval; }

    TOnCode OnCode;
    TOnDone OnDone;

private:
    void Post(const std::string& url, const std::vector<std::pair<std::string, std::string>>& fields);
    void OnFinished(QNetworkReply& reply);
    void OnDeviceAnswer(int status, std::string_view body);
    void OnPollAnswer(QNetworkReply& reply);
    void Poll();
    void Finish(TOAuth2Outcome outcome);

    TOAuth2Options m_options;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QTimer m_deadline;
    QTimer m_poll;
    QNetworkReply* m_reply = nullptr;
    bool m_running = false;
    bool m_polling = false;  // the code came; the replies are the token endpoint's
    bool m_codeRunsOutFirst = false;
    TOAuth2Grant m_grant;
    std::string m_deviceCode;
    std::chrono::seconds m_interval{5};
    std::uint64_t m_run = 0;  // counts sign-ins, so a call queued for a cancelled one is dropped
    std::shared_ptr<int> m_alive = std::make_shared<int>();  // CallLater's guard
};

}  // namespace corvane::account
