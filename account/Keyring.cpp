#include "account/Keyring.h"

#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace corvane::account {

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// Starts Job and runs a local event loop until it finishes or Limit passes. The job deletes
// itself once it has finished, also when that happens after the wait gave up: its late
// answer then reaches nobody, because the connection below ends with the loop.
TKeyringAnswer RunJob(QKeychain::Job* job, std::chrono::milliseconds limit) {
    TKeyringAnswer answer;
    answer.Problem = "the keyring did not answer within " + std::to_string((limit.count() + 999) / 1000) + " seconds";
    bool finished = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        finished = true;
        switch (done->error()) {
            case QKeychain::NoError:
                answer.Status = EKeyringStatus::Done;
                answer.Problem.clear();
                if (auto* read = qobject_cast<QKeychain::ReadPasswordJob*>(done)) {
                    answer.Password = read->textData().toStdString();
                }
                break;
            case QKeychain::EntryNotFound:
                answer.Status = EKeyringStatus::NotFound;
                answer.Problem.clear();
                break;
            default:
                answer.Status = EKeyringStatus::Unavailable;
                answer.Problem = done->errorString().toStdString();
                if (answer.Problem.empty()) {
                    answer.Problem = "the keyring refused (error " + std::to_string(done->error()) + ")";
                }
                break;
        }
        loop.quit();
    });
    QTimer::singleShot(limit, &loop, &QEventLoop::quit);
    job->setAutoDelete(true);
    // Never QtKeychain's fallback of a plain settings file: no keyring means no keeping.
    job->setInsecureFallback(false);
    job->start();
    // A job may finish before the loop starts; quit() before exec() would be lost.
    if (!finished) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return answer;
}

}  // namespace

std::string PasswordKey(std::string_view user, std::string_view host, std::string_view port) {
    const bool ipv6 = host.find(':') != std::string_view::npos;
    return std::string(user) + "@" + (ipv6 ? "[" + std::string(host) + "]" : std::string(host)) + ":" +
           std::string(port);
}

TKeyringAnswer TSecretServiceKeyring::Read(const std::string& key) {
    auto* job = new QKeychain::ReadPasswordJob(QString::fromLatin1(KeyringService));
    job->setKey(Text(key));
    return RunJob(job, m_limit);
}

TKeyringAnswer TSecretServiceKeyring::Write(const std::string& key, const std::string& password) {
    auto* job = new QKeychain::WritePasswordJob(QString::fromLatin1(KeyringService));
    job->setKey(Text(key));
    job->setTextData(Text(password));
    return RunJob(job, m_limit);
}

TKeyringAnswer TSecretServiceKeyring::Remove(const std::string& key) {
    auto* job = new QKeychain::DeletePasswordJob(QString::fromLatin1(KeyringService));
    job->setKey(Text(key));
    return RunJob(job, m_limit);
}

}  // namespace corvane::account
