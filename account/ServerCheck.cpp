#include "account/ServerCheck.h"

#include <optional>
#include <utility>

#include "account/LaterCall.h"
#include "account/Passwords.h"
#include "mail/MailText.h"
#include "mail/ScreenText.h"

namespace corvane::account {

struct TServerCheck::TRun {
    mail::TWrenSMTP Engine;
    std::string UserName;  // as set, also when no sign-in is tried
};

namespace {

struct TFailure {
    int Code = 0;
    std::string Text;
};

bool IsTlsFailure(const std::optional<TFailure>& failure) {
    return failure && (failure->Code == mail::TWrenSMTP::ErrorCertificate ||
                       failure->Code == mail::TWrenSMTP::ErrorEncryption);
}

// "127.0.0.1:465", "[::1]:465": an IPv6 address in brackets, so that its port stands apart.
std::string HostAndPort(const mail::TWrenSMTP& engine) {
    const bool ipv6 = engine.Host.find(':') != std::string::npos && !engine.Host.starts_with('[');
    return (ipv6 ? "[" + engine.Host + "]" : engine.Host) + ":" + engine.Port;
}

// What the connection is protected by, the certificate, and what the server offers, as far as
// the dialogue came; read on the worker, where the engine's state belongs.
std::vector<std::string> ConnectionLines(const mail::TWrenSMTP& engine, const std::optional<TFailure>& failure) {
    std::vector<std::string> lines;
    if (engine.Security == mail::ESecurity::None) {
        lines.push_back("Not encrypted: Security is None.");
    } else if (const auto blank = engine.TlsAgreement.find(' ');
               blank != std::string::npos && !IsTlsFailure(failure)) {
        lines.push_back("Encryption started: " + engine.TlsAgreement.substr(0, blank) + ", cipher " +
                        engine.TlsAgreement.substr(blank + 1) + ".");
    }
    if (const net::TCertificateInfo& certificate = engine.PeerCertificate; !certificate.Empty()) {
        // A fingerprint to trust makes the engine accept exactly that certificate.
        const bool onPurpose = !engine.TrustedFingerprint.empty() && !IsTlsFailure(failure);
        lines.push_back(std::string(onPurpose ? "Certificate (trusted on purpose): " : "Certificate: ") +
                        certificate.Subject + ", valid until " + certificate.NotAfter + ".");
    }
    if (!engine.Capabilities().Empty()) {
        lines.push_back("The server offers: " + engine.Capabilities().Summary() + ".");
    } else if (!failure) {
        lines.push_back("The server offers no extensions.");
    }
    return lines;
}

std::string FailureLine(const TFailure& failure, bool signingIn, const std::string& userName) {
    const std::string codeAndText = std::to_string(failure.Code) + " " + failure.Text;
    // The server's own codes are 2xx to 5xx; a lost connection during AUTH is no refusal.
    if (signingIn && failure.Code >= 200) {
        return "The server refused signing in as " + userName + ": " + codeAndText;
    }
    return "Error: " + codeAndText;
}

void Configure(mail::TWrenSMTP& engine, const std::string& server, const TServerSettings& settings,
               const std::string& password, std::chrono::milliseconds timeout) {
    const mail::TServerAddress address = mail::ParseServerAddress(server);
    engine.Host = address.Host;
    engine.Port = address.HasPort ? address.Port : mail::DefaultPort(settings.Security);
    engine.Security = settings.Security;
    engine.TrustedFingerprint = settings.TrustedFingerprint;
    // Over a plain connection the engine refuses a sign-in before it needs the password.
    if (!password.empty() || settings.Security == mail::ESecurity::None) {
        engine.UserName = settings.UserName;
        engine.Password = password;
    }
    engine.ConnectTimeout = timeout;
    engine.CommandTimeout = timeout;
    engine.SendTimeout = timeout;
    engine.QuitTimeout = timeout;
}

}  // namespace

TServerCheck::TServerCheck(std::chrono::milliseconds timeout) : m_timeout(timeout) {}

TServerCheck::~TServerCheck() { Cancel(); }

void TServerCheck::Start(const std::string& server, const TServerSettings& settings, const std::string& password) {
    Cancel();
    m_running = true;
    // The engine would quietly connect to port 25 instead.
    if (const std::optional<std::string> port = mail::InvalidPort(server)) {
        Report("Invalid port \"" + *port + "\" in Smtp: a port is a number from 1 to 65535.");
        Report("These settings do not work.");
        Finish(false);
        return;
    }
    auto run = std::make_shared<TRun>();
    Configure(run->Engine, server, settings, password, m_timeout);
    run->UserName = settings.UserName;
    m_run = run;
    if (!m_workers.Run([this, run](const TPostBack& post) { Work(*run, post, this); })) {
        Wipe(run->Engine.Password);
        Report("Error: the check could not be started (no thread).");
        Report("These settings do not work.");
        Finish(false);
    }
}

void TServerCheck::Work(TRun& run, const TPostBack& post, TServerCheck* check) {
    mail::TWrenSMTP& engine = run.Engine;
    const auto say = [&post, check](std::string line) {
        post([check, line = std::move(line)] { check->Report(line); });
    };
    bool connected = false;
    bool told = false;
    bool signingIn = false;
    std::optional<TFailure> failure;
    const auto tell = [&] {
        if (connected && !std::exchange(told, true)) {
            for (std::string& line : ConnectionLines(engine, failure)) {
                say(std::move(line));
            }
        }
    };
    engine.OnConnect = [&](mail::TWrenSMTP&) {
        connected = true;
        say("Connected to " + HostAndPort(engine) + ".");
    };
    // What the handshake and EHLO found is told before the sign-in's outcome.
    engine.OnSignIn = [&](mail::TWrenSMTP&) {
        signingIn = true;
        tell();
    };
    engine.OnError = [&](mail::TWrenSMTP&, int code, const std::string& text) { failure = TFailure{code, text}; };
    if (!post.Closed()) {
        engine.Connect();
    }
    Wipe(engine.Password);
    if (engine.Aborted || post.Closed()) {
        return;
    }
    tell();
    if (failure) {
        say(FailureLine(*failure, signingIn, engine.UserName));
    } else if (!engine.UserName.empty()) {
        say("Signed in as " + engine.UserName + ".");
    } else {
        say(run.UserName.empty() ? "No user name: signing in was not tried."
                                 : "No password known: signing in was not tried.");
    }
    if (!failure) {
        // Whatever QUIT meets, the settings have done what a send needs.
        engine.OnError = nullptr;
        engine.Quit();
    }
    const bool works = !failure;
    const bool unproven = works && engine.UserName.empty() && !run.UserName.empty();
    say(!works      ? "These settings do not work."
        : unproven ? "The connection works; signing in was not tried without a password."
                   : "These settings work.");
    post([check, works] { check->Finish(works); });
}

void TServerCheck::Report(const std::string& line) {
    CallLater(std::chrono::milliseconds(0), m_alive, [this, line = mail::ScreenSafe(line)] {
        if (OnLine) {
            OnLine(*this, line);
        }
    });
}

void TServerCheck::Finish(bool works) {
    CallLater(std::chrono::milliseconds(0), m_alive, [this, works] {
        m_running = false;
        if (OnDone) {
            OnDone(*this, works);
        }
    });
}

void TServerCheck::Cancel() {
    m_alive = std::make_shared<int>();
    m_running = false;
    if (m_run) {
        m_workers.Release([run = m_run] { run->Engine.Abort(); }, ReleaseLimit);
        m_run.reset();
    }
}

}  // namespace corvane::account
