#include "account/TlsTrust.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QStringList>

#include "platform/net/TlsSession.h"

namespace corvane::account {

void AdoptOpenSslTrust() {
    const net::TTrustStorePaths store = net::DefaultTrustStorePaths();
    if (!store.FromEnvironment) {
        return;
    }
    QList<QSslCertificate> authorities = QSslCertificate::fromPath(QString::fromStdString(store.File));
    // OpenSSL looks certificates up in the folder by their hashed names; every file in it is
    // the same set.
    for (const QString& folder : QString::fromStdString(store.Folder).split(u':', Qt::SkipEmptyParts)) {
        authorities += QSslCertificate::fromPath(folder + QStringLiteral("/*"), QSsl::Pem,
                                                 QSslCertificate::PatternSyntax::Wildcard);
    }
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    // Set explicitly, the list is all Qt trusts: it no longer adds the system's on demand.
    configuration.setCaCertificates(authorities);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

}  // namespace corvane::account
