#pragma once
// Starts Debian's aiosmtpd (through tests/support/aiosmtpd_sink.py, run by the system's
// /usr/bin/python3) as a child process on 127.0.0.1 and an ephemeral port, and reads back
// what it received, as parsed by Python's email package. The destructor ends exactly that
// process and removes its folder.
//
// By default a plain server that takes every message; TAiosmtpdOptions add STARTTLS or
// implicit TLS with a certificate (e.g. from TTestCertificates) and a required sign-in.

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace corvane::test {

// One message as the sink stored it.
struct TReceivedMessage {
    struct TAttachment {
        std::string FileName;
        std::string ContentType;
        std::string Data;
    };
    std::string EnvelopeFrom;
    std::vector<std::string> EnvelopeTo;
    std::string Raw;
    std::vector<std::string> Headers;  // "Name: value"
    std::string Text;
    std::vector<TAttachment> Attachments;
    std::string Defects;  // empty when the email package found nothing wrong
    std::string Tls;      // the TLS version it came through ("TLSv1.3"), empty for plain
    std::string Auth;     // "PLAIN user" or "LOGIN user" of its sign-in, empty for none

    // The value of the first header called Name (compared without regard to case).
    std::optional<std::string> Header(const std::string& name) const;
};

struct TAiosmtpdOptions {
    enum class ESecurity {
        None,         // plain text only
        StartTls,     // offers STARTTLS (aiosmtpd's tls_context)
        ImplicitTls,  // TLS from the first byte (ssl_context), as on port 465
    };
    ESecurity Security = ESecurity::None;
    std::filesystem::path CertificateFile;  // PEM chain and key, for StartTls and ImplicitTls
    std::filesystem::path KeyFile;
    // Refuses mail (530) until STARTTLS has been done (aiosmtpd's require_starttls).
    bool RequireStartTls = false;
    // When User is set, MAIL needs a sign-in with User and Password first (aiosmtpd's
    // authenticator and auth_required), by AUTH PLAIN or LOGIN.
    std::string User;
    std::string Password;
    // With User, sign-in by AUTH XOAUTH2 only, taking this one access token in place of
    // Password; another token is refused with Google's error challenge, then 535.
    std::string AccessToken;
    // With User, sign-in by AUTH XOAUTH2 only, taking the tokens this file lists at the time
    // (what a TOAuthServer issued), in place of AccessToken.
    std::filesystem::path IssuedTokens;
    // AUTH is offered inside TLS only (aiosmtpd's auth_require_tls), unless this is set:
    // then also over plain text, to check that a client still refuses to sign in there.
    bool AuthOverPlainText = false;
    // Offers SMTPUTF8, so addresses may carry UTF-8 local parts.
    bool SmtpUtf8 = false;
    // Offers PIPELINING (RFC 2920), added to its EHLO reply.
    bool Pipelining = false;
    // Takes a message of any size and stores it unparsed: read it with RawMessageFile.
    bool LargeMessages = false;
};

// A server over Security with the certificate and key given, that takes mail only from
// User signed in with Password (and, for STARTTLS, only after the upgrade): what a
// provider's submission port asks of a client.
TAiosmtpdOptions SignInRequired(TAiosmtpdOptions::ESecurity security, const std::filesystem::path& certificate,
                                const std::filesystem::path& key, std::string user, std::string password);

class TAiosmtpdServer {
public:
    static constexpr std::chrono::seconds StartLimit{30};

    TAiosmtpdServer();
    explicit TAiosmtpdServer(const TAiosmtpdOptions& options);
    ~TAiosmtpdServer();
    TAiosmtpdServer(const TAiosmtpdServer&) = delete;
    TAiosmtpdServer& operator=(const TAiosmtpdServer&) = delete;

    // Whether the server started and told its port; Problem() says why not.
    bool Running() const { return m_port != 0; }
    const std::string& Problem() const { return m_problem; }
    std::string Host() const { return "127.0.0.1"; }
    std::string Port() const { return std::to_string(m_port); }

    // The Index-th message received (from 1), or nothing when it has not arrived.
    std::optional<TReceivedMessage> Message(int index) const;
    // Where the Index-th message is stored as received (it may not be there yet).
    std::filesystem::path RawMessageFile(int index) const;
    // Every sign-in attempt so far: "PLAIN user accepted", "LOGIN user refused".
    std::vector<std::string> AuthAttempts() const;

private:
    std::vector<std::string> SinkArguments(const TAiosmtpdOptions& options) const;
    void Start(const TAiosmtpdOptions& options);
    void Terminate();

    TTempFolder m_folder;
    pid_t m_pid = -1;
    int m_port = 0;
    std::string m_problem;
};

}  // namespace corvane::test
