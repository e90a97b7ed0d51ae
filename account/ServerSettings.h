#pragma once
// The settings of one mail server, as the Smtp history names it: how the connection is
// protected, who signs in, whether the password is kept in the keyring, and the certificate
// the user chose to trust on purpose. Each server has a key of its own below the program's
// root, "\Software\Halden Software\Corvane\Servers\<server>", where <server> is the Smtp
// field's text trimmed (host and port as typed; compared without regard to ASCII case, as
// every key name is). Passwords are never here: they live in the keyring (account/Keyring.h).
//
// A server may take OAuth2 tokens instead of a password (account/ServerOAuth2.h): the provider
// is the one whose server it is; the client ID and the tenant are the user's own when typed
// (an organisation registers its own), else this build's and the provider's default.
//
// Loading gives the defaults for anything missing or unreadable; saving writes every value
// in one transaction and reports whether it landed. Qt-free; one thread at a time.

#include <string>
#include <string_view>

#include "mail/WrenEmail.h"

namespace corvane::account {

struct TServerSettings {
    mail::ESecurity Security = mail::ESecurity::None;
    std::string UserName;  // empty: the server is used without signing in
    bool RememberPassword = true;
    std::string TrustedFingerprint;  // "AB:CD:..." as the certificate dialog showed it
    mail::ESignInKind SignIn = mail::ESignInKind::Password;
    std::string OAuth2ClientId{};  // empty: this build's for the provider
    std::string OAuth2Tenant{};  // empty: the provider's default ("common")
    // A copy of each message sent goes to the Sent folder of this IMAP server ("host:port",
    // the port defaulting to the security's: 993 SSL/TLS, 143 STARTTLS), signed in as above.
    bool CopyToSent = false;
    std::string ImapServer{};
    mail::ESecurity ImapSecurity = mail::ESecurity::Tls;
    bool operator==(const TServerSettings&) const = default;
};

// The key name for a server: the trimmed text with '%' written "%25" and '\' (which would
// split the key) written "%5C"; empty when the text is blank or longer than a key name may be.
std::string ServerKeyName(std::string_view server);

TServerSettings LoadServerSettings(std::string_view server);
// False when the server has no key name or the store did not take the values.
bool SaveServerSettings(std::string_view server, const TServerSettings& settings);

// The words the window and corvane-send use for each mode.
const char* SecurityName(mail::ESecurity security);

}  // namespace corvane::account
