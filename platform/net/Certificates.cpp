#include "Certificates.h"

#include <openssl/evp.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <array>
#include <cctype>

namespace corvane::net {

std::optional<std::string> NormalisedFingerprint(const std::string& text) {
    std::string digits;
    for (const char each : text) {
        if (each == ':') {
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(each))) {
            return std::nullopt;
        }
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(each)));
    }
    return digits.size() == 64 ? std::optional<std::string>(digits) : std::nullopt;
}

std::string Sha256Text(const X509* certificate) {
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned length = 0;
    if (certificate == nullptr || X509_digest(certificate, EVP_sha256(), digest.data(), &length) != 1) {
        return {};
    }
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned i = 0; i < length; ++i) {
        if (i > 0) {
            text += ':';
        }
        text += Hex[digest[i] >> 4];
        text += Hex[digest[i] & 0x0f];
    }
    return text;
}

bool HasFingerprint(const X509* certificate, const std::string& normalised) {
    std::string digits = Sha256Text(certificate);
    std::erase(digits, ':');
    return !digits.empty() && digits == normalised;
}

ETlsFailure FailureOf(long verifyResult) {
    switch (verifyResult) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return ETlsFailure::Expired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return ETlsFailure::NotYetValid;
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_CERT_UNTRUSTED:
            return ETlsFailure::Untrusted;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return ETlsFailure::NameMismatch;
        default:
            return ETlsFailure::Other;
    }
}

}  // namespace corvane::net
