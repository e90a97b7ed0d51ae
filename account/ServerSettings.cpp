#include "account/ServerSettings.h"

#include "mail/MailText.h"
#include "platform/registry/ProgramKey.h"
#include "platform/registry/Registry.h"

namespace corvane::account {

namespace {

constexpr std::size_t MaxKeyNameLength = 255;  // the registry's limit for one component

std::string KeyPath(const std::string& name) {
    return std::string(registry::ProgramKeyPath) + "\\Servers\\" + name;
}

mail::ESecurity SecurityFromNumber(std::int32_t number) {
    switch (number) {
        case 1:
            return mail::ESecurity::StartTls;
        case 2:
            return mail::ESecurity::Tls;
        default:
            return mail::ESecurity::None;  // 0, or anything a newer or damaged store holds
    }
}

std::int32_t SecurityNumber(mail::ESecurity security) {
    switch (security) {
        case mail::ESecurity::StartTls:
            return 1;
        case mail::ESecurity::Tls:
            return 2;
        case mail::ESecurity::None:
            break;
    }
    return 0;
}

}  // namespace

std::string ServerKeyName(std::string_view server) {
    std::string name;
    for (const char c : mail::TrimBlanks(server)) {
        if (c == '%') {
            name += "%25";
        } else if (c == '\\') {
            name += "%5C";
        } else {
            name += c;
        }
    }
    return name.size() <= MaxKeyNameLength ? name : std::string();
}

TServerSettings LoadServerSettings(std::string_view server) {
    TServerSettings settings;
    const std::string name = ServerKeyName(server);
    registry::TRegistry registry;
    // Read-only: looking at a server's settings never makes its key.
    if (name.empty() || !registry.OpenKeyReadOnly(KeyPath(name))) {
        return settings;
    }
    settings.Security = SecurityFromNumber(registry.ReadInteger("Security").value_or(0));
    settings.UserName = registry.ReadString("UserName").value_or(std::string());
    settings.RememberPassword = registry.ReadInteger("RememberPassword").value_or(1) != 0;
    settings.TrustedFingerprint = registry.ReadString("TrustedFingerprint").value_or(std::string());
    // Anything but 1, which a newer or damaged store may hold, signs in as before: with a password.
    settings.SignIn = registry.ReadInteger("SignIn").value_or(0) == 1 ? mail::ESignInKind::OAuth2
                                                                        : mail::ESignInKind::Password;
    settings.OAuth2ClientId = registry.ReadString("OAuth2ClientId").value_or(std::string());
    settings.OAuth2Tenant = registry.ReadString("OAuth2Tenant").value_or(std::string());
    settings.CopyToSent = registry.ReadInteger("CopyToSent").value_or(0) != 0;
    settings.ImapServer = registry.ReadString("ImapServer").value_or(std::string());
    settings.ImapSecurity = SecurityFromNumber(registry.ReadInteger("ImapSecurity").value_or(2));
    return settings;
}

bool SaveServerSettings(std::string_view server, const TServerSettings& settings) {
    const std::string name = ServerKeyName(server);
    if (name.empty()) {
        return false;
    }
    registry::TWriteBatch batch;
    registry::TRegistry registry;
    const bool written = registry.OpenKey(KeyPath(name), true) &&
                         registry.WriteInteger("Security", SecurityNumber(settings.Security)) &&
                         registry.WriteString("UserName", settings.UserName) &&
                         registry.WriteInteger("RememberPassword", settings.RememberPassword ? 1 : 0) &&
                         registry.WriteString("TrustedFingerprint", settings.TrustedFingerprint) &&
                         registry.WriteInteger("SignIn", settings.SignIn == mail::ESignInKind::OAuth2 ? 1 : 0) &&
                         registry.WriteString("OAuth2ClientId", settings.OAuth2ClientId) &&
                         registry.WriteString("OAuth2Tenant", settings.OAuth2Tenant) &&
                         registry.WriteInteger("CopyToSent", settings.CopyToSent ? 1 : 0) &&
                         registry.WriteString("ImapServer", settings.ImapServer) &&
                         registry.WriteInteger("ImapSecurity", SecurityNumber(settings.ImapSecurity));
    registry.CloseKey();
    if (!written) {
        batch.Rollback();
        return false;
    }
    return batch.Commit();
}

const char* SecurityName(mail::ESecurity security) {
    switch (security) {
        case mail::ESecurity::StartTls:
            return "STARTTLS";
        case mail::ESecurity::Tls:
            return "SSL/TLS";
        case mail::ESecurity::None:
            break;
    }
    return "None";
}

}  // namespace corvane::account
