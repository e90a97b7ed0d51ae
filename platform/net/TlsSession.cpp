#include "TlsSession.h"

#include "Certificates.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <optional>

namespace corvane::net {

namespace {

// ---- A socket BIO that never raises SIGPIPE ---------------------------------------------
// OpenSSL's own socket BIO writes with write(), which raises SIGPIPE when the peer has gone;
// a library must not make its program handle that signal, so this one uses send() with
// MSG_NOSIGNAL. Otherwise it behaves like BIO_s_socket on a non-blocking descriptor.

TTlsSession::TBioState& StateOf(BIO* bio) {
    return *static_cast<TTlsSession::TBioState*>(BIO_get_data(bio));
}

int ClampLength(std::size_t length) {
    return length > INT_MAX ? INT_MAX : static_cast<int>(length);
}

int BioWrite(BIO* bio, const char* data, int length) {
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t sent =
            ::send(StateOf(bio).Fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
        if (sent >= 0) {
            return static_cast<int>(sent);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_write(bio);
        }
        return -1;
    }
}

int BioRead(BIO* bio, char* buffer, int capacity) {
    BIO_clear_retry_flags(bio);
    for (;;) {
        const ssize_t got = ::recv(StateOf(bio).Fd, buffer, static_cast<std::size_t>(capacity), 0);
        if (got > 0) {
            return static_cast<int>(got);
        }
        if (got == 0) {
            StateOf(bio).Eof = true;
            return 0;
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            BIO_set_retry_read(bio);
        }
        return -1;
    }
}

int BioPuts(BIO* bio, const char* text) {
    return BioWrite(bio, text, ClampLength(std::strlen(text)));
}

long BioControl(BIO* bio, int command, long, void*) {
    switch (command) {
        case BIO_CTRL_FLUSH:
            return 1;  // nothing is buffered here
        case BIO_CTRL_EOF:
            // Asked after a read of 0 bytes: a clean TCP end without close_notify is then
            // reported as "unexpected eof", a truncation, never as an orderly close.
            return StateOf(bio).Eof ? 1 : 0;
        default:
            return 0;
    }
}

const BIO_METHOD* SocketMethod() {
    // Made once, kept for the life of the process (OpenSSL only reads it).
    static BIO_METHOD* const method = [] {
        BIO_METHOD* made =
            BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "corvane socket");
        if (made != nullptr) {
            BIO_meth_set_write(made, BioWrite);
            BIO_meth_set_read(made, BioRead);
            BIO_meth_set_puts(made, BioPuts);
            BIO_meth_set_ctrl(made, BioControl);
        }
        return made;
    }();
    return method;
}

// ---- Options and certificates ------------------------------------------------------------

struct TContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
struct TBioDeleter {
    void operator()(BIO* bio) const { BIO_free_all(bio); }
};

// The oldest OpenSSL error of this thread in words, and an empty queue afterwards.
std::string TakeErrors(const char* otherwise) {
    const unsigned long code = ERR_get_error();
    ERR_clear_error();
    if (code == 0) {
        return otherwise;
    }
    std::array<char, 256> text{};
    ERR_error_string_n(code, text.data(), text.size());
    return text.data();
}

std::string StripBrackets(const std::string& host) {
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']') {
        return host.substr(1, host.size() - 2);
    }
    return host;
}

bool IsIpLiteral(const std::string& host) {
    std::array<unsigned char, 16> address{};
    return ::inet_pton(AF_INET, host.c_str(), address.data()) == 1 ||
           ::inet_pton(AF_INET6, host.c_str(), address.data()) == 1;
}

// One line in RFC 2253 order, with UTF-8 kept as it is rather than escaped.
std::string NameText(const X509_NAME* name) {
    const std::unique_ptr<BIO, TBioDeleter> memory(BIO_new(BIO_s_mem()));
    if (memory == nullptr || name == nullptr ||
        X509_NAME_print_ex(memory.get(), name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB) < 0) {
        return {};
    }
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory.get(), &data);
    return length > 0 ? std::string(data, static_cast<std::size_t>(length)) : std::string();
}

std::string TimeText(const ASN1_TIME* time) {
    std::tm utc{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &utc) != 1) {
        return {};
    }
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S UTC", &utc);
    return text.data();
}

TTlsResult Refused(ETlsFailure failure, std::string detail) {
    return {ESocketStatus::Failed, failure, std::move(detail), {}};
}

std::unique_ptr<SSL_CTX, TContextDeleter> NewContext() {
    std::unique_ptr<SSL_CTX, TContextDeleter> context(SSL_CTX_new(TLS_client_method()));
    if (context == nullptr || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1) {
        return nullptr;
    }
    // A missing or unreadable trust store is no error here: every chain is then Untrusted.
    SSL_CTX_set_default_verify_paths(context.get());
    ERR_clear_error();
    // The verdict is taken after the handshake (see the header); OpenSSL still verifies and
    // keeps its result for SSL_get_verify_result.
    SSL_CTX_set_verify(context.get(), SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(context.get(), SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    return context;
}

// What the default trust store is made of at this moment: the file and folder named by
// SSL_CERT_FILE and SSL_CERT_DIR (or OpenSSL's built-in defaults), and which file that is,
// as it is now.
struct TTrustStoreIdentity {
    std::string File;
    std::string Folder;
    dev_t FileDevice = 0;
    ino_t FileInode = 0;
    off_t FileSize = 0;
    std::int64_t FileChanged = 0;    // nanoseconds
    std::int64_t FolderChanged = 0;  // adding or removing a file changes it too

    bool operator==(const TTrustStoreIdentity&) const = default;
};

std::int64_t Nanoseconds(const timespec& time) {
    return static_cast<std::int64_t>(time.tv_sec) * 1'000'000'000 + time.tv_nsec;
}

TTrustStoreIdentity CurrentTrustStore() {
    TTrustStoreIdentity identity;
    TTrustStorePaths paths = DefaultTrustStorePaths();
    identity.File = std::move(paths.File);
    identity.Folder = std::move(paths.Folder);
    struct stat status {};
    if (::stat(identity.File.c_str(), &status) == 0) {
        identity.FileDevice = status.st_dev;
        identity.FileInode = status.st_ino;
        identity.FileSize = status.st_size;
        identity.FileChanged = Nanoseconds(status.st_mtim);
    }
    if (::stat(identity.Folder.c_str(), &status) == 0) {
        identity.FolderChanged = Nanoseconds(status.st_mtim);
    }
    return identity;
}

// Parsing the system's trust store (some 140 roots) costs OpenSSL 3.0 about 25 ms, ten
// times a whole handshake on loopback, so the context is made once and shared (SSL_CTX is
// made for that), and made anew at the first connection after SSL_CERT_FILE, SSL_CERT_DIR
// or the file itself has changed. A client context keeps no state between connections.
std::unique_ptr<SSL_CTX, TContextDeleter> SharedContext() {
    static std::mutex mutex;
    static TTrustStoreIdentity madeFor;
    static SSL_CTX* shared = nullptr;  // one reference held here, for the process's life

    const TTrustStoreIdentity current = CurrentTrustStore();
    const std::lock_guard lock(mutex);
    if (shared == nullptr || !(current == madeFor)) {
        auto made = NewContext();
        if (made == nullptr) {
            return nullptr;
        }
        SSL_CTX_free(shared);
        shared = made.release();
        madeFor = current;
    }
    SSL_CTX_up_ref(shared);
    return std::unique_ptr<SSL_CTX, TContextDeleter>(shared);
}

}  // namespace

TTrustStorePaths DefaultTrustStorePaths() {
    const char* file = std::getenv(X509_get_default_cert_file_env());
    const char* folder = std::getenv(X509_get_default_cert_dir_env());
    return {file != nullptr ? file : X509_get_default_cert_file(),
            folder != nullptr ? folder : X509_get_default_cert_dir(), file != nullptr || folder != nullptr};
}

// ---- TTlsSession -------------------------------------------------------------------------

std::unique_ptr<TTlsSession> TTlsSession::Create(int fd, const TTlsOptions& options,
                                                 TTlsResult& refusal) {
    std::unique_ptr<TTlsSession> session(new TTlsSession);
    if (!options.TrustedFingerprint.empty()) {
        const auto fingerprint = NormalisedFingerprint(options.TrustedFingerprint);
        if (!fingerprint) {
            refusal = Refused(ETlsFailure::Other, "the trusted fingerprint is not a SHA-256 one");
            return nullptr;
        }
        session->m_trustedFingerprint = *fingerprint;
    }
    const std::string name = StripBrackets(options.ServerName);
    if (name.empty() && session->m_trustedFingerprint.empty()) {
        refusal = Refused(ETlsFailure::Other, "no server name to check the certificate against");
        return nullptr;
    }

    const auto context = SharedContext();
    const BIO_METHOD* method = SocketMethod();
    SSL* ssl = context != nullptr && method != nullptr ? SSL_new(context.get()) : nullptr;
    if (ssl == nullptr) {
        refusal = Refused(ETlsFailure::Handshake, TakeErrors("OpenSSL cannot make a session"));
        return nullptr;
    }
    session->m_ssl = ssl;  // holds its own reference to the context from here on
    session->m_bio.Fd = fd;
    BIO* bio = BIO_new(method);
    if (bio == nullptr) {
        refusal = Refused(ETlsFailure::Handshake, TakeErrors("OpenSSL cannot make a BIO"));
        return nullptr;
    }
    BIO_set_data(bio, &session->m_bio);
    BIO_set_init(bio, 1);
    SSL_set_bio(ssl, bio, bio);

    bool named = true;
    if (name.empty()) {
        // Only a fingerprint-trusted certificate can pass: nothing to send as SNI.
    } else if (IsIpLiteral(name)) {
        // RFC 6066 section 3: SNI carries host names only, never address literals.
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str()) == 1;
    } else {
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named = SSL_set_tlsext_host_name(ssl, name.c_str()) == 1 &&
                SSL_set1_host(ssl, name.c_str()) == 1;
    }
    if (!named) {
        refusal = Refused(ETlsFailure::Other, TakeErrors("the server name cannot be checked"));
        return nullptr;
    }
    SSL_set_connect_state(ssl);
    return session;
}

TTlsSession::~TTlsSession() {
    SSL_free(m_ssl);  // frees the BIO and drops the context's last reference
}

ETlsProgress TTlsSession::ProgressOf(int ok) {
    if (ok == 1) {
        return ETlsProgress::Done;
    }
    const int error = SSL_get_error(m_ssl, ok);
    switch (error) {
        case SSL_ERROR_WANT_READ:
            return ETlsProgress::WantRead;
        case SSL_ERROR_WANT_WRITE:
            return ETlsProgress::WantWrite;
        case SSL_ERROR_ZERO_RETURN:
            ERR_clear_error();
            return ETlsProgress::Closed;
        case SSL_ERROR_SYSCALL: {
            const int systemError = errno;
            m_broken = true;
            m_lastError = TakeErrors(systemError != 0 ? std::strerror(systemError)
                                                      : "the connection ended");
            return ETlsProgress::Failed;
        }
        default:
            m_broken = true;
            m_lastError = TakeErrors("TLS failed");
            return ETlsProgress::Failed;
    }
}

ETlsProgress TTlsSession::Handshake() {
    ERR_clear_error();
    errno = 0;
    const ETlsProgress progress = ProgressOf(SSL_do_handshake(m_ssl));
    // A peer that says close_notify before the handshake is done has refused it.
    if (progress == ETlsProgress::Closed) {
        m_lastError = "the server ended TLS during the handshake";
        return ETlsProgress::Failed;
    }
    return progress;
}

TCertificateInfo TTlsSession::Certificate() const {
    const X509* peer = SSL_get0_peer_certificate(m_ssl);
    if (peer == nullptr) {
        return {};
    }
    return {NameText(X509_get_subject_name(peer)), NameText(X509_get_issuer_name(peer)),
            TimeText(X509_get0_notBefore(peer)), TimeText(X509_get0_notAfter(peer)),
            Sha256Text(peer)};
}

std::string TTlsSession::Agreement() const {
    const SSL_CIPHER* cipher = SSL_get_current_cipher(m_ssl);
    return std::string(SSL_get_version(m_ssl)) + (cipher ? std::string(" ") + SSL_CIPHER_get_name(cipher) : "");
}

TTlsResult TTlsSession::Verdict() const {
    TTlsResult result{ESocketStatus::Failed, ETlsFailure::Other, {}, Certificate()};
    if (result.Certificate.Empty()) {
        result.Detail = "the server presented no certificate";
        return result;
    }
    if (!m_trustedFingerprint.empty()) {
        // Trusted on purpose: this certificate, and no other, whatever its chain and name.
        if (HasFingerprint(SSL_get0_peer_certificate(m_ssl), m_trustedFingerprint)) {
            result.Status = ESocketStatus::Ok;
            result.Failure = ETlsFailure::None;
        } else {
            result.Failure = ETlsFailure::FingerprintChanged;
            result.Detail = "the certificate is not the one trusted for this server";
        }
        return result;
    }
    const long verified = SSL_get_verify_result(m_ssl);
    if (verified == X509_V_OK) {
        result.Status = ESocketStatus::Ok;
        result.Failure = ETlsFailure::None;
        return result;
    }
    result.Failure = FailureOf(verified);
    result.Detail = X509_verify_cert_error_string(verified);
    return result;
}

TTlsIo TTlsSession::Write(std::string_view data) {
    ERR_clear_error();
    errno = 0;
    std::size_t written = 0;
    const ETlsProgress progress = ProgressOf(SSL_write_ex(m_ssl, data.data(), data.size(), &written));
    return {progress, progress == ETlsProgress::Done ? written : 0};
}

TTlsIo TTlsSession::Read(char* buffer, std::size_t capacity) {
    ERR_clear_error();
    errno = 0;
    std::size_t got = 0;
    const ETlsProgress progress = ProgressOf(SSL_read_ex(m_ssl, buffer, capacity, &got));
    return {progress, progress == ETlsProgress::Done ? got : 0};
}

void TTlsSession::Shutdown() {
    // SSL_shutdown must not follow a fatal error, and means nothing before the handshake.
    if (m_broken || SSL_is_init_finished(m_ssl) != 1) {
        return;
    }
    ERR_clear_error();
    // One call queues and tries to send close_notify; not waiting for the peer's answer
    // is allowed when the connection is closed right after (RFC 8446 section 6.1).
    SSL_shutdown(m_ssl);
    ERR_clear_error();
}

}  // namespace corvane::net
