#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <thread>

namespace corvane::app {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char ShowRequest[] = "show\n";
constexpr char Shown[] = "shown\n";
constexpr char NotNow[] = "not now\n";
// How long a running copy gives a later start to send its request.
constexpr int RequestWaitMs = 2000;

// mkdir for every missing folder along Folder, private to the user (0700), as the store makes
// it: the lock is taken before the store is opened.
bool MakeFolder(const QString& folder) {
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    for (qsizetype slash = path.indexOf('/', 1);; slash = path.indexOf('/', slash + 1)) {
        const QByteArray partial = slash < 0 ? path : path.left(slash);
        if (::mkdir(partial.constData(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash < 0) {
            break;
        }
    }
    struct stat info {};
    return ::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

int Remaining(Clock::time_point deadline, int atMost) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, atMost));
}

}  // namespace

TSingleInstance::TSingleInstance(QString storeFolder, QObject* parent)
    : QObject(parent), m_storeFolder(std::move(storeFolder)) {}

TSingleInstance::~TSingleInstance() {
    if (m_server != nullptr) {
        m_server->close();  // removes the socket file; the lock goes with the process
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
    }
}

QString TSingleInstance::ServerName(const QString& storeFolder) {
    const QFileInfo folder(storeFolder);
    const QString canonical = folder.canonicalFilePath();
    const QByteArray hash =
        QCryptographicHash::hash(QFile::encodeName(canonical.isEmpty() ? folder.absoluteFilePath()
                                                                       : canonical),
                                 QCryptographicHash::Sha256)
            .toHex()
            .left(24);
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!QDir::isAbsolutePath(base) || !QFileInfo(base).isDir()) {
        base = QDir::tempPath();
    }
    return QDir(base).filePath(
        QStringLiteral("corvane-%1-%2").arg(::getuid()).arg(QString::fromLatin1(hash)));
}

TSingleInstance::EStart TSingleInstance::Start(std::chrono::milliseconds wait) {
    const Clock::time_point deadline = Clock::now() + wait;
    if (m_storeFolder.isEmpty() || !MakeFolder(m_storeFolder)) {
        return EStart::First;  // no store folder: nothing to guard
    }
    m_serverName = ServerName(m_storeFolder);
    const QByteArray lockFile = QFile::encodeName(QDir(m_storeFolder).filePath(QStringLiteral("instance.lock")));
    m_lockFd = ::open(lockFile.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        return EStart::First;
    }
    for (;;) {
        if (TryLock()) {
            Listen();
            return EStart::First;
        }
        if (AskToShow(deadline)) {
            return EStart::HandedOver;
        }
        if (Clock::now() >= deadline) {
            return EStart::NoAnswer;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(Remaining(deadline, 100)));
    }
}

bool TSingleInstance::TryLock() {
    while (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void TSingleInstance::Listen() {
    // Holding the lock, no copy can be listening: a socket file there is a crashed copy's.
    QLocalServer::removeServer(m_serverName);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, [this] { Answer(); });
    if (!m_server->listen(m_serverName)) {
        delete m_server;
        m_server = nullptr;
    }
}

// Each request is read and answered without blocking the window: the socket reports when
// its line has come, and is dropped when it has not come within RequestWaitMs.
void TSingleInstance::Answer() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [socket] { socket->abort(); socket->deleteLater(); });
        timeout->start(RequestWaitMs);
        auto handle = [this, socket] {
            if (!socket->canReadLine()) {
                return;
            }
            const QByteArray request = socket->readLine(64);
            const bool shown = request == ShowRequest && OnShowRequest && OnShowRequest();
            socket->write(shown ? Shown : NotNow);
            socket->disconnectFromServer();  // after what was written has gone
        };
        connect(socket, &QLocalSocket::readyRead, socket, handle);
        handle();
    }
}

bool TSingleInstance::AskToShow(Clock::time_point deadline) const {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(Remaining(deadline, 1000))) {
        return false;  // not listening (yet, or any more)
    }
    socket.write(ShowRequest);
    if (!socket.waitForBytesWritten(Remaining(deadline, 1000))) {
        return false;
    }
    QByteArray answer;
    while (!answer.endsWith('\n') && socket.waitForReadyRead(Remaining(deadline, 5000))) {
        answer += socket.readAll();
    }
    return answer == Shown;
}

}  // namespace corvane::app
