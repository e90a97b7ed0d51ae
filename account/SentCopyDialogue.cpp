#include "account/SentCopyDialogue.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <chrono>
#include <cstring>
#include <optional>
#include <string_view>
#include <utility>

#include "account/Passwords.h"
#include "account/SentFolder.h"
#include "platform/net/CertificateJudge.h"

namespace corvane::account {

namespace {

using TClock = std::chrono::steady_clock;

// The LIST that asks for the special-use marks (RFC 6154 with RFC 5258's RETURN), and the
// one every server knows.
constexpr const char* SpecialUseList = "LIST \"\" \"*\" RETURN (SPECIAL-USE)";
constexpr const char* PlainList = "LIST \"\" \"*\"";
// More than any real server's folder list; a server that sends more is not listened to.
constexpr std::size_t ListingLimit = 4 * 1024 * 1024;

// libcurl's global state, made once for the process by whichever thread copies first.
bool CurlReady() {
    static std::once_flag once;
    static bool ready = false;
    std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
    return ready;
}

int PortOf(const TSentCopyServer& server) {
    if (server.Port != 0) {
        return server.Port;
    }
    return server.Security == mail::ESecurity::StartTls ? 143 : 993;
}

// "imap.example.org:993", "[::1]:993": an IPv6 address in brackets, so that its port stands apart.
std::string HostAndPort(const TSentCopyServer& server) {
    const bool ipv6 = server.Host.find(':') != std::string::npos;
    return (ipv6 ? "[" + server.Host + "]" : server.Host) + ":" + std::to_string(PortOf(server));
}

// imaps:// is TLS from the first byte; imap:// with CURLUSESSL_ALL is STARTTLS or nothing.
std::string ServerUrl(const TSentCopyServer& server) {
    return std::string(server.Security == mail::ESecurity::Tls ? "imaps://" : "imap://") + HostAndPort(server) + "/";
}

// Every byte but letters, digits, '-', '_' and '~' as %XX. libcurl decodes the path back into
// the folder's name, and nothing of the name can then pass for the URL's own syntax: ';'
// starts parameters, '?' a search, "/../" would be folded away and a last '/' dropped.
std::string UrlEscaped(const std::string& name) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string escaped;
    for (const char each : name) {
        const auto byte = static_cast<unsigned char>(each);
        if (std::isalnum(byte) != 0 && byte < 0x80) {
            escaped += each;
        } else if (each == '-' || each == '_' || each == '~') {
            escaped += each;
        } else {
            escaped += '%';
            escaped += Hex[byte >> 4];
            escaped += Hex[byte & 0x0f];
        }
    }
    return escaped;
}

// Why the certificate was refused: the judge's reason when it refused it, else libcurl's own
// (the name check stays libcurl's).
std::string CertificateWhy(const net::TCertificateJudge& judge, std::string_view curlText) {
    if (judge.Failure() != net::ETlsFailure::None) {
        return judge.Detail();
    }
    if (curlText.starts_with("SSL: ")) {
        curlText.remove_prefix(5);
    }
    return curlText.empty() ? std::string("it could not be verified") : std::string(curlText);
}

std::string ProblemOf(CURLcode code, const TSentCopyServer& server, const net::TCertificateJudge& judge,
                      std::string_view curlText, const std::string& folder) {
    switch (code) {
        case CURLE_LOGIN_DENIED:
            return "The IMAP server refused the sign-in.";
        case CURLE_OPERATION_TIMEDOUT:
            return "The IMAP server did not answer in time.";
        case CURLE_COULDNT_RESOLVE_HOST:
            return "The IMAP server " + server.Host + " was not found.";
        case CURLE_COULDNT_CONNECT:
            return "Could not connect to the IMAP server " + HostAndPort(server) + ".";
        case CURLE_URL_MALFORMAT:
            return "The IMAP server's address " + HostAndPort(server) + " cannot be used.";
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_CERTPROBLEM:
            return "The IMAP server's certificate is not trusted: " + CertificateWhy(judge, curlText) + ".";
        case CURLE_USE_SSL_FAILED:
            return "The IMAP server does not offer STARTTLS.";
        case CURLE_SSL_CONNECT_ERROR:
            return "Encryption with the IMAP server failed.";
        case CURLE_QUOTE_ERROR:
            return "The IMAP server did not list its folders.";
        case CURLE_UPLOAD_FAILED:
            return "The IMAP server did not take the copy into \"" + folder + "\".";
        case CURLE_SEND_ERROR:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING:
        case CURLE_WEIRD_SERVER_REPLY:
            return "The connection to the IMAP server broke off.";
        default:
            return std::string("The copy to Sent failed: ") + curl_easy_strerror(code) + ".";
    }
}

TSentCopyResult NotCopied(std::string problem) { return {false, {}, std::move(problem)}; }

}  // namespace

// In libcurl's own types, as its callbacks must be; a nested class may reach the dialogue.
struct TSentCopyDialogue::TCallbacks {
    static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<TSentCopyDialogue*>(user)->m_interrupted ? 1 : 0;
    }

    static curl_socket_t OpenSocket(void* user, curlsocktype, curl_sockaddr* address) {
        auto& dialogue = *static_cast<TSentCopyDialogue*>(user);
        const std::lock_guard lock(dialogue.m_socketsMutex);
        if (dialogue.m_interrupted) {
            return CURL_SOCKET_BAD;
        }
        const int socket = ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
        if (socket < 0) {
            return CURL_SOCKET_BAD;
        }
        dialogue.m_sockets.push_back(socket);
        return socket;
    }

    static int CloseSocket(void* user, curl_socket_t socket) {
        auto& dialogue = *static_cast<TSentCopyDialogue*>(user);
        const std::lock_guard lock(dialogue.m_socketsMutex);
        std::erase(dialogue.m_sockets, socket);
        return ::close(socket);
    }

    static std::size_t Feed(char* buffer, std::size_t size, std::size_t count, void* user) {
        auto& dialogue = *static_cast<TSentCopyDialogue*>(user);
        if (dialogue.m_interrupted) {
            return CURL_READFUNC_ABORT;
        }
        const std::size_t length = std::min(size * count, dialogue.m_message.size() - dialogue.m_fed);
        std::memcpy(buffer, dialogue.m_message.data() + dialogue.m_fed, length);
        dialogue.m_fed += length;
        return length;
    }

    static std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
        auto& answer = *static_cast<std::string*>(user);
        const std::size_t length = size * count;
        if (answer.size() + length > ListingLimit) {
            return 0;  // libcurl ends the transfer with CURLE_WRITE_ERROR
        }
        answer.append(data, length);
        return length;
    }

    static CURLcode PrepareTls(CURL*, void* context, void* user) {
        auto& judge = *static_cast<net::TCertificateJudge*>(user);
        return judge.Prepare(static_cast<ssl_ctx_st*>(context)) ? CURLE_OK : CURLE_SSL_CERTPROBLEM;
    }
};

// One easy handle: the connection (kept from the LIST to the APPEND), the options every
// transfer shares and the deadline of the whole copy.
class TSentCopyDialogue::TSession {
public:
    TSession(TSentCopyDialogue& dialogue, net::TCertificateJudge& judge)
        : m_dialogue(dialogue), m_judge(judge), m_easy(curl_easy_init()),
          m_deadline(TClock::now() + dialogue.m_limits.Deadline) {}
    ~TSession() { curl_easy_cleanup(m_easy); }  // LOGOUT, then libcurl frees its copy of the secrets
    TSession(const TSession&) = delete;
    TSession& operator=(const TSession&) = delete;

    // False when libcurl lacks something the copy needs.
    bool Configure();
    CURLcode List(const char* command, std::string& answer);
    CURLcode Append(const std::string& folder);
    std::string_view ErrorText() const { return m_error.data(); }

private:
    bool ConfigureTls();
    bool ConfigureSignIn();
    bool ConfigureLimits();
    CURLcode Perform();

    TSentCopyDialogue& m_dialogue;
    net::TCertificateJudge& m_judge;
    CURL* m_easy;
    TClock::time_point m_deadline;
    std::array<char, CURL_ERROR_SIZE> m_error{};
};

namespace {
bool Set(CURLcode code) { return code == CURLE_OK; }
}  // namespace

bool TSentCopyDialogue::TSession::Configure() {
    void* dialogue = &m_dialogue;
    return m_easy != nullptr && Set(curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_error.data())) &&
           // Threads: no SIGALRM for name lookups' time limits.
           Set(curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_PROTOCOLS_STR, "imap,imaps")) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_NOPROGRESS, 0L)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_XFERINFOFUNCTION, &TCallbacks::Progress)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_XFERINFODATA, dialogue)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETFUNCTION, &TCallbacks::OpenSocket)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_OPENSOCKETDATA, dialogue)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_CLOSESOCKETFUNCTION, &TCallbacks::CloseSocket)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_CLOSESOCKETDATA, dialogue)) && ConfigureTls() && ConfigureSignIn() &&
           ConfigureLimits();
}

bool TSentCopyDialogue::TSession::ConfigureTls() {
    return Set(curl_easy_setopt(m_easy, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL))) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2))) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYPEER, 1L)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_SSL_VERIFYHOST, 2L)) &&
           // No bundle of libcurl's own, and none kept from an earlier copy: the judge gives the
           // context OpenSSL's default store, which follows SSL_CERT_FILE and SSL_CERT_DIR.
           Set(curl_easy_setopt(m_easy, CURLOPT_CAINFO, static_cast<const char*>(nullptr))) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_CAPATH, static_cast<const char*>(nullptr))) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_CA_CACHE_TIMEOUT, 0L)) &&
           // The mail connection trusts only whole chains to an authority in the store.
           Set(curl_easy_setopt(m_easy, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NO_PARTIALCHAIN))) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_SSL_CTX_FUNCTION, &TCallbacks::PrepareTls)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_SSL_CTX_DATA, static_cast<void*>(&m_judge)));
}

bool TSentCopyDialogue::TSession::ConfigureSignIn() {
    const TSentCopyServer& server = m_dialogue.m_server;
    if (!Set(curl_easy_setopt(m_easy, CURLOPT_USERNAME, server.UserName.c_str()))) {
        return false;
    }
    if (!server.AccessToken.empty()) {
        return Set(curl_easy_setopt(m_easy, CURLOPT_XOAUTH2_BEARER, server.AccessToken.c_str())) &&
               Set(curl_easy_setopt(m_easy, CURLOPT_LOGIN_OPTIONS, "AUTH=XOAUTH2"));
    }
    return Set(curl_easy_setopt(m_easy, CURLOPT_PASSWORD, server.Password.c_str()));
}

bool TSentCopyDialogue::TSession::ConfigureLimits() {
    const TSentCopyLimits& limits = m_dialogue.m_limits;
    const auto stall = static_cast<long>(limits.Stall.count());
    return Set(curl_easy_setopt(m_easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.Connect.count()))) &&
           // Under one byte a second for that long is standing still.
           Set(curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_LIMIT, 1L)) &&
           Set(curl_easy_setopt(m_easy, CURLOPT_LOW_SPEED_TIME, stall)) &&
           // Also bounds the waits the other two do not: the answer after the upload, LOGOUT.
           Set(curl_easy_setopt(m_easy, CURLOPT_SERVER_RESPONSE_TIMEOUT, stall));
}

CURLcode TSentCopyDialogue::TSession::Perform() {
    if (m_dialogue.m_interrupted) {
        return CURLE_ABORTED_BY_CALLBACK;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - TClock::now());
    if (left.count() <= 0) {
        return CURLE_OPERATION_TIMEDOUT;
    }
    m_error[0] = '\0';
    if (!Set(curl_easy_setopt(m_easy, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count())))) {
        return CURLE_FAILED_INIT;
    }
    return curl_easy_perform(m_easy);
}

CURLcode TSentCopyDialogue::TSession::List(const char* command, std::string& answer) {
    answer.clear();
    const std::string url = ServerUrl(m_dialogue.m_server);
    if (!Set(curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str())) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_CUSTOMREQUEST, command)) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_UPLOAD, 0L)) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &TCallbacks::Collect)) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, static_cast<void*>(&answer)))) {
        return CURLE_FAILED_INIT;
    }
    return Perform();
}

CURLcode TSentCopyDialogue::TSession::Append(const std::string& folder) {
    m_dialogue.m_fed = 0;
    // libcurl sends APPEND with the \Seen flag, the folder quoted as IMAP needs, and the
    // message as a literal of its exact size.
    const std::string url = ServerUrl(m_dialogue.m_server) + UrlEscaped(folder);
    if (!Set(curl_easy_setopt(m_easy, CURLOPT_URL, url.c_str())) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_CUSTOMREQUEST, static_cast<const char*>(nullptr))) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_UPLOAD, 1L)) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_READFUNCTION, &TCallbacks::Feed)) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_READDATA, static_cast<void*>(&m_dialogue))) ||
        !Set(curl_easy_setopt(m_easy, CURLOPT_INFILESIZE_LARGE,
                              static_cast<curl_off_t>(m_dialogue.m_message.size())))) {
        return CURLE_FAILED_INIT;
    }
    return Perform();
}

TSentCopyDialogue::TSentCopyDialogue(TSentCopyServer server, std::string message, const TSentCopyLimits& limits)
    : m_server(std::move(server)), m_message(std::move(message)), m_limits(limits) {}

TSentCopyDialogue::~TSentCopyDialogue() {
    Wipe(m_server.Password);
    Wipe(m_server.AccessToken);
}

void TSentCopyDialogue::Interrupt() {
    m_interrupted = true;
    const std::lock_guard lock(m_socketsMutex);
    for (const int socket : m_sockets) {
        ::shutdown(socket, SHUT_RDWR);
    }
}

TSentCopyResult TSentCopyDialogue::Run() {
    if (!CurlReady()) {
        return NotCopied("The copy to Sent failed: libcurl could not be started.");
    }
    // Declared first: OpenSSL contexts of the session's connections point at it until the end.
    net::TCertificateJudge judge(m_server.TrustedFingerprint);
    TSession session(*this, judge);
    const bool configured = session.Configure();
    // libcurl keeps copies of its own, for as long as the handle lives.
    Wipe(m_server.Password);
    Wipe(m_server.AccessToken);
    if (!configured) {
        return NotCopied("The copy to Sent failed: this libcurl lacks what the copy needs.");
    }
    std::string answer;
    CURLcode code = session.List(SpecialUseList, answer);
    if (code == CURLE_QUOTE_ERROR) {
        // The server does not know RETURN (SPECIAL-USE); it may still mark \Sent unasked.
        code = session.List(PlainList, answer);
    }
    if (code != CURLE_OK) {
        return NotCopied(ProblemOf(code, m_server, judge, session.ErrorText(), {}));
    }
    const std::optional<std::string> folder = ChooseSentFolder(answer);
    if (!folder) {
        return NotCopied("The IMAP server has no Sent folder.");
    }
    code = session.Append(*folder);
    if (code != CURLE_OK) {
        return NotCopied(ProblemOf(code, m_server, judge, session.ErrorText(), *folder));
    }
    return {true, *folder, {}};
}

}  // namespace corvane::account
