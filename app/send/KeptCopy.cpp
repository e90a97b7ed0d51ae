#include "app/send/KeptCopy.h"

#include <ostream>

#include "account/Passwords.h"
#include "app/send/CoreApplication.h"
#include "app/send/SendJob.h"
#include "mail/MailText.h"

namespace corvane::send {

namespace {

bool SameHost(const std::string& imapHost, const std::string& smtpServer) {
    return mail::ParseServerAddress(smtpServer).Host == imapHost;
}

}  // namespace

std::variant<TKeepPlan, std::string> KeepPlanFor(const TSendOptions& options, const account::TServerSettings& settings) {
    TKeepPlan plan;
    plan.Archive = !options.NoArchive;
    const bool asked = options.SentCopy || !options.ImapServer.empty();
    if (options.NoSentCopy || (!asked && !settings.CopyToSent)) {
        return plan;
    }
    const bool typed = !options.ImapServer.empty();
    const std::string& imapServer = typed ? options.ImapServer : settings.ImapServer;
    // The window copies only with both known; so does a send that only follows its settings.
    if (imapServer.empty() || options.User.empty()) {
        if (!asked) {
            return plan;
        }
        return imapServer.empty() ? std::string("--sent-copy needs --imap-server HOST[:PORT]: Corvane's window names "
                                                "no IMAP server for this server")
                                  : std::string("--sent-copy signs in to the IMAP server as --user: give --user");
    }
    const mail::ESecurity security =
        options.ImapSecurity.value_or(typed ? mail::ESecurity::Tls : settings.ImapSecurity);
    account::TSentCopyServer server = account::SentCopyServerFor(imapServer, security, options.User);
    if (SameHost(server.Host, options.Server)) {
        server.TrustedFingerprint = options.TrustFingerprint;  // the same machine's certificate
    }
    plan.Copy = std::move(server);
    return plan;
}

TKeptCopy::TKeptCopy(TKeepPlan plan, std::filesystem::path folder, mail::TWrenSMTP& smtp)
    : m_plan(std::move(plan)), m_smtp(smtp) {
    if (!m_plan.Archive && !m_plan.Copy) {
        return;
    }
    m_writer = std::make_unique<account::TMaildirWriter>(std::move(folder));
    // A folder that cannot be written is said after the send, beside its outcome.
    if (m_writer->Begin()) {
        account::TMaildirWriter* writer = m_writer.get();
        m_smtp.OnCopyLine = [writer](std::string_view line) { return writer->AddLine(line); };
    }
}

TKeptCopy::~TKeptCopy() { m_smtp.OnCopyLine = nullptr; }

void TKeptCopy::Keep(std::ostream& status, std::ostream& errors, const std::atomic<bool>& interrupted) {
    if (!m_writer) {
        return;
    }
    m_smtp.OnCopyLine = nullptr;
    const auto written = m_plan.Archive ? m_writer->Commit() : m_writer->Written();
    if (!written) {
        Say(errors, "Successful; the copy in the Sent folder failed: " + m_writer->Problem() + ".");
    } else if (m_plan.Copy) {
        CopyToServer(*written, status, errors, interrupted);
    }
    m_writer.reset();  // a copy only made for the server goes with it
}

void TKeptCopy::CopyToServer(const std::filesystem::path& message, std::ostream& status, std::ostream& errors,
                             const std::atomic<bool>& interrupted) {
    account::TSentCopyServer server = *m_plan.Copy;
    if (m_smtp.SignInKind == mail::ESignInKind::OAuth2) {
        server.AccessToken = m_smtp.AccessToken;
    } else {
        server.Password = m_smtp.Password;
    }
    const TCoreApplicationScope qt;
    account::TSentCopy copy;
    std::optional<account::TSentCopyResult> result;
    QEventLoop loop;
    copy.OnDone = [&](account::TSentCopy&, const account::TSentCopyResult& done) {
        result = done;
        loop.quit();
    };
    Say(status, "Saving a copy to Sent on " + server.Host + " . . .");
    copy.Start(server, account::ReadMessageFile(message));
    account::Wipe(server.Password);
    account::Wipe(server.AccessToken);
    if (!RunUntilDone(loop, interrupted, [&copy] { copy.Cancel(); }) || !result) {
        Say(errors, "Successful; the copy to Sent was stopped.");
    } else if (!result->Copied) {
        Say(errors, "Successful; the copy to Sent failed: " + result->Problem);
    } else {
        Say(status, "Saved a copy to Sent on " + server.Host + ".");
    }
}

}  // namespace corvane::send
