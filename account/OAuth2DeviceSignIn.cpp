#include "account/OAuth2DeviceSignIn.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QUrl>

#include <algorithm>

#include "account/LaterCall.h"
#include "account/NetworkReplies.h"
#include "account/Passwords.h"
#include "mail/ScreenText.h"

namespace corvane::account {

namespace {

constexpr qint64 MaxAnswerBytes = 64 * 1024;
constexpr const char* DeviceCodeGrant = "urn:ietf:params:oauth:grant-type:device_code";
// A provider that asks for no pause, or one of hours, gets these bounds.
constexpr std::chrono::seconds ShortestInterval{1};
constexpr std::chrono::seconds LongestInterval{60};

std::string Text(const QJsonObject& object, const char* key) {
    return object.value(QLatin1String(key)).toString().toStdString();
}

std::chrono::seconds Seconds(const QJsonValue& value, std::chrono::seconds otherwise) {
    const double seconds = value.isString() ? value.toString().toDouble() : value.toDouble();
    return seconds > 0 && seconds < 1e6 ? std::chrono::seconds(static_cast<long long>(seconds)) : otherwise;
}

// The address the user is sent to is shown and perhaps opened: only a web address.
bool IsWebAddress(const std::string& url) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    return parsed.isValid() && (parsed.scheme() == u"https" || parsed.scheme() == u"http") && !parsed.host().isEmpty();
}

}  // namespace

TOAuth2DeviceSignIn::TOAuth2DeviceSignIn(TOAuth2Options options)
    : m_options(std::move(options)), m_network(std::make_unique<QNetworkAccessManager>()) {
    if (m_options.AllowLoopbackHttp) {
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_deadline, &QTimer::timeout, &m_deadline, [this] {
        AbandonReply(m_reply);
        if (m_codeRunsOutFirst) {
            Finish({EOAuth2End::Expired, {}, "the code to sign in with ran out before the sign-in was done"});
        } else {
            Finish({EOAuth2End::TimedOut, {}, "the sign-in was not done within " + WithinWords(m_options.Deadline)});
        }
    });
    m_poll.setSingleShot(true);
    // A coarse timer may fire up to 5% early, and a provider takes a poll before the interval
    // has passed for one more slow_down, or refuses.
    m_poll.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_poll, &QTimer::timeout, &m_poll, [this] { Poll(); });
}

TOAuth2DeviceSignIn::~TOAuth2DeviceSignIn() {
    Cancel();
}

void TOAuth2DeviceSignIn::Start(const TOAuth2Grant& grant) {
    Cancel();
    m_running = true;
    m_polling = false;
    m_codeRunsOutFirst = false;
    m_grant = grant;
    m_interval = std::chrono::seconds(5);
    m_deadline.start(m_options.Deadline);
    std::string problem;
    if (grant.DeviceAuthorizationUrl.empty()) {
        problem = "this provider offers no sign-in without a browser";
    } else if (grant.ClientId.empty()) {
        problem = "there is no client ID to sign in with";
    } else if (problem = EndpointProblem(grant.DeviceAuthorizationUrl, m_options); !problem.empty()) {
        problem = "the provider's device sign-in endpoint " + problem;
    } else if (problem = EndpointProblem(grant.TokenUrl, m_options); !problem.empty()) {
        problem = "the provider's token endpoint " + problem;
    }
    if (!problem.empty()) {
        Finish({EOAuth2End::Failed, {}, problem});
        return;
    }
    std::string scopes;
    for (const std::string& scope : grant.Scopes) {
        scopes += (scopes.empty() ? "" : " ") + scope;
    }
    Post(grant.DeviceAuthorizationUrl, {{"client_id", grant.ClientId}, {"scope", scopes}});
}

void TOAuth2DeviceSignIn::Cancel() {
    ++m_run;
    m_running = false;
    m_deadline.stop();
    m_poll.stop();
    AbandonReply(m_reply);
    Wipe(m_deviceCode);
}

void TOAuth2DeviceSignIn::Post(const std::string& url, const std::vector<std::pair<std::string, std::string>>& fields) {
    m_reply = PostForm(*m_network, url, fields, m_options);
    QNetworkReply* reply = m_reply;
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] { OnFinished(*reply); });
}

void TOAuth2DeviceSignIn::OnFinished(QNetworkReply& reply) {
    if (!TakeFinishedReply(m_reply, reply)) {
        return;
    }
    if (m_polling) {
        OnPollAnswer(reply);
        return;
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
        Finish({EOAuth2End::Failed, {}, "the provider's device sign-in endpoint could not be reached: " +
                                            mail::ScreenSafe(reply.errorString().toStdString())});
        return;
    }
    QByteArray body = reply.read(MaxAnswerBytes);
    OnDeviceAnswer(status, std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
    explicit_bzero(body.data(), static_cast<std::size_t>(body.size()));
}

void TOAuth2DeviceSignIn::OnDeviceAnswer(int status, std::string_view body) {
    const QJsonObject answer =
        QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size()))).object();
    TDeviceCode code;
    code.UserCode = Text(answer, "user_code");
    // RFC 8628 names it verification_uri; Google writes verification_url.
    code.VerificationUrl = answer.contains(QLatin1String("verification_uri")) ? Text(answer, "verification_uri")
                                                                              : Text(answer, "verification_url");
    code.VerificationUrlComplete = Text(answer, "verification_uri_complete");
    if (!IsWebAddress(code.VerificationUrlComplete)) {
        code.VerificationUrlComplete.clear();
    }
    code.ExpiresIn = Seconds(answer.value(QLatin1String("expires_in")), std::chrono::minutes(15));
    m_deviceCode = Text(answer, "device_code");
    if (status / 100 != 2 || m_deviceCode.empty() || code.UserCode.empty() || !IsWebAddress(code.VerificationUrl)) {
        TOAuth2Outcome refused = ReadTokenAnswer(status, body).Outcome;
        Finish({refused.End == EOAuth2End::Granted ? EOAuth2End::Failed : refused.End, {},
                refused.End == EOAuth2End::Granted || status / 100 == 2
                    ? "the provider's device sign-in endpoint answered HTTP " + std::to_string(status) +
                          " without a code and a web address"
                    : refused.Problem});
        return;
    }
    code.UserCode = mail::ScreenSafe(code.UserCode);
    m_interval = std::clamp(Seconds(answer.value(QLatin1String("interval")), std::chrono::seconds(5)),
                            ShortestInterval, LongestInterval);
    // The code's own life may end before the sign-in's time does.
    const auto remaining = std::chrono::milliseconds(m_deadline.remainingTime());
    if (code.ExpiresIn < remaining) {
        m_codeRunsOutFirst = true;
        m_deadline.start(code.ExpiresIn);
    }
    m_polling = true;
    m_poll.start(m_interval);
    CallLater(std::chrono::milliseconds(0), m_alive, [this, run = m_run, code = std::move(code)] {
        if (run == m_run && OnCode) {
            OnCode(*this, code);
        }
    });
}

void TOAuth2DeviceSignIn::Poll() {
    if (!m_running) {
        return;
    }
    std::vector<std::pair<std::string, std::string>> fields{
        {"grant_type", DeviceCodeGrant}, {"device_code", m_deviceCode}, {"client_id", m_grant.ClientId}};
    if (!m_grant.ClientSecret.empty()) {
        fields.emplace_back("client_secret", m_grant.ClientSecret);
    }
    Post(m_grant.TokenUrl, fields);
    Wipe(fields[1].second);
}

void TOAuth2DeviceSignIn::OnPollAnswer(QNetworkReply& reply) {
    TTokenAnswer read = ReadTokenReply(reply);
    if (read.Error == "authorization_pending" || read.Error == "slow_down") {
        if (read.Error == "slow_down") {
            m_interval = std::min(m_interval + SlowDownStep, LongestInterval);
        }
        m_poll.start(m_interval);
        return;
    }
    Finish(std::move(read.Outcome));
}

void TOAuth2DeviceSignIn::Finish(TOAuth2Outcome outcome) {
    if (!m_running) {
        return;
    }
    m_running = false;
    m_deadline.stop();
    m_poll.stop();
    Wipe(m_deviceCode);
    CallLater(std::chrono::milliseconds(0), m_alive, [this, run = m_run, outcome = std::move(outcome)] {
        if (run == m_run && OnDone) {
            OnDone(*this, outcome);
        }
    });
}

}  // namespace corvane::account
