#pragma once
// Command line of corvane-send: what to send and where, as a user would type it into the
// window's fields.

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mail/WrenEmail.h"

namespace corvane::send {

// How --user signs in: with a password, or with an OAuth2 access token (XOAUTH2 or
// OAUTHBEARER), for providers that take no password from a program.
enum class EAuth { Password, OAuth2 };

struct TSendOptions {
    std::string Server;  // HOST, HOST:PORT, [IPv6]:PORT, or "auto" (FindsServer)
    std::string From;
    std::string To;
    std::string Cc;
    std::string Bcc;
    std::string Subject;
    std::vector<std::string> Attachments;
    std::optional<std::string> SignatureFile;
    std::string Charset = "UTF-8";  // of the text and the signature file
    std::optional<int> Priority;  // 1..5; when set the priority headers are written
    std::string Organization;
    std::string XMailer;
    std::vector<std::string> Headers;
    std::string ReplyTo;
    std::string InReplyTo;
    bool Quiet = false;
    // Encryption and sign-in; the password comes from PasswordFile or the window's keyring
    // entry, never from the command line, which other users can see.
    mail::ESecurity Security = mail::ESecurity::None;
    std::string User;
    std::optional<std::string> PasswordFile;
    EAuth Auth = EAuth::Password;
    // With EAuth::OAuth2, where the access token comes from: TokenCommand's output, the
    // device flow, or else the refresh token the window keeps for the user, host and port.
    std::optional<std::string> TokenCommand;
    bool OAuth2Device = false;
    std::string TrustFingerprint;  // as typed: 64 hex digits, colons allowed
    // What is kept of the message once the server took it: the local archive unless
    // NoArchive; the copy in the IMAP server's Sent folder as SentCopy or NoSentCopy say,
    // else as the window's settings for the server say (ImapServer given turns it on).
    bool NoArchive = false;
    bool SentCopy = false;
    bool NoSentCopy = false;
    std::string ImapServer;                    // HOST[:PORT] as typed; empty: the window's
    std::optional<mail::ESecurity> ImapSecurity;  // StartTls or Tls; none: the window's, else Tls
};

// --server auto: the server is looked up for the address in From, not typed.
bool FindsServer(const TSendOptions& options);

// --find-server ADDRESS: only looks the server up, and prints it as the options to send with.
struct TFindServerRequested {
    std::string Address;  // one mailbox
    bool Quiet = false;
};

struct THelpRequested {};
struct TVersionRequested {};
struct TUsageError {
    std::string Message;
};

using TParseResult =
    std::variant<TSendOptions, TFindServerRequested, THelpRequested, TVersionRequested, TUsageError>;

// Accepts "--name value" and "--name=value".
TParseResult ParseSendOptions(const std::vector<std::string>& arguments);

// The address of Text when it is exactly one mailbox, bare or with a name
// ("Me <me@example.org>"); nothing otherwise.
std::optional<std::string> OneMailbox(std::string_view text);

// The --security value for Security: "none", "starttls" or "tls".
const char* SecurityOptionName(mail::ESecurity security);

extern const char* const UsageText;

}  // namespace corvane::send
