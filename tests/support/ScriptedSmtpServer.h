#pragma once
// A scripted SMTP peer for dialogue tests: a real TCP listener on 127.0.0.1 or ::1, on a
// port the system picks, serving exactly one connection on its own thread by playing a
// script (send these bytes, read one client line, read the message data, close, stay
// silent, start TLS). It records every byte the client sends and asserts nothing: the test
// thread compares the record with what it expects.
//
// A StartTls step runs the server's side of a TLS handshake (OpenSSL); every later step,
// and the record, then carry the plain text inside TLS. As the first step it makes an
// implicit-TLS server (port 465 style); after a "220" reply to STARTTLS, a STARTTLS one.
//
// Every wait is bounded: accepting, each step, and the quiet time after the script all end
// when Stop is called (the destructor does), and each also has a limit of its own. After the
// script's last step the server keeps reading and recording until the client closes the
// connection, so "nothing more was written" can be checked once the client has closed.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct ssl_st;

namespace corvane::test {

enum class EAddressFamily { IPv4, IPv6 };

class TSmtpScript {
public:
    using TMilliseconds = std::chrono::milliseconds;

    // Writes Bytes in one send call.
    TSmtpScript& Send(std::string bytes);
    // Writes each chunk in its own send call, pausing between chunks so that the client
    // sees them arrive separately.
    TSmtpScript& SendChunks(std::vector<std::string> chunks, TMilliseconds pause);
    // Reads one line from the client (up to CR LF) and keeps it in Lines().
    TSmtpScript& ReadLine();
    // Reads the message data up to and including the "\r\n.\r\n" end marker and keeps the
    // data before the marker in Data().
    TSmtpScript& ReadData();
    // Shuts down the server's sending side (the client reads end-of-stream) but goes on
    // recording whatever the client still writes, until the client closes.
    TSmtpScript& Close();
    // Closes at once with a reset (SO_LINGER 0): the client's next send or receive fails.
    TSmtpScript& Reset();
    // Inside TLS, Close says close_notify first; this ends the sending side without it, as
    // a connection cut by someone in between would end (a truncation).
    TSmtpScript& Truncate();
    // Neither sends nor reads, so the client's writes fill the socket buffers, until the
    // test calls ResumeReading (or the server is stopped).
    TSmtpScript& StopReading();
    // Accepts a TLS handshake with this certificate (chain) and key, both PEM files. A
    // failed handshake ends the script, and Problem() gives OpenSSL's reason.
    TSmtpScript& StartTls(std::string certificateFile, std::string keyFile);

    // The usual reply to one command: ReadLine, then Send(Reply).
    TSmtpScript& Expect(std::string reply) { return ReadLine().Send(std::move(reply)); }

private:
    friend class TScriptedSmtpServer;
    enum class EKind { Send, ReadLine, ReadData, Close, Truncate, Reset, StopReading, StartTls };
    struct TStep {
        EKind Kind;
        std::vector<std::string> Chunks;
        TMilliseconds Pause{0};
    };
    std::vector<TStep> m_steps;
};

class TScriptedSmtpServer {
public:
    using TMilliseconds = std::chrono::milliseconds;
    static constexpr TMilliseconds DefaultLimit{std::chrono::seconds(10)};

    // Starts listening and serving at once. Check Listening() before use: binding ::1 fails
    // on machines without IPv6.
    explicit TScriptedSmtpServer(TSmtpScript script, EAddressFamily family = EAddressFamily::IPv4);
    ~TScriptedSmtpServer();
    TScriptedSmtpServer(const TScriptedSmtpServer&) = delete;
    TScriptedSmtpServer& operator=(const TScriptedSmtpServer&) = delete;

    bool Listening() const { return m_listening; }
    // "127.0.0.1" or "::1", and the port as decimal text, ready for TWrenSMTP's Host and Port.
    std::string Host() const;
    std::string Port() const { return std::to_string(m_port); }

    // Every byte received so far, in order.
    std::string Received() const;
    // The lines read by ReadLine steps (without CR LF) and the data read by ReadData steps.
    std::vector<std::string> Lines() const;
    std::vector<std::string> Data() const;
    // Why the script stopped before its end ("client closed during step 4"), or empty.
    std::string Problem() const;
    // The host name the client sent as SNI in the last TLS handshake (empty for none), and
    // whether a handshake completed at all.
    std::string TlsServerName() const;
    bool TlsEstablished() const;

    // Waits until the received bytes contain Needle. False when the limit passed first.
    bool WaitForReceived(std::string_view needle, TMilliseconds limit = DefaultLimit) const;
    // Waits until the connection is over: the client closed it, or the server reset it.
    bool WaitUntilClosed(TMilliseconds limit = DefaultLimit) const;
    // Waits until a client has connected. False when the limit passed first.
    bool WaitUntilAccepted(TMilliseconds limit = DefaultLimit) const;

    // Lets a StopReading step end, so that the server reads (and records) again.
    void ResumeReading();
    // Ends every wait of the server thread and joins it. Called by the destructor.
    void Stop();

private:
    enum class EWaitResult { Ready, Woken, Stopped, TimedOut, Failed };
    enum class ERead { Data, Closed, Stopped, TimedOut };

    void Run();
    int AcceptClient();
    // False when the script cannot go on (the connection is over or a wait failed).
    bool RunStep(int& fd, std::size_t index);
    // Polls Fd for Events together with the wake-up descriptor; Fd -1 only waits.
    EWaitResult WaitFor(int fd, short events, TMilliseconds limit);
    ERead ReadMore(int fd, TMilliseconds limit);
    bool SendAll(int fd, std::string_view bytes);
    // One read or write that does not wait, in plain text or through TLS: the count, 0 when
    // the connection is over, -1 when it would block (Events then says what to wait for).
    long ReadNow(int fd, char* buffer, std::size_t capacity, short& events);
    long WriteNow(int fd, std::string_view bytes, short& events);
    bool AcceptTls(int fd, const std::string& certificateFile, const std::string& keyFile,
                   const std::string& where);
    void EndTls(bool closeNotify);
    bool PauseFor(TMilliseconds pause);
    bool WaitForResume();
    bool Stopping() const;
    void NoteProblem(std::string text);

    TSmtpScript m_script;
    EAddressFamily m_family;
    bool m_listening = false;
    int m_listenFd = -1;  // closed by the server thread once its client is in
    int m_wakeFd = -1;
    int m_port = 0;
    std::thread m_thread;

    // Used by the server thread only: bytes received but not yet taken by a step, and the
    // TLS session once a StartTls step has run.
    std::string m_unparsed;
    ssl_st* m_tls = nullptr;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::string m_received;
    std::vector<std::string> m_lines;
    std::vector<std::string> m_data;
    std::string m_problem;
    std::string m_tlsServerName;
    bool m_tlsEstablished = false;
    bool m_accepted = false;
    bool m_closed = false;
    bool m_stopping = false;
    bool m_resume = false;
};

}  // namespace corvane::test
