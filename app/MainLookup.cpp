// Finding a server for the address in From: when a send finds Smtp empty, where it could
// only fail, it looks the settings up, shows them, and goes on once the user accepts them.
// And the word after a failure that the server's settings would explain.

#include <QCheckBox>
#include <QComboBox>
#include <QEventLoop>
#include <QMessageBox>

#include "account/SettingsAdvice.h"
#include "app/Main.h"
#include "mail/AddressList.h"
#include "mail/ScreenText.h"

namespace corvane::app {

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The domain of Address as the status bar may show it.
QString DomainText(const std::string& address) { return Text(mail::ScreenSafe(account::DomainOf(address))); }

}  // namespace

void TMainForm::CreateServerLookup() {
    AcceptProposal = [this](const QString& description) {
        QMessageBox box(QMessageBox::Question, QString::fromLatin1(Caption),
                        tr("Send through this server?\n\n%1\n\nIts settings are kept for the next "
                                       "mails; Ctrl+Shift+S changes them.")
                            .arg(description),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setTextFormat(Qt::PlainText);
        box.setDefaultButton(QMessageBox::Yes);  // the user asked to send
        return box.exec() == QMessageBox::Yes;
    };
}

std::optional<std::string> TMainForm::SenderAddress() const {
    const mail::TAddressList from = mail::ParseAddressList(From->currentText().toStdString());
    if (!from.Invalid.empty() || from.Mailboxes.size() != 1) {
        return std::nullopt;
    }
    return from.Mailboxes.front().Address;
}

bool TMainForm::FindServerWhenNone() {
    const std::optional<std::string> address = SenderAddress();
    if (!Smtp->currentText().trimmed().isEmpty() || !address) {
        return true;  // a server typed, or no address to look one up for: sent as always
    }
    const std::optional<account::TFinderResult> result = FindServer(*address);
    if (!result) {
        SetStatusText(tr("Canceled: Ready for your mail."));
        return false;
    }
    if (!result->Found) {
        if (PlayWave->isChecked()) {
            PlaySound("error");
        }
        SetStatusText(tr("No mail server found for %1: type it into Smtp.").arg(DomainText(*address)));
        return false;
    }
    if (!AcceptProposal(Text(account::Describe(*result->Found)))) {
        SetStatusText(tr("Canceled: Ready for your mail."));
        return false;
    }
    // The user accepted these settings: from now on they are the server's, as if typed.
    const std::string server = account::ServerFieldText(*result->Found);
    account::SaveServerSettings(server, account::SettingsFor(*result->Found, account::LoadServerSettings(server)));
    Smtp->setEditText(Text(server));
    Smtp->SaveToRegistry();
    return true;
}

std::optional<account::TFinderResult> TMainForm::FindServer(const std::string& address) {
    account::TServerFinder finder(FinderOptions);
    std::optional<account::TFinderResult> result;
    QEventLoop wait;
    finder.OnDone = [&](account::TServerFinder&, const account::TFinderResult& found) {
        result = found;
        wait.quit();
    };
    SetStatusText(tr("Looking up the mail server for %1 . . .").arg(DomainText(address)));
    finder.Start(address);
    m_cancelWait = [&finder, &wait] {
        finder.Cancel();
        wait.quit();
    };
    wait.exec();  // Esc cancels the finder and ends this wait without a result
    m_cancelWait = nullptr;
    return result;
}

void TMainForm::CancelWait() {
    if (m_cancelWait) {
        m_cancelWait();
    }
}

// After a failure of a server used with the defaults (no encryption, no sign-in) that its
// settings would explain, say where to find them.
void TMainForm::AdviseSettings() {
    if (m_sendSettings == account::TServerSettings{} &&
        account::SettingsMayExplain(m_lastError, m_lastErrorText.toStdString())) {
        SetStatusText(StatusText() + QLatin1Char(' ') + QString::fromLatin1(account::FindSettingsHint.data()));
    }
}

}  // namespace corvane::app
