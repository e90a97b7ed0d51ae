#include "app/ServerDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <type_traits>

#include "account/Passwords.h"
#include "account/ServerOAuth2.h"
#include "account/SettingsAdvice.h"
#include "mail/MailText.h"
#include "mail/ScreenText.h"

namespace corvane::app {

namespace {

constexpr std::array<mail::ESecurity, 3> SecurityChoices{mail::ESecurity::None, mail::ESecurity::StartTls,
                                                         mail::ESecurity::Tls};
constexpr std::array<mail::ESignInKind, 2> SignInChoices{mail::ESignInKind::Password, mail::ESignInKind::OAuth2};

template <typename TWidget, typename... TArguments>
TWidget* Named(const char* name, TArguments&&... arguments) {
    auto* widget = new TWidget(std::forward<TArguments>(arguments)...);
    widget->setObjectName(QString::fromLatin1(name));
    if constexpr (std::is_same_v<TWidget, QLabel>) {
        // Server names, user names and certificate fields are shown, never read as markup.
        widget->setTextFormat(Qt::PlainText);
    }
    return widget;
}

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = Named<QDialogButtonBox>("Buttons", QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

QLineEdit* PasswordField() {
    auto* field = Named<QLineEdit>("Password");
    field->setEchoMode(QLineEdit::Password);
    return field;
}

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// Words from outside (the server, its certificate) as the screen may show them.
QString Safe(const std::string& utf8) { return Text(mail::ScreenSafe(utf8)); }
QString Safe(const QString& text) { return Safe(text.toStdString()); }

QString HeadingText(const QString& server) {
    return server.isEmpty() ? TServerSettingsDialog::tr("Settings of the server for your address")
                            : TServerSettingsDialog::tr("Settings of %1").arg(server);
}

QString CertificateText(const account::TServerSettings& settings) {
    return settings.TrustedFingerprint.empty() ? TServerSettingsDialog::tr("none") : Text(settings.TrustedFingerprint);
}

}  // namespace

TServerSettingsDialog::TServerSettingsDialog(QWidget* parent, const QString& server,
                                             const account::TServerSettings& settings, const std::string& address,
                                             account::TFinderOptions finder)
    : QDialog(parent),
      m_server(server),
      m_address(address),
      m_settings(settings),
      m_providers(finder.Providers),
      m_finder(std::move(finder)) {
    setObjectName(QStringLiteral("ServerSettingsDialog"));
    setWindowTitle(tr("Server settings"));
    Heading = Named<QLabel>("Heading", HeadingText(server));
    Security = Named<QComboBox>("Security");
    for (const mail::ESecurity choice : SecurityChoices) {
        Security->addItem(QString::fromLatin1(account::SecurityName(choice)));
    }
    ShowSecurity(settings.Security);
    Security->setToolTip(tr("STARTTLS: port 587 unless Smtp names one; "
                                        "SSL/TLS: port 465; None: port 25, no signing in"));
    connect(Security, &QComboBox::activated, this, [this] { m_securityChosen = true; });
    UserName = Named<QLineEdit>("UserName", Text(settings.UserName));
    UserName->setToolTip(tr("Empty: send without signing in"));
    SignIn = Named<QComboBox>("SignIn");
    SignIn->addItems({tr("Password"), tr("OAuth2 in the browser")});
    SignIn->setToolTip(tr("OAuth2: you sign in at your provider's page in the browser, "
                                      "and Corvane keeps no password"));
    ShowSignIn(settings.SignIn);
    connect(SignIn, &QComboBox::activated, this, [this] {
        m_signInChosen = true;
        UpdateSignIn();
    });
    Password = PasswordField();
    Password->setPlaceholderText(tr("unchanged"));
    RememberPassword = Named<QCheckBox>("RememberPassword", tr("&Remember password"));
    RememberPassword->setChecked(settings.RememberPassword);
    RememberPassword->setToolTip(tr("Kept in the desktop's keyring, never in Corvane's settings"));
    ClientId = Named<QLineEdit>("ClientId", Text(settings.OAuth2ClientId));
    ClientId->setPlaceholderText(tr("the one Corvane carries"));
    ClientId->setToolTip(tr("The client ID your organisation registered for Corvane, if any"));
    Tenant = Named<QLineEdit>("Tenant", Text(settings.OAuth2Tenant));
    Tenant->setPlaceholderText(QString::fromLatin1(account::DefaultTenant.data(), account::DefaultTenant.size()));
    Tenant->setToolTip(tr("Microsoft 365: your organisation's tenant (a domain or ID)"));
    OAuth2Note = Named<QLabel>("OAuth2Note");
    OAuth2Note->setWordWrap(true);
    for (QLineEdit* field : {UserName, ClientId, Tenant}) {
        connect(field, &QLineEdit::textEdited, this, [this] { UpdateSignIn(); });
    }
    CopyToSent = Named<QCheckBox>("CopyToSent", tr("Copy sent mail to the Sent folder over I&MAP"));
    CopyToSent->setChecked(settings.CopyToSent);
    ImapServer = Named<QLineEdit>("ImapServer", Text(settings.ImapServer));
    ImapServer->setPlaceholderText(QStringLiteral("imap.example.org"));
    ImapSecurity = Named<QComboBox>("ImapSecurity");
    ImapSecurity->addItems({QStringLiteral("STARTTLS"), QStringLiteral("SSL/TLS")});
    ImapSecurity->setCurrentIndex(settings.ImapSecurity == mail::ESecurity::StartTls ? 0 : 1);
    ImapSecurity->setToolTip(tr("STARTTLS: port 143 unless named; SSL/TLS: port 993"));
    Certificate = Named<QLabel>("Certificate", CertificateText(settings));
    Certificate->setWordWrap(true);
    Certificate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FindSettings = Named<QPushButton>("FindSettings", tr("&Find settings"));
    FindSettings->setToolTip(address.empty() ? tr("Type your address into From first")
                                             : tr("Look up the server for %1").arg(Text(address)));
    connect(FindSettings, &QPushButton::clicked, this, [this] { FindClick(); });
    Found = Named<QLabel>("Found");
    Found->setWordWrap(true);
    Test = Named<QPushButton>("Test", tr("&Test"));
    Test->setToolTip(tr("Connect and sign in with these settings, without sending mail"));
    connect(Test, &QPushButton::clicked, this, [this] { TestClick(); });
    TestReport = Named<QPlainTextEdit>("TestReport");
    TestReport->setReadOnly(true);
    TestReport->setPlaceholderText(tr("What a test finds is shown here."));
    Buttons = OkCancel(this);

    // Each caption names its field and gives it Alt+letter; no letter is taken twice, the
    // buttons' F, T, O and C included.
    auto* form = new QFormLayout;
    form->addRow(tr("&Security:"), Security);
    form->addRow(tr("&User name:"), UserName);
    // After the password, so Tab goes from the user name to the password as it always did.
    form->addRow(tr("&Password:"), Password);
    form->addRow(QString(), RememberPassword);
    form->addRow(tr("Sign in &with:"), SignIn);
    form->addRow(tr("OAuth2 client I&D:"), ClientId);
    form->addRow(tr("Te&nant:"), Tenant);
    form->addRow(QString(), OAuth2Note);
    form->addRow(QString(), CopyToSent);
    form->addRow(tr("IMAP ser&ver:"), ImapServer);
    form->addRow(tr("IMAP s&ecurity:"), ImapSecurity);
    form->addRow(tr("Trusted certificate:"), Certificate);
    auto* actions = new QHBoxLayout;
    actions->addWidget(FindSettings);
    actions->addWidget(Test);
    actions->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Heading);
    layout->addLayout(form);
    layout->addLayout(actions);
    layout->addWidget(Found);
    layout->addWidget(TestReport);
    layout->addWidget(Buttons);
    // Tab in the order the dialog reads, which is not the order the fields were made in.
    const std::array<QWidget*, 14> readingOrder{Security,   UserName,   Password,    RememberPassword, SignIn,
                                                ClientId,   Tenant,     CopyToSent,  ImapServer,       ImapSecurity,
                                                FindSettings, Test,     TestReport,  Buttons};
    for (std::size_t i = 1; i < readingOrder.size(); ++i) {
        QWidget::setTabOrder(readingOrder[i - 1], readingOrder[i]);
    }

    m_finder.OnDone = [this](account::TServerFinder&, const account::TFinderResult& result) { ShowFound(result); };
    m_check.OnLine = [this](account::TServerCheck&, const std::string& line) { TestReport->appendPlainText(Text(line)); };
    m_check.OnDone = [this](account::TServerCheck&, bool) { UpdateButtons(); };
    if (server.isEmpty() && !address.empty()) {
        FindClick();
    }
    UpdateSignIn();
    UpdateButtons();
}

account::TServerSettings TServerSettingsDialog::Settings() const {
    account::TServerSettings settings = m_settings;
    const int index = Security->currentIndex();
    settings.Security = index >= 0 && index < static_cast<int>(SecurityChoices.size())
                            ? SecurityChoices[static_cast<std::size_t>(index)]
                            : mail::ESecurity::None;
    settings.UserName = UserName->text().trimmed().toStdString();
    settings.RememberPassword = RememberPassword->isChecked();
    settings.SignIn = SignInChoices[SignIn->currentIndex() == 1 ? 1 : 0];
    settings.OAuth2ClientId = ClientId->text().trimmed().toStdString();
    settings.OAuth2Tenant = Tenant->text().trimmed().toStdString();
    settings.CopyToSent = CopyToSent->isChecked();
    settings.ImapServer = ImapServer->text().trimmed().toStdString();
    settings.ImapSecurity = ImapSecurity->currentIndex() == 0 ? mail::ESecurity::StartTls : mail::ESecurity::Tls;
    return settings;
}

void TServerSettingsDialog::FindClick() {
    if (m_finder.Running()) {
        m_finder.Cancel();
        Found->setText(tr("The lookup was stopped."));
    } else if (!m_address.empty()) {
        Found->setText(tr("Looking up the mail server for %1 . . .").arg(Safe(account::DomainOf(m_address))));
        m_finder.Start(m_address);
    }
    UpdateButtons();
}

void TServerSettingsDialog::ShowFound(const account::TFinderResult& result) {
    if (result.Found) {
        TakeProposal(*result.Found);
        Found->setText(tr("Found: %1").arg(Safe(account::Describe(*result.Found))));
    } else {
        Found->setText(Safe(result.Text));  // nothing found: every field stays as it was
    }
    UpdateButtons();
}

// Shows what was found, except where the user has chosen for themselves in this dialog: a
// security picked or a user name typed stays.
void TServerSettingsDialog::TakeProposal(const account::TServerProposal& proposal) {
    const QString server = Text(account::ServerFieldText(proposal));
    if (server != m_server) {
        // Another server: what was kept for the old one (its trusted certificate) is not its.
        m_server = server;
        m_settings = account::LoadServerSettings(server.toStdString());
        Heading->setText(HeadingText(server));
        Certificate->setText(CertificateText(m_settings));
    }
    const account::TServerSettings proposed = account::SettingsFor(proposal, m_settings);
    if (!m_securityChosen) {
        ShowSecurity(proposed.Security);
    }
    if (!UserName->isModified()) {
        UserName->setText(Text(proposed.UserName));
    }
    if (!m_signInChosen) {
        ShowSignIn(proposed.SignIn);
    }
    if (!ImapServer->isModified() && !proposed.ImapServer.empty()) {
        ImapServer->setText(Text(proposed.ImapServer));
        ImapSecurity->setCurrentIndex(proposed.ImapSecurity == mail::ESecurity::StartTls ? 0 : 1);
        CopyToSent->setChecked(proposed.CopyToSent);
    }
    UpdateSignIn();
}

void TServerSettingsDialog::ShowSecurity(mail::ESecurity security) {
    const auto chosen = std::find(SecurityChoices.begin(), SecurityChoices.end(), security);
    Security->setCurrentIndex(static_cast<int>(chosen - SecurityChoices.begin()));
}

void TServerSettingsDialog::ShowSignIn(mail::ESignInKind kind) {
    SignIn->setCurrentIndex(kind == mail::ESignInKind::OAuth2 ? 1 : 0);
}

// The password belongs to the password sign-in, the client and tenant to OAuth2; the note says
// with whom OAuth2 signs in, or plainly what it lacks (no provider there, no client ID).
void TServerSettingsDialog::UpdateSignIn() {
    const account::TServerSettings settings = Settings();
    const bool oauth2 = settings.SignIn == mail::ESignInKind::OAuth2;
    Password->setEnabled(!oauth2);
    RememberPassword->setEnabled(!oauth2);
    ClientId->setEnabled(oauth2);
    Tenant->setEnabled(oauth2);
    if (!oauth2) {
        OAuth2Note->clear();
        return;
    }
    const std::string host = mail::ParseServerAddress(m_server.toStdString()).Host;
    const account::TServerOAuth2 signIn = account::ServerOAuth2(host, settings, *m_providers);
    OAuth2Note->setText(signIn.Problem.empty()
                            ? tr("When you send, you sign in at %1 in your browser once; "
                                             "Corvane keeps the sign-in in the desktop's keyring.")
                                  .arg(Safe(signIn.ProviderName))
                            : Safe(signIn.Problem));
}

void TServerSettingsDialog::TestClick() {
    if (m_check.Running()) {
        StopTest();
        TestReport->appendPlainText(tr("Stopped."));
        return;
    }
    TestReport->clear();
    const account::TServerSettings settings = Settings();
    std::string password = Password->text().toStdString();
    if (password.empty() && KnownPassword && !settings.UserName.empty()) {
        password = KnownPassword(m_server, settings).value_or(std::string());
    }
    m_check.Start(m_server.toStdString(), settings, password);
    account::Wipe(password);
    UpdateButtons();
}

void TServerSettingsDialog::StopTest() {
    m_check.Cancel();
    UpdateButtons();
}

void TServerSettingsDialog::UpdateButtons() {
    FindSettings->setEnabled(!m_address.empty() && !m_check.Running());
    FindSettings->setText(m_finder.Running() ? tr("Stop &finding") : tr("&Find settings"));
    Test->setEnabled(!m_server.isEmpty() && !m_finder.Running());
    Test->setText(m_check.Running() ? tr("S&top") : tr("&Test"));
    // Settings belong to a server: none typed and none found yet, there is nothing to keep.
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(!m_server.isEmpty() && !m_finder.Running());
}

void TServerSettingsDialog::done(int result) {
    m_finder.Cancel();
    m_check.Cancel();
    QDialog::done(result);
}

TPasswordDialog::TPasswordDialog(QWidget* parent, const QString& where, bool remember) : QDialog(parent) {
    setObjectName(QStringLiteral("PasswordDialog"));
    setWindowTitle(tr("Password"));
    Prompt = Named<QLabel>("Prompt", tr("Password for %1:").arg(where));
    Password = PasswordField();
    Prompt->setBuddy(Password);  // the field is announced with the prompt
    RememberPassword = Named<QCheckBox>("RememberPassword", tr("&Remember password"));
    RememberPassword->setChecked(remember);
    Buttons = OkCancel(this);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* widget : std::initializer_list<QWidget*>{Prompt, Password, RememberPassword, Buttons}) {
        layout->addWidget(widget);
    }
}

TSignInDialog::TSignInDialog(QWidget* parent, const QString& user, const QString& provider, const QString& reason)
    : QDialog(parent) {
    setObjectName(QStringLiteral("SignInDialog"));
    setWindowTitle(tr("Sign in to %1").arg(Safe(provider)));
    m_intro = (reason.isEmpty() ? QString() : Safe(reason) + QStringLiteral("\n\n")) +
              tr("Sign in as %1 at %2.").arg(Safe(user), Safe(provider));
    Message = Named<QLabel>("Message", m_intro);
    Message->setWordWrap(true);
    Address = Named<QLineEdit>("Address");
    Address->setReadOnly(true);
    Code = Named<QLineEdit>("Code");
    Code->setReadOnly(true);
    Code->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Code->hide();
    Address->setAccessibleName(tr("Sign-in page"));
    Code->setAccessibleName(tr("Code"));
    Buttons = Named<QDialogButtonBox>("Buttons", QDialogButtonBox::Cancel);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* widget : std::initializer_list<QWidget*>{Message, Address, Code, Buttons}) {
        layout->addWidget(widget);
    }
    setMinimumWidth(480);
}

void TSignInDialog::ShowBrowserPage(const QUrl& url) {
    Message->setText(m_intro + tr("\n\nYour browser shows the sign-in page; Corvane goes on by itself "
                                              "once you are signed in. If no page came up, open this address:"));
    Address->setText(url.toString(QUrl::FullyEncoded));
    Code->hide();
}

void TSignInDialog::ShowDeviceCode(const QString& url, const QString& code) {
    Message->setText(m_intro + tr("\n\nNo browser could be opened here. Open this address on any "
                                              "device, enter the code below and sign in; Corvane goes on by itself:"));
    Address->setText(Safe(url));
    Code->setText(Safe(code));
    Code->show();
}

TCertificateDialog::TCertificateDialog(QWidget* parent, const QString& host, const QString& problem,
                                       const net::TCertificateInfo& certificate, const QString& previous)
    : QDialog(parent) {
    setObjectName(QStringLiteral("CertificateDialog"));
    setWindowTitle(tr("Certificate of %1").arg(Safe(host)));
    Fingerprint = Named<QLineEdit>("Fingerprint", Safe(certificate.Sha256Fingerprint));
    Fingerprint->setReadOnly(true);
    Fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Fingerprint->setMinimumWidth(Fingerprint->fontMetrics().horizontalAdvance(Fingerprint->text()) + 16);
    QString text = Safe(problem) + tr("\n\nSubject: %1\nIssuer: %2\nValid from %3 to %4")
                                       .arg(Safe(certificate.Subject), Safe(certificate.Issuer),
                                            Safe(certificate.NotBefore), Safe(certificate.NotAfter));
    if (!previous.isEmpty()) {
        text += tr("\n\nThis is not the certificate you trusted for %1 before (SHA-256: %2). "
                               "Trust it only if you know why it was replaced.")
                    .arg(Safe(host), Safe(previous));
    } else {
        text += tr("\n\nTrust it only if you know this is your server's certificate, "
                               "for example by comparing the SHA-256 fingerprint with its administrator.");
    }
    Details = Named<QLabel>("Details", text);
    Details->setWordWrap(true);
    Details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Buttons = Named<QDialogButtonBox>("Buttons", QDialogButtonBox::Cancel);
    Buttons->addButton(tr("Trust this certificate"), QDialogButtonBox::AcceptRole);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* fingerprint = new QFormLayout;
    fingerprint->addRow(tr("SHA-256:"), Fingerprint);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fingerprint);
    layout->addWidget(Details);
    layout->addWidget(Buttons);
}

}  // namespace corvane::app
