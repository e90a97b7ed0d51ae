#pragma once
// One set of certificate authorities for every connection the program makes. The SMTP engine
// speaks TLS through OpenSSL, which honours SSL_CERT_FILE and SSL_CERT_DIR; Qt's network access
// (autoconfig, OAuth2) reads the system's certificate folders itself and ignores both. Adopting
// them for Qt too means an organisation's own authority, named the way OpenSSL expects, is
// trusted by the lookups and the sign-in exactly as by the mail connection.

namespace corvane::account {

// Makes Qt's default TLS configuration trust what OpenSSL would: with both variables set,
// exactly the certificates of that file and folder(s); with one, that one and the system's.
// Nothing changes when neither is set. Called once at start, before any request.
void AdoptOpenSslTrust();

}  // namespace corvane::account
