// Encryption and sign-in around the SMTP dialogue: TLS from the first byte (RFC 8314),
// the STARTTLS upgrade (RFC 3207), and AUTH PLAIN (RFC 4616) or LOGIN (RFC 4954).

#include <string.h>  // explicit_bzero

#include "mail/Base64.h"
#include "mail/ScreenText.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {

namespace {

// Credentials must not outlive their use in memory we own (a core dump, a swap file).
void Wipe(std::string& secret) {
    explicit_bzero(secret.data(), secret.size());
    secret.clear();
}

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

// Prefix, the Base64 of Secret and CR LF, built in one buffer reserved to its final size:
// growing would leave copies of the credentials in freed memory that no wipe reaches.
std::string CredentialLine(std::string_view prefix, std::string_view secret) {
    std::string line;
    line.reserve(prefix.size() + Base64EncodedLength(secret.size()) + 2);
    line.append(prefix);
    const std::size_t at = line.size();
    line.resize(at + Base64EncodedLength(secret.size()));
    EncodeBase64(reinterpret_cast<const std::uint8_t*>(secret.data()), secret.size(), line.data() + at);
    line.append("\r\n");
    return line;
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

std::string TWrenSMTP::SignInMechanism() const {
    if (m_capabilities.OffersAuth("PLAIN")) {
        return "PLAIN";
    }
    if (m_capabilities.OffersAuth("LOGIN")) {
        return "LOGIN";
    }
    return {};
}

bool TWrenSMTP::SecretCommand(std::string line, std::string_view expectedCode) {
    const bool ok = SendText(line, SendTimeout) && HandleSocketStatus(m_writer.FlushAndWipe(SendTimeout));
    Wipe(line);
    if (!ok || ReadReply(CommandTimeout) != EReadOutcome::Reply || Stopped()) {
        return false;
    }
    if (ReplyCode == expectedCode) {
        return true;
    }
    Refused();
    return false;
}

bool TWrenSMTP::SignIn() {
    // Whatever the server offers, a password never crosses a plain connection.
    if (!m_socket->IsEncrypted()) {
        Fail(ErrorSignIn, "Signing in to " + Host + " needs encryption: choose STARTTLS or SSL/TLS.");
        return false;
    }
    const std::string mechanism = SignInMechanism();
    if (mechanism.empty()) {
        Fail(ErrorSignIn, "The mail server " + Host + " offers no way of signing in that Corvane knows (PLAIN, LOGIN).");
        return false;
    }
    if (OnSignIn) {
        OnSignIn(*this);
    }
    if (mechanism == "PLAIN") {
        // RFC 4616: authzid NUL authcid NUL passwd, as the initial response (RFC 4954).
        std::string credentials;
        credentials.reserve(UserName.size() + Password.size() + 2);
        credentials.append(1, '\0').append(UserName).append(1, '\0').append(Password);
        std::string line = CredentialLine("AUTH PLAIN ", credentials);
        Wipe(credentials);
        return SecretCommand(std::move(line), "235");
    }
    return Command("AUTH LOGIN\r\n", "334", CommandTimeout) &&
           Command(EncodeBase64(UserName) + "\r\n", "334", CommandTimeout) &&
           SecretCommand(CredentialLine("", Password), "235");
}

}  // namespace corvane::mail
