#pragma once
// What corvane-send keeps of a message the server took, as the window does: the message as
// sent plus its Bcc header, in the local archive (account/SentArchive.h) and, where asked, in
// the Sent folder of the user's IMAP server (account/SentCopy.h). The engine hands each line
// to a Maildir writer while it sends; nothing is kept of a send that did not succeed, and a
// copy that cannot be kept never changes the send's exit status.

#include <atomic>
#include <filesystem>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "account/SentArchive.h"
#include "account/SentCopy.h"
#include "account/ServerSettings.h"
#include "app/send/SendOptions.h"
#include "mail/WrenEmail.h"

namespace corvane::send {

struct TKeepPlan {
    bool Archive = true;
    // The IMAP server to copy to, without secrets (the send's are put in when it is made).
    std::optional<account::TSentCopyServer> Copy;
};

// What Options ask to keep, the copy to Sent defaulting to what the window's Settings for the
// server say. Why a copy the options ask for cannot be made, when it cannot: no IMAP server
// known, or no user to sign in as.
std::variant<TKeepPlan, std::string> KeepPlanFor(const TSendOptions& options, const account::TServerSettings& settings);

class TKeptCopy {
public:
    // Hooks the writer to Smtp, when Plan keeps anything; Folder is the local archive's.
    TKeptCopy(TKeepPlan plan, std::filesystem::path folder, mail::TWrenSMTP& smtp);
    // Unhooks it; a message not kept leaves nothing behind.
    ~TKeptCopy();
    TKeptCopy(const TKeptCopy&) = delete;
    TKeptCopy& operator=(const TKeptCopy&) = delete;

    // Once the server took the message: moves it into the archive and copies it to the IMAP
    // server, signing in as the send did. The progress goes to Status, what failed to Errors.
    // Ctrl+C (Interrupted) stops the copy to the server.
    void Keep(std::ostream& status, std::ostream& errors, const std::atomic<bool>& interrupted);

private:
    void CopyToServer(const std::filesystem::path& message, std::ostream& status, std::ostream& errors,
                      const std::atomic<bool>& interrupted);

    TKeepPlan m_plan;
    mail::TWrenSMTP& m_smtp;
    std::unique_ptr<account::TMaildirWriter> m_writer;
};

}  // namespace corvane::send
