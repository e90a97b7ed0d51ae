#pragma once
// Starts Debian's dovecot (/usr/sbin/dovecot, in the foreground) as a child process: an IMAP
// server on 127.0.0.1 with a STARTTLS port and an implicit TLS port, both ephemeral, TLS
// required, one user with a plain password, Maildir folders in a temporary folder of its own.
// Nothing of the system's dovecot is used or touched: the configuration, the runtime folder
// and the state are all in that folder. The destructor ends exactly that dovecot and its
// children, and removes the folder.
//
// With an access token, the server also takes XOAUTH2 (dovecot's oauth2 passdb), asking a
// loopback token information endpoint (tests/support/token_info.py) about each token: it
// knows exactly that one, as a token of the user, and refuses any other.
//
// Run as a normal user, every dovecot process is that user. Run as root, dovecot insists on
// an unprivileged user for the login processes (dovenull, else nobody) and for the mail
// (nobody), so the folder is made reachable for them.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ProgramProcess.h"
#include "TempFolder.h"

namespace corvane::test {

struct TDovecotOptions {
    enum class ESentFolder {
        SpecialUse,  // "Sent Items" marked \Sent, beside a "Sent" without the mark
        NameOnly,    // "Sent", without the mark
        None,        // INBOX and Drafts only
    };
    ESentFolder Sent = ESentFolder::SpecialUse;
    std::filesystem::path CertificateFile;  // PEM chain and key (e.g. from TTestCertificates)
    std::filesystem::path KeyFile;
    std::string User = "jo";
    std::string Password = "secret";
    std::string AccessToken;  // empty: no XOAUTH2
};

// One message file of a Maildir folder.
struct TStoredMessage {
    std::string Bytes;
    std::string Flags;  // the letters after ":2," of its name: "S" for \Seen
};

class TDovecotServer {
public:
    static constexpr std::chrono::seconds StartLimit{30};

    explicit TDovecotServer(const TDovecotOptions& options);
    ~TDovecotServer();
    TDovecotServer(const TDovecotServer&) = delete;
    TDovecotServer& operator=(const TDovecotServer&) = delete;

    // Whether both ports took a connection; Problem() says why not.
    bool Running() const { return m_pid > 0; }
    const std::string& Problem() const { return m_problem; }
    std::string Host() const { return "127.0.0.1"; }
    int StartTlsPort() const { return m_startTlsPort; }
    int TlsPort() const { return m_tlsPort; }

    // The messages of the user's folder (a name without hierarchy), in cur/ and new/.
    std::vector<TStoredMessage> Messages(const std::string& folder) const;
    // What dovecot logged, for a test's failure message.
    std::string Log() const;

private:
    // One try with these ports; false with Problem set when dovecot did not come up.
    bool Start(const TDovecotOptions& options, int startTlsPort, int tlsPort);
    std::string Configuration(const TDovecotOptions& options, int startTlsPort, int tlsPort) const;
    bool PrepareFolders(const TDovecotOptions& options);
    // The web server that vouches for the access token; false with Problem set.
    bool StartTokenServer(const TDovecotOptions& options);
    bool WaitUntilListening();
    void Stop();

    TTempFolder m_folder;
    pid_t m_pid = -1;
    int m_startTlsPort = 0;
    int m_tlsPort = 0;
    std::unique_ptr<TProgramProcess> m_tokenServer;
    int m_tokenPort = 0;
    std::string m_user;
    std::string m_problem;
};

}  // namespace corvane::test
