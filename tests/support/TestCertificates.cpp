#include "TestCertificates.h"

#include <stdlib.h>

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <vector>

#include "ProgramProcess.h"

namespace corvane::test {

namespace {

constexpr const char* OpenSslCommand = "/usr/bin/openssl";
constexpr std::chrono::seconds CommandLimit{30};

// `openssl ca` sets any validity period with -startdate and -enddate, in the past or the
// future alike; the 3.0 CLI's x509 command cannot. Its database and serial live beside this.
constexpr const char* ConfigText = R"(
[ca]
default_ca = test_ca
[test_ca]
database = @FOLDER@/index.txt
new_certs_dir = @FOLDER@
serial = @FOLDER@/serial
default_md = sha256
policy = any_name
unique_subject = no
email_in_dn = no
[any_name]
commonName = supplied
[req]
distinguished_name = req_dn
prompt = no
[req_dn]
[ca_cert]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[loopback]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = IP:127.0.0.1, IP:::1, DNS:localhost
[other_name]
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = serverAuth
subjectAltName = DNS:other.test
)";

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return text;
}

// The time Days days from now, as `openssl ca` takes it: "20261208130908Z".
std::string UtcDaysFromNow(int days) {
    const std::time_t when =
        std::chrono::system_clock::to_time_t(std::chrono::system_clock::now() + std::chrono::days(days));
    std::tm utc{};
    ::gmtime_r(&when, &utc);
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y%m%d%H%M%SZ", &utc);
    return text.data();
}

std::optional<std::string> Environment(const char* name) {
    const char* value = ::getenv(name);
    return value == nullptr ? std::nullopt : std::optional<std::string>(value);
}

void Restore(const char* name, const std::optional<std::string>& value) {
    if (value) {
        ::setenv(name, value->c_str(), 1);
    } else {
        ::unsetenv(name);
    }
}

}  // namespace

const TTestCertificates& TTestCertificates::Shared() {
    static const TTestCertificates certificates;
    return certificates;
}

TTestCertificates::TTestCertificates() {
    Make();
}

bool TTestCertificates::Run(const std::vector<std::string>& arguments) {
    std::vector<std::string> command{OpenSslCommand};
    command.insert(command.end(), arguments.begin(), arguments.end());
    TProgramProcess openssl(command, "");
    const auto status = openssl.WaitForExit(CommandLimit);
    if (status == 0) {
        return true;
    }
    m_problem = "openssl " + arguments.front() + " failed: " + openssl.Error();
    return false;
}

// A new P-256 key in Key, and with it either a self-signed certificate (Extensions from the
// configuration) or a request to sign.
bool TTestCertificates::MakeKeyAnd(const std::string& output, const std::filesystem::path& key,
                                   const std::string& subject, const std::string& extensions) {
    std::vector<std::string> arguments{"req", "-new", "-utf8", "-config", ConfigFile().string(),
                                       "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                       "-noenc", "-keyout", key.string(), "-subj", subject,
                                       "-out", output};
    if (!extensions.empty()) {
        arguments.insert(arguments.end(), {"-x509", "-days", "30", "-extensions", extensions});
    }
    return Run(arguments);
}

// SHA-256 of the certificate's DER form, as "AB:CD:..." (what `openssl x509 -fingerprint
// -sha256` prints), computed here: one more openssl run per certificate would cost more
// than making the certificate did.
std::string TTestCertificates::Fingerprint(const std::filesystem::path& certificate) {
    const std::unique_ptr<BIO, decltype(&BIO_free)> file(BIO_new_file(certificate.c_str(), "r"),
                                                         BIO_free);
    const std::unique_ptr<X509, decltype(&X509_free)> parsed(
        file ? PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr) : nullptr, X509_free);
    unsigned char* der = nullptr;
    const int length = parsed ? i2d_X509(parsed.get(), &der) : -1;
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned digestLength = 0;
    const bool digested = length > 0 && EVP_Digest(der, static_cast<std::size_t>(length),
                                                   digest.data(), &digestLength, EVP_sha256(),
                                                   nullptr) == 1;
    OPENSSL_free(der);
    if (!digested) {
        m_problem = "cannot read " + certificate.string();
        return {};
    }
    std::string text;
    for (unsigned i = 0; i < digestLength; ++i) {
        std::array<char, 4> pair{};
        std::snprintf(pair.data(), pair.size(), i == 0 ? "%02X" : ":%02X", digest[i]);
        text += pair.data();
    }
    return text;
}

std::optional<TCertificateFiles> TTestCertificates::Sign(const std::string& name,
                                                         const std::string& ca,
                                                         const std::string& extensions,
                                                         int startDays, int endDays) {
    const std::filesystem::path folder = m_folder.Path();
    TCertificateFiles files{folder / (name + ".pem"), folder / "server.key", {}};
    if (!Run({"ca", "-batch", "-notext", "-config", ConfigFile().string(), "-cert",
              (folder / (ca + ".pem")).string(), "-keyfile", (folder / (ca + ".key")).string(),
              "-subj", "/CN=" + name, "-startdate", UtcDaysFromNow(startDays), "-enddate",
              UtcDaysFromNow(endDays), "-extensions", extensions, "-in",
              (folder / "server.csr").string(), "-out", files.Certificate.string()})) {
        return std::nullopt;
    }
    files.Sha256Fingerprint = Fingerprint(files.Certificate);
    return files;
}

std::filesystem::path TTestCertificates::ConfigFile() const {
    return m_folder.Path() / "openssl.cnf";
}

void TTestCertificates::Make() {
    const std::filesystem::path folder = m_folder.Path();
    if (folder.empty()) {
        m_problem = "no temporary folder";
        return;
    }
    m_folder.WriteFile("openssl.cnf", ReplaceAll(ConfigText, "@FOLDER@", folder.string()));
    m_folder.WriteFile("index.txt", "");
    m_folder.WriteFile("serial", "01\n");
    CaFile = folder / "test-ca.pem";
    // The CA-signed certificates share one key: each is still a certificate of its own,
    // with its own fingerprint, and one key is all a handshake needs.
    SelfSigned = {folder / "self-signed.pem", folder / "self-signed.key", {}};
    Forged = {folder / "forged.pem", folder / "forged.key", {}};
    if (!MakeKeyAnd(CaFile.string(), folder / "test-ca.key", "/CN=Corvane test-ca", "ca_cert") ||
        !MakeKeyAnd((folder / "untrusted-ca.pem").string(), folder / "untrusted-ca.key",
                    "/CN=Corvane untrusted-ca", "ca_cert") ||
        !MakeKeyAnd(SelfSigned.Certificate.string(), SelfSigned.Key, "/CN=self-signed",
                    "loopback") ||
        !MakeKeyAnd(Forged.Certificate.string(), Forged.Key,
                    std::string("/CN=mail.example.test/description=\xE2\x80\xA8SHA-256: ") + ForgedFingerprint, "loopback") ||
        !MakeKeyAnd((folder / "server.csr").string(), folder / "server.key", "/CN=server", "")) {
        return;
    }
    SelfSigned.Sha256Fingerprint = Fingerprint(SelfSigned.Certificate);
    Forged.Sha256Fingerprint = Fingerprint(Forged.Certificate);
    const auto loopback = Sign("loopback", "test-ca", "loopback", -1, 2);
    const auto expired = Sign("expired", "test-ca", "loopback", -3, -1);
    const auto notYetValid = Sign("not-yet-valid", "test-ca", "loopback", 1, 3);
    const auto otherName = Sign("other-name", "test-ca", "other_name", -1, 2);
    const auto unknownIssuer = Sign("unknown-issuer", "untrusted-ca", "loopback", -1, 2);
    if (!loopback || !expired || !notYetValid || !otherName || !unknownIssuer ||
        SelfSigned.Sha256Fingerprint.empty() || Forged.Sha256Fingerprint.empty()) {
        return;
    }
    Loopback = *loopback;
    Expired = *expired;
    NotYetValid = *notYetValid;
    OtherName = *otherName;
    UnknownIssuer = *unknownIssuer;
}

// ---- TTrustOnly --------------------------------------------------------------------------

TTrustOnly::TTrustOnly(const std::filesystem::path& caFile)
    : m_oldFile(Environment("SSL_CERT_FILE")), m_oldDir(Environment("SSL_CERT_DIR")) {
    ::setenv("SSL_CERT_FILE", caFile.c_str(), 1);
    ::setenv("SSL_CERT_DIR", m_emptyFolder.Path().c_str(), 1);
}

TTrustOnly::~TTrustOnly() {
    Restore("SSL_CERT_FILE", m_oldFile);
    Restore("SSL_CERT_DIR", m_oldDir);
}

}  // namespace corvane::test
