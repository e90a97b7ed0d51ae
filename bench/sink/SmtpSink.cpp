// corvane-bench-sink: a minimal SMTP receiver for the benchmarks.
//
// It accepts one connection at a time on 127.0.0.1, answers every command with the reply a
// willing server gives (220 greeting; 250 to HELO, EHLO, MAIL, RCPT, RSET, NOOP; 354 to DATA;
// 221 to QUIT) and reads the message data in blocks of 1 MiB until the end marker
// CR LF "." CR LF (RFC 5321 section 4.1.1.4). Postfix's smtp-sink reads line by line and
// would be the bottleneck; this one spends its time in recv(), so what is measured is the
// client.
//
// EHLO is answered with the extensions asked for: --8bitmime offers 8BITMIME (RFC 6152);
// --tls-certificate and --tls-key offer STARTTLS (RFC 3207) with that certificate, and after
// the handshake --auth-user with --auth-password-file offers AUTH PLAIN and LOGIN (RFC 4954,
// RFC 4616) and takes exactly that user and password (the first line of the file). Nothing is
// required: a client that stays in plain text is served as before, so plain and encrypted
// clients can be timed against the same sink.
//
// For each message it appends one line to the report file (or standard error):
//   message <n> bytes <count> [fnv1a64 <hex>] [tls <version> <cipher>] [user <name>]
// where count is the number of data bytes up to and including the CR LF before the end
// marker, dot-stuffing left as it arrived; tls and user say how the message came, so a
// benchmark can check that a client really encrypted and signed in. --save writes the same
// bytes to a file (the last message wins), so that the benchmark can check the attachment
// arrived whole.
//
// It listens on the port given (0, the default, lets the system choose) and writes the port
// it got to --port-file. It ends by itself after --idle-timeout seconds without a
// connection, and drops a connection that stays silent for --read-timeout seconds, so a
// benchmark that dies never leaves it running for long.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t BlockSize = 1 << 20;
constexpr std::size_t MaxCommandLine = 64 * 1024;

struct TOptions {
    int Port = 0;
    std::string PortFile;
    std::string SaveFile;
    std::string ReportFile;
    bool Checksum = false;
    bool EightBitMime = false;
    std::string TlsCertificate;  // PEM chain, leaf first
    std::string TlsKey;
    std::string AuthUser;
    std::string AuthPasswordFile;
    int IdleTimeoutSeconds = 600;
    int ReadTimeoutSeconds = 120;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "corvane-bench-sink: %s\n"
                 "usage: corvane-bench-sink [--port N] [--port-file FILE] [--save FILE]\n"
                 "                          [--report FILE] [--checksum] [--8bitmime]\n"
                 "                          [--tls-certificate FILE --tls-key FILE]\n"
                 "                          [--auth-user NAME --auth-password-file FILE]\n"
                 "                          [--idle-timeout SECONDS] [--read-timeout SECONDS]\n",
                 why);
    std::exit(2);
}

int ParseNumber(const char* text, int low, int high) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high) {
        Usage("bad number");
    }
    return static_cast<int>(value);
}

TOptions ParseOptions(int argc, char** argv) {
    // The options that take a file name or text, and the flags.
    const std::pair<std::string_view, std::string TOptions::*> texts[] = {
        {"--port-file", &TOptions::PortFile},
        {"--save", &TOptions::SaveFile},
        {"--report", &TOptions::ReportFile},
        {"--tls-certificate", &TOptions::TlsCertificate},
        {"--tls-key", &TOptions::TlsKey},
        {"--auth-user", &TOptions::AuthUser},
        {"--auth-password-file", &TOptions::AuthPasswordFile},
    };
    const std::pair<std::string_view, bool TOptions::*> flags[] = {
        {"--checksum", &TOptions::Checksum},
        {"--8bitmime", &TOptions::EightBitMime},
    };
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                Usage("missing value");
            }
            return argv[++i];
        };
        const auto text = std::find_if(std::begin(texts), std::end(texts),
                                       [&](const auto& entry) { return entry.first == arg; });
        const auto flag = std::find_if(std::begin(flags), std::end(flags),
                                       [&](const auto& entry) { return entry.first == arg; });
        if (text != std::end(texts)) {
            options.*(text->second) = value();
        } else if (flag != std::end(flags)) {
            options.*(flag->second) = true;
        } else if (arg == "--port") {
            options.Port = ParseNumber(value(), 0, 65535);
        } else if (arg == "--idle-timeout") {
            options.IdleTimeoutSeconds = ParseNumber(value(), 1, 86400);
        } else if (arg == "--read-timeout") {
            options.ReadTimeoutSeconds = ParseNumber(value(), 1, 86400);
        } else {
            Usage("unknown option");
        }
    }
    if (options.TlsCertificate.empty() != options.TlsKey.empty()) {
        Usage("--tls-certificate and --tls-key go together");
    }
    if (options.AuthUser.empty() != options.AuthPasswordFile.empty()) {
        Usage("--auth-user and --auth-password-file go together");
    }
    if (!options.AuthUser.empty() && options.TlsCertificate.empty()) {
        Usage("sign-in is only offered inside TLS: give --tls-certificate and --tls-key");
    }
    return options;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

// RFC 4648 Base64, as AUTH carries it; nullopt for anything else.
std::optional<std::string> DecodeBase64(std::string_view text) {
    std::string out;
    std::uint32_t bits = 0;
    int count = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z') {
            value = c - 'A';
        } else if (c >= 'a' && c <= 'z') {
            value = c - 'a' + 26;
        } else if (c >= '0' && c <= '9') {
            value = c - '0' + 52;
        } else if (c == '+') {
            value = 62;
        } else if (c == '/') {
            value = 63;
        } else if (c == '=') {
            ++padding;
            continue;
        }
        if (value < 0 || padding > 0) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        if (++count == 4) {
            out += static_cast<char>(bits >> 16);
            out += static_cast<char>(bits >> 8);
            out += static_cast<char>(bits);
            bits = 0;
            count = 0;
        }
    }
    if (count == 1 || (count + padding) % 4 != 0) {
        return std::nullopt;
    }
    if (count >= 2) {
        bits <<= 6 * (4 - count);
        out += static_cast<char>(bits >> 16);
        if (count == 3) {
            out += static_cast<char>(bits >> 8);
        }
    }
    return out;
}

// The server side of TLS, set up once: the certificate, its key and OpenSSL's defaults
// (TLS 1.2 at least, so both clients negotiate what they would with a real server).
struct TContextDeleter {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};
using TContext = std::unique_ptr<SSL_CTX, TContextDeleter>;

TContext MakeServerContext(const TOptions& options) {
    if (options.TlsCertificate.empty()) {
        return nullptr;
    }
    TContext context(SSL_CTX_new(TLS_server_method()));
    if (context == nullptr || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1 ||
        SSL_CTX_use_certificate_chain_file(context.get(), options.TlsCertificate.c_str()) != 1 ||
        SSL_CTX_use_PrivateKey_file(context.get(), options.TlsKey.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_check_private_key(context.get()) != 1) {
        ERR_print_errors_fp(stderr);
        std::exit(1);
    }
    // Read ahead into a large buffer: fewer recv calls per 16 KiB record, so the sink stays
    // cheap next to the client being measured.
    SSL_CTX_set_read_ahead(context.get(), 1);
    SSL_CTX_set_default_read_buffer_len(context.get(), 256 * 1024);
    return context;
}

// The first line of the password file.
std::string ReadPassword(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string line;
    if (!file || !std::getline(file, line)) {
        std::perror(path.c_str());
        std::exit(1);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

// FNV-1a, 64 bits: simple and byte-order free; only computed when asked for, since at
// roughly a byte per cycle it would slow the sink down.
struct TFnv1a {
    std::uint64_t Value = 0xcbf29ce484222325ULL;
    void Add(const char* data, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            Value = (Value ^ static_cast<unsigned char>(data[i])) * 0x100000001b3ULL;
        }
    }
};

class TConnection {
public:
    TConnection(int fd, const TOptions& options, SSL_CTX* tls, const std::string& password,
                FILE* report, int& messageCount)
        : m_fd(fd), m_options(options), m_context(tls), m_password(password), m_report(report),
          m_messageCount(messageCount), m_buffer(std::make_unique<char[]>(BlockSize + 8)) {}

    ~TConnection() {
        if (m_ssl != nullptr) {
            if (SSL_is_init_finished(m_ssl) == 1) {
                SSL_shutdown(m_ssl);  // close_notify; the client's is not awaited
            }
            SSL_free(m_ssl);
        }
    }

    void Serve() {
        if (!Reply("220 127.0.0.1 corvane-bench-sink ready\r\n")) {
            return;
        }
        std::string line;
        while (ReadCommand(line)) {
            const std::string verb = Upper(line.substr(0, 4));
            bool ok = true;
            if (verb == "HELO") {
                ok = Reply("250 127.0.0.1\r\n");
            } else if (verb == "EHLO") {
                ok = Reply(EhloReply());
            } else if (Upper(line) == "STARTTLS" && m_context != nullptr && m_ssl == nullptr) {
                ok = StartTls();
            } else if (verb == "AUTH" && m_ssl != nullptr && !m_options.AuthUser.empty() &&
                       m_user.empty()) {
                ok = SignIn(line);
            } else if (verb == "MAIL" || verb == "RCPT" || verb == "RSET" || verb == "NOOP") {
                ok = Reply("250 OK\r\n");
            } else if (verb == "DATA") {
                ok = Reply("354 End data with <CR><LF>.<CR><LF>\r\n") && ReadData() &&
                     Reply("250 OK: message accepted\r\n");
            } else if (verb == "QUIT") {
                Reply("221 Bye\r\n");
                return;
            } else {
                ok = Reply("502 Command not implemented\r\n");
            }
            if (!ok) {
                return;
            }
        }
    }

private:
    std::string EhloReply() const {
        std::vector<std::string> lines{"127.0.0.1"};
        if (m_options.EightBitMime) {
            lines.emplace_back("8BITMIME");
        }
        if (m_context != nullptr && m_ssl == nullptr) {
            lines.emplace_back("STARTTLS");
        }
        if (m_ssl != nullptr && !m_options.AuthUser.empty()) {
            lines.emplace_back("AUTH PLAIN LOGIN");
        }
        std::string reply;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            reply += (i + 1 < lines.size() ? "250-" : "250 ") + lines[i] + "\r\n";
        }
        return reply;
    }

    // RFC 3207: 220, then the handshake; whatever the client sent after its command was
    // never protected and is thrown away (section 4).
    bool StartTls() {
        if (!Reply("220 2.0.0 Ready to start TLS\r\n")) {
            return false;
        }
        m_pending.clear();
        // The socket is blocking; its timeouts bound every read and write of the handshake
        // and of the session.
        const timeval limit{m_options.ReadTimeoutSeconds, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        ::setsockopt(m_fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        m_ssl = SSL_new(m_context);
        if (m_ssl == nullptr || SSL_set_fd(m_ssl, m_fd) != 1 || SSL_accept(m_ssl) != 1) {
            std::fprintf(stderr, "corvane-bench-sink: TLS handshake failed\n");
            ERR_print_errors_fp(stderr);
            return false;
        }
        return true;
    }

    // AUTH PLAIN (with or without the initial response) or AUTH LOGIN.
    bool SignIn(const std::string& line) {
        std::string mechanism = line.size() > 5 ? line.substr(5) : std::string();
        std::string initial;
        if (const auto space = mechanism.find(' '); space != std::string::npos) {
            initial = mechanism.substr(space + 1);
            mechanism.resize(space);
        }
        mechanism = Upper(std::move(mechanism));
        std::string user;
        std::string password;
        if (mechanism == "PLAIN") {
            if (initial.empty() && !(Reply("334 \r\n") && ReadCommand(initial))) {
                return false;
            }
            // RFC 4616: authzid NUL authcid NUL passwd.
            const std::string decoded = DecodeBase64(initial).value_or("");
            const auto first = decoded.find('\0');
            const auto second = first == std::string::npos ? first : decoded.find('\0', first + 1);
            if (second != std::string::npos) {
                user = decoded.substr(first + 1, second - first - 1);
                password = decoded.substr(second + 1);
            }
        } else if (mechanism == "LOGIN") {
            std::string answer;
            if (!(Reply("334 VXNlcm5hbWU6\r\n") && ReadCommand(answer))) {
                return false;
            }
            user = DecodeBase64(answer).value_or("");
            if (!(Reply("334 UGFzc3dvcmQ6\r\n") && ReadCommand(answer))) {
                return false;
            }
            password = DecodeBase64(answer).value_or("");
        } else {
            return Reply("504 5.5.4 Unrecognized authentication type\r\n");
        }
        if (user.empty() || user != m_options.AuthUser || password != m_password) {
            return Reply("535 5.7.8 Authentication credentials invalid\r\n");
        }
        m_user = user;
        return Reply("235 2.7.0 Authentication successful\r\n");
    }

    bool Reply(std::string_view text) {
        if (m_ssl != nullptr) {
            std::size_t written = 0;
            return SSL_write_ex(m_ssl, text.data(), text.size(), &written) == 1;
        }
        while (!text.empty()) {
            const ssize_t sent = ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL);
            if (sent < 0 && errno == EINTR) {
                continue;
            }
            if (sent <= 0) {
                return false;
            }
            text.remove_prefix(static_cast<std::size_t>(sent));
        }
        return true;
    }

    // More message bytes: first those received with the DATA command, then the socket's.
    std::size_t Fill(char* into, std::size_t capacity) {
        if (m_pending.empty()) {
            return Receive(into, capacity);
        }
        const std::size_t take = std::min(m_pending.size(), capacity);
        std::memcpy(into, m_pending.data(), take);
        m_pending.erase(0, take);
        return take;
    }

    // Waits for data within the read timeout; returns the byte count, 0 at end or error.
    std::size_t Receive(char* into, std::size_t capacity) {
        if (m_ssl != nullptr) {
            // One record at most per call; a stalled client ends at the socket's timeout.
            std::size_t got = 0;
            if (SSL_read_ex(m_ssl, into, capacity, &got) == 1) {
                return got;
            }
            if (SSL_get_error(m_ssl, 0) == SSL_ERROR_WANT_READ) {
                std::fprintf(stderr, "corvane-bench-sink: client silent, connection dropped\n");
            }
            return 0;
        }
        for (;;) {
            pollfd entry{m_fd, POLLIN, 0};
            const int ready = ::poll(&entry, 1, m_options.ReadTimeoutSeconds * 1000);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready <= 0) {
                std::fprintf(stderr, "corvane-bench-sink: client silent, connection dropped\n");
                return 0;
            }
            const ssize_t got = ::recv(m_fd, into, capacity, 0);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return got > 0 ? static_cast<std::size_t>(got) : 0;
        }
    }

    bool ReadCommand(std::string& line) {
        for (;;) {
            const std::size_t end = m_pending.find('\n');
            if (end != std::string::npos) {
                line.assign(m_pending, 0, end);
                if (!line.empty() && line.back() == '\r') {
                    line.pop_back();
                }
                m_pending.erase(0, end + 1);
                return true;
            }
            if (m_pending.size() > MaxCommandLine) {
                return false;
            }
            char chunk[4096];
            const std::size_t got = Receive(chunk, sizeof chunk);
            if (got == 0) {
                return false;
            }
            m_pending.append(chunk, got);
        }
    }

    // Reads the message up to the end marker. Bytes after the marker stay for the next
    // command. The scan looks for '.' with memchr (Base64 holds none) and checks the bytes
    // around it; a '.' among the last two bytes of a block waits for the next block.
    bool ReadData() {
        char* const block = m_buffer.get();
        std::size_t held = 0;
        // The DATA line ended in CR LF, so a message that is only the marker is empty.
        char before[2] = {'\r', '\n'};
        std::uint64_t total = 0;
        TFnv1a hash;
        FILE* save = nullptr;
        if (!m_options.SaveFile.empty()) {
            save = std::fopen(m_options.SaveFile.c_str(), "wb");
            if (save == nullptr) {
                std::perror(m_options.SaveFile.c_str());
            }
        }
        const auto consume = [&](const char* data, std::size_t count) {
            if (count == 0) {
                return;
            }
            total += count;
            if (m_options.Checksum) {
                hash.Add(data, count);
            }
            if (save != nullptr) {
                std::fwrite(data, 1, count, save);
            }
            if (count >= 2) {
                before[0] = data[count - 2];
                before[1] = data[count - 1];
            } else {
                before[0] = before[1];
                before[1] = data[0];
            }
        };

        bool found = false;
        for (;;) {
            const std::size_t got = Fill(block + held, BlockSize - held);
            if (got == 0) {
                break;
            }
            held += got;
            std::size_t keep = 0;  // undecided bytes at the end of the block
            std::size_t scan = 0;
            while (scan < held) {
                const void* dot = std::memchr(block + scan, '.', held - scan);
                if (dot == nullptr) {
                    break;
                }
                const auto at = static_cast<std::size_t>(static_cast<const char*>(dot) - block);
                if (at + 2 >= held) {
                    keep = held - at;  // cannot judge it without the next bytes
                    break;
                }
                const char b0 = at >= 2 ? block[at - 2] : (at == 1 ? before[1] : before[0]);
                const char b1 = at >= 1 ? block[at - 1] : before[1];
                if (b0 == '\r' && b1 == '\n' && block[at + 1] == '\r' && block[at + 2] == '\n') {
                    consume(block, at);
                    m_pending.insert(0, block + at + 3, held - (at + 3));
                    found = true;
                    break;
                }
                scan = at + 1;
            }
            if (found) {
                break;
            }
            consume(block, held - keep);
            std::memmove(block, block + (held - keep), keep);
            held = keep;
        }
        if (save != nullptr) {
            std::fclose(save);
        }
        if (!found) {
            std::fprintf(stderr, "corvane-bench-sink: connection ended inside the data\n");
            return false;
        }
        ++m_messageCount;
        std::fprintf(m_report, "message %d bytes %llu", m_messageCount,
                     static_cast<unsigned long long>(total));
        if (m_options.Checksum) {
            std::fprintf(m_report, " fnv1a64 %016llx", static_cast<unsigned long long>(hash.Value));
        }
        if (m_ssl != nullptr) {
            std::fprintf(m_report, " tls %s %s", SSL_get_version(m_ssl),
                         SSL_CIPHER_get_name(SSL_get_current_cipher(m_ssl)));
        }
        if (!m_user.empty()) {
            std::fprintf(m_report, " user %s", m_user.c_str());
        }
        std::fputc('\n', m_report);
        std::fflush(m_report);
        return true;
    }

    int m_fd;
    const TOptions& m_options;
    SSL_CTX* m_context;            // null: no STARTTLS offered
    const std::string& m_password;
    SSL* m_ssl = nullptr;          // after STARTTLS
    std::string m_user;            // signed in as
    FILE* m_report;
    int& m_messageCount;
    std::unique_ptr<char[]> m_buffer;
    std::string m_pending;  // received but not yet handled
};

}  // namespace

int main(int argc, char** argv) {
    const TOptions options = ParseOptions(argc, argv);
    // SSL_write to a client that has gone must fail, not end the sink.
    std::signal(SIGPIPE, SIG_IGN);
    const TContext tls = MakeServerContext(options);
    const std::string password =
        options.AuthPasswordFile.empty() ? std::string() : ReadPassword(options.AuthPasswordFile);

    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listener < 0) {
        std::perror("socket");
        return 1;
    }
    const int yes = 1;
    ::setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(options.Port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 8) != 0) {
        std::perror("bind/listen");
        return 1;
    }
    socklen_t length = sizeof address;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const int port = ntohs(address.sin_port);

    FILE* report = stderr;
    if (!options.ReportFile.empty()) {
        report = std::fopen(options.ReportFile.c_str(), "a");
        if (report == nullptr) {
            std::perror(options.ReportFile.c_str());
            return 1;
        }
    }
    if (!options.PortFile.empty()) {
        // Written under another name and renamed, so a reader never sees half a number.
        const std::string temporary = options.PortFile + ".part";
        FILE* file = std::fopen(temporary.c_str(), "w");
        if (file == nullptr || std::fprintf(file, "%d\n", port) < 0 || std::fclose(file) != 0 ||
            std::rename(temporary.c_str(), options.PortFile.c_str()) != 0) {
            std::perror(options.PortFile.c_str());
            return 1;
        }
    } else {
        std::printf("%d\n", port);
        std::fflush(stdout);
    }

    int messageCount = 0;
    for (;;) {
        pollfd entry{listener, POLLIN, 0};
        const int ready = ::poll(&entry, 1, options.IdleTimeoutSeconds * 1000);
        if (ready < 0 && errno == EINTR) {
            continue;
        }
        if (ready <= 0) {
            std::fprintf(stderr, "corvane-bench-sink: idle for %d s, ending\n",
                         options.IdleTimeoutSeconds);
            return ready == 0 ? 0 : 1;
        }
        const int client = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0) {
            continue;
        }
        ::setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
        TConnection(client, options, tls.get(), password, report, messageCount).Serve();
        ::close(client);
    }
}
