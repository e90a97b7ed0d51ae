#include "account/OAuth2Refresh.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>

#include "account/LaterCall.h"
#include "account/NetworkReplies.h"
#include "account/Passwords.h"

namespace corvane::account {

TOAuth2Refresh::TOAuth2Refresh(TOAuth2Options options)
    : m_options(std::move(options)), m_network(std::make_unique<QNetworkAccessManager>()) {
    if (m_options.AllowLoopbackHttp) {
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_deadline, &QTimer::timeout, &m_deadline, [this] {
        AbandonReply(m_reply);
        Finish({EOAuth2End::TimedOut, {}, "the provider's token endpoint did not answer within " +
                                              WithinWords(m_options.Deadline)});
    });
}

TOAuth2Refresh::~TOAuth2Refresh() {
    Cancel();
}

void TOAuth2Refresh::Start(const TOAuth2Grant& grant, const std::string& refreshToken) {
    Cancel();
    m_running = true;
    m_deadline.start(m_options.Deadline);
    std::string problem = EndpointProblem(grant.TokenUrl, m_options);
    if (!problem.empty() || grant.ClientId.empty() || refreshToken.empty()) {
        Finish({refreshToken.empty() ? EOAuth2End::SignInAgain : EOAuth2End::Failed, {},
                refreshToken.empty() ? std::string(NoRefreshToken)
                : grant.ClientId.empty() ? "there is no client ID to sign in with"
                                         : "the provider's token endpoint " + problem});
        return;
    }
    std::vector<std::pair<std::string, std::string>> fields{
        {"grant_type", "refresh_token"}, {"refresh_token", refreshToken}, {"client_id", grant.ClientId}};
    if (!grant.ClientSecret.empty()) {
        fields.emplace_back("client_secret", grant.ClientSecret);
    }
    std::string scopes;
    for (const std::string& scope : grant.Scopes) {
        scopes += (scopes.empty() ? "" : " ") + scope;
    }
    if (!scopes.empty()) {
        fields.emplace_back("scope", scopes);
    }
    m_reply = PostForm(*m_network, grant.TokenUrl, fields, m_options);
    Wipe(fields[1].second);
    QNetworkReply* reply = m_reply;
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] { OnFinished(*reply); });
}

void TOAuth2Refresh::Cancel() {
    ++m_run;
    m_running = false;
    m_deadline.stop();
    AbandonReply(m_reply);
}

void TOAuth2Refresh::OnFinished(QNetworkReply& reply) {
    if (!TakeFinishedReply(m_reply, reply)) {
        return;
    }
    Finish(ReadTokenReply(reply).Outcome);
}

void TOAuth2Refresh::Finish(TOAuth2Outcome outcome) {
    if (!m_running) {
        return;
    }
    m_running = false;
    m_deadline.stop();
    CallLater(std::chrono::milliseconds(0), m_alive, [this, run = m_run, outcome = std::move(outcome)] {
        if (run == m_run && OnDone) {
            OnDone(*this, outcome);
        }
    });
}

}  // namespace corvane::account
