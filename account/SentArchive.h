#pragma once
// The local archive of sent mail: every message a server accepted, as it was sent plus its Bcc
// header, in the Maildir folder "Sent" below $XDG_DATA_HOME/corvane/ (~/.local/share/corvane/
// when unset), where any mail program that reads Maildir shows it. Folders and files are the
// user's alone (0700, 0600). A message is written into tmp/ and renamed into cur/ with the
// seen flag only once it is complete and on disk, so a crash never leaves half a message
// where a reader looks (the Maildir convention). Qt-free.

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace corvane::account {

// Where the archive is; empty when neither XDG_DATA_HOME nor HOME names a folder.
std::filesystem::path SentArchiveFolder();

// The Maildir unique name of a message written at Now by process Pid, the Count-th of the run,
// on Host: "SECONDS.MMICROSECONDSPPIDQCOUNT.HOST", with '/' and ':' in Host written "\057" and
// "\072" as the convention asks.
std::string MaildirName(std::chrono::system_clock::time_point now, long pid, unsigned count, std::string_view host);

// The flags of a message that was read: the sender wrote it.
inline constexpr std::string_view SeenFlags = ":2,S";

// The bytes of a message file the writer made (for the copy to the IMAP server); empty when it
// cannot be read.
std::string ReadMessageFile(const std::filesystem::path& file);

// Writes one message into a Maildir folder. Used by one thread at a time; a writer that is
// neither committed nor discarded removes its file from tmp/ when it goes.
class TMaildirWriter {
public:
    explicit TMaildirWriter(std::filesystem::path folder);
    ~TMaildirWriter();
    TMaildirWriter(const TMaildirWriter&) = delete;
    TMaildirWriter& operator=(const TMaildirWriter&) = delete;

    // Makes the folder and its tmp/, new/ and cur/ as needed and opens a new file in tmp/.
    bool Begin();
    // One line of the message, written with CR LF after it. False once a write failed.
    bool AddLine(std::string_view line);
    // The message made durable and moved into cur/ with SeenFlags: its path, or nothing.
    std::optional<std::filesystem::path> Commit();
    // For a message that goes elsewhere and is not kept: what was buffered written out, and
    // the path of the whole message, still in tmp/ (removed with the writer); or nothing.
    std::optional<std::filesystem::path> Written();
    // Removes the unfinished message.
    void Discard();

    // Why the last step failed, in words.
    const std::string& Problem() const { return m_problem; }

private:
    bool Flush();
    bool Failed(const std::string& what, int error);

    std::filesystem::path m_folder;
    std::filesystem::path m_tmpPath;
    std::string m_name;
    std::string m_buffer;
    int m_file = -1;
    std::string m_problem;
};

}  // namespace corvane::account
