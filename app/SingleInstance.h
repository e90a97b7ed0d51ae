#pragma once
// One window per settings store. Two copies of the program on one store would each write
// everything at close, the last one over the other's draft; so a later start on the same
// store hands over to the running copy, which brings its window to the front, and ends.
//
// Contract:
// - The store folder ($XDG_CONFIG_HOME/corvane) is claimed with an advisory lock (flock) on
//   "instance.lock" in it, held until the process ends; the kernel lets go of it when the
//   process dies in any way, so a crashed copy never blocks a start. Copies on different
//   store folders never meet.
// - The copy holding the lock listens on a local socket named after the store folder (its
//   canonical path hashed), in $XDG_RUNTIME_DIR or else the temporary folder, which only the
//   user may connect to. A socket file left by a crashed copy is removed first: nothing can
//   be listening on it while the lock is free.
// - A later start connects and asks for the window. The running copy calls OnShowRequest
//   and answers whether the window was shown; a copy that is still starting or already
//   closing says no, and the later start asks again, until it gets the lock itself (the
//   other copy has ended) or the answer, or until its wait is over. Every wait is bounded.
// - A later start with arguments (links, files) hands them over with its request; once the
//   window is shown and the answer written, the running copy gives them to OnOpenRequest,
//   so a question the window then asks keeps no later start waiting (nor makes it ask twice).
// - The requests: "show\n", or "open N\n" and N bytes, the arguments each in UTF-8 and ended
//   by a NUL byte (none can hold one); N at most MaxRequestBytes, at most MaxArguments
//   arguments. The answers: "shown\n", "not now\n", or "refused\n" for a request that is
//   none of these, which the running copy then drops. A request not complete within two
//   seconds is dropped as well, and what is read of one is bounded, so no other process can
//   make the window hang or grow.
// - Nothing throws. A folder or lock file that cannot be made, or a socket that cannot be
//   listened on, lets the program run unguarded, as it did before.

#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>

class QLocalServer;

namespace corvane::app {

class TSingleInstance : public QObject {
    Q_OBJECT

public:
    enum class EStart {
        First,       // this copy runs the window (and answers later starts)
        HandedOver,  // a running copy has brought its window to the front: end quietly
        NoAnswer,    // a running copy holds the store and did not answer within the wait
    };

    // StoreFolder: the folder of the settings store, made (mode 0700) when it is missing.
    explicit TSingleInstance(QString storeFolder, QObject* parent = nullptr);
    ~TSingleInstance() override;
    TSingleInstance(const TSingleInstance&) = delete;
    TSingleInstance& operator=(const TSingleInstance&) = delete;

    static constexpr qsizetype MaxRequestBytes = 1024 * 1024;
    static constexpr qsizetype MaxArguments = 1000;

    // Arguments: what a later start hands to the running window (none: only shown).
    EStart Start(std::chrono::milliseconds wait = std::chrono::seconds(10),
                 const QStringList& arguments = {});

    // Whether Arguments fit in one request.
    static bool FitsRequest(const QStringList& arguments);

    // On the first copy, when a later start asks: shows, raises and activates the window;
    // false when there is none to show yet (or any more). Unset: answered with false.
    std::function<bool()> OnShowRequest;
    // On the first copy, after the window was shown for a later start with arguments: them.
    std::function<void(const QStringList& arguments)> OnOpenRequest;

    // The local socket's full path for a store folder.
    static QString ServerName(const QString& storeFolder);
    const QString& StoreFolder() const { return m_storeFolder; }

private:
    bool TryLock();
    void Listen();
    void Answer();
    enum class EAnswer { Shown, NotNow, Refused };
    EAnswer AskToShow(const QByteArray& request, std::chrono::steady_clock::time_point deadline) const;

    QString m_storeFolder;
    QString m_serverName;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};

}  // namespace corvane::app
