#pragma once
// Throw-away certificates for TLS tests, made with the openssl command when first asked
// for: a test CA, and server certificates with one fault each (EC P-256 keys and nine
// openssl runs, so the whole set takes about a tenth of a second). Everything lives in a temporary folder of
// its own, removed at the end of the process.
//
// A test trusts the CA, and only the CA, for as long as a TTrustOnly object lives: OpenSSL
// reads SSL_CERT_FILE and SSL_CERT_DIR whenever a client loads its default trust store.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "TempFolder.h"

namespace corvane::test {

struct TCertificateFiles {
    std::filesystem::path Certificate;  // PEM
    std::filesystem::path Key;          // PEM, unencrypted
    std::string Sha256Fingerprint;      // "AB:CD:...", as `openssl x509 -fingerprint` prints it
};

class TTestCertificates {
public:
    // The process's one set, made on first use.
    static const TTestCertificates& Shared();

    TTestCertificates();
    TTestCertificates(const TTestCertificates&) = delete;
    TTestCertificates& operator=(const TTestCertificates&) = delete;

    // Whether every file was made; Problem() says what failed.
    bool Made() const { return m_problem.empty(); }
    const std::string& Problem() const { return m_problem; }

    std::filesystem::path CaFile;  // the test CA's certificate, to trust

    // All of these name 127.0.0.1, ::1 and localhost unless said otherwise.
    TCertificateFiles Loopback;       // signed by the CA, valid now
    TCertificateFiles Expired;        // signed by the CA, validity ended yesterday
    TCertificateFiles NotYetValid;    // signed by the CA, validity begins tomorrow
    TCertificateFiles OtherName;      // signed by the CA, for other.test only
    TCertificateFiles SelfSigned;     // signed by its own key
    TCertificateFiles UnknownIssuer;  // signed by a second CA that nobody trusts
    // Self-signed, its subject's description a line separator (U+2028) and a fake
    // "SHA-256: " line of ForgedFingerprint, to pass for a fingerprint on a careless screen.
    TCertificateFiles Forged;
    static constexpr const char* ForgedFingerprint =
        "AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA:AA";

private:
    bool Run(const std::vector<std::string>& arguments);
    bool MakeKeyAnd(const std::string& output, const std::filesystem::path& key,
                    const std::string& subject, const std::string& extensions);
    std::optional<TCertificateFiles> Sign(const std::string& name, const std::string& ca,
                                          const std::string& extensions, int startDays,
                                          int endDays);
    std::filesystem::path ConfigFile() const;
    std::string Fingerprint(const std::filesystem::path& certificate);
    void Make();

    TTempFolder m_folder;
    std::string m_problem;
};

// Sets SSL_CERT_FILE to one file and SSL_CERT_DIR to an empty folder, so that a TLS client
// trusts exactly what that file holds; the destructor restores both variables. Not for use
// while another thread reads the environment.
class TTrustOnly {
public:
    explicit TTrustOnly(const std::filesystem::path& caFile);
    ~TTrustOnly();
    TTrustOnly(const TTrustOnly&) = delete;
    TTrustOnly& operator=(const TTrustOnly&) = delete;

private:
    TTempFolder m_emptyFolder;
    std::optional<std::string> m_oldFile;
    std::optional<std::string> m_oldDir;
};

}  // namespace corvane::test
