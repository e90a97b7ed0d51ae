#include "SendOptions.h"

#include <cctype>
#include <charconv>
#include <functional>
#include <map>
#include <set>

#include "mail/AddressList.h"
#include "mail/MailText.h"

namespace corvane::send {

const char* const UsageText =
    "usage: corvane-send --server HOST[:PORT]|auto --from FROM --to TO [--cc CC] [--bcc BCC]\n"
    "                    [--subject TEXT] [--attach FILE]... [--signature FILE]\n"
    "                    [--priority 1..5] [--organization TEXT] [--x-mailer TEXT]\n"
    "                    [--header LINE]... [--reply-to ADDR] [--in-reply-to TEXT]\n"
    "                    [--charset NAME] [--quiet]\n"
    "                    [--security none|starttls|tls] [--user NAME [--password-file FILE]]\n"
    "                    [--auth password|oauth2 [--token-command CMD | --oauth2-device]]\n"
    "                    [--trust-fingerprint SHA256]\n"
    "                    [--no-archive] [--sent-copy | --no-sent-copy]\n"
    "                    [--imap-server HOST[:PORT]] [--imap-security starttls|tls]\n"
    "       corvane-send --find-server ADDRESS [--quiet]\n"
    "       corvane-send --help | --version\n"
    "The message text is read from standard input; it and the signature file are in the\n"
    "charset NAME (default UTF-8).\n"
    "The port is 25, 587 or 465 by --security unless --server names one (1 to 65535).\n"
    "--server auto looks up the server, port and security for the address in --from, and the\n"
    "user name when the server takes a password; --find-server prints what it finds for\n"
    "ADDRESS as the options to send with (exit status 1 when nothing is found).\n"
    "With --user the password is the first line of FILE (which only you may read: chmod 600),\n"
    "or else the one Corvane keeps in the keyring.\n"
    "--auth oauth2 signs in as --user with an OAuth2 access token instead (needs starttls or\n"
    "tls). It is the first line CMD prints, run by /bin/sh within 30 s; or, with\n"
    "--oauth2-device, one from the device flow: open the address shown on any device and\n"
    "enter the code, and the sign-in is kept in the keyring; or else one from the sign-in\n"
    "kept there for the user, host and port, by Corvane's window or --oauth2-device. The\n"
    "provider is the one whose server HOST is, by the provider table.\n"
    "--trust-fingerprint accepts exactly the server certificate with that SHA-256.\n"
    "A message the server took is kept in the Maildir folder $XDG_DATA_HOME/corvane/Sent\n"
    "(~/.local/share/corvane/Sent) unless --no-archive. --sent-copy also puts it into the Sent\n"
    "folder of the IMAP server (port 993 for tls, 143 for starttls), signing in as --user as\n"
    "the send did; without either option it is copied when Corvane's window copies the mail\n"
    "sent through that server, and --imap-server turns the copy on. A copy that fails is said,\n"
    "and the exit status stays 0.\n"
    "--quiet writes no progress; errors are still written. Exit status: 0 accepted, 1 failed,\n"
    "2 usage error, 3 sent but never confirmed (check before sending again), 130 cancelled.\n";

namespace {

using TSetter = std::function<std::optional<TUsageError>(TSendOptions&, const std::string&)>;

TSetter Text(std::string TSendOptions::*field) {
    return [field](TSendOptions& options, const std::string& value) -> std::optional<TUsageError> {
        options.*field = value;
        return std::nullopt;
    };
}

TSetter Append(std::vector<std::string> TSendOptions::*field) {
    return [field](TSendOptions& options, const std::string& value) -> std::optional<TUsageError> {
        (options.*field).push_back(value);
        return std::nullopt;
    };
}

// The engine would quietly connect to port 25 instead of a port it cannot take.
std::optional<TUsageError> SetServer(TSendOptions& options, const std::string& value) {
    if (const auto port = mail::InvalidPort(value)) {
        return TUsageError{"--server takes a port from 1 to 65535, not \"" + *port + "\""};
    }
    options.Server = value;
    return std::nullopt;
}

std::optional<TUsageError> SetPriority(TSendOptions& options, const std::string& value) {
    int priority = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), priority);
    if (error != std::errc{} || end != value.data() + value.size() || priority < 1 || priority > 5) {
        return TUsageError{"--priority takes a number from 1 (highest) to 5 (lowest), not \"" +
                           value + "\""};
    }
    options.Priority = priority;
    return std::nullopt;
}

constexpr std::pair<const char*, mail::ESecurity> SecurityModes[]{
    {"none", mail::ESecurity::None}, {"starttls", mail::ESecurity::StartTls}, {"tls", mail::ESecurity::Tls}};

std::optional<TUsageError> SetSecurity(TSendOptions& options, const std::string& value) {
    for (const auto& [name, security] : SecurityModes) {
        if (value == name) {
            options.Security = security;
            return std::nullopt;
        }
    }
    return TUsageError{"--security takes none, starttls or tls, not \"" + value + "\""};
}

// The copy to Sent signs in, so it never goes over an unencrypted connection.
std::optional<TUsageError> SetImapSecurity(TSendOptions& options, const std::string& value) {
    for (const auto& [name, security] : SecurityModes) {
        if (value == name && security != mail::ESecurity::None) {
            options.ImapSecurity = security;
            return std::nullopt;
        }
    }
    return TUsageError{"--imap-security takes starttls or tls, not \"" + value +
                       "\": the copy to Sent signs in, and never over an unencrypted connection"};
}

std::optional<TUsageError> SetImapServer(TSendOptions& options, const std::string& value) {
    if (const auto port = mail::InvalidPort(value)) {
        return TUsageError{"--imap-server takes a port from 1 to 65535, not \"" + *port + "\""};
    }
    if (mail::ParseServerAddress(value).Host.empty()) {
        return TUsageError{"--imap-server needs a host name or address"};
    }
    options.ImapServer = value;
    return std::nullopt;
}

constexpr std::pair<const char*, EAuth> AuthModes[]{{"password", EAuth::Password}, {"oauth2", EAuth::OAuth2}};

std::optional<TUsageError> SetAuth(TSendOptions& options, const std::string& value) {
    for (const auto& [name, auth] : AuthModes) {
        if (value == name) {
            options.Auth = auth;
            return std::nullopt;
        }
    }
    return TUsageError{"--auth takes password or oauth2, not \"" + value + "\""};
}

// An empty command would run a shell that prints nothing: said here, where it was typed.
std::optional<TUsageError> SetTokenCommand(TSendOptions& options, const std::string& value) {
    if (value.empty()) {
        return TUsageError{"--token-command needs a command to run"};
    }
    options.TokenCommand = value;
    return std::nullopt;
}

std::optional<TUsageError> SetPasswordFile(TSendOptions& options, const std::string& value) {
    options.PasswordFile = value;
    return std::nullopt;
}

// A SHA-256 fingerprint: 32 bytes in hex, in either case, with or without colons.
std::optional<TUsageError> SetFingerprint(TSendOptions& options, const std::string& value) {
    std::size_t digits = 0;
    for (const char c : value) {
        if (std::isxdigit(static_cast<unsigned char>(c))) {
            ++digits;
        } else if (c != ':') {
            digits = 0;
            break;
        }
    }
    if (digits != 64) {
        return TUsageError{"--trust-fingerprint takes a SHA-256 fingerprint, 64 hex digits (colons allowed)"};
    }
    options.TrustFingerprint = value;
    return std::nullopt;
}

const std::map<std::string, TSetter>& ValueOptions() {
    static const std::map<std::string, TSetter> options{
        {"--server", SetServer},
        {"--from", Text(&TSendOptions::From)},
        {"--to", Text(&TSendOptions::To)},
        {"--cc", Text(&TSendOptions::Cc)},
        {"--bcc", Text(&TSendOptions::Bcc)},
        {"--subject", Text(&TSendOptions::Subject)},
        {"--attach", Append(&TSendOptions::Attachments)},
        {"--signature",
         [](TSendOptions& o, const std::string& v) -> std::optional<TUsageError> {
             o.SignatureFile = v;
             return std::nullopt;
         }},
        {"--priority", SetPriority},
        {"--organization", Text(&TSendOptions::Organization)},
        {"--x-mailer", Text(&TSendOptions::XMailer)},
        {"--header", Append(&TSendOptions::Headers)},
        {"--reply-to", Text(&TSendOptions::ReplyTo)},
        {"--in-reply-to", Text(&TSendOptions::InReplyTo)},
        {"--charset", Text(&TSendOptions::Charset)},
        {"--security", SetSecurity},
        {"--user", Text(&TSendOptions::User)},
        {"--password-file", SetPasswordFile},
        {"--auth", SetAuth},
        {"--token-command", SetTokenCommand},
        {"--trust-fingerprint", SetFingerprint},
        {"--imap-server", SetImapServer},
        {"--imap-security", SetImapSecurity},
    };
    return options;
}

// The options without a value.
const std::map<std::string, bool TSendOptions::*>& FlagOptions() {
    static const std::map<std::string, bool TSendOptions::*> options{
        {"--quiet", &TSendOptions::Quiet},
        {"-q", &TSendOptions::Quiet},
        {"--oauth2-device", &TSendOptions::OAuth2Device},
        {"--no-archive", &TSendOptions::NoArchive},
        {"--sent-copy", &TSendOptions::SentCopy},
        {"--no-sent-copy", &TSendOptions::NoSentCopy},
    };
    return options;
}

// With --server auto the security, and the user when --user is not given, come from the
// server found: the checks of what they go with wait until it is (see WithFoundServer).
std::optional<TUsageError> CheckFoundServer(const TSendOptions& options, const std::set<std::string>& given) {
    if (given.contains("--security")) {
        return TUsageError{"--server auto takes the security of the server it finds: leave out --security"};
    }
    if (!OneMailbox(options.From)) {
        return TUsageError{"--server auto looks the server up for the address in --from, and \"" + options.From +
                           "\" is not one address"};
    }
    return std::nullopt;
}

// Where the access token comes from is chosen once, and only for a sign-in that takes one.
std::optional<TUsageError> CheckAuth(const TSendOptions& options) {
    if (options.Auth == EAuth::Password) {
        for (const auto& [given, name] :
             {std::pair{options.TokenCommand.has_value(), "--token-command"}, {options.OAuth2Device, "--oauth2-device"}}) {
            if (given) {
                return TUsageError{std::string(name) + " needs --auth oauth2"};
            }
        }
        return std::nullopt;
    }
    if (options.TokenCommand && options.OAuth2Device) {
        return TUsageError{"--token-command and --oauth2-device are two sources of the token: give one"};
    }
    if (options.PasswordFile) {
        return TUsageError{"--password-file is for --auth password: --auth oauth2 signs in with a token"};
    }
    // A token is issued to one account, and the window keeps the refresh token under it.
    if (options.User.empty()) {
        return TUsageError{"--auth oauth2 needs --user"};
    }
    return std::nullopt;
}

std::optional<TUsageError> CheckSentCopy(const TSendOptions& options) {
    if (options.SentCopy && options.NoSentCopy) {
        return TUsageError{"--sent-copy and --no-sent-copy contradict each other: give one"};
    }
    if (options.NoSentCopy && (!options.ImapServer.empty() || options.ImapSecurity)) {
        return TUsageError{"--imap-server and --imap-security are for the copy to Sent, which --no-sent-copy turns off"};
    }
    return std::nullopt;
}

std::optional<TUsageError> CheckRequired(const TSendOptions& options, const std::set<std::string>& given) {
    for (const auto& [name, value] :
         {std::pair{"--server", &options.Server}, {"--from", &options.From}, {"--to", &options.To}}) {
        if (value->empty()) {
            return TUsageError{std::string(name) + " is required"};
        }
    }
    if (auto error = CheckAuth(options)) {
        return error;
    }
    if (auto error = CheckSentCopy(options)) {
        return error;
    }
    if (FindsServer(options)) {
        return CheckFoundServer(options, given);
    }
    if (options.PasswordFile && options.User.empty()) {
        return TUsageError{"--password-file needs --user"};
    }
    // A token lets whoever reads it send as the user until it expires: no plain connection.
    if (options.Auth == EAuth::OAuth2 && options.Security == mail::ESecurity::None) {
        return TUsageError{"--auth oauth2 needs --security starttls or tls: a token never crosses an unencrypted "
                           "connection"};
    }
    // Credentials never cross an unencrypted connection.
    if (!options.User.empty() && options.Security == mail::ESecurity::None) {
        return TUsageError{"--user needs --security starttls or tls"};
    }
    return std::nullopt;
}

// The value of the option Arguments[I] names: written after '=' (Value already holds it) or
// the next argument, which I then moves on to. False when there is none.
bool TakeValue(const std::vector<std::string>& arguments, std::size_t& i, std::optional<std::string>& value) {
    if (!value) {
        if (i + 1 >= arguments.size()) {
            return false;
        }
        value = arguments[++i];
    }
    return true;
}

TParseResult FindServerRequest(const std::string& address, const TSendOptions& options,
                               const std::set<std::string>& given) {
    if (!given.empty()) {
        return TUsageError{"--find-server takes no other option than --quiet"};
    }
    const std::optional<std::string> mailbox = OneMailbox(address);
    if (!mailbox) {
        return TUsageError{"--find-server takes a mail address (user@domain), not \"" + address + "\""};
    }
    return TFindServerRequested{*mailbox, options.Quiet};
}

}  // namespace

bool FindsServer(const TSendOptions& options) {
    return options.Server == "auto";
}

std::optional<std::string> OneMailbox(std::string_view text) {
    mail::TAddressList list = mail::ParseAddressList(text);
    if (!list.Invalid.empty() || list.Mailboxes.size() != 1) {
        return std::nullopt;
    }
    return std::move(list.Mailboxes.front().Address);
}

const char* SecurityOptionName(mail::ESecurity security) {
    for (const auto& [name, mode] : SecurityModes) {
        if (mode == security) {
            return name;
        }
    }
    return "none";
}

TParseResult ParseSendOptions(const std::vector<std::string>& arguments) {
    TSendOptions options;
    std::optional<std::string> findServer;
    std::set<std::string> given;  // the send's options but --quiet, by name
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string name = arguments[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.erase(equals);
        }
        if (name == "--help" || name == "-h") {
            return THelpRequested{};
        }
        if (name == "--version") {
            return TVersionRequested{};
        }
        if (const auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
            if (value) {
                return TUsageError{name + " takes no value"};
            }
            options.*(flag->second) = true;
            if (flag->second != &TSendOptions::Quiet) {
                given.insert(name);
            }
            continue;
        }
        const auto option = ValueOptions().find(name);
        if (option == ValueOptions().end() && name != "--find-server") {
            // Only the name: a mistyped option's value may be a password.
            return TUsageError{"unknown argument \"" + name + "\""};
        }
        if (!TakeValue(arguments, i, value)) {
            return TUsageError{name + " needs a value"};
        }
        if (option == ValueOptions().end()) {
            findServer = *value;
            continue;
        }
        given.insert(name);
        if (auto error = option->second(options, *value)) {
            return *error;
        }
    }
    if (findServer) {
        return FindServerRequest(*findServer, options, given);
    }
    if (auto error = CheckRequired(options, given)) {
        return *error;
    }
    return options;
}

}  // namespace corvane::send
