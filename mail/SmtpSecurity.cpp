// Encryption around the SMTP dialogue: TLS from the first byte (RFC 8314) and the STARTTLS
// upgrade (RFC 3207).

#include "mail/ScreenText.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

std::string CertificateReason(const net::TTlsResult& result) {
    switch (result.Failure) {
        case net::ETlsFailure::Expired:
            return "it has expired";
        case net::ETlsFailure::NotYetValid:
            return "it is not valid yet";
        case net::ETlsFailure::Untrusted:
            return "it is self-signed or its issuer is unknown";
        case net::ETlsFailure::NameMismatch:
            return "it was issued for another name";
        case net::ETlsFailure::FingerprintChanged:
            return "it is not the certificate you chose to trust; it may have been replaced";
        case net::ETlsFailure::Other:
            return result.Detail.empty() ? "it failed verification" : result.Detail;
        case net::ETlsFailure::None:
        case net::ETlsFailure::Handshake:
            break;
    }
    return {};
}

}  // namespace

bool TWrenSMTP::StartEncryption() {
    if (OnStartEncryption) {
        OnStartEncryption(*this);
    }
    // The handshake counts as one command: the server has CommandTimeout to complete it.
    const net::TTlsResult result =
        m_socket->StartTls({Host, TrustedFingerprint}, net::TClock::now() + CommandTimeout);
    // Its names are the server's words: whoever made the certificate chose them.
    PeerCertificate = result.Certificate;
    TlsAgreement = m_socket->TlsAgreement();
    for (std::string* field : {&PeerCertificate.Subject, &PeerCertificate.Issuer, &PeerCertificate.NotBefore,
                               &PeerCertificate.NotAfter, &PeerCertificate.Sha256Fingerprint}) {
        *field = ScreenSafe(*field);
    }
    if (result.Status != net::ESocketStatus::Failed) {
        return HandleSocketStatus(result.Status);
    }
    if (Aborted) {
        CloseConnection();
    } else if (result.Failure == net::ETlsFailure::Handshake) {
        Fail(ErrorEncryption, "Encryption with " + Host + " could not be started." +
                                  (result.Detail.empty() ? "" : " " + result.Detail));
    } else {
        Fail(ErrorCertificate, "The certificate of " + Host + " cannot be trusted: " +
                                   CertificateReason(result) + ".");
    }
    return false;
}

bool TWrenSMTP::UpgradeToTls() {
    // No silent fallback to plain text: the user asked for encryption.
    if (!m_capabilities.Has("STARTTLS")) {
        Fail(ErrorEncryption, "The mail server " + Host + " does not offer STARTTLS.");
        return false;
    }
    if (!Command("STARTTLS\r\n", "220", CommandTimeout)) {
        return false;
    }
    // RFC 3207 section 4 (and curl's CVE-2021-22947): bytes that arrived after the 220 and
    // before the handshake were never protected; taken as replies later, they would let an
    // attacker answer for the server.
    if (m_replies.HasUnreadBytes()) {
        Fail(ErrorEncryption, "The mail server " + Host + " sent data before encryption started.");
        return false;
    }
    m_replies.Reset();
    // RFC 3207 section 4.2: forget what the server said in plain text and ask again.
    return StartEncryption() && Greet();
}

}  // namespace corvane::mail
