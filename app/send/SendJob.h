#pragma once
// One send from the command line: fills the message from the options and the text, runs
// Connect, SendMail and Quit on the calling thread, and writes the same status texts the
// window shows, one per line; with --quiet only those that say why the send did not succeed.

#include <atomic>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "account/ServerSettings.h"
#include "app/send/Credentials.h"
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

// One status line. Everything in it may come from outside (a reply, a certificate, a file
// or host name), and a terminal acts on what a window only shows: escaped, it can neither
// rewrite an earlier line nor hide one.
void Say(std::ostream& stream, const std::string& text);

// Text split at LF; a CR before the LF belongs to the line end.
mail::TLineList SplitLines(memory::TLargeBuffer text);

// Returns an exit status. A cancel (Interrupted set, then Smtp.Abort called, from another
// thread or a signal handler) ends the send promptly at any point. Settings are the window's
// for the server (StoredSettings), which say whether a copy goes to the IMAP server's Sent
// folder when the options do not (KeptCopy.h).
int RunSend(const TSendOptions& options, const account::TServerSettings& settings, std::istream& text,
            std::ostream& status, mail::TWrenSMTP& smtp, const std::atomic<bool>& interrupted);

// Where the password of Options.User comes from: FindPassword, in the program.
using TPasswordReader = std::function<TPasswordLookup(const TSendOptions& options)>;

// RunSend signed in as Options.User: with the password ReadPassword gives (it is not asked
// without a user), or with --auth oauth2 with the token PrepareOAuth2SignIn gets for the
// server in Options. Without one nothing is connected: the problem is written and its status
// returned; nor when Interrupted is already set (ExitCancelled).
int RunSignedInSend(const TSendOptions& options, const account::TServerSettings& settings,
                    const TPasswordReader& readPassword, std::istream& text, std::ostream& status,
                    mail::TWrenSMTP& smtp, const std::atomic<bool>& interrupted);

// For --auth oauth2, before anything is connected: gets the access token (from --token-command,
// else FetchOAuth2Token's) and hands it to Smtp. ExitAccepted when Smtp can sign in with it;
// otherwise the problem is written to Status and the exit status returned: ExitUsage when
// there is no token to be had as things stand (the command gave none, nothing is kept for the
// account, the provider or the client is unknown), ExitFailed when a sign-in or refresh was
// tried and failed, ExitCancelled when Interrupted.
int PrepareOAuth2SignIn(const TSendOptions& options, std::ostream& status, mail::TWrenSMTP& smtp,
                        const std::atomic<bool>& interrupted);

}  // namespace corvane::send
