#pragma once
// The dialogs of encrypted delivery: a server's settings (the button beside Smtp), the
// password asked for at send time, and the certificate a user may trust on purpose. Each
// is a plain QDialog whose controls are public members named as their objectName, so tests
// can fill them in and accept them without running exec(). None of them ever shows a
// stored password: the password fields start empty.

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "account/ServerCheck.h"
#include "account/ServerSettings.h"
#include "platform/net/Tls.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace corvane::app {

class TServerSettingsDialog : public QDialog {
    Q_OBJECT

public:
    // Server is the Smtp field's text the settings belong to.
    TServerSettingsDialog(QWidget* parent, const QString& server, const account::TServerSettings& settings);

    QLabel* Heading = nullptr;
    QComboBox* Security = nullptr;  // None, STARTTLS, SSL/TLS
    QLineEdit* UserName = nullptr;
    QLineEdit* Password = nullptr;  // empty: the password stays as it is
    QCheckBox* RememberPassword = nullptr;
    QLabel* Certificate = nullptr;  // the certificate trusted on purpose, if any
    QPushButton* Test = nullptr;    // "Stop" while a check runs
    QPlainTextEdit* TestReport = nullptr;
    QDialogButtonBox* Buttons = nullptr;

    // The password the window knows for the settings' user name and security at this server,
    // for a check when the Password field is empty. Unset: the check goes without one.
    std::function<std::optional<std::string>(const account::TServerSettings& settings)> KnownPassword;

    // The settings as the dialog shows them now (the trusted certificate unchanged).
    account::TServerSettings Settings() const;
    // Checks the settings as shown against the server, or stops the check that runs.
    void TestClick();

    // Closing the dialog stops its check.
    void done(int result) override;

private:
    void StopTest();

    QString m_server;
    account::TServerSettings m_settings;
    account::TServerCheck m_check;
};

class TPasswordDialog : public QDialog {
    Q_OBJECT

public:
    // Where names the account: "user@host:port".
    TPasswordDialog(QWidget* parent, const QString& where, bool remember);

    QLabel* Prompt = nullptr;
    QLineEdit* Password = nullptr;
    QCheckBox* RememberPassword = nullptr;
    QDialogButtonBox* Buttons = nullptr;
};

class TCertificateDialog : public QDialog {
    Q_OBJECT

public:
    // Problem is the engine's message; Previous the fingerprint trusted so far, if any.
    TCertificateDialog(QWidget* parent, const QString& host, const QString& problem,
                       const net::TCertificateInfo& certificate, const QString& previous);

    // The fingerprint first and alone, where nothing the certificate says can stand beside
    // it: the one thing the user compares.
    QLineEdit* Fingerprint = nullptr;
    QLabel* Details = nullptr;
    QDialogButtonBox* Buttons = nullptr;  // "Trust this certificate" accepts
};

}  // namespace corvane::app
