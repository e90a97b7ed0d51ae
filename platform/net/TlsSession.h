#pragma once
// The OpenSSL half of TClientSocket: one TLS client session over a connected, non-blocking
// TCP socket. A session never waits. Each call makes what progress it can at once and says
// what it needs next (the socket readable or writable), so TClientSocket keeps the only
// poll(), the one that also watches its Interrupt descriptor.
//
// Verification happens in OpenSSL (chain, validity, host name or IP address through the
// verify parameters), but the verdict is taken after the handshake, not inside it: the
// dialogue wants the certificate described even when it is refused, and a certificate the
// user trusts on purpose is accepted by its fingerprint whatever the chain says. Nothing is
// sent through a session before Verdict() has said Ok.
//
// Sessions share one OpenSSL context while the trust store stays the same; a connection
// after SSL_CERT_FILE, SSL_CERT_DIR or the file they name has changed gets a new one.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net/ClientSocket.h"

struct ssl_st;

namespace corvane::net {

enum class ETlsProgress {
    Done,       // the step is complete
    WantRead,   // call again once the socket is readable
    WantWrite,  // call again once the socket is writable
    Closed,     // the peer ended TLS in order (close_notify)
    Failed,     // a fatal error; LastError() says which
};

struct TTlsIo {
    ETlsProgress Progress = ETlsProgress::Failed;
    std::size_t Count = 0;  // bytes written or read when Progress is Done
};

class TTlsSession {
public:
    // A client session on Fd for Options, ready for Handshake; nothing is sent yet. Null
    // when the options cannot be used or OpenSSL fails, and then Refusal says why.
    static std::unique_ptr<TTlsSession> Create(int fd, const TTlsOptions& options,
                                               TTlsResult& refusal);
    ~TTlsSession();
    TTlsSession(const TTlsSession&) = delete;
    TTlsSession& operator=(const TTlsSession&) = delete;

    ETlsProgress Handshake();
    // After the handshake is Done: whether the server may be trusted, with its certificate.
    TTlsResult Verdict() const;
    // The server's certificate as far as the handshake got (empty when none arrived).
    TCertificateInfo Certificate() const;
    // The protocol and cipher the handshake agreed on: "TLSv1.3 TLS_AES_256_GCM_SHA384".
    std::string Agreement() const;

    // SSL_write_ex and SSL_read_ex. A Write that wants to be called again must be given
    // the same bytes again.
    TTlsIo Write(std::string_view data);
    TTlsIo Read(char* buffer, std::size_t capacity);

    // Sends close_notify when the connection is in a state for it and the socket takes it
    // at once; never waits, never fails.
    void Shutdown();

    // OpenSSL's words for the last failure.
    const std::string& LastError() const { return m_lastError; }

    // What the socket BIO needs to know of its connection.
    struct TBioState {
        int Fd = -1;
        bool Eof = false;  // recv() returned 0: lets OpenSSL tell truncation from a reset
    };

private:
    TTlsSession() = default;
    // Turns an SSL_* result into a progress, noting the error when it is fatal.
    ETlsProgress ProgressOf(int ok);

    ssl_st* m_ssl = nullptr;
    TBioState m_bio;
    std::string m_trustedFingerprint;  // normalised: 64 upper-case hex digits, or empty
    bool m_broken = false;             // a fatal error happened: no close_notify then
    std::string m_lastError;
};

// Where the default trust store, which every session trusts, is read from at this moment: the
// file and folder SSL_CERT_FILE and SSL_CERT_DIR name, or OpenSSL's own. Another TLS stack in
// the same program (Qt's, for the lookups and OAuth2; account/TlsTrust.h) trusts the same authorities with it.
struct TTrustStorePaths {
    std::string File;
    std::string Folder;           // OpenSSL takes a list, separated by ':'
    bool FromEnvironment = false;  // either variable is set
};
TTrustStorePaths DefaultTrustStorePaths();

}  // namespace corvane::net
