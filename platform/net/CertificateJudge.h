#pragma once
// The mail connection's rules for trusting a server, lent to a TLS connection that another
// library makes over OpenSSL (libcurl, for the copy to the Sent folder): the certificate
// authorities OpenSSL's defaults name, which honour SSL_CERT_FILE and SSL_CERT_DIR, or exactly
// the certificate the user trusts on purpose by its SHA-256 fingerprint, whatever its chain
// says. The library hands its OpenSSL context over before the handshake; the judge's verify
// callback then decides, and keeps why it refused, so the user is told the same reason the
// mail connection would give. Checking the server's name stays with the library.
//
// One judge serves one connection at a time, on the thread that runs it, and must outlive
// every context it prepared.

#include <string>

#include "platform/net/Tls.h"

struct ssl_ctx_st;
struct x509_store_ctx_st;

namespace corvane::net {

class TCertificateJudge {
public:
    // TrustedFingerprint as TTlsOptions takes it; empty when no certificate is trusted on purpose.
    explicit TCertificateJudge(const std::string& trustedFingerprint);
    TCertificateJudge(const TCertificateJudge&) = delete;
    TCertificateJudge& operator=(const TCertificateJudge&) = delete;

    // Makes Context verify the server by this judge's rules. False when it cannot (a trusted
    // fingerprint that is not SHA-256, OpenSSL failing), and Failure and Detail say why.
    bool Prepare(ssl_ctx_st* context);

    // Why a certificate was refused; None while none was.
    ETlsFailure Failure() const { return m_failure; }
    // OpenSSL's words for it, or ours for a certificate other than the one trusted on purpose.
    const std::string& Detail() const { return m_detail; }

private:
    static int Verify(int preverified, x509_store_ctx_st* store);
    bool Judge(bool preverified, x509_store_ctx_st* store);
    void Refuse(ETlsFailure failure, std::string detail);

    std::string m_trustedFingerprint;  // normalised, or empty
    bool m_usableFingerprint = true;
    ETlsFailure m_failure = ETlsFailure::None;
    std::string m_detail;
};

}  // namespace corvane::net
