#pragma once
// The dialogs of encrypted delivery: a server's settings (the button beside Smtp), the
// password asked for at send time, the wait for an OAuth2 sign-in, and the certificate a user
// may trust on purpose. Each
// is a plain QDialog whose controls are public members named as their objectName, so tests
// can fill them in and accept them without running exec(). None of them ever shows a
// stored password: the password fields start empty.

#include <QDialog>
#include <QUrl>
#include <functional>
#include <optional>
#include <string>

#include "account/ServerCheck.h"
#include "account/ServerFinder.h"
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
    // Server is the Smtp field's text the settings belong to; Address the mailbox in From,
    // for which "Find settings" looks the server up (none: the button is disabled). Opened
    // without a server, the dialog looks it up at once, and OK waits for one to be found.
    TServerSettingsDialog(QWidget* parent, const QString& server, const account::TServerSettings& settings,
                          const std::string& address = {}, account::TFinderOptions finder = {});

    QLabel* Heading = nullptr;
    QComboBox* Security = nullptr;  // None, STARTTLS, SSL/TLS
    QLineEdit* UserName = nullptr;
    QComboBox* SignIn = nullptr;    // Password, OAuth2
    QLineEdit* Password = nullptr;  // empty: the password stays as it is
    QCheckBox* RememberPassword = nullptr;
    QLineEdit* ClientId = nullptr;  // an own OAuth2 client ID; empty: this build's
    QLineEdit* Tenant = nullptr;    // a Microsoft organisation's tenant; empty: "common"
    QLabel* OAuth2Note = nullptr;   // with whom OAuth2 signs in, or what is missing
    QCheckBox* CopyToSent = nullptr;  // a copy of each message in the IMAP server's Sent folder
    QLineEdit* ImapServer = nullptr;  // "host[:port]"
    QComboBox* ImapSecurity = nullptr;  // STARTTLS, SSL/TLS
    QLabel* Certificate = nullptr;  // the certificate trusted on purpose, if any
    QPushButton* FindSettings = nullptr;
    QLabel* Found = nullptr;        // what a lookup found and where from, or why nothing
    QPushButton* Test = nullptr;    // "Stop" while a check runs
    QPlainTextEdit* TestReport = nullptr;
    QDialogButtonBox* Buttons = nullptr;

    // The password the window knows for these settings at Server, for a check when the
    // Password field is empty. Unset: the check goes without one.
    std::function<std::optional<std::string>(const QString& server, const account::TServerSettings& settings)>
        KnownPassword;

    // The Smtp text the settings belong to: as opened, or the server a lookup found.
    QString Server() const { return m_server; }
    // The settings as the dialog shows them now (the trusted certificate unchanged).
    account::TServerSettings Settings() const;
    // Looks the server up for the address, or stops the lookup that runs.
    void FindClick();
    // Checks the settings as shown against the server, or stops the check that runs.
    void TestClick();

    // Closing the dialog stops its lookup and its check.
    void done(int result) override;

private:
    void ShowFound(const account::TFinderResult& result);
    void TakeProposal(const account::TServerProposal& proposal);
    void ShowSecurity(mail::ESecurity security);
    void ShowSignIn(mail::ESignInKind kind);
    void UpdateSignIn();
    void StopTest();
    void UpdateButtons();

    QString m_server;
    std::string m_address;
    account::TServerSettings m_settings;
    bool m_securityChosen = false;  // the user picked a security: a lookup leaves it alone
    bool m_signInChosen = false;    // and the same for the way of signing in
    const std::vector<account::TProvider>* m_providers;  // who takes OAuth2 at which server
    account::TServerFinder m_finder;
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

// What the window shows while the user signs in at the provider: in the browser it opened, or,
// where none could be opened, on any device with a code. The address is selectable, to be
// copied into a browser by hand; Cancel ends the wait, and nothing is sent then.
class TSignInDialog : public QDialog {
    Q_OBJECT

public:
    // Reason, when not empty, says why a sign-in is asked for now.
    TSignInDialog(QWidget* parent, const QString& user, const QString& provider, const QString& reason);

    void ShowBrowserPage(const QUrl& url);
    void ShowDeviceCode(const QString& url, const QString& code);

    QLabel* Message = nullptr;
    QLineEdit* Address = nullptr;  // the page to sign in on
    QLineEdit* Code = nullptr;     // the code to type there (device sign-in only)
    QDialogButtonBox* Buttons = nullptr;

private:
    QString m_intro;
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
