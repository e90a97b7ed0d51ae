#pragma once
// An in-memory net::TSocket for transcript tests without TCP: what the "server" sends is a
// queue of chunks, each handed out by one Receive call exactly as queued (so a reply can be
// split at any byte), and everything the client sends is recorded. When the queue is empty
// Receive does what WhenDrained says; a blocked Receive or Send waits for its deadline or
// for Interrupt, which (as the socket contract asks) takes no lock and is safe from any
// thread.
//
// StartTls is scripted too: each call is recorded and returns StartTlsResult (Ok with a
// made-up certificate unless the test says otherwise), after which the same queue and
// record simply go on, standing for the plain text inside TLS. Like TClientSocket, a
// StartTls that does not return Ok leaves the connection closed.
//
// The engine owns its socket, so a test keeps a reference to this object after handing
// the unique_ptr to TWrenSMTP; read the records after the engine's call has returned.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/net/ClientSocket.h"

namespace corvane::test {

class TMemorySocket final : public net::TSocket {
public:
    enum class EWhenDrained {
        Block,  // wait until the deadline (TimedOut) or Interrupt (Interrupted)
        Close,  // the peer has closed: Closed
        Fail,   // a receive error: Failed
    };

    struct TOpenCall {
        std::string Host;
        bool NumericHost = false;
        int Port = 0;
    };

    struct TStartTlsCall {
        net::TTlsOptions Options;
        std::size_t WrittenBefore = 0;   // Written.size() when StartTls was called
        std::size_t UnreadIncoming = 0;  // queued bytes the client had not read by then
    };

    // The certificate StartTlsResult carries unless a test sets another.
    static net::TCertificateInfo MadeUpCertificate();

    TMemorySocket();
    ~TMemorySocket() override;
    TMemorySocket(const TMemorySocket&) = delete;
    TMemorySocket& operator=(const TMemorySocket&) = delete;

    // The script.
    void Incoming(std::string chunk) { m_incoming.push_back(std::move(chunk)); }
    EWhenDrained WhenDrained = EWhenDrained::Close;
    net::ESocketStatus OpenResult = net::ESocketStatus::Ok;
    // After this many bytes have been accepted in total, Send blocks like a full socket
    // buffer: until its deadline or Interrupt.
    std::optional<std::size_t> SendCapacity;
    std::string HostName = "memory.test";
    std::string AddressLiteral = "[127.0.0.1]";
    net::TTlsResult StartTlsResult{net::ESocketStatus::Ok, net::ETlsFailure::None, "",
                                   MadeUpCertificate()};
    // The handshake never finishes: StartTls waits for its deadline (TimedOut) or for
    // Interrupt (Interrupted), as against a server that never answers the ClientHello.
    bool StartTlsBlocks = false;

    // The record.
    std::vector<TOpenCall> Opens;
    std::vector<TStartTlsCall> StartTlsCalls;
    std::string Written;
    int Closes = 0;

    // Waits until a Send, Receive or StartTls call is blocked (SendCapacity reached, the
    // queue drained with WhenDrained Block, StartTlsBlocks). For Abort tests; false when
    // the limit passed first.
    bool WaitUntilBlocked(std::chrono::milliseconds limit) const;

    net::ESocketStatus Open(const std::string& host, bool numericHost, int port,
                            net::TDeadline deadline) override;
    net::ESocketStatus Send(std::string_view data, net::TDeadline deadline) override;
    net::TReceiveResult Receive(char* buffer, std::size_t capacity,
                                net::TDeadline deadline) override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    void Interrupt() noexcept override;
    void ResetInterrupt() override;

    net::TTlsResult StartTls(const net::TTlsOptions& options, net::TDeadline deadline) override;
    bool IsEncrypted() const override { return m_open && m_encrypted; }

    std::string LocalHostName() const override { return HostName; }
    std::string LocalAddressLiteral() const override { return m_open ? AddressLiteral : ""; }

private:
    // Waits for Interrupt or the deadline; returns Interrupted or TimedOut.
    net::ESocketStatus Block(net::TDeadline deadline);
    bool InterruptPending() const;
    void SetBlocked(bool blocked);

    std::deque<std::string> m_incoming;
    bool m_open = false;
    bool m_encrypted = false;
    int m_wakeFd = -1;  // eventfd written by Interrupt

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_blocked = false;
};

}  // namespace corvane::test
