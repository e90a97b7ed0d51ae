#include "account/OAuth2SignIn.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstring>

#include "account/LaterCall.h"
#include "mail/ScreenText.h"

namespace corvane::account {

namespace {

// What the browser shows once the provider's answer reached Corvane.
const char* const AnswerTakenPage =
    "<h1>Corvane has the answer</h1><p>You can close this page and return to Corvane.</p>";
const char* const AnswerRefusedPage =
    "<h1>Corvane did not take this answer</h1><p>Return to Corvane, which says why.</p>";

constexpr qint64 MaxAnswerBytes = 64 * 1024;
// Long enough for the page to reach a browser on this machine.
constexpr std::chrono::seconds PageLeaves{2};

// Random bytes in base64url without padding: the state and the PKCE verifier (32 bytes give
// the 43 characters RFC 7636 asks of a verifier at the least).
QString RandomText() {
    std::array<quint32, 8> words{};
    QRandomGenerator::system()->fillRange(words.data(), words.size());
    const QByteArray bytes(reinterpret_cast<const char*>(words.data()), static_cast<qsizetype>(sizeof(words)));
    return QString::fromLatin1(bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString ChallengeFor(const QString& verifier) {
    return QString::fromLatin1(QCryptographicHash::hash(verifier.toLatin1(), QCryptographicHash::Sha256)
                                   .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QString Joined(const std::vector<std::string>& scopes) {
    QStringList joined;
    for (const std::string& scope : scopes) {
        joined << QString::fromStdString(scope);
    }
    return joined.join(u' ');
}

// A text of the provider's answer as it reads: Qt 6.4's listener leaves the query's values
// percent-encoded, with '+' for a space.
QString QueryText(const QVariantMap& answer, const char* key) {
    QByteArray text = answer.value(QLatin1String(key)).toString().toUtf8();
    text.replace('+', ' ');
    return QUrl::fromPercentEncoding(text);
}

std::chrono::system_clock::time_point SystemTime(const QDateTime& at) {
    return std::chrono::system_clock::time_point(std::chrono::milliseconds(at.toMSecsSinceEpoch()));
}

}  // namespace

TOAuth2SignIn::TOAuth2SignIn(TOAuth2Options options)
    : m_options(std::move(options)), m_deadline(std::make_unique<QTimer>()) {
    m_deadline->setSingleShot(true);
    m_deadline->setTimerType(Qt::PreciseTimer);
    QObject::connect(m_deadline.get(), &QTimer::timeout, m_deadline.get(), [this] {
        Finish(EOAuth2End::TimedOut, "the sign-in was not done within " + WithinWords(m_options.Deadline));
    });
}

TOAuth2SignIn::~TOAuth2SignIn() {
    ++m_run;
    TearDown(ETearDown::Now);
    for (const QPointer<QObject>& session : m_lingering) {
        delete session.data();
    }
}

void TOAuth2SignIn::Start(const TOAuth2Grant& grant) {
    Cancel();
    m_running = true;
    m_answered = false;
    m_browserUrl.clear();
    m_outcome = {};
    m_deadline->start(m_options.Deadline);
    Begin(grant);
}

void TOAuth2SignIn::Cancel() {
    ++m_run;
    m_running = false;
    m_deadline->stop();
    TearDown(ETearDown::FromEventLoop);
}

void TOAuth2SignIn::Begin(const TOAuth2Grant& grant) {
    std::string problem;
    if (grant.ClientId.empty()) {
        problem = "there is no client ID to sign in with";
    } else if (!OpenUrl) {
        problem = "there is no way to open a browser";
    } else if (problem = EndpointProblem(grant.AuthorizationUrl, m_options); !problem.empty()) {
        problem = "the provider's sign-in page " + problem;
    } else if (problem = EndpointProblem(grant.TokenUrl, m_options); !problem.empty()) {
        problem = "the provider's token endpoint " + problem;
    }
    if (!problem.empty()) {
        Finish(EOAuth2End::Failed, problem);
        return;
    }
    m_session = new QObject;
    m_network = new QNetworkAccessManager(m_session);
    if (m_options.AllowLoopbackHttp) {
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    m_network->setTransferTimeout(static_cast<int>(m_options.RequestTimeout.count()));
    // A token endpoint never redirects; following one could hand the code to another host.
    m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    // 127.0.0.1 alone: nobody on the network may hand this sign-in an answer.
    m_listener = new QOAuthHttpServerReplyHandler(QHostAddress(QHostAddress::LocalHost), 0, m_session);
    if (!m_listener->isListening()) {
        Finish(EOAuth2End::Failed, "Corvane could not listen on 127.0.0.1 for the provider's answer");
        return;
    }
    m_listener->setCallbackText(QString::fromLatin1(AnswerTakenPage));

    m_flow = new QOAuth2AuthorizationCodeFlow(m_network, m_session);
    m_flow->setClientIdentifier(QString::fromStdString(grant.ClientId));
    m_flow->setClientIdentifierSharedKey(QString::fromStdString(grant.ClientSecret));
    m_flow->setAuthorizationUrl(QUrl(QString::fromStdString(grant.AuthorizationUrl)));
    m_flow->setAccessTokenUrl(QUrl(QString::fromStdString(grant.TokenUrl)));
    m_flow->setScope(Joined(grant.Scopes));
    m_flow->setReplyHandler(m_listener);
    // Qt's own state is eight characters from a generator seeded with the time.
    m_state = RandomText();
    m_flow->setState(m_state);
    const QString verifier = RandomText();
    const QString loginHint = QString::fromStdString(grant.LoginHint);
    // The redirect URI the token request must repeat: Qt asks the listener again then, and a
    // listener closed after its one request names port 0.
    auto redirectUri = std::make_shared<QString>();
    m_flow->setModifyParametersFunction([verifier, challenge = ChallengeFor(verifier), loginHint, redirectUri](
                                            QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant>* parameters) {
        if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
            *redirectUri = parameters->value(QStringLiteral("redirect_uri")).toString();
            parameters->insert(QStringLiteral("code_challenge"), challenge);
            parameters->insert(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            if (!loginHint.isEmpty()) {
                parameters->insert(QStringLiteral("login_hint"), loginHint);
            }
        } else if (stage == QAbstractOAuth::Stage::RequestingAccessToken) {
            parameters->insert(QStringLiteral("code_verifier"), verifier);
            parameters->replace(QStringLiteral("redirect_uri"), *redirectUri);
            // Qt 6.4's flow percent-encodes these before its form encodes them again: the
            // provider would read Google's "4/..." codes as "4%2F..." and refuse them.
            for (const QString& key : {QStringLiteral("code"), QStringLiteral("client_id")}) {
                const QByteArray value = parameters->take(key).toByteArray();
                parameters->insert(key, QUrl::fromPercentEncoding(value));
            }
        }
    });

    // Before grant() connects the flow's own handling, so this sees each answer first.
    QObject::connect(m_listener, &QAbstractOAuthReplyHandler::callbackReceived, m_session,
                     [this](const QVariantMap& answer) { OnCallback(answer); });
    QObject::connect(m_flow, &QAbstractOAuth::authorizeWithBrowser, m_session,
                     [this](const QUrl& url) { OnBrowser(url); });
    QObject::connect(m_flow, &QAbstractOAuth::granted, m_session, [this] { OnGranted(); });
    QObject::connect(m_network, &QNetworkAccessManager::finished, m_session,
                     [this](QNetworkReply* reply) { OnTokenReply(*reply); });
    m_flow->grant();
}

void TOAuth2SignIn::OnBrowser(const QUrl& url) {
    m_browserUrl = url;
    if (!OpenUrl(url)) {
        Finish(EOAuth2End::Failed, "no browser could be opened for the provider's sign-in page");
    }
}

void TOAuth2SignIn::OnCallback(const QVariantMap& answer) {
    if (!m_running || m_answered) {
        return;
    }
    // One answer per sign-in: whatever comes next finds nobody listening.
    m_answered = true;
    m_listener->close();
    const QString error = QueryText(answer, "error");
    // An answer with another state may come from anybody, and so may its words.
    const bool ours = answer.value(QStringLiteral("state")).toString() == m_state;
    if (!ours || !error.isEmpty()) {
        m_listener->setCallbackText(QString::fromLatin1(AnswerRefusedPage));
        if (ours) {
            const std::string description = QueryText(answer, "error_description").left(200).toStdString();
            Finish(EOAuth2End::Refused, "the sign-in was refused in the browser (" +
                                            mail::ScreenSafe(error.left(100).toStdString()) +
                                            (description.empty() ? "" : ": " + mail::ScreenSafe(description)) + ")");
        } else {
            // Qt's flow drops such an answer without a word; this sign-in ends with one.
            Finish(EOAuth2End::Refused,
                   "an answer reached Corvane that was not for this sign-in (its state did not match); it was refused");
        }
        return;
    }
    if (answer.value(QStringLiteral("code")).toString().isEmpty()) {
        m_listener->setCallbackText(QString::fromLatin1(AnswerRefusedPage));
        Finish(EOAuth2End::Failed, "the provider's answer held no authorization code");
    }
}

// Seen before Qt's flow reads the answer: a refusal Qt would only warn about ends the sign-in
// here, with the provider's reason.
void TOAuth2SignIn::OnTokenReply(QNetworkReply& reply) {
    if (!m_running) {
        return;
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
        Finish(reply.error() == QNetworkReply::OperationCanceledError ? EOAuth2End::TimedOut : EOAuth2End::Failed,
               "the provider's token endpoint could not be reached: " +
                   mail::ScreenSafe(reply.errorString().toStdString()));
        return;
    }
    QByteArray body = reply.peek(MaxAnswerBytes);
    const TTokenAnswer read =
        ReadTokenAnswer(status, std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
    if (!body.isEmpty()) {
        explicit_bzero(body.data(), static_cast<std::size_t>(body.size()));
    }
    if (read.Outcome.End != EOAuth2End::Granted) {
        Finish(read.Outcome.End, read.Outcome.Problem);
        return;
    }
    // Qt's flow reports granted() as it reads the same answer, before this runs.
    CallLater(std::chrono::milliseconds(0), m_alive, [this, run = m_run] {
        if (run == m_run && m_running) {
            Finish(EOAuth2End::Failed, "the provider's tokens were not taken (Qt's OAuth2 flow refused them)");
        }
    });
}

void TOAuth2SignIn::OnGranted() {
    if (!m_running) {
        return;
    }
    TOAuth2Tokens& tokens = m_outcome.Tokens;
    tokens.AccessToken = m_flow->token().toStdString();
    tokens.RefreshToken = m_flow->refreshToken().toStdString();
    const QDateTime expires = m_flow->expirationAt();
    tokens.ExpiresAt =
        expires.isValid() ? SystemTime(expires) : std::chrono::system_clock::now() + AssumedTokenLife;
    // Held once, by the outcome; the flow goes with the session.
    m_flow->setToken({});
    m_flow->setRefreshToken({});
    Finish(EOAuth2End::Granted, {});
}

void TOAuth2SignIn::Finish(EOAuth2End end, std::string problem) {
    if (!m_running) {
        return;
    }
    m_running = false;
    m_deadline->stop();
    TearDown(ETearDown::FromEventLoop);
    m_outcome.End = end;
    m_outcome.Problem = std::move(problem);
    CallLater(std::chrono::milliseconds(0), m_alive, [this, run = m_run, outcome = std::move(m_outcome)] {
        if (run == m_run && OnDone) {
            OnDone(*this, outcome);
        }
    });
    m_outcome = {};
}

void TOAuth2SignIn::TearDown(ETearDown when) {
    if (m_session == nullptr) {
        return;
    }
    m_listener->close();
    if (m_flow != nullptr) {
        m_flow->setModifyParametersFunction({});
        QObject::disconnect(m_flow, nullptr, m_session, nullptr);
    }
    QObject::disconnect(m_listener, nullptr, m_session, nullptr);
    QObject::disconnect(m_network, nullptr, m_session, nullptr);
    // Its own signals may be on the stack but for the owner's destructor: the session goes from
    // the event loop. A token request still under way ends now.
    QObject* session = std::exchange(m_session, nullptr);
    for (QNetworkReply* reply : m_network->findChildren<QNetworkReply*>()) {
        reply->abort();
    }
    if (when == ETearDown::Now) {
        delete session;
    } else {
        // The listener is still sending the browser its page, which its socket would drop if
        // it went at once.
        QTimer::singleShot(PageLeaves, session, [session] { session->deleteLater(); });
        m_lingering.erase(std::remove(m_lingering.begin(), m_lingering.end(), nullptr), m_lingering.end());
        m_lingering.emplace_back(session);
    }
    m_flow = nullptr;
    m_listener = nullptr;
    m_network = nullptr;
}

}  // namespace corvane::account
