// The copy of what was sent: the engine hands each line of the message to a Maildir writer as
// it goes to the server (with the Bcc header the server never sees); once the server took the
// message the copy is moved into the local Sent folder, and, where the server's settings ask
// for it, put into the Sent folder of its IMAP server. A send that failed leaves nothing behind.
// A copy that cannot be kept never changes the send's outcome: the status bar says so beside
// the success.

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QEventLoop>
#include <QUrl>

#include "account/Passwords.h"
#include "account/SentCopy.h"
#include "app/Main.h"
#include "mail/MailText.h"

namespace corvane::app {

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }
std::string Utf8(const QString& text) { return text.toStdString(); }

}  // namespace

bool TMainForm::CopiesToServer() const {
    return m_sendSettings.CopyToSent && !m_sendSettings.ImapServer.empty() && !m_sendSettings.UserName.empty();
}

void TMainForm::BeginCopy() {
    DropCopy();
    if (!KeepSentMail->isChecked() && !CopiesToServer()) {
        return;
    }
    m_copy = std::make_unique<account::TMaildirWriter>(SentFolder);
    if (!m_copy->Begin()) {
        // Said after the send, beside its outcome; the mail itself goes as always.
        return;
    }
    account::TMaildirWriter* writer = m_copy.get();  // used by the worker alone until it ends
    WrenSMTP.OnCopyLine = [writer](std::string_view line) { return writer->AddLine(line); };
}

void TMainForm::KeepCopy() {
    if (!m_copy) {
        return;
    }
    WrenSMTP.OnCopyLine = nullptr;
    const auto written = KeepSentMail->isChecked() ? m_copy->Commit() : m_copy->Written();
    if (!written) {
        SetStatusText(tr("Successful; the copy in the Sent folder failed: %1.").arg(Text(m_copy->Problem())));
    } else if (CopiesToServer()) {
        CopyToServer(*written);
    }
    m_copy.reset();  // a copy only made for the server goes with it
}

// The server's copy is made while the window waits, as the send was: Esc or closing the
// window stop it, and whatever happens the send stays successful.
void TMainForm::CopyToServer(const std::filesystem::path& message) {
    account::TSentCopyServer server = account::SentCopyServerFor(m_sendSettings.ImapServer, m_sendSettings.ImapSecurity, m_sendSettings.UserName);
    if (WrenSMTP.SignInKind == mail::ESignInKind::OAuth2) {
        server.AccessToken = WrenSMTP.AccessToken;
    } else {
        server.Password = WrenSMTP.Password;
    }
    if (mail::ParseServerAddress(Utf8(m_sendServer)).Host == server.Host) {
        server.TrustedFingerprint = m_sendSettings.TrustedFingerprint;  // the same machine's certificate
    }
    account::TSentCopy copy;
    std::optional<account::TSentCopyResult> result;
    QEventLoop wait;
    copy.OnDone = [&](account::TSentCopy&, const account::TSentCopyResult& done) {
        result = done;
        wait.quit();
    };
    SetStatusText(tr("Saving a copy to Sent on %1 . . .").arg(Text(server.Host)));
    copy.Start(server, account::ReadMessageFile(message));
    account::Wipe(server.Password);
    account::Wipe(server.AccessToken);
    WaitFor(wait, [&copy] { copy.Cancel(); }, nullptr);
    if (!result) {
        SetStatusText(tr("Successful; the copy to Sent was stopped."));
    } else if (!result->Copied) {
        SetStatusText(tr("Successful; the copy to Sent failed: %1").arg(Text(result->Problem)));
    } else {
        SetStatusText(tr("Successful: Ready for your mail."));
    }
}

void TMainForm::DropCopy() {
    WrenSMTP.OnCopyLine = nullptr;
    m_copy.reset();  // removes an unfinished copy
}

void TMainForm::OpenSentFolderClick() {
    const QString folder = QString::fromStdString(SentFolder.string());
    if (SentFolder.empty() || !QDir(folder).exists()) {
        SetStatusText(tr("Nothing has been kept in the Sent folder yet."));
        return;
    }
    OpenUrl(QUrl::fromLocalFile(folder));
}

}  // namespace corvane::app
