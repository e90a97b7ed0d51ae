#pragma once
// Command line of corvane-send: what to send and where, as a user would type it into the
// window's fields.

#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "mail/WrenEmail.h"

namespace corvane::send {

struct TSendOptions {
    std::string Server;  // HOST, HOST:PORT, [IPv6]:PORT
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
    std::string TrustFingerprint;  // as typed: 64 hex digits, colons allowed
};

struct THelpRequested {};
struct TVersionRequested {};
struct TUsageError {
    std::string Message;
};

using TParseResult = std::variant<TSendOptions, THelpRequested, TVersionRequested, TUsageError>;

// Accepts "--name value" and "--name=value".
TParseResult ParseSendOptions(const std::vector<std::string>& arguments);

extern const char* const UsageText;

}  // namespace corvane::send
