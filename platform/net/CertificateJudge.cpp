#include "CertificateJudge.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <optional>

#include "Certificates.h"

namespace corvane::net {

namespace {

// Where a context keeps its judge, so the verify callback, which OpenSSL gives only the
// store of the chain, can find it.
int JudgeIndex() {
    static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
    return index;
}

}  // namespace

TCertificateJudge::TCertificateJudge(const std::string& trustedFingerprint) {
    if (trustedFingerprint.empty()) {
        return;
    }
    const std::optional<std::string> normalised = NormalisedFingerprint(trustedFingerprint);
    m_usableFingerprint = normalised.has_value();
    m_trustedFingerprint = normalised.value_or(std::string());
}

void TCertificateJudge::Refuse(ETlsFailure failure, std::string detail) {
    // The first reason is the one that matters; OpenSSL may go on to find more.
    if (m_failure == ETlsFailure::None) {
        m_failure = failure;
        m_detail = std::move(detail);
    }
}

bool TCertificateJudge::Prepare(ssl_ctx_st* context) {
    if (!m_usableFingerprint) {
        Refuse(ETlsFailure::Other, "the trusted fingerprint is not a SHA-256 one");
        return false;
    }
    const int index = JudgeIndex();
    if (context == nullptr || index < 0 || SSL_CTX_set_ex_data(context, index, this) != 1) {
        Refuse(ETlsFailure::Other, "OpenSSL cannot take the certificate check");
        return false;
    }
    // A missing or unreadable trust store is no error here: every chain is then Untrusted,
    // as on the mail connection.
    SSL_CTX_set_default_verify_paths(context);
    ERR_clear_error();
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, &TCertificateJudge::Verify);
    return true;
}

int TCertificateJudge::Verify(int preverified, x509_store_ctx_st* store) {
    const auto* ssl = static_cast<const SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* judge = ssl != nullptr ? static_cast<TCertificateJudge*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), JudgeIndex()))
                                 : nullptr;
    if (judge == nullptr) {
        return 0;  // a context this judge did not prepare trusts nothing
    }
    return judge->Judge(preverified != 0, store) ? 1 : 0;
}

bool TCertificateJudge::Judge(bool preverified, x509_store_ctx_st* store) {
    if (!m_trustedFingerprint.empty()) {
        // Asked once for each certificate of the chain; the server's own decides every time.
        if (HasFingerprint(X509_STORE_CTX_get0_cert(store), m_trustedFingerprint)) {
            // Cleared, or the library would read the chain's complaint after the handshake.
            X509_STORE_CTX_set_error(store, X509_V_OK);
            return true;
        }
        Refuse(ETlsFailure::FingerprintChanged, "the certificate is not the one trusted for this server");
        X509_STORE_CTX_set_error(store, X509_V_ERR_APPLICATION_VERIFICATION);
        return false;
    }
    if (preverified) {
        return true;
    }
    const int error = X509_STORE_CTX_get_error(store);
    Refuse(FailureOf(error), X509_verify_cert_error_string(error));
    return false;
}

}  // namespace corvane::net
