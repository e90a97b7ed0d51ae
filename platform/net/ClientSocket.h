#pragma once
// Blocking TCP client socket for the mail engine.
//
// TSocket is the small interface the SMTP dialogue talks to; TClientSocket is the real one
// (getaddrinfo, IPv4 and IPv6), and tests may substitute an in-memory socket.
//
// Contract shared by every implementation:
// - Open, Send and Receive are called from one thread (the worker that runs the dialogue).
// - Interrupt may be called from any thread, and from a signal handler: it never takes a
//   lock and never blocks. Every blocking call in progress, and every one started after it
//   until ResetInterrupt, returns ESocketStatus::Interrupted promptly.
// - Close releases the connection; it is called by the worker, never concurrently with
//   Open, Send or Receive.
// - Every wait is bounded by the deadline given to the call.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/net/NameLookup.h"
#include "platform/net/Tls.h"

namespace corvane::net {

using TClock = std::chrono::steady_clock;
using TDeadline = TClock::time_point;

enum class ESocketStatus {
    Ok,           // the operation completed
    Closed,       // the peer closed the connection (Receive only)
    Failed,       // name lookup, connect, send or receive failed
    TimedOut,     // the deadline passed first
    Interrupted,  // Interrupt was called
};

struct TReceiveResult {
    ESocketStatus Status = ESocketStatus::Ok;
    std::size_t Count = 0;  // bytes received when Status is Ok (never 0 then)
};

// The outcome of StartTls. Failure and Detail explain a Failed status; Certificate is
// filled whenever the server presented one, also when it was refused.
struct TTlsResult {
    ESocketStatus Status = ESocketStatus::Failed;
    ETlsFailure Failure = ETlsFailure::Handshake;
    std::string Detail;  // OpenSSL's words, for the Other case and for logs of our own
    TCertificateInfo Certificate;
};

class TSocket {
public:
    virtual ~TSocket() = default;

    // Resolves Host (a name, or a numeric IPv4/IPv6 address when NumericHost is set, which
    // then asks no name service) and connects to Port, trying each resolved address in turn
    // until one answers or the deadline passes. The lookup, too, ends at the deadline and
    // on Interrupt.
    virtual ESocketStatus Open(const std::string& host, bool numericHost, int port,
                               TDeadline deadline) = 0;
    // Why the last Open failed (TimedOut after a deadline, None after an Interrupt). A
    // socket that cannot tell says Other.
    virtual EConnectProblem OpenProblem() const { return EConnectProblem::Other; }
    // Writes every byte of Data, or fails.
    virtual ESocketStatus Send(std::string_view data, TDeadline deadline) = 0;
    // Writes Count bytes of the file FileFd from Offset, or fails (also when the file ends
    // first or cannot be read). Here it reads them and Sends them; a socket that can hand
    // the file to the connection without a copy does.
    virtual ESocketStatus SendFile(int fileFd, std::uint64_t offset, std::size_t count, TDeadline deadline);
    // Waits for at least one byte and returns up to Capacity of them.
    virtual TReceiveResult Receive(char* buffer, std::size_t capacity, TDeadline deadline) = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Async-signal-safe and lock-free; see the contract above.
    virtual void Interrupt() noexcept = 0;
    // Forgets an earlier Interrupt, before a new connection is opened.
    virtual void ResetInterrupt() = 0;

    // Runs a TLS client handshake on the open connection (right after Open for implicit
    // TLS, or after the server's 220 to STARTTLS); from then on Send and Receive carry
    // plain text through it until Close. Bounded by Deadline and Interrupt like every wait.
    // Ok only when the certificate is trusted (by the trust store and the name, or by
    // TrustedFingerprint). Any other outcome has closed the connection: after a refused
    // or half-done handshake nothing more can be said on it, in plain text or in TLS.
    // A socket that cannot do TLS fails.
    virtual TTlsResult StartTls(const TTlsOptions& options, TDeadline deadline) {
        (void)options;
        (void)deadline;
        return {ESocketStatus::Failed, ETlsFailure::Handshake, "TLS is not available", {}};
    }
    virtual bool IsEncrypted() const { return false; }
    // What the handshake of the running TLS session agreed on, "TLSv1.3 TLS_AES_256_GCM_SHA384";
    // empty without one.
    virtual std::string TlsAgreement() const { return {}; }

    // The machine's host name (gethostname); empty when it cannot be had.
    virtual std::string LocalHostName() const = 0;
    // The local end of the open connection as an address literal: "[127.0.0.1]" or
    // "[IPv6:::1]" (RFC 5321 section 4.1.3); empty when not connected.
    virtual std::string LocalAddressLiteral() const = 0;
};

class TTlsSession;

// The POSIX implementation. Each blocking call polls the connection together with an
// eventfd that Interrupt writes to, so an interrupt needs no lock and no shutdown race.
// A name is looked up on a helper thread (TBackgroundLookup) whose descriptor is polled the
// same way. After StartTls the same polls drive OpenSSL on the non-blocking descriptor
// (TlsSession).
class TClientSocket final : public TSocket {
public:
    // Resolver looks up names (not numeric addresses); tests give one that hangs on purpose.
    explicit TClientSocket(TResolver resolver = ResolveName);
    ~TClientSocket() override;
    TClientSocket(const TClientSocket&) = delete;
    TClientSocket& operator=(const TClientSocket&) = delete;

    ESocketStatus Open(const std::string& host, bool numericHost, int port,
                       TDeadline deadline) override;
    EConnectProblem OpenProblem() const override { return m_problem; }
    ESocketStatus Send(std::string_view data, TDeadline deadline) override;
    // sendfile(2) on a plain connection; through TLS, as every socket does.
    ESocketStatus SendFile(int fileFd, std::uint64_t offset, std::size_t count, TDeadline deadline) override;
    TReceiveResult Receive(char* buffer, std::size_t capacity, TDeadline deadline) override;
    void Close() override;
    bool IsOpen() const override { return m_fd >= 0; }
    void Interrupt() noexcept override;
    void ResetInterrupt() override;

    TTlsResult StartTls(const TTlsOptions& options, TDeadline deadline) override;
    bool IsEncrypted() const override { return m_tls != nullptr; }
    std::string TlsAgreement() const override;

    std::string LocalHostName() const override;
    std::string LocalAddressLiteral() const override;

private:
    enum class EWaitFor { Readable, Writable };
    ESocketStatus WaitFor(int fd, EWaitFor what, TDeadline deadline) const;
    ESocketStatus LookUp(const std::string& host, bool numericHost, int port, TDeadline deadline,
                         TLookupResult& found);
    ESocketStatus ConnectOne(const TResolvedAddress& address, TDeadline deadline);
    // Ends the Open under way with Status, Problem saying why when it failed.
    ESocketStatus Finish(ESocketStatus status, EConnectProblem problem);
    bool InterruptPending() const;
    TTlsResult Handshake(const TTlsOptions& options, TDeadline deadline);
    ESocketStatus SendTls(std::string_view data, TDeadline deadline);
    TReceiveResult ReceiveTls(char* buffer, std::size_t capacity, TDeadline deadline);

    int m_fd = -1;
    int m_wakeFd = -1;  // eventfd, lives as long as the socket object
    TResolver m_resolver;
    EConnectProblem m_problem = EConnectProblem::None;
    std::unique_ptr<TTlsSession> m_tls;  // set from a trusted handshake until Close
};

}  // namespace corvane::net
