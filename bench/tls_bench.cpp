// What TLS costs the client socket (Google Benchmark), on loopback against an OpenSSL server
// thread of this program that reads and throws away what it gets.
//
//   corvane-bench-tls [Google Benchmark options]
//
// - NewSession: TTlsSession::Create alone. "shared": the usual case, the context made for
//   the system's trust store is reused. "store-changed": the trust store's variables change
//   before every connection (to equal values), so each one pays for a new context and for
//   parsing the system's roots (about 140), as the first connection of a process does.
//   "test-ca-changed": the same with a trust file that holds one test CA.
// - Handshake: Open, StartTls (TLS 1.3, P-256 certificate), Close: a whole connection.
// - Send/socket: 100 MiB through TClientSocket::Send after StartTls, in the 256 KiB blocks
//   the mail writer sends. Send/bare: the same bytes by a plain SSL_write loop on a
//   blocking socket, which is what curl does; the two should be close.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "TestCertificates.h"
#include "platform/net/ClientSocket.h"
#include "platform/net/TlsSession.h"

namespace {

using namespace corvane;
using namespace std::chrono_literals;

constexpr std::size_t BlockBytes = 256 * 1024;  // mail/WireWriter's block
constexpr std::size_t SendBytes = 100 * 1024 * 1024;

// Accepts connections one after another until destroyed; reads each to its end.
class TDiscardingTlsServer {
public:
    explicit TDiscardingTlsServer(const test::TCertificateFiles& files)
        : m_context(SSL_CTX_new(TLS_server_method())), m_wake(::eventfd(0, EFD_CLOEXEC)) {
        SSL_CTX_use_certificate_chain_file(m_context, files.Certificate.c_str());
        SSL_CTX_use_PrivateKey_file(m_context, files.Key.c_str(), SSL_FILETYPE_PEM);
        m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_listen, reinterpret_cast<sockaddr*>(&address), length);
        ::listen(m_listen, 8);
        ::getsockname(m_listen, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { Serve(); });
    }
    ~TDiscardingTlsServer() {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(m_wake, &one, sizeof one);
        m_thread.join();
        ::close(m_listen);
        ::close(m_wake);
        SSL_CTX_free(m_context);
    }
    int Port() const { return m_port; }

private:
    void Serve() {
        // A client that closes right after its handshake makes the server's session tickets
        // meet a closed socket: EPIPE, and SIGPIPE, which stays pending on this thread.
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
        std::array<char, 64 * 1024> buffer;
        for (;;) {
            std::array<pollfd, 2> fds{{{m_listen, POLLIN, 0}, {m_wake, POLLIN, 0}}};
            if (::poll(fds.data(), fds.size(), -1) < 0 || fds[1].revents != 0) {
                return;
            }
            const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
            SSL* ssl = SSL_new(m_context);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) {
                std::size_t got = 0;
                while (SSL_read_ex(ssl, buffer.data(), buffer.size(), &got) == 1) {
                }
            }
            ERR_clear_error();
            SSL_free(ssl);
            ::close(fd);
        }
    }

    SSL_CTX* m_context;
    int m_wake;
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
};

const test::TTestCertificates& Certificates() {
    const auto& certificates = test::TTestCertificates::Shared();
    if (!certificates.Made()) {
        std::fprintf(stderr, "%s\n", certificates.Problem().c_str());
        std::exit(1);
    }
    return certificates;
}

net::TDeadline In(std::chrono::seconds time) {
    return net::TClock::now() + time;
}

void NewSession(benchmark::State& state, bool changing, bool systemStore) {
    std::optional<test::TTrustOnly> trust;
    if (!systemStore) {
        trust.emplace(Certificates().CaFile);
    }
    const char* variable = X509_get_default_cert_dir_env();
    const char* before = std::getenv(variable);
    const std::string folder = before != nullptr ? before : X509_get_default_cert_dir();
    static bool slash = false;  // flips across repetitions too, so no two calls match
    for (auto _ : state) {
        if (changing) {
            // "/etc/ssl/certs" and "/etc/ssl/certs/": the same folder, another identity.
            slash = !slash;
            ::setenv(variable, (folder + (slash ? "/" : "")).c_str(), 1);
        }
        net::TTlsResult refusal;
        benchmark::DoNotOptimize(net::TTlsSession::Create(-1, {"localhost", ""}, refusal));
    }
    if (before != nullptr) {
        ::setenv(variable, before, 1);
    } else {
        ::unsetenv(variable);
    }
}
BENCHMARK_CAPTURE(NewSession, shared, false, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(NewSession, store-changed, true, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(NewSession, test-ca-changed, true, false)->Unit(benchmark::kMicrosecond);

void Handshake(benchmark::State& state) {
    const test::TTrustOnly trust(Certificates().CaFile);
    TDiscardingTlsServer server(Certificates().Loopback);
    net::TClientSocket socket;
    for (auto _ : state) {
        socket.Open("127.0.0.1", true, server.Port(), In(5s));
        if (socket.StartTls({"127.0.0.1", ""}, In(5s)).Status != net::ESocketStatus::Ok) {
            state.SkipWithError("handshake failed");
            return;
        }
        socket.Close();
    }
}
BENCHMARK(Handshake)->Unit(benchmark::kMicrosecond);

void SendThroughSocket(benchmark::State& state) {
    const test::TTrustOnly trust(Certificates().CaFile);
    TDiscardingTlsServer server(Certificates().Loopback);
    const std::string block(BlockBytes, 'x');
    for (auto _ : state) {
        net::TClientSocket socket;
        socket.Open("127.0.0.1", true, server.Port(), In(5s));
        if (socket.StartTls({"127.0.0.1", ""}, In(5s)).Status != net::ESocketStatus::Ok) {
            state.SkipWithError("handshake failed");
            return;
        }
        for (std::size_t sent = 0; sent < SendBytes; sent += BlockBytes) {
            if (socket.Send(block, In(30s)) != net::ESocketStatus::Ok) {
                state.SkipWithError("send failed");
                return;
            }
        }
        socket.Close();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * SendBytes));
}
BENCHMARK(SendThroughSocket)->Name("Send/socket")->Unit(benchmark::kMillisecond)->UseRealTime();

void SendBare(benchmark::State& state) {
    TDiscardingTlsServer server(Certificates().Loopback);
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    const std::string block(BlockBytes, 'x');
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<std::uint16_t>(server.Port()));
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);  // as curl and the socket do
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_connect(ssl) != 1) {
            state.SkipWithError("handshake failed");
            return;
        }
        for (std::size_t sent = 0; sent < SendBytes; sent += BlockBytes) {
            std::size_t written = 0;
            SSL_write_ex(ssl, block.data(), block.size(), &written);
        }
        SSL_shutdown(ssl);
        SSL_free(ssl);
        ::close(fd);
    }
    SSL_CTX_free(context);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * SendBytes));
}
BENCHMARK(SendBare)->Name("Send/bare")->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
