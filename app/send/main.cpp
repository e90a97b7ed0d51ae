// corvane-send: sends one message from a script with the same engine as the window.

#include <sys/prctl.h>

#include <atomic>
#include <csignal>
#include <iostream>

#include "account/Keyring.h"
#include "account/Passwords.h"
#include "account/ServerFinder.h"
#include "app/send/CoreApplication.h"
#include "app/send/Credentials.h"
#include "app/send/SendJob.h"
#include "app/send/SendOptions.h"
#include "app/send/ServerLookup.h"
#include "app/send/StoredSettings.h"

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

// Smtp is the engine a cancel aborts; a lookup (or a send that has not connected yet) sees
// only the flag.
void InstallInterruptHandler(corvane::mail::TWrenSMTP* smtp) {
    g_running = smtp;
    struct sigaction action {};
    action.sa_handler = CancelOnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

// The window's keyring entry. QtKeychain runs its job in an event loop, which needs an
// application object: it is made only here and for a lookup, so a send without signing in
// never starts Qt.
corvane::account::TKeyringAnswer ReadKeyring(const std::string& key) {
    const corvane::send::TCoreApplicationScope qt;
    return corvane::account::TSecretServiceKeyring().Read(key);
}

corvane::send::TPasswordLookup ReadPassword(const corvane::send::TSendOptions& options) {
    // A process holding a password leaves no core dump (and cannot be read by ptrace).
    ::prctl(PR_SET_DUMPABLE, 0);
    return corvane::send::FindPassword(options, ReadKeyring);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::send;
    // A status line written into a pipe its reader has closed (corvane-send ... 2>&1 | head)
    // must not end the program, perhaps after the server took the mail: the write fails, the
    // stream drops what follows, and the exit status still tells the outcome.
    std::signal(SIGPIPE, SIG_IGN);
    // A spool or archive file that reaches the user's file size limit fails its write with
    // a reason the status shows, instead of ending the program.
    std::signal(SIGXFSZ, SIG_IGN);
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
    if (const auto* request = std::get_if<TFindServerRequested>(&parsed)) {
        InstallInterruptHandler(nullptr);
        return RunFindServer(*request, corvane::account::TFinderOptions{}, std::cout, std::cerr, g_interrupted);
    }
    const auto& options = std::get<TSendOptions>(parsed);
    corvane::mail::TWrenSMTP smtp;
    int status = ExitFailed;
    if (options.Auth == EAuth::OAuth2) {
        // A process holding a token (a refresh token lasts for months) leaves no core dump.
        ::prctl(PR_SET_DUMPABLE, 0);
    }
    // With --server auto the token is fetched once the server is found: the window's sign-in
    // and the provider belong to it.
    if (options.Auth == EAuth::OAuth2 && !FindsServer(options)) {
        // Caught from here on: Ctrl+C ends the token command (in a process group of its own,
        // which the terminal's Ctrl+C does not reach) or the sign-in, and the program with it.
        InstallInterruptHandler(&smtp);
        status = PrepareOAuth2SignIn(options, std::cerr, smtp, g_interrupted);
        if (status != ExitAccepted) {
            g_running = nullptr;
            return status;
        }
    }
    if (FindsServer(options)) {
        // Caught from the start: the lookup ends at Ctrl+C as the send does.
        InstallInterruptHandler(&smtp);
        status = RunFoundServerSend(options, corvane::account::TFinderOptions{}, ReadPassword, std::cin, std::cerr,
                                    smtp, g_interrupted);
    } else {
        // The password is read before Ctrl+C is caught: it ends a keyring prompt, and the
        // program, there and then.
        if (!options.User.empty() && options.Auth == EAuth::Password) {
            TPasswordLookup password = ReadPassword(options);
            if (!password.Password) {
                std::cerr << "corvane-send: " << password.Problem << "\n";
                return ExitUsage;
            }
            smtp.Password = std::move(*password.Password);
        }
        InstallInterruptHandler(&smtp);
        status = RunSend(options, StoredSettings(options.Server), std::cin, std::cerr, smtp, g_interrupted);
    }
    g_running = nullptr;
    corvane::account::Wipe(smtp.AccessToken);
    return status;
}
