#include "app/send/Credentials.h"

#include <fstream>

namespace corvane::send {

namespace {

TPasswordLookup FromFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (!file || !std::getline(file, line)) {
        return {std::nullopt, "cannot read a password from " + path};
    }
    if (line.ends_with('\r')) {
        line.pop_back();
    }
    if (line.empty()) {
        return {std::nullopt, "the first line of " + path + " holds no password"};
    }
    return {std::move(line), {}};
}

}  // namespace

mail::TServerAddress ServerOf(const TSendOptions& options) {
    mail::TServerAddress server = mail::ParseServerAddress(options.Server);
    if (!server.HasPort) {
        server.Port = mail::DefaultPort(options.Security);
    }
    return server;
}

TPasswordLookup FindPassword(const TSendOptions& options, const TKeyringReader& readKeyring) {
    if (options.PasswordFile) {
        return FromFile(*options.PasswordFile);
    }
    const mail::TServerAddress server = ServerOf(options);
    const std::string key = app::PasswordKey(options.User, server.Host, server.Port);
    app::TKeyringAnswer answer = readKeyring(key);
    switch (answer.Status) {
        case app::EKeyringStatus::Done:
            return {std::move(answer.Password), {}};
        case app::EKeyringStatus::NotFound:
            return {std::nullopt, "the keyring holds no password for " + key +
                                      " (store one in the window's server settings), and no --password-file was given"};
        case app::EKeyringStatus::Unavailable:
            break;
    }
    return {std::nullopt, "no keyring to read the password for " + key + " from (" + answer.Problem +
                              "), and no --password-file was given"};
}

}  // namespace corvane::send
