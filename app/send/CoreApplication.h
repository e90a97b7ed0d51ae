#pragma once
// An application object for as long as a TCoreApplicationScope lives, made only when the
// process has none. Qt's event loop, on which the keyring and the server lookups report,
// needs one; corvane-send makes it only for them, so a plain send never starts Qt. The one it
// makes trusts the mail engine's certificate authorities (account/TlsTrust.h).

#include <QCoreApplication>
#include <QEventLoop>
#include <atomic>
#include <functional>
#include <memory>

namespace corvane::send {

class TCoreApplicationScope {
public:
    TCoreApplicationScope();
    ~TCoreApplicationScope();
    TCoreApplicationScope(const TCoreApplicationScope&) = delete;
    TCoreApplicationScope& operator=(const TCoreApplicationScope&) = delete;

private:
    // QCoreApplication keeps a reference to its argument count: it lives as long as it does.
    int m_argc = 1;
    char m_name[13] = "corvane-send";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QCoreApplication> m_application;
};

// Runs Loop until a handler quits it, or until Interrupted is set (by the signal handler at
// Ctrl+C), which calls Cancel and ends the loop. False when Interrupted came first.
bool RunUntilDone(QEventLoop& loop, const std::atomic<bool>& interrupted, const std::function<void()>& cancel);

}  // namespace corvane::send
