#pragma once
// What the mail engine asks of TLS, and what it learns back: the options of one handshake
// and its outcome, with the server's certificate described in words a user can judge.
// Shared by every TSocket implementation; TClientSocket's OpenSSL part is TlsSession.

#include <string>

namespace corvane::net {

// Why a handshake did not give a connection the engine may trust.
enum class ETlsFailure {
    None,               // the handshake succeeded and the certificate is trusted
    Handshake,          // no common protocol or cipher, garbage instead of TLS, reset
    Expired,            // the certificate's validity ended
    NotYetValid,        // its validity has not begun
    Untrusted,          // self-signed, or its issuer is not in the trust store
    NameMismatch,       // issued for another name or address
    FingerprintChanged, // a trusted-on-purpose certificate was replaced by another
    Other,              // any other verification failure; Detail says which
};

struct TTlsOptions {
    // The name (or IP literal) the user typed for the server: sent as SNI when it is a name,
    // and checked against the certificate by OpenSSL's own verification.
    std::string ServerName;
    // SHA-256 of a certificate the user chose to trust for this server, as 64 hex digits
    // (any case, colons allowed). When set, exactly that certificate is accepted whatever
    // its chain says, and any other one fails with FingerprintChanged.
    std::string TrustedFingerprint;
};

// The server's leaf certificate, for the window's "trust this certificate" dialog.
struct TCertificateInfo {
    std::string Subject;            // one line, RFC 2253 form
    std::string Issuer;
    std::string NotBefore;          // "2026-12-08 13:09:08 UTC"
    std::string NotAfter;
    std::string Sha256Fingerprint;  // "AB:CD:...", 32 colon-separated upper-case pairs
    bool Empty() const { return Sha256Fingerprint.empty(); }
};

}  // namespace corvane::net
