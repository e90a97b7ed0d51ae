// corvane-bench-sink: a minimal SMTP receiver for the benchmarks.
//
// It accepts one connection at a time on 127.0.0.1, answers every command with the reply a
// willing server gives (220 greeting; 250 to HELO, EHLO, MAIL, RCPT, RSET, NOOP; 354 to DATA;
// 221 to QUIT) and reads the message data in blocks of 1 MiB until the end marker
// CR LF "." CR LF (RFC 5321 section 4.1.1.4). Postfix's smtp-sink reads line by line and
// would be the bottleneck; this one spends its time in recv(), so what is measured is the
// client.
//
// For each message it appends one line to the report file (or standard error):
//   message <n> bytes <count> [fnv1a64 <hex>]
// where count is the number of data bytes up to and including the CR LF before the end
// marker, dot-stuffing left as it arrived. --save writes the same bytes to a file (the last
// message wins), so that the benchmark can check the attachment arrived whole.
//
// It listens on the port given (0, the default, lets the system choose) and writes the port
// it got to --port-file. It ends by itself after --idle-timeout seconds without a
// connection, and drops a connection that stays silent for --read-timeout seconds, so a
// benchmark that dies never leaves it running for long.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace {

constexpr std::size_t BlockSize = 1 << 20;
constexpr std::size_t MaxCommandLine = 64 * 1024;

struct TOptions {
    int Port = 0;
    std::string PortFile;
    std::string SaveFile;
    std::string ReportFile;
    bool Checksum = false;
    int IdleTimeoutSeconds = 600;
    int ReadTimeoutSeconds = 120;
};

[[noreturn]] void Usage(const char* why) {
    std::fprintf(stderr,
                 "corvane-bench-sink: %s\n"
                 "usage: corvane-bench-sink [--port N] [--port-file FILE] [--save FILE]\n"
                 "                          [--report FILE] [--checksum]\n"
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
    TOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const auto value = [&]() -> const char* {
            if (i + 1 >= argc) {
                Usage("missing value");
            }
            return argv[++i];
        };
        if (arg == "--port") {
            options.Port = ParseNumber(value(), 0, 65535);
        } else if (arg == "--port-file") {
            options.PortFile = value();
        } else if (arg == "--save") {
            options.SaveFile = value();
        } else if (arg == "--report") {
            options.ReportFile = value();
        } else if (arg == "--checksum") {
            options.Checksum = true;
        } else if (arg == "--idle-timeout") {
            options.IdleTimeoutSeconds = ParseNumber(value(), 1, 86400);
        } else if (arg == "--read-timeout") {
            options.ReadTimeoutSeconds = ParseNumber(value(), 1, 86400);
        } else {
            Usage("unknown option");
        }
    }
    return options;
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
    TConnection(int fd, const TOptions& options, FILE* report, int& messageCount)
        : m_fd(fd), m_options(options), m_report(report), m_messageCount(messageCount),
          m_buffer(std::make_unique<char[]>(BlockSize + 8)) {}

    void Serve() {
        if (!Reply("220 127.0.0.1 corvane-bench-sink ready\r\n")) {
            return;
        }
        std::string line;
        while (ReadCommand(line)) {
            std::string verb = line.substr(0, 4);
            for (char& c : verb) {
                if (c >= 'a' && c <= 'z') {
                    c = static_cast<char>(c - 'a' + 'A');
                }
            }
            bool ok = true;
            if (verb == "HELO" || verb == "EHLO") {
                ok = Reply("250 127.0.0.1\r\n");
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
    bool Reply(std::string_view text) {
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
        if (m_options.Checksum) {
            std::fprintf(m_report, "message %d bytes %llu fnv1a64 %016llx\n", m_messageCount,
                         static_cast<unsigned long long>(total),
                         static_cast<unsigned long long>(hash.Value));
        } else {
            std::fprintf(m_report, "message %d bytes %llu\n", m_messageCount,
                         static_cast<unsigned long long>(total));
        }
        std::fflush(m_report);
        return true;
    }

    int m_fd;
    const TOptions& m_options;
    FILE* m_report;
    int& m_messageCount;
    std::unique_ptr<char[]> m_buffer;
    std::string m_pending;  // received but not yet handled
};

}  // namespace

int main(int argc, char** argv) {
    const TOptions options = ParseOptions(argc, argv);

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
        TConnection(client, options, report, messageCount).Serve();
        ::close(client);
    }
}
