#pragma once
// --token-command: the OAuth2 access token printed by a command of the user's, run the way
// msmtp's passwordeval and git's credential helpers run theirs, through /bin/sh -c. What the
// command writes to standard error reaches the user as it comes; what it writes to standard
// output is the token, kept in memory only and never written anywhere. The command has a
// bound in time, and it and whatever it started stay in a process group of their own, which
// is ended with it: nothing the command started outlives the token's arrival.

#include <atomic>
#include <chrono>
#include <iosfwd>
#include <optional>
#include <string>

namespace corvane::send {

// Long enough for a helper that refreshes the token over the network, short enough that a
// script does not wait on one that hangs.
inline constexpr std::chrono::milliseconds TokenCommandLimit{30'000};

struct TTokenCommandResult {
    // The first line of the output without its line end; its holder wipes it (account::Wipe)
    // when done with it.
    std::optional<std::string> Token;
    // When there is no token, why not, as a sentence that never quotes the output.
    std::string Problem;
    bool Cancelled = false;  // Interrupted was set: the command was ended, no Problem said
};

// Runs Command with an empty standard input (the message text is corvane-send's), its
// standard error copied to Errors, for at most Limit; Interrupted (set by a signal handler)
// ends it at once.
TTokenCommandResult RunTokenCommand(const std::string& command, std::ostream& errors,
                                    const std::atomic<bool>& interrupted,
                                    std::chrono::milliseconds limit = TokenCommandLimit);

}  // namespace corvane::send
