#pragma once
// corvane-send's server lookups: --find-server, which prints what it finds for an address,
// and --server auto, which sends through what it finds for From. Each lookup runs on an
// event loop made only for it (and a QCoreApplication, when the process has none) and says
// "Looking up the mail server for DOMAIN . . ." first, unless quiet; Ctrl+C (Interrupted set
// by the signal handler) cancels it. Finder says where each source is asked: the program
// passes the defaults, tests point every source at loopback.

#include <atomic>
#include <iosfwd>

#include "account/ServerFinder.h"
#include "app/send/SendJob.h"
#include "app/send/SendOptions.h"

namespace corvane::send {

// Writes the options to send with to Out, and where they come from (account::Describe) to
// Status. Returns ExitAccepted when a server was found, ExitFailed with the reason written
// when none was, ExitCancelled when interrupted.
int RunFindServer(const TFindServerRequested& request, const account::TFinderOptions& finder, std::ostream& out,
                  std::ostream& status, const std::atomic<bool>& interrupted);

// For Options with --server auto: looks the server up for From's address, says what was
// found (not with --quiet), then sends as RunSignedInSend does with the server put in
// (WithFoundServer). Nothing is connected when nothing is found (ExitFailed), when the lookup
// is cancelled (ExitCancelled), or when the server found cannot take the sign-in asked for.
int RunFoundServerSend(const TSendOptions& options, const account::TFinderOptions& finder,
                       const TPasswordReader& readPassword, std::istream& text, std::ostream& status,
                       mail::TWrenSMTP& smtp, const std::atomic<bool>& interrupted);

}  // namespace corvane::send
