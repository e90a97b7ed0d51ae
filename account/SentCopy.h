#pragma once
// Puts a copy of a message that was just sent into the Sent folder of the user's IMAP server,
// as other mail programs do, so it shows up among the sent mail on every device. The copy is
// the message's bytes exactly as given (the caller adds the Bcc header it wants kept), marked
// \Seen. libcurl speaks IMAP: it signs in (a password, or an OAuth2 access token by XOAUTH2),
// lists the folders, and APPENDs to the one ChooseSentFolder (SentFolder.h) picks.
//
// Only over TLS (SSL/TLS or STARTTLS): the sign-in never crosses a plain connection. The
// server's certificate is trusted by the mail connection's rules (the system's authorities,
// SSL_CERT_FILE and SSL_CERT_DIR, or exactly the certificate trusted on purpose by its
// fingerprint), and it must name the server either way.
//
// The dialogue runs on a thread of its own. A copy is used from one thread, whose event loop
// it reports on: never from inside Start or Cancel, and never after Cancel or its
// destruction, so a handler may cancel, restart or destroy the copy that called it.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "account/WorkerThreads.h"
#include "mail/WrenEmail.h"

namespace corvane::account {

struct TSentCopyServer {
    std::string Host;  // a name or an address literal, IPv6 without brackets
    int Port = 0;      // 0: the security's own, 993 for SSL/TLS, 143 for STARTTLS
    mail::ESecurity Security = mail::ESecurity::Tls;
    std::string UserName;
    // One of the two: with an AccessToken the sign-in is XOAUTH2, else a password one.
    std::string Password;
    std::string AccessToken;
    std::string TrustedFingerprint;  // TServerSettings::TrustedFingerprint for this server
};

// The server typed as "HOST[:PORT]" (an IPv6 address in brackets) into an IMAP server field,
// without secrets: the port 0 leaves the security's own.
TSentCopyServer SentCopyServerFor(std::string_view field, mail::ESecurity security, std::string userName);

struct TSentCopyResult {
    bool Copied = false;
    std::string Folder;   // where the copy went, as the server names it (modified UTF-7)
    std::string Problem;  // why there is no copy: one sentence for the status bar, no secret
};

struct TSentCopyLimits {
    std::chrono::milliseconds Connect{std::chrono::seconds(20)};  // each connection, TLS included
    // The longest the server may keep silent, or a transfer stand still, before the copy gives up.
    std::chrono::seconds Stall{60};
    // The whole copy, from Start: a large message on a slow line takes minutes.
    std::chrono::milliseconds Deadline{std::chrono::minutes(10)};
};

class TSentCopy {
public:
    using TOnDone = std::function<void(TSentCopy& sender, const TSentCopyResult& result)>;

    // How long Cancel and the destructor wait for the dialogue to let go of its connection;
    // one still running then ends on its own, unseen.
    static constexpr std::chrono::milliseconds ReleaseLimit{std::chrono::seconds(1)};

    explicit TSentCopy(TSentCopyLimits limits = {});
    ~TSentCopy();
    TSentCopy(const TSentCopy&) = delete;
    TSentCopy& operator=(const TSentCopy&) = delete;

    // Copies Message (the bytes sent, CRLF line ends, no SMTP dot-stuffing) to Server's Sent
    // folder and reports once through OnDone. Server's password and token are the copy's to
    // wipe; the caller wipes its own. A copy still running is cancelled.
    void Start(TSentCopyServer server, std::string message);
    // Stops the dialogue: nothing is reported for this copy any more.
    void Cancel();
    bool Running() const { return m_running; }

    TOnDone OnDone;

private:
    struct TRun;

    void Finish(const TSentCopyResult& result);

    TSentCopyLimits m_limits;
    TWorkerThreads m_workers;
    std::shared_ptr<TRun> m_run;
    bool m_running = false;
    // CallLater's guard, replaced by Cancel so that what an earlier copy queued never runs.
    std::shared_ptr<int> m_alive = std::make_shared<int>();
};

}  // namespace corvane::account
