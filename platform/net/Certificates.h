#pragma once
// What the OpenSSL parts of platform/net agree on about a server's certificate: how a
// fingerprint trusted on purpose is written and compared, and how OpenSSL's verification
// result reads as a reason the user can judge. Both the mail connection (TlsSession) and
// connections other libraries make (CertificateJudge) use them, so a certificate is trusted,
// or refused for the same reason, whichever part of the program connects.

#include <optional>
#include <string>

#include "platform/net/Tls.h"

struct x509_st;

namespace corvane::net {

// "ab:CD:..." or "abcd..." as 64 upper-case hex digits; nothing when it is not SHA-256.
std::optional<std::string> NormalisedFingerprint(const std::string& text);
// SHA-256 of the certificate, "AB:CD:...", 32 colon-separated upper-case pairs; empty when
// OpenSSL cannot digest it.
std::string Sha256Text(const x509_st* certificate);
// Whether the certificate is the one whose normalised fingerprint is given.
bool HasFingerprint(const x509_st* certificate, const std::string& normalised);
// OpenSSL's verification result (X509_V_ERR_...) as the kind of failure.
ETlsFailure FailureOf(long verifyResult);

}  // namespace corvane::net
