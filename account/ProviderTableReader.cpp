#include "account/ProviderTableReader.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSet>
#include <QString>
#include <algorithm>
#include <cmath>
#include <iostream>

#include "mail/ScreenText.h"
#include "platform/registry/SqliteStore.h"

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitProviderResource() {
    Q_INIT_RESOURCE(providers);
}

namespace corvane::account {

namespace {

// Collects the problems of one part of the document, each prefixed with where it is.
class TProblems {
public:
    TProblems(std::vector<std::string>& problems, std::string where)
        : m_problems(problems), m_where(std::move(where)) {}
    void Add(const std::string& text) { m_problems.push_back(m_where + ": " + text); }
    // Keys of Object other than Known.
    void UnknownKeys(const QJsonObject& object, const QSet<QString>& known) {
        for (const QString& key : object.keys()) {
            if (!known.contains(key)) {
                Add("unknown key \"" + key.toStdString() + "\"");
            }
        }
    }
    std::string Text(const QJsonObject& object, const char* key) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (!value.isString()) {
            Add(std::string("\"") + key + "\" is not a text");
        }
        return value.toString().toStdString();
    }
    // An absent list is empty.
    std::vector<std::string> Texts(const QJsonObject& object, const char* key) {
        std::vector<std::string> texts;
        const QJsonValue value = object.value(QLatin1String(key));
        if (value.isUndefined()) {
            return texts;
        }
        if (!value.isArray()) {
            Add(std::string("\"") + key + "\" is not a list");
        }
        for (const QJsonValue item : value.toArray()) {
            if (!item.isString()) {
                Add(std::string("\"") + key + "\" holds something other than text");
            }
            texts.push_back(item.toString().toStdString());
        }
        return texts;
    }
    std::vector<std::string>& All() { return m_problems; }
    const std::string& Where() const { return m_where; }

private:
    std::vector<std::string>& m_problems;
    std::string m_where;
};

TServerEndpoint ReadEndpoint(const QJsonValue& value, TProblems& outer, const char* key) {
    TServerEndpoint endpoint;
    TProblems problems(outer.All(), outer.Where() + ", " + key);
    if (!value.isObject()) {
        problems.Add("not an object");
        return endpoint;
    }
    const QJsonObject object = value.toObject();
    problems.UnknownKeys(
        object, {QStringLiteral("host"), QStringLiteral("port"), QStringLiteral("security")});
    endpoint.Host = problems.Text(object, "host");
    const QJsonValue port = object.value(QLatin1String("port"));
    if (!port.isDouble() || port.toDouble() != std::floor(port.toDouble())) {
        problems.Add("\"port\" is not a whole number");
    }
    endpoint.Port = port.toInt(0);  // 0 also for a number beyond int: the checks refuse it
    const std::string security = problems.Text(object, "security");
    if (security == "tls") {
        endpoint.Security = mail::ESecurity::Tls;
    } else if (security == "starttls") {
        endpoint.Security = mail::ESecurity::StartTls;
    } else {
        problems.Add("security \"" + security + "\" is neither \"tls\" nor \"starttls\"");
    }
    return endpoint;
}

void ReadSignIn(const QJsonObject& object, TProblems& problems, TProvider& provider) {
    for (const std::string& kind : problems.Texts(object, "signIn")) {
        if (kind == "oauth2") {
            provider.SignIn.push_back(ESignIn::OAuth2);
        } else if (kind == "password" || kind == "app-password") {
            if (std::find(provider.SignIn.begin(), provider.SignIn.end(), ESignIn::Password) !=
                provider.SignIn.end()) {
                problems.Add("\"signIn\" names a password twice");
                continue;
            }
            provider.AppPassword = kind == "app-password";
            provider.SignIn.push_back(ESignIn::Password);
        } else {
            problems.Add("sign-in \"" + kind +
                         "\" is none of \"oauth2\", \"password\", \"app-password\"");
        }
    }
}

// The tenant, when one of the URLs holds {tenant} and the entry names none, is the one that
// takes any account.
TOAuth2Provider ReadOAuth2(const QJsonValue& value, TProblems& outer) {
    TOAuth2Provider oauth2;
    TProblems problems(outer.All(), outer.Where() + ", oauth2");
    if (!value.isObject()) {
        problems.Add("not an object");
        return oauth2;
    }
    const QJsonObject object = value.toObject();
    problems.UnknownKeys(object, {QStringLiteral("client"), QStringLiteral("issuer"), QStringLiteral("authorization"),
                                  QStringLiteral("token"), QStringLiteral("deviceAuthorization"),
                                  QStringLiteral("scopes"), QStringLiteral("tenant")});
    oauth2.Client = problems.Text(object, "client");
    oauth2.Issuer = problems.Text(object, "issuer");
    oauth2.Authorization = problems.Text(object, "authorization");
    oauth2.Token = problems.Text(object, "token");
    if (object.contains(QLatin1String("deviceAuthorization"))) {
        oauth2.DeviceAuthorization = problems.Text(object, "deviceAuthorization");
    }
    oauth2.Scopes = problems.Texts(object, "scopes");
    if (object.contains(QLatin1String("tenant"))) {
        oauth2.Tenant = problems.Text(object, "tenant");
    } else if (const std::string urls = oauth2.Issuer + oauth2.Authorization + oauth2.Token + oauth2.DeviceAuthorization;
               urls.find("{tenant}") != std::string::npos) {
        oauth2.Tenant = std::string(DefaultTenant);
    }
    return oauth2;
}

TProvider ReadProvider(const QJsonValue& value, std::size_t index, std::vector<std::string>& all) {
    TProvider provider;
    const QJsonObject object = value.toObject();
    const QJsonValue id = object.value(QLatin1String("id"));
    TProblems problems(all, "provider " + std::to_string(index + 1) + " (\"" +
                                id.toString().toStdString() + "\")");
    if (!value.isObject()) {
        problems.Add("not an object");
        return provider;
    }
    problems.UnknownKeys(object,
                         {QStringLiteral("id"), QStringLiteral("name"), QStringLiteral("domains"),
                          QStringLiteral("mx"), QStringLiteral("smtp"), QStringLiteral("userName"),
                          QStringLiteral("signIn"), QStringLiteral("imap"), QStringLiteral("oauth2"),
                          QStringLiteral("savesSent")});
    provider.Id = problems.Text(object, "id");
    provider.Name = problems.Text(object, "name");
    provider.Domains = problems.Texts(object, "domains");
    provider.MxSuffixes = problems.Texts(object, "mx");
    provider.Smtp = ReadEndpoint(object.value(QLatin1String("smtp")), problems, "smtp");
    provider.UserName = problems.Text(object, "userName");
    ReadSignIn(object, problems, provider);
    if (const QJsonValue imap = object.value(QLatin1String("imap")); !imap.isUndefined()) {
        provider.Imap = ReadEndpoint(imap, problems, "imap");
    }
    if (const QJsonValue oauth2 = object.value(QLatin1String("oauth2")); !oauth2.isUndefined()) {
        provider.OAuth2 = ReadOAuth2(oauth2, problems);
    }
    if (const QJsonValue saves = object.value(QLatin1String("savesSent")); !saves.isUndefined()) {
        if (!saves.isBool()) {
            problems.Add("savesSent is neither true nor false");
        }
        provider.SavesSent = saves.toBool();
    }
    return provider;
}

}  // namespace

TProviderTableRead ReadProviderTable(std::string_view json) {
    TProviderTableRead read;
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(
        QByteArray(json.data(), static_cast<qsizetype>(json.size())), &error);
    if (error.error != QJsonParseError::NoError) {
        read.Problems.push_back("not JSON at offset " + std::to_string(error.offset) + ": " +
                                error.errorString().toStdString());
        return read;
    }
    TProblems problems(read.Problems, "the table");
    const QJsonObject root = document.object();
    problems.UnknownKeys(root, {QStringLiteral("version"), QStringLiteral("providers")});
    if (root.value(QLatin1String("version")).toInt(0) != 1) {
        problems.Add("not version 1");
        return read;
    }
    const QJsonArray providers = root.value(QLatin1String("providers")).toArray();
    if (providers.isEmpty()) {
        problems.Add("no providers");
    }
    for (qsizetype i = 0; i < providers.size(); ++i) {
        read.Providers.push_back(
            ReadProvider(providers.at(i), static_cast<std::size_t>(i), read.Problems));
    }
    for (std::string& problem : CheckProviderTable(read.Providers)) {
        read.Problems.push_back(std::move(problem));
    }
    return read;
}

std::string ShippedProviderDocument() {
    InitProviderResource();
    QFile file(QStringLiteral(":/account/providers.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

const std::vector<TProvider>& ShippedProviders() {
    static const std::vector<TProvider> providers = [] {
        TProviderTableRead read = ReadProviderTable(ShippedProviderDocument());
        return read.Problems.empty() ? std::move(read.Providers) : std::vector<TProvider>();
    }();
    return providers;
}

std::filesystem::path OwnProviderFile() {
    const std::filesystem::path store = registry::TSqliteStore::DefaultFile();
    return store.empty() ? store : store.parent_path() / "providers.json";
}

TProviderTableRead WithOwnProviders(const std::filesystem::path& file, const std::vector<TProvider>& shipped) {
    TProviderTableRead result{shipped, {}};
    std::error_code error;
    if (file.empty() || !std::filesystem::exists(file, error)) {
        return result;
    }
    const std::string name = file.string() + ": ";
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    QFile own(QString::fromStdString(file.string()));
    if (error || !std::filesystem::is_regular_file(file, error) || !own.open(QIODevice::ReadOnly)) {
        result.Problems.push_back(name + "cannot be read");
        return result;
    }
    if (size > MaxOwnProviderBytes) {
        result.Problems.push_back(name + "larger than " + std::to_string(MaxOwnProviderBytes) + " bytes");
        return result;
    }
    TProviderTableRead read = ReadProviderTable(own.read(static_cast<qint64>(MaxOwnProviderBytes)).toStdString());
    for (const std::string& problem : read.Problems) {
        result.Problems.push_back(name + problem);
    }
    if (result.Problems.empty()) {
        read.Providers.insert(read.Providers.end(), shipped.begin(), shipped.end());
        result.Providers = std::move(read.Providers);
    }
    return result;
}

const std::vector<TProvider>& KnownProviders() {
    static const std::vector<TProvider> providers = [] {
        TProviderTableRead read = WithOwnProviders(OwnProviderFile(), ShippedProviders());
        // Said where a user who wrote the file will look; the lookups go on without it.
        for (const std::string& problem : read.Problems) {
            std::cerr << "corvane: not used: " << mail::ScreenSafe(problem) << "\n";
        }
        return std::move(read.Providers);
    }();
    return providers;
}

}  // namespace corvane::account
