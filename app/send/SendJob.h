#pragma once
// One send from the command line: fills the message from the options and the text, runs
// Connect, SendMail and Quit on the calling thread, and writes the same status texts the
// window shows, one per line; with --quiet only those that say why the send did not succeed.

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

#include "app/send/SendOptions.h"
#include "mail/WrenEmail.h"
#include "platform/memory/LargeBuffer.h"

namespace corvane::send {

enum EExitStatus : int {
    ExitAccepted = 0,
    ExitFailed = 1,
    ExitUsage = 2,
    ExitUnconfirmed = 3,  // the whole message went but the server never answered its end
    ExitCancelled = 130,  // the shell's code for an end by SIGINT
};

// Text split at LF; a CR before the LF belongs to the line end.
mail::TLineList SplitLines(memory::TLargeBuffer text);

// Returns an exit status. A cancel (Interrupted set, then Smtp.Abort called, from another
// thread or a signal handler) ends the send promptly at any point.
int RunSend(const TSendOptions& options, std::istream& text, std::ostream& status,
            mail::TWrenSMTP& smtp, const std::atomic<bool>& interrupted);

}  // namespace corvane::send
