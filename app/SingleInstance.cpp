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
#include <memory>
#include <thread>

namespace corvane::app {

namespace {

using Clock = std::chrono::steady_clock;

constexpr char ShowRequest[] = "show\n";
constexpr char Shown[] = "shown\n";
constexpr char NotNow[] = "not now\n";
constexpr char Refused[] = "refused\n";
// How long a running copy gives a later start to send its request.
constexpr int RequestWaitMs = 2000;
// The first line of a request, its newline included, is never longer.
constexpr qsizetype MaxLineBytes = 64;
constexpr qsizetype MaxReceivedBytes = MaxLineBytes + TSingleInstance::MaxRequestBytes + 1;

struct TRequest {
    enum class EKind { Incomplete, Show, Open, Malformed } Kind = EKind::Incomplete;
    QStringList Arguments;
};

QByteArray Payload(const QStringList& arguments) {
    QByteArray payload;
    for (const QString& argument : arguments) {
        payload += argument.toUtf8();
        payload += '\0';
    }
    return payload;
}

// What has been Received of a request so far, read strictly: anything that is not exactly
// one of the two requests is malformed, and so is a byte beyond the end of an "open" one.
TRequest ReadRequest(const QByteArray& received) {
    using EKind = TRequest::EKind;
    const qsizetype newline = received.indexOf('\n');
    if (newline < 0 || newline >= MaxLineBytes) {
        return {received.size() < MaxLineBytes ? EKind::Incomplete : EKind::Malformed, {}};
    }
    const QByteArray line = received.left(newline);
    if (line == "show") {
        return {EKind::Show, {}};  // what follows is not read, as it never was
    }
    const QByteArray digits = line.mid(5);
    if (!line.startsWith("open ") || digits.isEmpty() || digits.size() > 7 ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return {EKind::Malformed, {}};
    }
    const qsizetype length = digits.toLongLong();
    const qsizetype have = received.size() - newline - 1;
    if (length > TSingleInstance::MaxRequestBytes || have > length) {
        return {EKind::Malformed, {}};
    }
    if (have < length) {
        return {EKind::Incomplete, {}};
    }
    QByteArray payload = received.mid(newline + 1);
    if (!payload.isEmpty() && !payload.endsWith('\0')) {
        return {EKind::Malformed, {}};
    }
    payload.chop(1);
    TRequest request{EKind::Open, {}};
    if (length == 0) {
        return request;
    }
    const QList<QByteArray> arguments = payload.split('\0');
    if (arguments.size() > TSingleInstance::MaxArguments) {
        return {EKind::Malformed, {}};
    }
    for (const QByteArray& argument : arguments) {
        request.Arguments.push_back(QString::fromUtf8(argument));
    }
    return request;
}

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

bool TSingleInstance::FitsRequest(const QStringList& arguments) {
    return arguments.size() <= MaxArguments &&
           std::none_of(arguments.begin(), arguments.end(),
                        [](const QString& argument) { return argument.contains(QChar(0)); }) &&
           Payload(arguments).size() <= MaxRequestBytes;
}

TSingleInstance::EStart TSingleInstance::Start(std::chrono::milliseconds wait, const QStringList& arguments) {
    const Clock::time_point deadline = Clock::now() + wait;
    QByteArray request = ShowRequest;
    if (!arguments.isEmpty()) {
        const QByteArray payload = Payload(arguments);
        request = "open " + QByteArray::number(payload.size()) + "\n" + payload;
    }
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
        switch (AskToShow(request, deadline)) {
            case EAnswer::Shown:
                return EStart::HandedOver;
            case EAnswer::Refused:
                return EStart::NoAnswer;  // asking again would not change it
            case EAnswer::NotNow:
                break;
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
// more of it has come, and is dropped when it is not complete within RequestWaitMs. Its
// arguments reach the window only after the answer has been written: a question the window
// asks about them may wait for the user far longer than the later start waits.
void TSingleInstance::Answer() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setReadBufferSize(MaxReceivedBytes);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto* timeout = new QTimer(socket);
        timeout->setSingleShot(true);
        connect(timeout, &QTimer::timeout, socket, [socket] { socket->abort(); socket->deleteLater(); });
        timeout->start(RequestWaitMs);
        auto received = std::make_shared<QByteArray>();
        auto handle = [this, socket, received] {
            *received += socket->read(MaxReceivedBytes - received->size());
            const TRequest request = ReadRequest(*received);
            if (request.Kind == TRequest::EKind::Incomplete) {
                return;
            }
            disconnect(socket, &QLocalSocket::readyRead, nullptr, nullptr);  // one answer only
            const bool wellFormed = request.Kind != TRequest::EKind::Malformed;
            const bool shown = wellFormed && OnShowRequest && OnShowRequest();
            socket->write(!wellFormed ? Refused : shown ? Shown : NotNow);
            socket->disconnectFromServer();  // after what was written has gone
            if (shown && !request.Arguments.isEmpty()) {
                QMetaObject::invokeMethod(
                    this,
                    [this, arguments = request.Arguments] {
                        if (OnOpenRequest) {
                            OnOpenRequest(arguments);
                        }
                    },
                    Qt::QueuedConnection);
            }
        };
        connect(socket, &QLocalSocket::readyRead, socket, handle);
        handle();
    }
}

TSingleInstance::EAnswer TSingleInstance::AskToShow(const QByteArray& request, Clock::time_point deadline) const {
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(Remaining(deadline, 1000))) {
        return EAnswer::NotNow;  // not listening (yet, or any more)
    }
    socket.write(request);
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(Remaining(deadline, 1000))) {
            return EAnswer::NotNow;
        }
    }
    QByteArray answer;
    while (!answer.endsWith('\n') && answer.size() < MaxLineBytes &&
           socket.waitForReadyRead(Remaining(deadline, 5000))) {
        answer += socket.read(MaxLineBytes);
    }
    return answer == Shown ? EAnswer::Shown : answer == Refused ? EAnswer::Refused : EAnswer::NotNow;
}

}  // namespace corvane::app
