#pragma once
// One set of certificate authorities for every connection the program makes. The SMTP engine
// speaks TLS through OpenSSL, which honours SSL_CERT_FILE and SSL_CERT_DIR; Qt's network access
// (autoconfig, OAuth2) reads the system's certificate folders itself and ignores both. Adopting
// them for Qt too means an organisation's own authority, named the way OpenSSL expects, is
// trusted by the lookups and the sign-in exactly as by the mail connection.

namespace corvane::account {

// When either variable is set, makes the store the mail engine reads (net::DefaultTrustStorePaths:
// what they name, and OpenSSL's own file or folder for the one that is not) the only one Qt
// trusts; otherwise Qt keeps the system's. Called once at start, with a QCoreApplication,
// before any request.
void AdoptOpenSslTrust();

}  // namespace corvane::account
