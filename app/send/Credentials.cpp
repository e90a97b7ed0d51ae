#include "app/send/Credentials.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/send/InputFile.h"

namespace corvane::send {

namespace {

// A password others may read is no secret, so its file must be the user's alone, as ssh
// demands of a key file. Only a regular file is judged: a pipe (--password-file <(pass ...))
// keeps nothing at rest.
std::optional<std::string> OpenToOthers(const std::string& path, const struct stat& status) {
    if (!S_ISREG(status.st_mode) || (status.st_mode & (S_IRGRP | S_IROTH)) == 0) {
        return std::nullopt;
    }
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    return "the password file " + path + " is readable by group or others (mode " + mode +
           "): make it yours alone with chmod 600 " + path;
}

TPasswordLookup FromFile(const std::string& path) {
    TInputFile file(path);
    if (file.Error() == ENOENT) {
        return {std::nullopt, "cannot read a password from " + path};
    }
    if (file.Error() == 0) {
        if (auto problem = OpenToOthers(path, file.Status())) {
            return {std::nullopt, std::move(*problem)};
        }
    }
    memory::TLargeBuffer bytes;
    if (!file.ReadAll(bytes)) {
        return {std::nullopt, "cannot read the password file " + path + ": " + file.Reason()};
    }
    std::string line(bytes.View().substr(0, bytes.View().find('\n')));
    explicit_bzero(bytes.Data(), bytes.Size());
    if (bytes.Empty()) {
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
    const std::string key = account::PasswordKey(options.User, server.Host, server.Port);
    account::TKeyringAnswer answer = readKeyring(key);
    switch (answer.Status) {
        case account::EKeyringStatus::Done:
            return {std::move(answer.Password), {}};
        case account::EKeyringStatus::NotFound:
            return {std::nullopt, "the keyring holds no password for " + key +
                                      " (store one in the window's server settings), and no --password-file was given"};
        case account::EKeyringStatus::Unavailable:
            break;
    }
    return {std::nullopt, "no keyring to read the password for " + key + " from (" + answer.Problem +
                              "), and no --password-file was given"};
}

}  // namespace corvane::send
