#pragma once
// A Secret Service of the test's own: a D-Bus session bus and an unlocked gnome-keyring-daemon
// on it, both started here and ended by their process ids, with the keyring's files in a
// temporary folder. The test process and every program it starts afterwards talk to it
// (DBUS_SESSION_BUS_ADDRESS and XDG_DATA_HOME are set, and left so: libsecret keeps its bus
// connection for the life of the process, so each test using one runs in a process of its own).
// Needs a QCoreApplication.

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "ProgramProcess.h"
#include "TempFolder.h"
#include "account/Keyring.h"

namespace corvane::test {

// Waits until Name is owned on the bus at Address.
inline bool WaitForBusName(const std::string& address, const QString& name, std::chrono::milliseconds limit) {
    const QString connectionName = QStringLiteral("corvane-keyring-test");
    bool owned = false;
    {
        QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address), connectionName);
        QDBusServiceWatcher watcher(name, bus, QDBusServiceWatcher::WatchForRegistration);
        QEventLoop loop;
        QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
        QTimer::singleShot(limit, &loop, &QEventLoop::quit);
        if (bus.isConnected() && !bus.interface()->isServiceRegistered(name)) {
            loop.exec();
        }
        owned = bus.isConnected() && bus.interface()->isServiceRegistered(name);
    }
    QDBusConnection::disconnectFromBus(connectionName);
    return owned;
}

class TPrivateSecretService {
public:
    TPrivateSecretService() {
        using namespace std::chrono_literals;
        m_bus = std::make_unique<TProgramProcess>(
            std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=2",
                                     "--address=unix:path=" + (m_folder.Path() / "bus").string()},
            "");
        if (!m_bus->WaitForError("\n", 10s)) {
            m_problem = "dbus-daemon did not start: " + m_bus->Error();
            return;
        }
        const std::string address = m_bus->Error().substr(0, m_bus->Error().find('\n'));
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        ::setenv("XDG_DATA_HOME", (m_folder.Path() / "data").c_str(), 1);
        // --unlock reads the new login keyring's password from standard input.
        m_daemon = std::make_unique<TProgramProcess>(
            std::vector<std::string>{"/usr/bin/gnome-keyring-daemon", "--foreground", "--unlock",
                                     "--components=secrets",
                                     "--control-directory=" + (m_folder.Path() / "control").string()},
            "keyring test password");
        if (!WaitForBusName(address, QStringLiteral("org.freedesktop.secrets"), 15s)) {
            m_problem = "gnome-keyring-daemon did not take the Secret Service name: " + m_daemon->Error();
        }
    }
    ~TPrivateSecretService() {
        using namespace std::chrono_literals;
        for (TProgramProcess* process : {m_daemon.get(), m_bus.get()}) {
            if (process != nullptr) {
                process->Signal(SIGTERM);
                process->WaitForExit(5s);  // past that, the destructor kills it
            }
        }
    }
    const std::string& Problem() const { return m_problem; }

private:
    TTempFolder m_folder;
    std::unique_ptr<TProgramProcess> m_bus;
    std::unique_ptr<TProgramProcess> m_daemon;
    std::string m_problem;
};

// What secret-tool (libsecret, not QtKeychain) finds for Key; nothing when it finds none.
inline std::optional<std::string> LookedUpBySecretTool(const std::string& key) {
    TProgramProcess lookup({"/usr/bin/secret-tool", "lookup", "server", account::KeyringService, "user", key}, "");
    if (lookup.WaitForExit(std::chrono::seconds(10)) != 0) {
        return std::nullopt;
    }
    return lookup.Output();
}

}  // namespace corvane::test
