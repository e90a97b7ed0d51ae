#include "app/send/FoundServer.h"

#include <algorithm>

#include "account/SettingsAdvice.h"

namespace corvane::send {

namespace {

// Letters, digits and the punctuation no shell expands, splits at or quotes with.
bool PlainInShell(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
}

// Whether the user signs in to the server found with a password: it encrypts and says it
// takes one. An SRV record says nothing of signing in, and a submission server asks for it
// by default (RFC 6409, section 4.3); a server that answered a probe without offering AUTH,
// or a document that names no password, is sent to without signing in.
bool SignsInWithPassword(const account::TServerProposal& found) {
    if (found.Security == mail::ESecurity::None || found.UserName.empty()) {
        return false;
    }
    return found.Source == account::ESource::Srv ||
           std::find(found.SignIn.begin(), found.SignIn.end(), account::ESignIn::Password) != found.SignIn.end();
}

}  // namespace

std::string ShellQuoted(std::string_view word) {
    if (!word.empty() && std::all_of(word.begin(), word.end(), PlainInShell)) {
        return std::string(word);
    }
    std::string quoted = "'";
    for (const char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string ServerOptions(const account::TServerProposal& found) {
    std::string options = "--server " + ShellQuoted(account::ServerFieldText(found)) + " --security " +
                          SecurityOptionName(found.Security);
    if (SignsInWithPassword(found)) {
        options += " --user " + ShellQuoted(found.UserName);
    }
    return options;
}

std::variant<TSendOptions, std::string> WithFoundServer(TSendOptions options, const account::TServerProposal& found) {
    const bool signIn = !options.User.empty() || options.PasswordFile.has_value();
    if (found.Security == mail::ESecurity::None && signIn) {
        const char* secret = options.Auth == EAuth::OAuth2 ? "a token" : "a password";
        return "the server found, " + account::ServerFieldText(found) + ", offers no encryption, and " + secret +
               " never crosses an unencrypted connection";
    }
    if (options.User.empty() && found.Security != mail::ESecurity::None &&
        (SignsInWithPassword(found) || options.PasswordFile)) {
        options.User = found.UserName;
    }
    options.Server = account::ServerFieldText(found);
    options.Security = found.Security;
    return options;
}

}  // namespace corvane::send
