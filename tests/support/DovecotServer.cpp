#include "DovecotServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "LoopbackPorts.h"

#ifndef CORVANE_TOKEN_INFO
#error "CORVANE_TOKEN_INFO must name tests/support/token_info.py"
#endif

namespace corvane::test {

namespace {

constexpr const char* DovecotProgram = "/usr/sbin/dovecot";
constexpr const char* SystemPython = "/usr/bin/python3";
constexpr int StartTries = 3;  // a free port may be taken before dovecot binds it

// Who each kind of dovecot process runs as.
struct TAccounts {
    std::string Internal;  // master's helpers: auth, config, log
    std::string InternalGroup;
    std::string Login;  // the processes that face the network before the sign-in
    uid_t MailUid = 0;  // the mail processes, and the owner of the mail
    gid_t MailGid = 0;
};

std::string UserName(uid_t uid) {
    const passwd* entry = ::getpwuid(uid);
    return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    const group* entry = ::getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

TAccounts AccountsForThisUser() {
    if (::geteuid() != 0) {
        return {UserName(::geteuid()), GroupName(::getegid()), UserName(::geteuid()), ::geteuid(), ::getegid()};
    }
    // Dovecot refuses root for the login processes ("must not be run as root") and for mail
    // (uid 0 is never a mail user).
    const passwd* nobody = ::getpwnam("nobody");
    const std::string login = ::getpwnam("dovenull") != nullptr ? "dovenull" : "nobody";
    return {"root", "root", login, nobody != nullptr ? nobody->pw_uid : 65534, nobody != nullptr ? nobody->pw_gid : 65534};
}

std::string Mailboxes(TDovecotOptions::ESentFolder sent) {
    std::string text = "  mailbox Drafts {\n    special_use = \\Drafts\n    auto = create\n  }\n";
    switch (sent) {
        case TDovecotOptions::ESentFolder::SpecialUse:
            // The name "Sent" as well: a copy that lands in "Sent Items" followed the mark.
            text += "  mailbox \"Sent Items\" {\n    special_use = \\Sent\n    auto = create\n  }\n";
            text += "  mailbox Sent {\n    auto = create\n  }\n";
            break;
        case TDovecotOptions::ESentFolder::NameOnly:
            text += "  mailbox Sent {\n    auto = create\n  }\n";
            break;
        case TDovecotOptions::ESentFolder::None:
            break;
    }
    return text;
}

// XOAUTH2 through dovecot's oauth2 passdb, which asks the token server about each token.
std::string TokenPassdb(const std::string& folder, int tokenPort) {
    if (tokenPort == 0) {
        return {};
    }
    return "passdb {\n  driver = oauth2\n  mechanisms = xoauth2\n  args = " + folder + "/oauth2.conf\n}\n";
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0) {
        ::close(fd);
    }
    return connected;
}

}  // namespace

TDovecotServer::TDovecotServer(const TDovecotOptions& options) : m_user(options.User) {
    if (m_folder.Path().empty() || !PrepareFolders(options)) {
        m_problem = m_problem.empty() ? "no temporary folder" : m_problem;
        return;
    }
    if (!options.AccessToken.empty() && !StartTokenServer(options)) {
        return;
    }
    for (int attempt = 0; attempt < StartTries && !Running(); ++attempt) {
        const int startTlsPort = FreeLoopbackPort();
        int tlsPort = FreeLoopbackPort();
        while (tlsPort == startTlsPort && tlsPort != 0) {
            tlsPort = FreeLoopbackPort();
        }
        if (startTlsPort == 0 || tlsPort == 0) {
            m_problem = "no free loopback port";
            return;
        }
        Start(options, startTlsPort, tlsPort);
    }
}

TDovecotServer::~TDovecotServer() { Stop(); }

bool TDovecotServer::StartTokenServer(const TDovecotOptions& options) {
    const auto account = m_folder.WritePrivateFile("token-account", options.User + "\n" + options.AccessToken + "\n");
    m_tokenServer = std::make_unique<TProgramProcess>(
        std::vector<std::string>{SystemPython, CORVANE_TOKEN_INFO, account.string()}, "");
    // Its first line on standard error is "port N".
    if (m_tokenServer->WaitForError("\n", StartLimit) && m_tokenServer->Error().rfind("port ", 0) == 0) {
        m_tokenPort = std::atoi(m_tokenServer->Error().c_str() + 5);
    }
    if (m_tokenPort <= 0) {
        m_problem = "the token server did not come up: " + m_tokenServer->Error();
        return false;
    }
    return true;
}

bool TDovecotServer::PrepareFolders(const TDovecotOptions& options) {
    namespace fs = std::filesystem;
    const TAccounts accounts = AccountsForThisUser();
    std::error_code error;
    fs::create_directories(m_folder.Path() / "mail", error);
    fs::create_directories(m_folder.Path() / "home", error);
    if (error) {
        m_problem = "cannot make the mail folders: " + error.message();
        return false;
    }
    m_folder.WritePrivateFile("passwd", options.User + ":{PLAIN}" + options.Password + "::::::\n");
    if (::geteuid() == 0) {
        // The login and mail processes must reach the runtime folder and own the mail.
        fs::permissions(m_folder.Path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
        for (const char* folder : {"mail", "home"}) {
            if (::chown((m_folder.Path() / folder).c_str(), accounts.MailUid, accounts.MailGid) != 0) {
                m_problem = std::string("cannot hand the ") + folder + " folder to the mail user";
                return false;
            }
        }
    }
    return true;
}

std::string TDovecotServer::Configuration(const TDovecotOptions& options, int startTlsPort, int tlsPort) const {
    const TAccounts accounts = AccountsForThisUser();
    const std::string folder = m_folder.Path().string();
    return "base_dir = " + folder + "/run\n"
           "state_dir = " + folder + "/state\n"
           "log_path = " + folder + "/dovecot.log\n"
           "protocols = imap\n"
           "listen = 127.0.0.1\n"
           "ssl = required\n"
           "ssl_cert = <" + options.CertificateFile.string() + "\n"
           "ssl_key = <" + options.KeyFile.string() + "\n"
           "auth_mechanisms = plain login" + std::string(m_tokenPort != 0 ? " xoauth2" : "") + "\n"
           // A refused sign-in is answered at once, not after the usual two seconds.
           "auth_failure_delay = 0\n"
           "default_internal_user = " + accounts.Internal + "\n"
           "default_internal_group = " + accounts.InternalGroup + "\n"
           "default_login_user = " + accounts.Login + "\n"
           "first_valid_uid = " + std::to_string(accounts.MailUid) + "\n"
           // One folder on disk for each IMAP folder, named alike; messages kept with their CRLF.
           "mail_location = maildir:" + folder + "/mail/%u:LAYOUT=fs\n"
           "mail_save_crlf = yes\n"
           + TokenPassdb(folder, m_tokenPort) +
           "passdb {\n  driver = passwd-file\n  mechanisms = plain login\n"
           "  args = scheme=PLAIN username_format=%u " + folder + "/passwd\n}\n"
           "userdb {\n  driver = static\n  args = uid=" + std::to_string(accounts.MailUid) +
           " gid=" + std::to_string(accounts.MailGid) + " home=" + folder + "/home/%u\n}\n"
           "service imap-login {\n  chroot =\n"
           "  inet_listener imap {\n    port = " + std::to_string(startTlsPort) + "\n  }\n"
           "  inet_listener imaps {\n    port = " + std::to_string(tlsPort) + "\n    ssl = yes\n  }\n}\n"
           "service anvil {\n  chroot =\n}\n"
           "namespace inbox {\n  inbox = yes\n  separator = /\n" + Mailboxes(options.Sent) + "}\n";
}

bool TDovecotServer::Start(const TDovecotOptions& options, int startTlsPort, int tlsPort) {
    const std::string configuration =
        m_folder.WriteFile("dovecot.conf", Configuration(options, startTlsPort, tlsPort)).string();
    if (m_tokenPort != 0) {
        m_folder.WriteFile("oauth2.conf", "tokeninfo_url = http://127.0.0.1:" + std::to_string(m_tokenPort) +
                                              "/tokeninfo/\nusername_attribute = username\n"
                                              "active_attribute = active\nactive_value = true\n");
    }
    std::filesystem::remove(m_folder.Path() / "dovecot.log");
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<std::string> arguments{DovecotProgram, "-F", "-c", configuration};
    std::vector<char*> argv;
    for (auto& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const int devNull = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        // A group of its own, so that its children end with it; and it must not outlive a
        // test binary that crashed.
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        ::execv(DovecotProgram, argv.data());
        ::_exit(127);
    }
    if (devNull >= 0) {
        ::close(devNull);
    }
    if (pid > 0) {
        ::setpgid(pid, pid);  // as the child does, so the group exists whichever runs first
    }
    if (pid < 0) {
        m_problem = "fork failed";
        return false;
    }
    m_pid = pid;
    m_startTlsPort = startTlsPort;
    m_tlsPort = tlsPort;
    if (!WaitUntilListening()) {
        Stop();
        m_problem = "dovecot did not come up; its log says: " + Log();
        return false;
    }
    return true;
}

bool TDovecotServer::WaitUntilListening() {
    const auto end = std::chrono::steady_clock::now() + StartLimit;
    while (std::chrono::steady_clock::now() < end) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;  // it gave up (a port taken meanwhile, a configuration it refused)
            return false;
        }
        if (Accepts(m_startTlsPort) && Accepts(m_tlsPort)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void TDovecotServer::Stop() {
    if (m_pid <= 0) {
        return;
    }
    // The whole group at once, by the group's id (the master's, not yet reaped, so no other
    // process can hold it): an orderly stop takes dovecot over two seconds, and nothing of a
    // test server needs keeping.
    ::kill(-m_pid, SIGKILL);
    int status = 0;
    ::waitpid(m_pid, &status, 0);  // SIGKILL cannot be ignored: this returns at once
    m_pid = -1;
    m_startTlsPort = 0;
    m_tlsPort = 0;
}

std::vector<TStoredMessage> TDovecotServer::Messages(const std::string& folder) const {
    std::vector<std::filesystem::path> files;
    for (const char* part : {"cur", "new"}) {
        std::error_code error;
        for (const auto& entry :
             std::filesystem::directory_iterator(m_folder.Path() / "mail" / m_user / folder / part, error)) {
            files.push_back(entry.path());
        }
    }
    std::ranges::sort(files);
    std::vector<TStoredMessage> messages;
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        const auto info = name.rfind(":2,");
        messages.push_back({ReadWholeFile(file), info == std::string::npos ? std::string() : name.substr(info + 3)});
    }
    return messages;
}

std::string TDovecotServer::Log() const { return ReadWholeFile(m_folder.Path() / "dovecot.log"); }

}  // namespace corvane::test
