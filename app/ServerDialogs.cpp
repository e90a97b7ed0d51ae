#include "app/ServerDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <type_traits>

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

}  // namespace

TServerSettingsDialog::TServerSettingsDialog(QWidget* parent, const QString& server,
                                             const account::TServerSettings& settings)
    : QDialog(parent), m_settings(settings) {
    setObjectName(QStringLiteral("ServerSettingsDialog"));
    setWindowTitle(QStringLiteral("Server settings"));
    Heading = Named<QLabel>("Heading", QStringLiteral("Settings of %1").arg(server));
    Security = Named<QComboBox>("Security");
    for (const mail::ESecurity choice : SecurityChoices) {
        Security->addItem(QString::fromLatin1(account::SecurityName(choice)));
    }
    const auto chosen = std::find(SecurityChoices.begin(), SecurityChoices.end(), settings.Security);
    Security->setCurrentIndex(static_cast<int>(chosen - SecurityChoices.begin()));
    Security->setToolTip(QStringLiteral("STARTTLS: port 587 unless Smtp names one; "
                                        "SSL/TLS: port 465; None: port 25, no signing in"));
    UserName = Named<QLineEdit>("UserName", Text(settings.UserName));
    UserName->setToolTip(QStringLiteral("Empty: send without signing in"));
    Password = PasswordField();
    Password->setPlaceholderText(QStringLiteral("unchanged"));
    RememberPassword = Named<QCheckBox>("RememberPassword", QStringLiteral("Remember password"));
    RememberPassword->setChecked(settings.RememberPassword);
    RememberPassword->setToolTip(QStringLiteral("Kept in the desktop's keyring, never in Corvane's settings"));
    Certificate = Named<QLabel>("Certificate", settings.TrustedFingerprint.empty()
                                                   ? QStringLiteral("none")
                                                   : Text(settings.TrustedFingerprint));
    Certificate->setWordWrap(true);
    Certificate->setTextInteractionFlags(Qt::TextSelectableByMouse);
    Buttons = OkCancel(this);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Security:"), Security);
    form->addRow(QStringLiteral("User name:"), UserName);
    form->addRow(QStringLiteral("Password:"), Password);
    form->addRow(QString(), RememberPassword);
    form->addRow(QStringLiteral("Trusted certificate:"), Certificate);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Heading);
    layout->addLayout(form);
    layout->addWidget(Buttons);
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
