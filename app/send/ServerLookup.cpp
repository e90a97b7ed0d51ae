#include "app/send/ServerLookup.h"

#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <optional>
#include <ostream>
#include <variant>

#include "app/send/CoreApplication.h"
#include "app/send/FoundServer.h"

namespace corvane::send {

namespace {

// A signal handler may do no more than set the flag, so the loop looks at it this often.
constexpr std::chrono::milliseconds InterruptPoll{50};

// The finder's result for Address; nothing when Interrupted came first.
std::optional<account::TFinderResult> LookUp(const std::string& address, const account::TFinderOptions& options,
                                             const std::atomic<bool>& interrupted) {
    const TCoreApplicationScope qt;
    account::TServerFinder finder(options);
    QEventLoop loop;
    std::optional<account::TFinderResult> result;
    finder.OnDone = [&](account::TServerFinder&, const account::TFinderResult& done) {
        result = done;
        loop.quit();
    };
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (interrupted) {
            finder.Cancel();
            loop.quit();
        }
    });
    poll.start(InterruptPoll);
    finder.Start(address);
    loop.exec();
    return result;
}

// The server found for Address, or the exit status with the reason written to Status.
std::variant<account::TServerProposal, int> FindServer(const std::string& address, bool quiet,
                                                       const account::TFinderOptions& finder, std::ostream& status,
                                                       const std::atomic<bool>& interrupted) {
    if (!quiet) {
        Say(status, account::LookingUpText(account::DomainOf(address)));
    }
    std::optional<account::TFinderResult> result = LookUp(address, finder, interrupted);
    if (!result) {
        Say(status, "Canceled: Ready for your mail.");
        return ExitCancelled;
    }
    if (!result->Found) {
        Say(status, result->Text);
        return ExitFailed;
    }
    return std::move(*result->Found);
}

}  // namespace

int RunFindServer(const TFindServerRequested& request, const account::TFinderOptions& finder, std::ostream& out,
                  std::ostream& status, const std::atomic<bool>& interrupted) {
    const auto found = FindServer(request.Address, request.Quiet, finder, status, interrupted);
    if (const int* exit = std::get_if<int>(&found)) {
        return *exit;
    }
    const auto& proposal = std::get<account::TServerProposal>(found);
    // Where it comes from even with --quiet: it is the answer, not progress.
    Say(status, account::Describe(proposal));
    Say(out, ServerOptions(proposal));
    return ExitAccepted;
}

int RunFoundServerSend(const TSendOptions& options, const account::TFinderOptions& finder,
                       const TPasswordReader& readPassword, std::istream& text, std::ostream& status,
                       mail::TWrenSMTP& smtp, const std::atomic<bool>& interrupted) {
    const auto found = FindServer(OneMailbox(options.From).value_or(options.From), options.Quiet, finder, status,
                                  interrupted);
    if (const int* exit = std::get_if<int>(&found)) {
        return *exit;
    }
    const auto& proposal = std::get<account::TServerProposal>(found);
    if (!options.Quiet) {
        Say(status, account::Describe(proposal));
    }
    const auto ready = WithFoundServer(options, proposal);
    if (const auto* problem = std::get_if<std::string>(&ready)) {
        Say(status, "corvane-send: " + *problem);
        return ExitFailed;
    }
    return RunSignedInSend(std::get<TSendOptions>(ready), readPassword, text, status, smtp, interrupted);
}

}  // namespace corvane::send
