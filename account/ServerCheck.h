#pragma once
// Tries a server's settings without sending mail: the connection, the greeting and EHLO, the
// encryption with the certificate checks (and the certificate the user trusts on purpose),
// the sign-in when a password is known, and QUIT; never MAIL. Each step is reported as a line
// in words, safe to show, and a last line says whether the settings work. A password is never
// part of any line.
//
// The engine runs on a thread of its own. A check is used from one thread, whose event loop it
// reports on, in order: never from inside Start or Cancel, and never after Cancel or its
// destruction, so a handler may cancel, restart or destroy the check that called it.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "account/ServerSettings.h"
#include "account/WorkerThreads.h"

namespace corvane::account {

class TServerCheck {
public:
    using TOnLine = std::function<void(TServerCheck& sender, const std::string& line)>;
    // After the last line; Works is false when a step failed.
    using TOnDone = std::function<void(TServerCheck& sender, bool works)>;

    // The connect and each reply are given this long: the user is waiting and can stop it.
    static constexpr std::chrono::milliseconds DefaultTimeout{std::chrono::seconds(20)};
    // How long Cancel and the destructor wait for the engine to let go of its connection; a
    // check still running then ends on its own, unseen.
    static constexpr std::chrono::milliseconds ReleaseLimit{std::chrono::seconds(1)};

    explicit TServerCheck(std::chrono::milliseconds timeout = DefaultTimeout);
    ~TServerCheck();
    TServerCheck(const TServerCheck&) = delete;
    TServerCheck& operator=(const TServerCheck&) = delete;

    // Checks Settings for Server, the Smtp field's text (host and port as typed; without a
    // port, the default of the security). Without a Password no sign-in is tried, except over
    // a plain connection, where the engine refuses any sign-in and a send with a user name
    // would fail the same way. The caller wipes its own copy of the password; the check wipes
    // its own. A check still running is cancelled.
    void Start(const std::string& server, const TServerSettings& settings, const std::string& password);
    // Stops the engine: nothing is reported for this check any more.
    void Cancel();
    bool Running() const { return m_running; }

    TOnLine OnLine;
    TOnDone OnDone;

private:
    struct TRun;

    // On the worker: the whole dialogue, each line posted as it becomes known.
    static void Work(TRun& run, const TPostBack& post, TServerCheck* check);
    // On the owner's thread, passed on through the event loop.
    void Report(const std::string& line);
    void Finish(bool works);

    std::chrono::milliseconds m_timeout;
    TWorkerThreads m_workers;
    std::shared_ptr<TRun> m_run;
    bool m_running = false;
    // CallLater's guard, replaced by Cancel so that what an earlier check queued never runs.
    std::shared_ptr<int> m_alive = std::make_shared<int>();
};

}  // namespace corvane::account
