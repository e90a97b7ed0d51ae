// The window's servers: the settings button beside Smtp, what a send takes from a server's
// settings, the password asked for at send time, and sends through real servers with
// STARTTLS, implicit TLS and a sign-in, with a certificate trusted on purpose. A keyring in
// memory stands in for the desktop's; passwords are compared without printing them.

#include <gtest/gtest.h>

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "AiosmtpdServer.h"
#include "DovecotServer.h"
#include "EventLoop.h"
#include "LoopbackPorts.h"
#include "MemoryKeyring.h"
#include "RegistryTestSupport.h"
#include "TempFolder.h"
#include "TestCertificates.h"
#include "app/Main.h"
#include "app/ServerDialogs.h"

namespace corvane::app {
namespace {

using mail::ESecurity;
using namespace std::chrono_literals;

class MainServersTest : public ::testing::Test {
protected:
    void Open() {
        form.reset();  // one window at a time
        form = std::make_unique<TMainForm>();
        form->ShowMessage = [](const QString&) {};
        auto owned = std::make_unique<test::TMemoryKeyring>();
        keyring = owned.get();
        form->Passwords.SetKeyring(std::move(owned));
        form->RunPasswordDialog = [this](TPasswordDialog& dialog) {
            prompts.push_back(dialog.Prompt->text());
            statusWhenAsked = form->StatusText();
            dialog.Password->setText(QString::fromStdString(typedPassword));
            return !typedPassword.empty();
        };
        QObject::connect(form->StatusBar, &desktop::TEnStatusBar::PanelTextChanged, form.get(),
                         [this](int index, const QString& text) {
                             if (index == 0) {
                                 statuses.push_back(text);
                             }
                         });
    }
    void Address(const std::string& server) {
        form->From->setEditText(QStringLiteral("ada@example.org"));
        form->Smtp->setEditText(QString::fromStdString(server));
        form->SendTo->setEditText(QStringLiteral("bob@example.org"));
        form->Messages->setPlainText(QStringLiteral("Hello"));
    }
    bool StatusesMention(const std::string& text) const {
        return std::any_of(statuses.begin(), statuses.end(),
                           [&](const QString& status) { return status.contains(QString::fromStdString(text)); });
    }

    test::TScratchRegistry store;
    std::unique_ptr<TMainForm> form;
    test::TMemoryKeyring* keyring = nullptr;
    std::string typedPassword;  // what the password dialog is answered with; empty: cancel
    std::vector<QString> prompts;
    QString statusWhenAsked;
    std::vector<QString> statuses;
};

TEST_F(MainServersTest, TheButtonBesideSmtpStoresSettingsAndKeepsThePasswordOnlyInTheKeyring) {
    Open();
    EXPECT_EQ(form->Smtp->geometry(), QRect(69, 46, 326, 21));
    EXPECT_EQ(form->SmtpSettings->geometry(), QRect(398, 46, 21, 21));
    EXPECT_EQ(form->findChild<QPushButton*>(QStringLiteral("SmtpSettings")), form->SmtpSettings);
    int shown = 0;
    form->RunServerDialog = [&](TServerSettingsDialog& dialog) {
        ++shown;
        EXPECT_EQ(dialog.Heading->text(), QStringLiteral("Settings of Mail.Example.org:2525"));
        EXPECT_EQ(dialog.Password->text(), QString());
        dialog.Security->setCurrentIndex(1);
        dialog.UserName->setText(QStringLiteral("ada"));
        dialog.Password->setText(QStringLiteral("pw-in-the-dialog"));
        return true;
    };
    form->SmtpSettingsClick();  // neither a server nor an address typed yet
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("Type the mail server into Smtp (or your address into From) first, then open its settings."));

    form->Smtp->setEditText(QStringLiteral(" Mail.Example.org:2525 "));
    form->SmtpSettings->click();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(account::LoadServerSettings("mail.example.org:2525"),
              (account::TServerSettings{ESecurity::StartTls, "ada", true, ""}));
    EXPECT_TRUE(keyring->Entries["ada@Mail.Example.org:2525"] == "pw-in-the-dialog");
    EXPECT_EQ(form->StatusText(), QStringLiteral("Settings of Mail.Example.org:2525 stored: STARTTLS, signing in as ada."));
    test::TRawStore raw(store.StoreFile());
    EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE instr(data, 'pw-in-the-dialog') > 0"), 0);

    // Opened again it shows what was stored, never the password; turning "Remember password"
    // off takes the password out of the keyring.
    form->RunServerDialog = [&](TServerSettingsDialog& dialog) {
        EXPECT_EQ(dialog.Security->currentText(), QStringLiteral("STARTTLS"));
        EXPECT_EQ(dialog.UserName->text(), QStringLiteral("ada"));
        EXPECT_EQ(dialog.Password->text(), QString());
        EXPECT_TRUE(dialog.RememberPassword->isChecked());
        // Tab goes through the fields as the dialog reads, top to bottom.
        std::vector<QWidget*> chain{dialog.Security};
        for (QWidget* next = dialog.Security->nextInFocusChain(); next != dialog.Security && chain.size() < 200;
             next = next->nextInFocusChain()) {
            chain.push_back(next);
        }
        const auto at = [&chain](QWidget* field) { return std::find(chain.begin(), chain.end(), field) - chain.begin(); };
        const std::vector<QWidget*> reading{dialog.Security, dialog.UserName, dialog.Password, dialog.RememberPassword,
                                            dialog.SignIn, dialog.ClientId, dialog.Tenant, dialog.CopyToSent,
                                            dialog.ImapServer, dialog.ImapSecurity, dialog.FindSettings, dialog.Test};
        for (std::size_t i = 1; i < reading.size(); ++i) {
            EXPECT_LT(at(reading[i - 1]), at(reading[i])) << reading[i]->objectName().toStdString();
        }
        dialog.RememberPassword->setChecked(false);
        return true;
    };
    form->SmtpSettingsClick();
    EXPECT_EQ(keyring->Entries.count("ada@Mail.Example.org:2525"), 0u);
    EXPECT_FALSE(StatusesMention("pw-in-the-dialog"));
}

TEST_F(MainServersTest, TheDefaultPortFollowsTheSecurityAndCancellingThePasswordSendsNothing) {
    for (const auto& [security, port] : {std::pair{ESecurity::StartTls, "587"}, {ESecurity::Tls, "465"}}) {
        test::TScratchRegistry own;
        ASSERT_TRUE(account::SaveServerSettings("127.0.0.1", {security, "ada", true, "AB:CD"}));
        Open();
        Address("127.0.0.1");
        form->Clear_SendTo->setChecked(true);
        form->StampImageClick();  // the password dialog is cancelled
        EXPECT_EQ(prompts, std::vector<QString>{QStringLiteral("Password for ada@127.0.0.1:%1:").arg(port)});
        EXPECT_EQ(form->WrenSMTP.Port, port);
        EXPECT_EQ(form->WrenSMTP.Security, security);
        EXPECT_EQ(form->WrenSMTP.UserName, "ada");
        EXPECT_EQ(form->WrenSMTP.TrustedFingerprint, "AB:CD");
        EXPECT_EQ(form->StatusText(), QStringLiteral("Canceled: Ready for your mail."));
        EXPECT_FALSE(StatusesMention("Connecting"));
        EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("bob@example.org"));
        prompts.clear();
        statuses.clear();
    }
}

// The engine would connect to port 25 instead; the window says so and keeps the mail.
TEST_F(MainServersTest, AnInvalidPortInSmtpIsSaidWithTheErrorSoundAndNothingIsSent) {
    for (const auto& [server, port] : {std::pair{"127.0.0.1:70000", "70000"}, {"127.0.0.1:5877x", "5877x"},
                                       {"127.0.0.1:0", "0"}, {"[::1]:", ""}}) {
        Open();
        Address(server);
        form->PlayWave->setChecked(true);
        form->Clear_SendTo->setChecked(true);
        form->StampImageClick();
        EXPECT_EQ(form->StatusText(),
                  QStringLiteral("Invalid port \"%1\" in Smtp: a port is a number from 1 to 65535.").arg(port));
        EXPECT_EQ(form->Wave1->WaveName, "error") << server;
        EXPECT_FALSE(StatusesMention("Connecting")) << server;
        EXPECT_EQ(form->Smtp->currentText().toStdString(), server);
        EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("bob@example.org"));
        EXPECT_TRUE(form->PageControl1->isEnabled());
        statuses.clear();
    }
}

TEST_F(MainServersTest, WithoutAKeyringThePasswordIsAskedOnceSaidOnceAndNeverShown) {
    test::TRefusingPort refusing;
    const std::string server = "127.0.0.1:" + refusing.Port();
    ASSERT_TRUE(account::SaveServerSettings(server, {ESecurity::StartTls, "ada", true, ""}));
    Open();
    keyring->Available = false;
    typedPassword = "typed-secret";
    Address(server);
    form->StampImageClick();
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_TRUE(statusWhenAsked.contains(QStringLiteral("not remembered"))) << statusWhenAsked.toStdString();
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("Error: 101 Failed to connect the mail server. %1: connection refused.")
                  .arg(QString::fromStdString(server)));
    form->StampImageClick();
    EXPECT_EQ(prompts.size(), 1u);  // kept in memory for the rest of the run
    EXPECT_EQ(std::count_if(statuses.begin(), statuses.end(),
                            [](const QString& text) { return text.contains(QStringLiteral("not remembered")); }),
              1);
    EXPECT_FALSE(StatusesMention(typedPassword));
    EXPECT_TRUE(form->WrenSMTP.Password.empty());  // not left in the engine after the send
}

TEST_F(MainServersTest, TheOptionPagesReceiptsReachTheMessageAndAServerWithoutReportsIsSaid) {
    test::TAiosmtpdServer server;
    ASSERT_TRUE(server.Running()) << server.Problem();
    Open();
    form->ReadReceipt->setChecked(true);
    form->DeliveryReport->setChecked(true);
    Address("127.0.0.1:" + server.Port());
    form->StampImageClick();
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("Successful; the server offers no delivery reports, so none was asked for."));
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->Header("Disposition-Notification-To"), std::optional<std::string>("ada@example.org"));
}

class MainServersTlsTest : public MainServersTest {
protected:
    const test::TTestCertificates& certificates = test::TTestCertificates::Shared();
    test::TTrustOnly trustTheTestCa{certificates.CaFile};
};

TEST_F(MainServersTlsTest, StartTlsWithSignInAsksAgainAfterTheServerRefusesThePassword) {
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    const auto options = test::SignInRequired(test::TAiosmtpdOptions::ESecurity::StartTls, certificates.Loopback.Certificate,
                                              certificates.Loopback.Key, "ada", "right password");
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    const std::string typed = "127.0.0.1:" + server.Port();
    ASSERT_TRUE(account::SaveServerSettings(typed, {ESecurity::StartTls, "ada", true, ""}));
    Open();
    keyring->Entries["ada@" + typed] = "wrong password";
    Address(typed);
    form->BCC->setEditText(QStringLiteral("Carol <carol@example.org>"));
    form->StampImageClick();
    EXPECT_TRUE(form->StatusText().startsWith(QStringLiteral("Error: 535 "))) << form->StatusText().toStdString();
    EXPECT_TRUE(prompts.empty());  // the keyring's password was tried first
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("bob@example.org"));
    EXPECT_TRUE(std::filesystem::is_empty(form->SentFolder / "tmp")) << "a failed send keeps no copy";
    EXPECT_TRUE(std::filesystem::is_empty(form->SentFolder / "cur"));

    typedPassword = "right password";
    form->StampImageClick();
    EXPECT_EQ(prompts.size(), 1u);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Successful: Ready for your mail."));
    EXPECT_TRUE(keyring->Entries["ada@" + typed] == "right password");
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_NE(message->Tls, "");
    EXPECT_TRUE(message->Auth.ends_with(" ada")) << message->Auth;
    // The Sent folder holds exactly what the server got, and the Bcc the server never saw.
    const std::filesystem::directory_iterator kept(form->SentFolder / "cur");
    ASSERT_NE(kept, std::filesystem::directory_iterator());
    EXPECT_EQ(test::ReadWholeFile(kept->path()), "Bcc: Carol <carol@example.org>\r\n" + message->Raw);
    EXPECT_EQ(server.AuthAttempts().size(), 2u);
    EXPECT_TRUE(StatusesMention("Starting encryption with 127.0.0.1 . . ."));
    EXPECT_TRUE(StatusesMention("Signing in as ada . . ."));
    EXPECT_FALSE(StatusesMention("wrong password") || StatusesMention("right password"));
}

TEST_F(MainServersTlsTest, TheServersSentFolderGetsTheCopyAndAFailedCopyLeavesTheSendSuccessful) {
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    test::TAiosmtpdServer server(test::SignInRequired(test::TAiosmtpdOptions::ESecurity::ImplicitTls,
                                                      certificates.Loopback.Certificate, certificates.Loopback.Key,
                                                      "jo", "secret"));
    test::TDovecotServer imap({test::TDovecotOptions::ESentFolder::SpecialUse, certificates.Loopback.Certificate,
                               certificates.Loopback.Key, "jo", "secret", ""});
    test::TDovecotServer noSent({test::TDovecotOptions::ESentFolder::None, certificates.Loopback.Certificate,
                                 certificates.Loopback.Key, "jo", "secret", ""});
    ASSERT_TRUE(server.Running()) << server.Problem();
    ASSERT_TRUE(imap.Running()) << imap.Problem();
    ASSERT_TRUE(noSent.Running()) << noSent.Problem();
    const std::string typed = "127.0.0.1:" + server.Port();
    account::TServerSettings settings{ESecurity::Tls, "jo", true, ""};
    settings.CopyToSent = true;
    settings.ImapServer = "127.0.0.1:" + std::to_string(imap.StartTlsPort());
    settings.ImapSecurity = ESecurity::StartTls;
    ASSERT_TRUE(account::SaveServerSettings(typed, settings));
    Open();
    keyring->Entries["jo@" + typed] = "secret";
    Address(typed);
    form->BCC->setEditText(QStringLiteral("carol@example.org"));
    form->StampImageClick();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Successful: Ready for your mail."));
    EXPECT_TRUE(StatusesMention("Saving a copy to Sent on 127.0.0.1 . . ."));
    const auto copies = imap.Messages("Sent Items");
    ASSERT_EQ(copies.size(), 1u) << imap.Log();
    ASSERT_TRUE(server.Message(1).has_value());
    EXPECT_EQ(copies[0].Bytes, "Bcc: carol@example.org\r\n" + server.Message(1)->Raw);
    EXPECT_EQ(copies[0].Flags, "S");

    // A server without a Sent folder: the mail went, the local copy is kept, and both are said.
    settings.ImapServer = "127.0.0.1:" + std::to_string(noSent.TlsPort());
    settings.ImapSecurity = ESecurity::Tls;
    ASSERT_TRUE(account::SaveServerSettings(typed, settings));
    Address(typed);
    form->StampImageClick();
    EXPECT_TRUE(form->StatusText().startsWith(QStringLiteral("Successful; the copy to Sent failed: ")))
        << form->StatusText().toStdString();
    EXPECT_TRUE(server.Message(2).has_value());
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(form->SentFolder / "cur"),
                            std::filesystem::directory_iterator()),
              2);
    EXPECT_FALSE(StatusesMention("secret"));
}

TEST_F(MainServersTlsTest, AnUntrustedCertificateCanBeTrustedForThatServerAndAChangedOneIsRefused) {
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    test::TAiosmtpdOptions options;
    options.Security = test::TAiosmtpdOptions::ESecurity::ImplicitTls;
    // A certificate whose subject breaks its line to show a fingerprint of its own choosing.
    options.CertificateFile = certificates.Forged.Certificate;
    options.KeyFile = certificates.Forged.Key;
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    const std::string typed = "127.0.0.1:" + server.Port();
    ASSERT_TRUE(account::SaveServerSettings(typed, {ESecurity::Tls, "", true, ""}));
    Open();
    QString details;
    QString fingerprint;
    bool trust = true;
    form->RunCertificateDialog = [&](TCertificateDialog& dialog) {
        details = dialog.Details->text();
        fingerprint = dialog.Fingerprint->text();
        return trust;
    };
    Address(typed);
    form->StampImageClick();
    EXPECT_EQ(fingerprint.toStdString(), certificates.Forged.Sha256Fingerprint);
    EXPECT_TRUE(details.contains(QStringLiteral("Subject: description=\\u2028SHA-256: AA:AA"))) << details.toStdString();
    EXPECT_FALSE(details.contains(QChar(0x2028)));
    EXPECT_TRUE(details.contains(QStringLiteral("Valid from ")));
    EXPECT_EQ(account::LoadServerSettings(typed).TrustedFingerprint, certificates.Forged.Sha256Fingerprint);
    EXPECT_EQ(form->StatusText(), QStringLiteral("The certificate of 127.0.0.1 is trusted now: send again."));
    EXPECT_TRUE(StatusesMention("Error: 108 "));
    EXPECT_FALSE(server.Message(1).has_value());

    form->StampImageClick();  // the user sends again
    EXPECT_EQ(form->StatusText(), QStringLiteral("Successful: Ready for your mail."));
    ASSERT_TRUE(server.Message(1).has_value());

    // Another certificate than the one trusted is refused again, and the dialog says so.
    ASSERT_TRUE(account::SaveServerSettings(typed, {ESecurity::Tls, "", true, certificates.Loopback.Sha256Fingerprint}));
    trust = false;
    details.clear();
    form->StampImageClick();
    EXPECT_TRUE(form->StatusText().startsWith(QStringLiteral("Error: 108 "))) << form->StatusText().toStdString();
    EXPECT_TRUE(details.contains(QStringLiteral("not the certificate you trusted"))) << details.toStdString();
    EXPECT_EQ(account::LoadServerSettings(typed).TrustedFingerprint, certificates.Loopback.Sha256Fingerprint);
    EXPECT_FALSE(server.Message(2).has_value());
}

// A provider table of one entry for loop.test, naming a real aiosmtpd server over implicit TLS
// that wants jo's sign-in; every other source of the lookup asks only loopback and finds
// nothing, so any other domain is not found.
class MainServersFindTest : public MainServersTlsTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(certificates.Made()) << certificates.Problem();
        ASSERT_TRUE(server.Running()) << server.Problem();
        table.push_back({"loop", "Loopback Mail", {"loop.test"}, {}, {"127.0.0.1", std::stoi(server.Port()), ESecurity::Tls},
                         "%EMAILLOCALPART%", {account::ESignIn::Password}, false, std::nullopt, std::nullopt});
        Open();
        form->FinderOptions.Providers = &table;
        form->FinderOptions.Autoconfig.Endpoints = {{"nothing.invalid", "https://127.0.0.1:1"}};
        form->FinderOptions.Dns = {QHostAddress(QHostAddress::LocalHost), 1s};
        form->FinderOptions.ProbeDeadline = 1s;
        form->FinderOptions.Candidates = [this](const std::string&) {
            return std::vector<account::TProbeCandidate>{{"127.0.0.1", std::stoi(refusing.Port()), ESecurity::Tls}};
        };
    }
    std::string Found() const { return "127.0.0.1:" + server.Port(); }

    test::TAiosmtpdServer server{test::SignInRequired(test::TAiosmtpdOptions::ESecurity::ImplicitTls,
                                                      certificates.Loopback.Certificate, certificates.Loopback.Key,
                                                      "jo", "secret")};
    test::TRefusingPort refusing;
    std::vector<account::TProvider> table;
};

TEST_F(MainServersFindTest, SendingWithSmtpEmptyFindsTheServerAndGoesOnOnlyOnceTheUserAcceptsIt) {
    std::vector<QString> proposals;
    bool accept = false;
    form->AcceptProposal = [&](const QString& description) {
        proposals.push_back(description);
        return accept;
    };
    typedPassword = "secret";
    Address("");
    form->From->setEditText(QStringLiteral("Jo <jo@loop.test>"));
    form->StampImageClick();  // refused: nothing is sent, nothing stored
    ASSERT_EQ(proposals.size(), 1u);
    EXPECT_EQ(proposals[0].toStdString(), Found() + ", SSL/TLS, user jo (from the provider table: Loopback Mail)");
    EXPECT_TRUE(StatusesMention("Looking up the mail server for loop.test . . ."));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Canceled: Ready for your mail."));
    EXPECT_EQ(form->Smtp->currentText(), QString());
    EXPECT_EQ(account::LoadServerSettings(Found()), account::TServerSettings{});

    accept = true;
    form->StampImageClick();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Successful: Ready for your mail."));
    EXPECT_EQ(form->Smtp->currentText().toStdString(), Found());
    EXPECT_EQ(account::LoadServerSettings(Found()), (account::TServerSettings{ESecurity::Tls, "jo", true, ""}));
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->Auth.ends_with(" jo")) << message->Auth;

    // A domain no source knows: said, and the mail stays as typed.
    statuses.clear();
    Address("");
    form->From->setEditText(QStringLiteral("jo@unknown.test"));
    form->StampImageClick();
    EXPECT_EQ(form->StatusText(), QStringLiteral("No mail server found for unknown.test: type it into Smtp."));
    EXPECT_EQ(proposals.size(), 2u);
    EXPECT_EQ(form->Smtp->currentText(), QString());
    EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("bob@example.org"));
    EXPECT_FALSE(StatusesMention("Connecting"));
}

// What the dialog's Test button reports once it has ended.
QString Tested(TServerSettingsDialog& dialog) {
    dialog.Test->click();
    EXPECT_TRUE(test::RunEventsUntil([&] { return dialog.Test->text() == QStringLiteral("&Test"); }, 30s));
    return dialog.TestReport->toPlainText();
}

TEST_F(MainServersFindTest, TheSettingsDialogFindsTheServerKeepsWhatTheUserTypedAndTestsWithoutSending) {
    int shown = 0;
    // Opened with Smtp empty: the dialog looks the server up for From at once.
    form->RunServerDialog = [&](TServerSettingsDialog& dialog) {
        ++shown;
        EXPECT_TRUE(test::RunEventsUntil([&] { return dialog.Found->text().startsWith("Found: "); }, 10s))
            << dialog.Found->text().toStdString();
        EXPECT_EQ(dialog.Heading->text().toStdString(), "Settings of " + Found());
        EXPECT_EQ(dialog.Security->currentText(), QStringLiteral("SSL/TLS"));
        EXPECT_EQ(dialog.UserName->text(), QStringLiteral("jo"));
        dialog.Password->setText(QStringLiteral("wrong"));
        const QString refused = Tested(dialog);
        EXPECT_TRUE(refused.contains(QStringLiteral("The server refused signing in as jo: 535"))) << refused.toStdString();
        EXPECT_TRUE(refused.endsWith(QStringLiteral("These settings do not work."))) << refused.toStdString();
        dialog.Password->setText(QStringLiteral("secret"));
        const QString works = Tested(dialog);
        EXPECT_TRUE(works.contains(QStringLiteral("Certificate: CN=loopback"))) << works.toStdString();
        EXPECT_TRUE(works.endsWith(QStringLiteral("Signed in as jo.\nThese settings work."))) << works.toStdString();
        EXPECT_FALSE(works.contains(QStringLiteral("secret")));
        return true;
    };
    Address("");
    form->From->setEditText(QStringLiteral("jo@loop.test"));
    form->SmtpSettingsClick();
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(form->Smtp->currentText().toStdString(), Found());
    EXPECT_EQ(account::LoadServerSettings(Found()), (account::TServerSettings{ESecurity::Tls, "jo", true, ""}));
    EXPECT_TRUE(keyring->Entries["jo@" + Found()] == "secret");
    EXPECT_FALSE(server.Message(1).has_value());  // testing sends no mail

    // With a server typed, Find is the user's to press, and a user name typed or a security
    // picked in the dialog stays; the refusing server tests as not working.
    const std::string typed = "127.0.0.1:" + refusing.Port();
    form->Smtp->setEditText(QString::fromStdString(typed));
    form->RunServerDialog = [&](TServerSettingsDialog& dialog) {
        EXPECT_TRUE(Tested(dialog).contains(QStringLiteral(": connection refused.")));
        dialog.UserName->setText(QStringLiteral("custom"));
        dialog.UserName->setModified(true);  // as typing would
        dialog.FindSettings->click();
        EXPECT_TRUE(test::RunEventsUntil([&] { return dialog.Found->text().startsWith("Found: "); }, 10s));
        EXPECT_EQ(dialog.Security->currentText(), QStringLiteral("SSL/TLS"));
        EXPECT_EQ(dialog.UserName->text(), QStringLiteral("custom"));
        return false;  // cancelled: nothing changes
    };
    form->SmtpSettingsClick();
    EXPECT_EQ(form->Smtp->currentText().toStdString(), typed);
    EXPECT_EQ(account::LoadServerSettings(typed), account::TServerSettings{});
}

}  // namespace
}  // namespace corvane::app
