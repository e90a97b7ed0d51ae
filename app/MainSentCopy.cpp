// The copy of what was sent: the engine hands each line of the message to a Maildir writer as
// it goes to the server (with the Bcc header the server never sees); once the server took the
// message the copy is moved into the Sent folder, and a send that failed leaves nothing behind.
// A copy that cannot be kept never changes the send's outcome: the status bar says so beside
// the success.

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include "app/Main.h"

namespace corvane::app {

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

void TMainForm::BeginCopy() {
    DropCopy();
    if (!KeepSentMail->isChecked()) {
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
    const bool kept = m_copy->Unfinished().empty() ? false : m_copy->Commit().has_value();
    if (!kept) {
        SetStatusText(QStringLiteral("Successful; the copy in the Sent folder failed: %1.").arg(Text(m_copy->Problem())));
    }
    m_copy.reset();
}

void TMainForm::DropCopy() {
    WrenSMTP.OnCopyLine = nullptr;
    m_copy.reset();  // removes an unfinished copy
}

void TMainForm::OpenSentFolderClick() {
    const QString folder = QString::fromStdString(SentFolder.string());
    if (SentFolder.empty() || !QDir(folder).exists()) {
        SetStatusText(QStringLiteral("Nothing has been kept in the Sent folder yet."));
        return;
    }
    OpenUrl(QUrl::fromLocalFile(folder));
}

}  // namespace corvane::app
