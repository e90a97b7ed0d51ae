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
#include <type_traits>

#include "account/Passwords.h"
#include "account/SettingsAdvice.h"
#include "mail/ScreenText.h"

namespace corvane::app {

namespace {

constexpr std::array<mail::ESecurity, 3> SecurityChoices{mail::ESecurity::None, mail::ESecurity::StartTls,
                                                         mail::ESecurity::Tls};

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
    return server.isEmpty() ? QStringLiteral("Settings of the server for your address")
                            : QStringLiteral("Settings of %1").arg(server);
}

QString CertificateText(const account::TServerSettings& settings) {
    return settings.TrustedFingerprint.empty() ? QStringLiteral("none") : Text(settings.TrustedFingerprint);
}

}  // namespace

TServerSettingsDialog::TServerSettingsDialog(QWidget* parent, const QString& server,
                                             const account::TServerSettings& settings, const std::string& address,
                                             account::TFinderOptions finder)
    : QDialog(parent), m_server(server), m_address(address), m_settings(settings), m_finder(std::move(finder)) {
    setObjectName(QStringLiteral("ServerSettingsDialog"));
    setWindowTitle(QStringLiteral("Server settings"));
    Heading = Named<QLabel>("Heading", HeadingText(server));
    Security = Named<QComboBox>("Security");
    for (const mail::ESecurity choice : SecurityChoices) {
        Security->addItem(QString::fromLatin1(account::SecurityName(choice)));
    }
    ShowSecurity(settings.Security);
    Security->setToolTip(QStringLiteral("STARTTLS: port 587 unless Smtp names one; "
                                        "SSL/TLS: port 465; None: port 25, no signing in"));
    connect(Security, &QComboBox::activated, this, [this] { m_securityChosen = true; });
    UserName = Named<QLineEdit>("UserName", Text(settings.UserName));
    UserName->setToolTip(QStringLiteral("Empty: send without signing in"));
    Password = PasswordField();
    Password->setPlaceholderText(QStringLiteral("unchanged"));
    RememberPassword = Named<QCheckBox>("RememberPassword", QStringLiteral("Remember password"));
    RememberPassword->setChecked(settings.RememberPassword);
    RememberPassword->setToolTip(QStringLiteral("Kept in the desktop's keyring, never in Corvane's settings"));
    Certificate = Named<QLabel>("Certificate", CertificateText(settings));
    Certificate->setWordWrap(true);
    Certificate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    FindSettings = Named<QPushButton>("FindSettings", QStringLiteral("&Find settings"));
    FindSettings->setToolTip(address.empty() ? QStringLiteral("Type your address into From first")
                                             : QStringLiteral("Look up the server for %1").arg(Text(address)));
    connect(FindSettings, &QPushButton::clicked, this, [this] { FindClick(); });
    Found = Named<QLabel>("Found");
    Found->setWordWrap(true);
    Test = Named<QPushButton>("Test", QStringLiteral("&Test"));
    Test->setToolTip(QStringLiteral("Connect and sign in with these settings, without sending mail"));
    connect(Test, &QPushButton::clicked, this, [this] { TestClick(); });
    TestReport = Named<QPlainTextEdit>("TestReport");
    TestReport->setReadOnly(true);
    TestReport->setPlaceholderText(QStringLiteral("What a test finds is shown here."));
    Buttons = OkCancel(this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Security:"), Security);
    form->addRow(QStringLiteral("User name:"), UserName);
    form->addRow(QStringLiteral("Password:"), Password);
    form->addRow(QString(), RememberPassword);
    form->addRow(QStringLiteral("Trusted certificate:"), Certificate);
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

    m_finder.OnDone = [this](account::TServerFinder&, const account::TFinderResult& result) { ShowFound(result); };
    m_check.OnLine = [this](account::TServerCheck&, const std::string& line) { TestReport->appendPlainText(Text(line)); };
    m_check.OnDone = [this](account::TServerCheck&, bool) { UpdateButtons(); };
    if (server.isEmpty() && !address.empty()) {
        FindClick();
    }
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
    return settings;
}

void TServerSettingsDialog::FindClick() {
    if (m_finder.Running()) {
        m_finder.Cancel();
        Found->setText(QStringLiteral("The lookup was stopped."));
    } else if (!m_address.empty()) {
        Found->setText(Safe(account::LookingUpText(account::DomainOf(m_address))));
        m_finder.Start(m_address);
    }
    UpdateButtons();
}

void TServerSettingsDialog::ShowFound(const account::TFinderResult& result) {
    if (result.Found) {
        TakeProposal(*result.Found);
        Found->setText(QStringLiteral("Found: %1").arg(Safe(account::Describe(*result.Found))));
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
}

void TServerSettingsDialog::ShowSecurity(mail::ESecurity security) {
    const auto chosen = std::find(SecurityChoices.begin(), SecurityChoices.end(), security);
    Security->setCurrentIndex(static_cast<int>(chosen - SecurityChoices.begin()));
}

void TServerSettingsDialog::TestClick() {
    if (m_check.Running()) {
        StopTest();
        TestReport->appendPlainText(QStringLiteral("Stopped."));
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
    FindSettings->setText(m_finder.Running() ? QStringLiteral("Stop &finding") : QStringLiteral("&Find settings"));
    Test->setEnabled(!m_server.isEmpty() && !m_finder.Running());
    Test->setText(m_check.Running() ? QStringLiteral("S&top") : QStringLiteral("&Test"));
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
    setWindowTitle(QStringLiteral("Password"));
    Prompt = Named<QLabel>("Prompt", QStringLiteral("Password for %1:").arg(where));
    Password = PasswordField();
    RememberPassword = Named<QCheckBox>("RememberPassword", QStringLiteral("Remember password"));
    RememberPassword->setChecked(remember);
    Buttons = OkCancel(this);
    auto* layout = new QVBoxLayout(this);
    for (QWidget* widget : std::initializer_list<QWidget*>{Prompt, Password, RememberPassword, Buttons}) {
        layout->addWidget(widget);
    }
}

TCertificateDialog::TCertificateDialog(QWidget* parent, const QString& host, const QString& problem,
                                       const net::TCertificateInfo& certificate, const QString& previous)
    : QDialog(parent) {
    setObjectName(QStringLiteral("CertificateDialog"));
    setWindowTitle(QStringLiteral("Certificate of %1").arg(Safe(host)));
    Fingerprint = Named<QLineEdit>("Fingerprint", Safe(certificate.Sha256Fingerprint));
    Fingerprint->setReadOnly(true);
    Fingerprint->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    Fingerprint->setMinimumWidth(Fingerprint->fontMetrics().horizontalAdvance(Fingerprint->text()) + 16);
    QString text = Safe(problem) + QStringLiteral("\n\nSubject: %1\nIssuer: %2\nValid from %3 to %4")
                                       .arg(Safe(certificate.Subject), Safe(certificate.Issuer),
                                            Safe(certificate.NotBefore), Safe(certificate.NotAfter));
    if (!previous.isEmpty()) {
        text += QStringLiteral("\n\nThis is not the certificate you trusted for %1 before (SHA-256: %2). "
                               "Trust it only if you know why it was replaced.")
                    .arg(Safe(host), Safe(previous));
    } else {
        text += QStringLiteral("\n\nTrust it only if you know this is your server's certificate, "
                               "for example by comparing the SHA-256 fingerprint with its administrator.");
    }
    Details = Named<QLabel>("Details", text);
    Details->setWordWrap(true);
    Details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Buttons = Named<QDialogButtonBox>("Buttons", QDialogButtonBox::Cancel);
    Buttons->addButton(QStringLiteral("Trust this certificate"), QDialogButtonBox::AcceptRole);
    connect(Buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* fingerprint = new QFormLayout;
    fingerprint->addRow(QStringLiteral("SHA-256:"), Fingerprint);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fingerprint);
    layout->addWidget(Details);
    layout->addWidget(Buttons);
}

}  // namespace corvane::app
