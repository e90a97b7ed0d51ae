// corvane-send: sends one message from a script with the same engine as the window.

#include <sys/prctl.h>

#include <QCoreApplication>
#include <atomic>
#include <clocale>
#include <csignal>
#include <iostream>

#include "account/Keyring.h"
#include "app/send/Credentials.h"
#include "app/send/SendJob.h"
#include "app/send/SendOptions.h"

namespace {

corvane::mail::TWrenSMTP* g_running = nullptr;
std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void CancelOnInterrupt(int) {
    // Abort only stores flags and writes to an eventfd: safe inside a signal handler.
    g_interrupted = true;
    if (g_running != nullptr) {
        g_running->Abort();
    }
}

void InstallInterruptHandler(corvane::mail::TWrenSMTP& smtp) {
    g_running = &smtp;
    struct sigaction action {};
    action.sa_handler = CancelOnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The window's keyring entry. QtKeychain runs its job in an event loop, which needs an
// application object: it is made only here, so a send without signing in never starts Qt.
corvane::account::TKeyringAnswer ReadKeyring(const std::string& key) {
    int argc = 1;
    char name[] = "corvane-send";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    // Qt adopts the user's locale for the C library; everything else keeps the "C" locale.
    std::setlocale(LC_ALL, "C");
    return corvane::account::TSecretServiceKeyring().Read(key);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::send;
    // A status line written into a pipe its reader has closed (corvane-send ... 2>&1 | head)
    // must not end the program, perhaps after the server took the mail: the write fails, the
    // stream drops what follows, and the exit status still tells the outcome.
    std::signal(SIGPIPE, SIG_IGN);
    const auto parsed = ParseSendOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (std::holds_alternative<THelpRequested>(parsed)) {
        std::cout << UsageText;
        return ExitAccepted;
    }
    if (std::holds_alternative<TVersionRequested>(parsed)) {
        std::cout << "corvane-send " CORVANE_VERSION "\n";
        return ExitAccepted;
    }
    if (const auto* error = std::get_if<TUsageError>(&parsed)) {
        std::cerr << "corvane-send: " << error->Message << "\n" << UsageText;
        return ExitUsage;
    }
    const auto& options = std::get<TSendOptions>(parsed);
    corvane::mail::TWrenSMTP smtp;
    if (!options.User.empty()) {
        // A process holding a password leaves no core dump (and cannot be read by ptrace).
        ::prctl(PR_SET_DUMPABLE, 0);
        TPasswordLookup password = FindPassword(options, ReadKeyring);
        if (!password.Password) {
            std::cerr << "corvane-send: " << password.Problem << "\n";
            return ExitUsage;
        }
        smtp.Password = std::move(*password.Password);
    }
    InstallInterruptHandler(smtp);
    const int status = RunSend(options, std::cin, std::cerr, smtp, g_interrupted);
    g_running = nullptr;
    return status;
}
