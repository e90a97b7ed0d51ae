#include "account/AutoconfigLookup.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <utility>

#include "account/LaterCall.h"
#include "account/NetworkReplies.h"
#include "mail/AddressList.h"
#include "mail/Idna.h"
#include "mail/ScreenText.h"

namespace corvane::account {

namespace {

// What Qt holds for a reply before this lookup reads it; with the size cap it bounds memory.
constexpr qint64 ReadBufferBytes = 64 * 1024;
// The server's own words in a detail (an HTTP reason phrase) are cut here.
constexpr qsizetype MaxPhrase = 80;

std::string Text(const QString& text) {
    return text.toStdString();
}

std::string KiB(std::int64_t bytes) {
    return std::to_string(bytes / 1024) + " KiB";
}

// How a reply that this lookup did not abort itself ended, for any but a 2xx answer.
std::pair<EAutoconfigEnd, std::string> Failure(const QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    switch (reply.error()) {
        case QNetworkReply::OperationCanceledError:  // what the transfer timeout does
        case QNetworkReply::TimeoutError:
            return {EAutoconfigEnd::TimedOut, "it did not answer in time"};
        case QNetworkReply::InsecureRedirectError:
            return {EAutoconfigEnd::Insecure, "it redirects away from HTTPS"};
        case QNetworkReply::SslHandshakeFailedError:
            return {EAutoconfigEnd::Certificate, "no secure connection: " + Text(reply.errorString())};
        default:
            break;
    }
    if (status > 0) {
        return {EAutoconfigEnd::Unavailable,
                "it answered HTTP " + std::to_string(status) + " " +
                    Text(reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().left(MaxPhrase))};
    }
    return {EAutoconfigEnd::Unavailable, Text(reply.errorString())};
}

}  // namespace

std::vector<std::string> AutoconfigUrls(std::string_view address) {
    const std::string_view domain = mail::AddressDomain(address);
    if (!mail::IsMailbox(address) || domain.starts_with('[')) {
        return {};
    }
    std::optional<std::string> ascii = mail::DomainToAscii(domain);
    if (!ascii) {
        return {};
    }
    std::transform(ascii->begin(), ascii->end(), ascii->begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    const std::string query =
        QByteArray(address.data(), static_cast<qsizetype>(address.size())).toPercentEncoding().toStdString();
    return {"https://autoconfig." + *ascii + "/mail/config-v1.1.xml?emailaddress=" + query,
            "https://" + *ascii + "/.well-known/autoconfig/mail/config-v1.1.xml"};
}

TAutoconfigLookup::TAutoconfigLookup(TAutoconfigOptions options)
    : m_options(std::move(options)), m_network(std::make_unique<QNetworkAccessManager>()) {
    if (!m_options.Endpoints.empty()) {
        // Straight to the endpoints given, whatever proxy the environment names.
        m_network->setProxy(QNetworkProxy::NoProxy);
    }
    m_deadline.setSingleShot(true);
    QObject::connect(&m_deadline, &QTimer::timeout, &m_deadline, [this] {
        m_deadlinePassed = true;
        if (m_reply != nullptr) {
            AbortReply(EAutoconfigEnd::TimedOut, "the lookup's time ran out");
        } else {
            Finish();
        }
    });
}

TAutoconfigLookup::~TAutoconfigLookup() {
    Cancel();
}

void TAutoconfigLookup::Start(const std::string& address) {
    Cancel();
    m_running = true;
    m_deadlinePassed = false;
    m_outcome = {};
    m_address = address;
    m_urls = AutoconfigUrls(address);
    m_next = 0;
    m_deadline.start(m_options.Deadline);
    AskNext();
}

void TAutoconfigLookup::Cancel() {
    ++m_run;
    m_running = false;
    m_deadline.stop();
    AbandonReply(m_reply);
}

std::optional<QUrl> TAutoconfigLookup::Target(const std::string& url) const {
    const QUrl published(QString::fromStdString(url));
    if (m_options.Endpoints.empty()) {
        return published;
    }
    const auto endpoint = m_options.Endpoints.find(Text(published.host()));
    if (endpoint == m_options.Endpoints.end()) {
        return std::nullopt;
    }
    QUrl target(QString::fromStdString(endpoint->second));
    if (target.scheme() != u"https" || target.host().isEmpty()) {
        return std::nullopt;
    }
    QString path = target.path();
    if (path.endsWith(u'/')) {
        path.chop(1);
    }
    target.setPath(path + published.path());
    target.setQuery(published.query(QUrl::FullyEncoded));
    return target;
}

bool TAutoconfigLookup::MayRedirectTo(const QUrl& target) const {
    if (target.scheme() != u"https") {
        return false;
    }
    return m_options.Endpoints.empty() ||
           std::any_of(m_options.Endpoints.begin(), m_options.Endpoints.end(), [&](const auto& endpoint) {
               return QUrl(QString::fromStdString(endpoint.second)).host() == target.host();
           });
}

void TAutoconfigLookup::AskNext() {
    while (m_next < m_urls.size()) {
        const std::string& url = m_urls[m_next++];
        if (const std::optional<QUrl> target = Target(url)) {
            Ask(*target);
            return;
        }
        m_outcome.Attempts.push_back({url, EAutoconfigEnd::NotAsked, "no endpoint is given for this name"});
    }
    Finish();
}

void TAutoconfigLookup::Ask(const QUrl& target) {
    QNetworkRequest request(target);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(m_options.MaxRedirects);
    request.setTransferTimeout(static_cast<int>(m_options.RequestTimeout.count()));
    if (!m_options.TrustedAuthorities.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(m_options.TrustedAuthorities);
        request.setSslConfiguration(tls);
    }
    m_body.clear();
    m_abort.reset();
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    reply->setReadBufferSize(ReadBufferBytes);
    QObject::connect(reply, &QNetworkReply::redirected, reply, [this, reply](const QUrl& to) { OnRedirected(*reply, to); });
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this, reply] { OnMetaData(*reply); });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, reply] { OnReadyRead(*reply); });
    QObject::connect(reply, &QNetworkReply::finished, reply, [this, reply] { OnFinished(*reply); });
}

void TAutoconfigLookup::OnRedirected(QNetworkReply& reply, const QUrl& target) {
    if (&reply != m_reply) {
        return;
    }
    if (!MayRedirectTo(target)) {
        AbortReply(EAutoconfigEnd::Insecure,
                   "it redirects to " + Text(target.scheme().left(MaxPhrase)) + "://" +
                       Text(target.host().left(MaxPhrase)) + ", which is not allowed");
        return;
    }
    emit reply.redirectAllowed();
}

void TAutoconfigLookup::OnMetaData(QNetworkReply& reply) {
    if (&reply != m_reply) {
        return;
    }
    const QVariant length = reply.header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > m_options.MaxBytes) {
        AbortReply(EAutoconfigEnd::TooLarge, "it is larger than " + KiB(m_options.MaxBytes));
    }
}

void TAutoconfigLookup::OnReadyRead(QNetworkReply& reply) {
    if (&reply != m_reply) {
        return;
    }
    m_body += reply.readAll();
    if (m_body.size() > m_options.MaxBytes) {
        AbortReply(EAutoconfigEnd::TooLarge, "it is larger than " + KiB(m_options.MaxBytes));
    }
}

// Ends the running request for a reason of this lookup's own; Qt then reports it finished.
void TAutoconfigLookup::AbortReply(EAutoconfigEnd end, std::string detail) {
    m_abort = TAutoconfigAttempt{{}, end, std::move(detail)};
    m_reply->abort();
}

void TAutoconfigLookup::OnFinished(QNetworkReply& reply) {
    if (!TakeFinishedReply(m_reply, reply)) {
        return;
    }
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    TAutoconfigAttempt attempt;
    if (m_abort) {
        attempt = *std::exchange(m_abort, std::nullopt);
    } else if (reply.error() != QNetworkReply::NoError) {
        std::tie(attempt.End, attempt.Detail) = Failure(reply);
    } else if (status != 200) {
        attempt = {{}, EAutoconfigEnd::Unavailable, "it answered HTTP " + std::to_string(status)};
    } else {
        m_body += reply.readAll();
        attempt = Read();
    }
    attempt.Url = m_urls[m_next - 1];
    attempt.Detail = mail::ScreenSafe(attempt.Detail);
    m_body.clear();
    m_outcome.Attempts.push_back(std::move(attempt));
    if (m_outcome.Found || m_deadlinePassed) {
        Finish();
    } else {
        AskNext();
    }
}

TAutoconfigAttempt TAutoconfigLookup::Read() {
    const std::string& url = m_urls[m_next - 1];
    TAutoconfigDocument document = ReadAutoconfigDocument(
        std::string_view(m_body.constData(), static_cast<std::size_t>(m_body.size())), m_address, url);
    if (!document.Refused.empty()) {
        return {url, EAutoconfigEnd::Refused, std::move(document.Refused)};
    }
    m_outcome.Found = true;
    m_outcome.Document = std::move(document);
    return {url, EAutoconfigEnd::Found, {}};
}

void TAutoconfigLookup::Finish() {
    m_deadline.stop();
    m_running = false;
    CallLater(std::chrono::milliseconds(0), m_alive, [this, run = m_run, outcome = std::move(m_outcome)] {
        if (run == m_run && OnDone) {
            OnDone(*this, outcome);
        }
    });
    m_outcome = {};
}

}  // namespace corvane::account
