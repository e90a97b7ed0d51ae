#include "app/send/FoundServer.h"

#include <algorithm>

namespace corvane::send {

namespace {

// Letters, digits and the punctuation no shell expands, splits at or quotes with.
bool PlainInShell(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("@%+=:,./_-").find(c) != std::string_view::npos;
}

bool TakesPassword(const account::TServerProposal& found) {
    return std::find(found.SignIn.begin(), found.SignIn.end(), account::ESignIn::Password) != found.SignIn.end();
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

std::string ServerText(const account::TServerProposal& found) {
    const bool ipv6 = found.Host.find(':') != std::string::npos;
    return (ipv6 ? "[" + found.Host + "]" : found.Host) + ":" + std::to_string(found.Port);
}

std::string ServerOptions(const account::TServerProposal& found) {
    std::string options = "--server " + ShellQuoted(ServerText(found)) + " --security " +
                          SecurityOptionName(found.Security);
    if (!found.UserName.empty() && found.Security != mail::ESecurity::None) {
        options += " --user " + ShellQuoted(found.UserName);
    }
    return options;
}

std::variant<TSendOptions, std::string> WithFoundServer(TSendOptions options, const account::TServerProposal& found) {
    const bool signIn = !options.User.empty() || options.PasswordFile.has_value();
    if (found.Security == mail::ESecurity::None) {
        if (signIn) {
            return "the server found, " + ServerText(found) +
                   ", offers no encryption, and a password never crosses an unencrypted connection";
        }
    } else if (options.User.empty() && (TakesPassword(found) || options.PasswordFile)) {
        options.User = found.UserName;
    }
    options.Server = ServerText(found);
    options.Security = found.Security;
    return options;
}

}  // namespace corvane::send
