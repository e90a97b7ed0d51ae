#include "account/OAuth2Tokens.h"

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QUrlQuery>

#include <cstring>

#include "account/OAuth2Client.h"
#include "account/Passwords.h"
#include "mail/ScreenText.h"

namespace corvane::account {

namespace {

// A provider's own words in a Problem are cut here.
constexpr std::size_t MaxProviderWords = 200;
// A token endpoint's answer is a few kilobytes; anything far beyond is not one.
constexpr qint64 MaxAnswerBytes = 64 * 1024;

std::string ProviderWords(const QJsonValue& value) {
    std::string words = value.toString().toStdString();
    if (words.size() > MaxProviderWords) {
        words.resize(MaxProviderWords);
        words += "...";
    }
    return mail::ScreenSafe(words);
}

void WipeBytes(QByteArray& bytes) {
    if (!bytes.isEmpty()) {
        explicit_bzero(bytes.data(), static_cast<std::size_t>(bytes.size()));
    }
    bytes.clear();
}

TOAuth2Outcome Refusal(EOAuth2End end, const std::string& error, const QJsonObject& answer) {
    std::string problem;
    if (error == "invalid_grant") {
        problem = "the provider no longer accepts this sign-in; sign in again";
    } else if (error == "access_denied") {
        problem = "the sign-in was refused";
    } else if (error == "expired_token") {
        problem = "the code to sign in with ran out before the sign-in was done";
    } else {
        problem = "the provider refused";
    }
    problem += " (" + mail::ScreenSafe(error);
    if (const std::string description = ProviderWords(answer.value(QLatin1String("error_description")));
        !description.empty()) {
        problem += ": " + description;
    }
    return {end, {}, problem + ")"};
}

// The life an answer gives its access token: a number, or a number in text as some servers
// write it.
std::chrono::seconds LifeOf(const QJsonValue& value) {
    const double seconds = value.isString() ? value.toString().toDouble() : value.toDouble();
    return seconds > 0 && seconds < 1e9 ? std::chrono::seconds(static_cast<long long>(seconds)) : AssumedTokenLife;
}

}  // namespace

TOAuth2Tokens::TOAuth2Tokens(TOAuth2Tokens&& other) noexcept
    : AccessToken(std::move(other.AccessToken)),
      RefreshToken(std::move(other.RefreshToken)),
      ExpiresAt(other.ExpiresAt) {
    // A short text stays in the moved-from object's own buffer.
    Wipe(other.AccessToken);
    Wipe(other.RefreshToken);
}

TOAuth2Tokens& TOAuth2Tokens::operator=(const TOAuth2Tokens& other) {
    if (this != &other) {
        Wipe(AccessToken);
        Wipe(RefreshToken);
        AccessToken = other.AccessToken;
        RefreshToken = other.RefreshToken;
        ExpiresAt = other.ExpiresAt;
    }
    return *this;
}

TOAuth2Tokens& TOAuth2Tokens::operator=(TOAuth2Tokens&& other) noexcept {
    if (this != &other) {
        Wipe(AccessToken);
        Wipe(RefreshToken);
        AccessToken = std::move(other.AccessToken);
        RefreshToken = std::move(other.RefreshToken);
        ExpiresAt = other.ExpiresAt;
        Wipe(other.AccessToken);
        Wipe(other.RefreshToken);
    }
    return *this;
}

TOAuth2Tokens::~TOAuth2Tokens() {
    Wipe(AccessToken);
    Wipe(RefreshToken);
}

TOAuth2Grant GrantFor(const TProvider& provider, std::string_view address, std::string_view tenant) {
    TOAuth2Grant grant;
    if (!provider.OAuth2) {
        return grant;
    }
    const TOAuth2Provider oauth2 = ForTenant(*provider.OAuth2, tenant);
    TOAuth2Client client = BuiltInOAuth2Client(oauth2.Client);
    grant.AuthorizationUrl = oauth2.Authorization;
    grant.TokenUrl = oauth2.Token;
    grant.DeviceAuthorizationUrl = oauth2.DeviceAuthorization;
    grant.ClientId = std::move(client.Id);
    grant.ClientSecret = std::move(client.Secret);
    grant.Scopes = oauth2.Scopes;
    grant.LoginHint = std::string(address);
    return grant;
}

std::string EndpointProblem(const std::string& url, const TOAuth2Options& options) {
    const QUrl parsed(QString::fromStdString(url), QUrl::StrictMode);
    if (!parsed.isValid() || parsed.host().isEmpty() || !parsed.userInfo().isEmpty()) {
        return "\"" + mail::ScreenSafe(url) + "\" is not a URL with a host";
    }
    if (parsed.scheme() == u"https") {
        return {};
    }
    const QHostAddress host(parsed.host());
    if (options.AllowLoopbackHttp && parsed.scheme() == u"http" && host.isLoopback() &&
        (host == QHostAddress(QHostAddress::LocalHost) || host == QHostAddress(QHostAddress::LocalHostIPv6))) {
        return {};
    }
    return "\"" + mail::ScreenSafe(url) + "\" is not https, and a sign-in goes over https only";
}

TTokenAnswer ReadTokenAnswer(int httpStatus, std::string_view body) {
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(body.data(), static_cast<qsizetype>(body.size())));
    if (!document.isObject()) {
        return {{EOAuth2End::Failed, {}, "the provider's token endpoint answered HTTP " + std::to_string(httpStatus) +
                                             " with something other than a JSON object"},
                {}};
    }
    const QJsonObject answer = document.object();
    if (const QJsonValue error = answer.value(QLatin1String("error")); error.isString()) {
        const std::string code = error.toString().toStdString();
        const EOAuth2End end = code == "invalid_grant"    ? EOAuth2End::SignInAgain
                               : code == "access_denied"  ? EOAuth2End::Refused
                               : code == "expired_token"  ? EOAuth2End::Expired
                                                          : EOAuth2End::Failed;
        return {Refusal(end, code, answer), code};
    }
    const QJsonValue type = answer.value(QLatin1String("token_type"));
    const QString accessToken = answer.value(QLatin1String("access_token")).toString();
    if (httpStatus / 100 != 2 || accessToken.isEmpty() ||
        (!type.isUndefined() && type.toString().compare(u"bearer", Qt::CaseInsensitive) != 0)) {
        return {{EOAuth2End::Failed, {}, "the provider's token endpoint answered HTTP " + std::to_string(httpStatus) +
                                             " without a bearer access token"},
                {}};
    }
    TTokenAnswer read;
    read.Outcome.End = EOAuth2End::Granted;
    read.Outcome.Tokens.AccessToken = accessToken.toStdString();
    read.Outcome.Tokens.RefreshToken = answer.value(QLatin1String("refresh_token")).toString().toStdString();
    read.Outcome.Tokens.ExpiresAt = std::chrono::system_clock::now() + LifeOf(answer.value(QLatin1String("expires_in")));
    return read;
}

QNetworkReply* PostForm(QNetworkAccessManager& network, const std::string& url,
                        const std::vector<std::pair<std::string, std::string>>& fields, const TOAuth2Options& options) {
    QUrlQuery form;
    for (const auto& [name, value] : fields) {
        // Percent-encoded here: QUrlQuery keeps '+', which a form reader takes for a space.
        form.addQueryItem(QString::fromUtf8(QUrl::toPercentEncoding(QString::fromStdString(name))),
                          QString::fromUtf8(QUrl::toPercentEncoding(QString::fromStdString(value))));
    }
    QNetworkRequest request(QUrl(QString::fromStdString(url)));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(static_cast<int>(options.RequestTimeout.count()));
    // A token endpoint never redirects; following one could hand a grant to another host.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QByteArray body = form.query(QUrl::FullyEncoded).toUtf8();
    QNetworkReply* reply = network.post(request, body);
    WipeBytes(body);
    return reply;
}

TTokenAnswer ReadTokenReply(QNetworkReply& reply) {
    const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 0) {
        return {{reply.error() == QNetworkReply::OperationCanceledError ? EOAuth2End::TimedOut : EOAuth2End::Failed,
                 {},
                 "the provider's token endpoint could not be reached: " + mail::ScreenSafe(reply.errorString().toStdString())},
                {}};
    }
    QByteArray body = reply.read(MaxAnswerBytes);
    TTokenAnswer read = ReadTokenAnswer(status, std::string_view(body.constData(), static_cast<std::size_t>(body.size())));
    WipeBytes(body);
    return read;
}

std::string WithinWords(std::chrono::milliseconds limit) {
    const long long seconds = (limit.count() + 999) / 1000;
    return seconds >= 120 && seconds % 60 == 0 ? std::to_string(seconds / 60) + " minutes"
                                               : std::to_string(seconds) + " seconds";
}

}  // namespace corvane::account
