#pragma once
// The authorities Qt's TLS trusts in corvane-send (its OAuth2 requests, the provider's
// configuration document): the same as the mail engine's. The engine reads OpenSSL's default
// store, which SSL_CERT_FILE and SSL_CERT_DIR replace; Qt's OpenSSL backend reads the system's
// certificate folders itself and ignores both variables, so a user who names a company CA
// there would find the mail server trusted and the token endpoint refused.

namespace corvane::send {

// When either variable is set, makes the store they name (with OpenSSL's own file or folder
// for the one that is not) the only one Qt trusts, from now on; otherwise leaves Qt's,
// which is the system's, as it is. Needs a QCoreApplication.
void TrustWhatTheEngineTrusts();

}  // namespace corvane::send
