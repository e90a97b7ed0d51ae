// corvane-send: sends one message from a script with the same engine as the window.

#include <atomic>
#include <csignal>
#include <iostream>

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

}  // namespace

int main(int argc, char** argv) {
    using namespace corvane::send;
    const auto parsed = ParseSendOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (std::holds_alternative<THelpRequested>(parsed)) {
        std::cout << UsageText;
        return ExitAccepted;
    }
    if (const auto* error = std::get_if<TUsageError>(&parsed)) {
        std::cerr << "corvane-send: " << error->Message << "\n" << UsageText;
        return ExitUsage;
    }
    corvane::mail::TWrenSMTP smtp;
    InstallInterruptHandler(smtp);
    const int status = RunSend(std::get<TSendOptions>(parsed), std::cin, std::cerr, smtp, g_interrupted);
    g_running = nullptr;
    return status;
}
