// The window's OAuth2 sign-in against real servers on loopback: aiosmtpd over implicit TLS that
// takes exactly the access tokens the loopback OAuth2 server issued, and a browser stand-in in
// place of the desktop's. The first send signs in in the browser, later ones refresh silently,
// a revoked grant or a refused token leads to a new sign-in, and a sign-in that is refused,
// abandoned, cancelled or answered with another state sends nothing and keeps what was typed.
// No token may reach a status text or the settings store.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "AiosmtpdServer.h"
#include "BrowserStandIn.h"
#include "EventLoop.h"
#include "MemoryKeyring.h"
#include "OAuthServer.h"
#include "RegistryTestSupport.h"
#include "TempFolder.h"
#include "TestCertificates.h"
#include "app/Main.h"
#include "app/ServerDialogs.h"

namespace corvane::app {
namespace {

using namespace std::chrono_literals;
using mail::ESecurity;

constexpr const char* User = "ada@loop.test";

class MainSignInTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(certificates.Made()) << certificates.Problem();
        ASSERT_TRUE(oauth.Running()) << oauth.Problem();
        ASSERT_TRUE(smtp.Running()) << smtp.Problem();
        Behave("ok");
        ASSERT_TRUE(account::SaveServerSettings(Server(), Settings()));
        form = std::make_unique<TMainForm>();
        form->ShowMessage = [](const QString&) {};
        auto owned = std::make_unique<test::TMemoryKeyring>();
        keyring = owned.get();
        form->Tokens.SetKeyring(std::move(owned));
        form->FinderOptions.Providers = &table;
        form->OAuth2Options.AllowLoopbackHttp = true;
        form->OpenSignInPage = browser.Opener();
        QObject::connect(form->StatusBar, &desktop::TEnStatusBar::PanelTextChanged, form.get(),
                         [this](int index, const QString& text) {
                             if (index == 0) {
                                 statuses.push_back(text.toStdString());
                             }
                         });
        form->From->setEditText(QString::fromLatin1(User));
        form->Smtp->setEditText(QString::fromStdString(Server()));
        form->Clear_SendTo->setChecked(true);
    }

    // The provider of 127.0.0.1 signs in at the OAuth2 server behaving as Mode.
    void Behave(const std::string& mode) {
        const account::TOAuth2Grant grant = oauth.Grant(mode);
        table = {{"loop", "Loopback Mail", {"loop.test"}, {}, {"127.0.0.1", std::stoi(smtp.Port()), ESecurity::Tls},
                  "%EMAILADDRESS%", {account::ESignIn::OAuth2}, false, std::nullopt,
                  account::TOAuth2Provider{"loop", "http://127.0.0.1", grant.AuthorizationUrl, grant.TokenUrl,
                                           grant.DeviceAuthorizationUrl, grant.Scopes, ""}}};
    }
    static account::TServerSettings Settings() {
        account::TServerSettings settings{ESecurity::Tls, User, true, ""};
        settings.SignIn = mail::ESignInKind::OAuth2;
        settings.OAuth2ClientId = test::TOAuthServer::ClientId;
        return settings;
    }
    std::string Server() const { return "127.0.0.1:" + smtp.Port(); }
    std::string AccountKey() const { return account::PasswordKey(User, "127.0.0.1", smtp.Port()); }

    // Sends a message with To filled in; true when the server took it.
    bool Send() {
        form->SendTo->setEditText(QStringLiteral("bob@example.org"));
        form->Messages->setPlainText(QStringLiteral("Hello"));
        form->StampImageClick();
        return form->StatusText() == QStringLiteral("Successful: Ready for your mail.");
    }
    bool StatusesMention(const std::string& text) const {
        return std::any_of(statuses.begin(), statuses.end(),
                           [&](const std::string& status) { return status.find(text) != std::string::npos; });
    }
    // What a failed sign-in must leave: nothing sent, the addressee still there.
    void ExpectNothingSentAndFieldsKept(int messagesBefore) {
        EXPECT_FALSE(smtp.Message(messagesBefore + 1).has_value());
        EXPECT_EQ(form->SendTo->currentText(), QStringLiteral("bob@example.org"));
        EXPECT_FALSE(form->Sending());
    }
    void ExpectNoTokenShownOrStored() {
        EXPECT_FALSE(StatusesMention("secret-"));
        test::TRawStore raw(store.StoreFile());
        EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE instr(data, 'secret-') > 0"), 0);
    }

    test::TScratchRegistry store;
    const test::TTestCertificates& certificates = test::TTestCertificates::Shared();
    test::TTrustOnly trustTheTestCa{certificates.CaFile};
    test::TTempFolder folder;
    test::TOAuthServer oauth{folder.Path() / "issued"};
    test::TAiosmtpdServer smtp{[this] {
        test::TAiosmtpdOptions options;
        options.Security = test::TAiosmtpdOptions::ESecurity::ImplicitTls;
        options.CertificateFile = certificates.Loopback.Certificate;
        options.KeyFile = certificates.Loopback.Key;
        options.User = User;
        options.IssuedTokens = folder.Path() / "issued";
        return options;
    }()};
    std::vector<account::TProvider> table;
    test::TBrowserStandIn browser;
    std::unique_ptr<TMainForm> form;
    test::TMemoryKeyring* keyring = nullptr;
    std::vector<std::string> statuses;
};

TEST_F(MainSignInTest, TheFirstSendSignsInInTheBrowserLaterOnesRefreshAndARevokedGrantSignsInAnew) {
    Behave("short");  // access tokens that have run out by the next send
    ASSERT_TRUE(Send()) << form->StatusText().toStdString();
    EXPECT_EQ(browser.Opened, 1);
    EXPECT_TRUE(StatusesMention("Signing in as ada@loop.test with Loopback Mail . . ."));
    EXPECT_TRUE(StatusesMention("Waiting for the sign-in in your browser . . ."));
    EXPECT_EQ(keyring->Entries.count(account::RefreshTokenKey(AccountKey())), 1u);
    ASSERT_TRUE(smtp.Message(1).has_value());
    EXPECT_EQ(smtp.Message(1)->Auth, std::string("XOAUTH2 ") + User);

    ASSERT_TRUE(Send()) << form->StatusText().toStdString();
    EXPECT_EQ(browser.Opened, 1) << "refreshed without the browser";

    Behave("revoked");
    ASSERT_TRUE(Send()) << form->StatusText().toStdString();
    EXPECT_EQ(browser.Opened, 2) << "signed in anew";
    EXPECT_TRUE(smtp.Message(3).has_value());
    EXPECT_TRUE(form->WrenSMTP.AccessToken.empty());
    ExpectNoTokenShownOrStored();
}

TEST_F(MainSignInTest, ATokenTheServerRefusesIsReplacedOnceAndTheSendGoesThrough) {
    account::TOAuth2Tokens stale;
    stale.AccessToken = "secret-at-never-issued";
    stale.RefreshToken = "secret-rt-never-issued";
    stale.ExpiresAt = std::chrono::system_clock::now() + 1h;
    form->Tokens.Keep(AccountKey(), stale);
    ASSERT_TRUE(Send()) << form->StatusText().toStdString();
    // Refused, then the refresh token was refused too (invalid_grant): a new sign-in.
    EXPECT_EQ(browser.Opened, 1);
    EXPECT_EQ(smtp.AuthAttempts().size(), 2u);
    EXPECT_FALSE(smtp.Message(2).has_value());
    ExpectNoTokenShownOrStored();
}

TEST_F(MainSignInTest, ARefusedAbandonedCancelledOrForgedSignInSendsNothingAndKeepsWhatWasTyped) {
    Behave("deny");
    EXPECT_FALSE(Send());
    EXPECT_TRUE(form->StatusText().startsWith(QStringLiteral("Not signed in: the sign-in was refused")))
        << form->StatusText().toStdString();
    ExpectNothingSentAndFieldsKept(0);

    Behave("ok");
    browser.Forge = true;
    EXPECT_FALSE(Send());
    EXPECT_TRUE(form->StatusText().startsWith(QStringLiteral("Not signed in: "))) << form->StatusText().toStdString();
    ExpectNothingSentAndFieldsKept(0);

    browser.Forge = false;
    browser.Silent = true;
    form->OAuth2Options.Deadline = 1500ms;
    EXPECT_FALSE(Send());
    EXPECT_TRUE(form->StatusText().contains(QStringLiteral("not done within"))) << form->StatusText().toStdString();
    ExpectNothingSentAndFieldsKept(0);

    // Cancel in the dialog that waits, which shows the page's address for opening by hand.
    form->OAuth2Options.Deadline = 60s;
    QString shownAddress;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, form.get(), [&] {
        if (TSignInDialog* dialog = form->SignInWaiting()) {
            shownAddress = dialog->Address->text();
            dialog->Buttons->button(QDialogButtonBox::Cancel)->click();
        }
    });
    cancel.start(50);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(Send());
    EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
    EXPECT_EQ(form->StatusText(), QStringLiteral("Canceled: Ready for your mail."));
    EXPECT_TRUE(shownAddress.contains(QStringLiteral("/ok/authorize?"))) << shownAddress.toStdString();
    ExpectNothingSentAndFieldsKept(0);
    EXPECT_EQ(keyring->Entries.size(), 0u);
}

TEST_F(MainSignInTest, WithoutABrowserTheUserSignsInOnAnotherDeviceWithTheCodeShown) {
    form->OpenSignInPage = [](const QUrl&) { return false; };
    QString code;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, form.get(), [&] {
        if (TSignInDialog* dialog = form->SignInWaiting(); dialog != nullptr && dialog->Code->isVisible()) {
            code = dialog->Code->text();
        }
    });
    watch.start(50);
    ASSERT_TRUE(Send()) << form->StatusText().toStdString();  // pending, slow_down, then tokens
    EXPECT_EQ(code, QStringLiteral("WDJB-MJHT"));
    EXPECT_TRUE(StatusesMention("Waiting for the sign-in on another device . . ."));
    EXPECT_TRUE(smtp.Message(1).has_value());
}

TEST_F(MainSignInTest, TheSettingsDialogStoresTheSignInAndSaysWhatOAuth2Lacks) {
    form->RunServerDialog = [&](TServerSettingsDialog& dialog) {
        EXPECT_EQ(dialog.SignIn->currentIndex(), 1);
        EXPECT_FALSE(dialog.Password->isEnabled());
        EXPECT_TRUE(dialog.OAuth2Note->text().contains(QStringLiteral("Loopback Mail")));
        dialog.ClientId->clear();
        dialog.ClientId->textEdited(QString());
        EXPECT_TRUE(dialog.OAuth2Note->text().contains(QStringLiteral("client ID")))
            << dialog.OAuth2Note->text().toStdString();
        dialog.Tenant->setText(QStringLiteral("contoso.example"));
        return true;
    };
    form->SmtpSettingsClick();
    const account::TServerSettings stored = account::LoadServerSettings(Server());
    EXPECT_EQ(stored.SignIn, mail::ESignInKind::OAuth2);
    EXPECT_EQ(stored.OAuth2ClientId, "");
    EXPECT_EQ(stored.OAuth2Tenant, "contoso.example");

    // Without a client, a send says so at once, and opens no browser.
    EXPECT_FALSE(Send());
    EXPECT_TRUE(form->StatusText().contains(QStringLiteral("client ID"))) << form->StatusText().toStdString();
    EXPECT_EQ(browser.Opened, 0);
    ExpectNothingSentAndFieldsKept(0);
}

}  // namespace
}  // namespace corvane::app
