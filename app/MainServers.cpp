// The servers of the Smtp history: their settings (the button beside Smtp), what a send
// takes from them (security, port, sign-in, the certificate trusted on purpose), the
// password asked for at send time, and what a refused password or an untrusted certificate
// leads to.

#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>

#include "app/Main.h"
#include "app/ServerDialogs.h"
#include "mail/MailText.h"

namespace corvane::app {

namespace {

std::string Utf8(const QString& text) { return text.toStdString(); }
QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// The port a send uses: the one typed, else the default of the chosen security.
std::string PortOf(const mail::TServerAddress& server, mail::ESecurity security) {
    return server.HasPort ? server.Port : mail::DefaultPort(security);
}

QString Summary(const account::TServerSettings& settings) {
    const QString security = QString::fromLatin1(account::SecurityName(settings.Security));
    return settings.UserName.empty()
               ? TMainForm::tr("%1, no signing in").arg(security)
               : TMainForm::tr("%1, signing in as %2").arg(security, Text(settings.UserName));
}

// Why a write to the store fails, as far as the window can tell: it has no other way to fail.
constexpr const char* StoreProblem = "the settings file cannot be written";

}  // namespace

void TMainForm::CreateServerDialogs() {
    connect(SmtpSettings, &QPushButton::clicked, this, [this] { SmtpSettingsClick(); });
    RunServerDialog = [](TServerSettingsDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    RunPasswordDialog = [](TPasswordDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    RunCertificateDialog = [](TCertificateDialog& dialog) { return dialog.exec() == QDialog::Accepted; };
    CreateSignIn();
}

void TMainForm::SmtpSettingsClick() {
    if (m_sending) {
        return;
    }
    const QString typed = Smtp->currentText().trimmed();
    const std::string address = SenderAddress().value_or(std::string());
    // With no server typed the dialog looks one up for the address in From.
    if (account::ServerKeyName(Utf8(typed)).empty() && (!typed.isEmpty() || address.empty())) {
        SetStatusText(tr("Type the mail server into Smtp (or your address into From) first, "
                                     "then open its settings."));
        return;
    }
    const account::TServerSettings before = account::LoadServerSettings(Utf8(typed));
    TServerSettingsDialog dialog(this, typed, before, address, FinderOptions);
    dialog.KnownPassword = [this](const QString& server, const account::TServerSettings& settings) {
        return Passwords.Find(PasswordKeyOf(server, settings));
    };
    if (!RunServerDialog(dialog)) {
        return;
    }
    StoreDialogSettings(dialog, dialog.Server() == typed ? before : account::LoadServerSettings(Utf8(dialog.Server())));
}

// What the user accepted in the server settings dialog: the settings, and the password if
// one was typed, under the server they belong to, which becomes the one in Smtp if a lookup
// found another.
void TMainForm::StoreDialogSettings(TServerSettingsDialog& dialog, const account::TServerSettings& before) {
    const QString server = dialog.Server();
    const account::TServerSettings settings = dialog.Settings();
    std::string password = Utf8(dialog.Password->text());
    dialog.Password->clear();
    if (!account::SaveServerSettings(Utf8(server), settings)) {
        account::Wipe(password);
        SetStatusText(tr("The settings of %1 were not stored: %2.").arg(server, QString::fromLatin1(StoreProblem)));
        return;
    }
    if (server != Smtp->currentText().trimmed()) {
        Smtp->setEditText(server);
        Smtp->SaveToRegistry();
    }
    const std::string key = PasswordKeyOf(server, settings);
    if (!settings.UserName.empty() && !password.empty()) {
        Passwords.Keep(key, password, settings.RememberPassword);
    } else if (!settings.UserName.empty() && before.RememberPassword && !settings.RememberPassword) {
        Passwords.Forget(key);
    }
    account::Wipe(password);
    SetStatusText(tr("Settings of %1 stored: %2.").arg(server, Summary(settings)));
    if (const std::string notice = Passwords.TakeNotice(); !notice.empty()) {
        SetStatusText(Text(notice));
    }
}

std::string TMainForm::PasswordKeyOf(const QString& server, const account::TServerSettings& settings) {
    const mail::TServerAddress address = mail::ParseServerAddress(Utf8(server));
    return account::PasswordKey(settings.UserName, address.Host, PortOf(address, settings.Security));
}

// The engine's server, security and sign-in from the settings of the server in Smtp. False
// when Smtp names a port no server can have, or a password was needed and the user gave
// none: that has then been said, and nothing is sent.
bool TMainForm::PrepareServer() {
    m_sendServer = Smtp->currentText();
    // The engine would quietly connect to port 25 instead.
    if (const std::optional<std::string> port = mail::InvalidPort(Utf8(m_sendServer))) {
        if (PlayWave->isChecked()) {
            PlaySound("error");
        }
        SetStatusText(tr("Invalid port \"%1\" in Smtp: a port is a number from 1 to 65535.")
                          .arg(Text(*port)));
        return false;
    }
    m_sendSettings = account::LoadServerSettings(Utf8(m_sendServer));
    const mail::TServerAddress server = mail::ParseServerAddress(Utf8(m_sendServer));
    WrenSMTP.Host = server.Host;
    WrenSMTP.Port = PortOf(server, m_sendSettings.Security);
    WrenSMTP.Security = m_sendSettings.Security;
    WrenSMTP.UserName = m_sendSettings.UserName;
    WrenSMTP.TrustedFingerprint = m_sendSettings.TrustedFingerprint;
    WrenSMTP.SignInKind = m_sendSettings.SignIn;
    m_sendKey = account::PasswordKey(WrenSMTP.UserName, WrenSMTP.Host, WrenSMTP.Port);
    account::Wipe(WrenSMTP.Password);
    account::Wipe(WrenSMTP.AccessToken);
    // The engine never signs in over a plain connection (it reports so), so a password or a
    // token would be asked for in vain.
    if (WrenSMTP.UserName.empty() || WrenSMTP.Security == mail::ESecurity::None) {
        return true;
    }
    return m_sendSettings.SignIn == mail::ESignInKind::OAuth2 ? ProvideAccessToken() : ProvidePassword();
}

bool TMainForm::ProvidePassword() {
    if (std::optional<std::string> found = Passwords.Find(m_sendKey)) {
        WrenSMTP.Password = std::move(*found);
        account::Wipe(*found);
        return true;
    }
    // Said while the dialog is open, so it is read before the send overwrites it.
    if (const std::string notice = Passwords.TakeNotice(); !notice.empty()) {
        SetStatusText(Text(notice));
    }
    TPasswordDialog dialog(this, Text(m_sendKey), m_sendSettings.RememberPassword);
    // An empty password is no answer: the server would only refuse it.
    const bool given = RunPasswordDialog(dialog) && !dialog.Password->text().isEmpty();
    std::string password = Utf8(dialog.Password->text());
    dialog.Password->clear();
    if (!given) {
        account::Wipe(password);
        SetStatusText(tr("Canceled: Ready for your mail."));
        return false;
    }
    const bool remember = dialog.RememberPassword->isChecked();
    if (remember != m_sendSettings.RememberPassword) {
        m_sendSettings.RememberPassword = remember;
        account::SaveServerSettings(Utf8(m_sendServer), m_sendSettings);
    }
    Passwords.Keep(m_sendKey, password, remember);
    WrenSMTP.Password = std::move(password);
    account::Wipe(password);
    return true;
}

// Runs once the failed send has ended and the window is idle again.
void TMainForm::AfterFailure() {
    // 535 (RFC 4954): the credentials were refused. The next send asks again.
    if (m_lastError == 535 && !m_sendSettings.UserName.empty() && m_sendSettings.SignIn == mail::ESignInKind::Password) {
        Passwords.Refused(m_sendKey);
    }
    if (m_lastError == mail::TWrenSMTP::ErrorCertificate && !WrenSMTP.PeerCertificate.Empty()) {
        OfferTrust();
    }
    AdviseSettings();
}

// The certificate the engine refused, for the user to trust on purpose for this server.
// Trusting does not send: the user sends again when ready, as every send is started by the
// user; the status bar says so.
void TMainForm::OfferTrust() {
    const net::TCertificateInfo certificate = WrenSMTP.PeerCertificate;
    const QString host = Text(WrenSMTP.Host);
    TCertificateDialog dialog(this, host, m_lastErrorText, certificate, Text(m_sendSettings.TrustedFingerprint));
    if (!RunCertificateDialog(dialog)) {
        return;
    }
    account::TServerSettings settings = account::LoadServerSettings(Utf8(m_sendServer));
    settings.TrustedFingerprint = certificate.Sha256Fingerprint;
    if (!account::SaveServerSettings(Utf8(m_sendServer), settings)) {
        SetStatusText(tr("The certificate of %1 is not trusted: %2.").arg(host, QString::fromLatin1(StoreProblem)));
        return;
    }
    SetStatusText(tr("The certificate of %1 is trusted now: send again.").arg(host));
}

}  // namespace corvane::app
