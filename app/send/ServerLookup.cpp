#include "app/send/ServerLookup.h"

#include <QEventLoop>
#include <optional>
#include <ostream>
#include <variant>

#include "app/send/CoreApplication.h"
#include "account/SettingsAdvice.h"
#include "app/send/FoundServer.h"
#include "app/send/StoredSettings.h"

namespace corvane::send {

namespace {

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
    finder.Start(address);
    RunUntilDone(loop, interrupted, [&finder] { finder.Cancel(); });
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
    const auto& send = std::get<TSendOptions>(ready);
    // What the window would keep for the server once the user took it: its settings so far,
    // with the IMAP server the lookup names for copies to Sent.
    const account::TServerSettings settings =
        account::SettingsFor(proposal, StoredSettings(send.Server), *finder.Providers);
    return RunSignedInSend(send, settings, readPassword, text, status, smtp, interrupted);
}

}  // namespace corvane::send
