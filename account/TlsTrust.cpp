#include "account/TlsTrust.h"

#include <QDir>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace corvane::account {

namespace {

QList<QSslCertificate> FromFile(const QString& file) {
    return file.isEmpty() ? QList<QSslCertificate>() : QSslCertificate::fromPath(file, QSsl::Pem);
}

// SSL_CERT_DIR holds folders separated by ':', as OpenSSL reads it.
QList<QSslCertificate> FromFolders(const QString& folders) {
    QList<QSslCertificate> found;
    for (const QString& folder : folders.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        found += QSslCertificate::fromPath(QDir(folder).filePath(QStringLiteral("*")), QSsl::Pem,
                                           QSslCertificate::PatternSyntax::Wildcard);
    }
    return found;
}

}  // namespace

void AdoptOpenSslTrust() {
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    const QString folders = qEnvironmentVariable("SSL_CERT_DIR");
    if (file.isEmpty() && folders.isEmpty()) {
        return;
    }
    QList<QSslCertificate> authorities = FromFile(file) + FromFolders(folders);
    if (file.isEmpty() || folders.isEmpty()) {
        authorities += QSslConfiguration::systemCaCertificates();  // OpenSSL keeps its default for the other
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setCaCertificates(authorities);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

}  // namespace corvane::account
