// The OAuth2 sign-in of a send: the account's access token from the token book, refreshed when
// it has run out; a new sign-in in the user's browser when the book has none or the provider no
// longer takes it (on another device with a code where no browser opens); and one more token
// when the server refused the one it was given. Every wait keeps the window alive and ends at
// Esc, at Cancel in the sign-in dialog, when the window closes, or at its own deadline; a sign-in
// that ends without a token sends nothing and leaves every field as typed.

#include <QCheckBox>
#include <QDesktopServices>
#include <QEventLoop>

#include "account/FreshAccessToken.h"
#include "account/OAuth2DeviceSignIn.h"
#include "account/OAuth2SignIn.h"
#include "account/ServerOAuth2.h"
#include "app/Main.h"
#include "app/ServerDialogs.h"

namespace corvane::app {

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

using TOutcome = std::optional<account::TOAuth2Outcome>;

// Why a sign-in that ended did not give a token (the provider's reason in its own words).
QString NotSignedInText(const account::TOAuth2Outcome& outcome) {
    if (outcome.End == account::EOAuth2End::SignInAgain) {
        return TMainForm::tr("The sign-in is no longer valid (%1): send again to sign in anew.").arg(Text(outcome.Problem));
    }
    return TMainForm::tr("Not signed in: %1.").arg(Text(outcome.Problem));
}

// Starts Attempt and lets Wait run the event loop until it reports; nothing when the wait was
// cancelled first.
template <class TAttempt, class TStart, class TWait>
TOutcome OutcomeOf(TAttempt& attempt, TStart start, TWait wait) {
    TOutcome outcome;
    QEventLoop loop;
    attempt.OnDone = [&outcome, &loop](TAttempt&, const account::TOAuth2Outcome& done) {
        outcome = done;
        loop.quit();
    };
    start();
    wait(loop, [&attempt] { attempt.Cancel(); });
    return outcome;
}

}  // namespace

void TMainForm::CreateSignIn() {
    OpenSignInPage = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
}

bool TMainForm::ProvideAccessToken() {
    account::Wipe(WrenSMTP.AccessToken);
    const account::TServerOAuth2 oauth2 = account::ServerOAuth2(WrenSMTP.Host, m_sendSettings, *FinderOptions.Providers);
    if (!oauth2.Problem.empty()) {
        SignInFailed(Text(oauth2.Problem));
        return false;
    }
    SetStatusText(tr("Signing in as %1 with %2 . . .").arg(Text(WrenSMTP.UserName), Text(oauth2.ProviderName)));
    TOutcome outcome = FreshAccessToken(oauth2.Grant);
    if (outcome && outcome->End == account::EOAuth2End::SignInAgain) {
        // The first sign-in needs no reason; a grant the provider stopped taking does.
        const QString reason =
            outcome->Problem == account::TOAuth2Refresh::NoRefreshToken
                ? QString()
                : tr("%1 no longer accepts your earlier sign-in.").arg(Text(oauth2.ProviderName));
        outcome = SignInAnew(oauth2, reason);
        if (outcome && outcome->End == account::EOAuth2End::Granted) {
            Tokens.Keep(m_sendKey, outcome->Tokens);
        }
    }
    if (!outcome) {
        SetStatusText(tr("Canceled: Ready for your mail."));
        return false;
    }
    if (outcome->End != account::EOAuth2End::Granted) {
        SignInFailed(NotSignedInText(*outcome));
        return false;
    }
    WrenSMTP.SignInKind = mail::ESignInKind::OAuth2;
    WrenSMTP.AccessToken = outcome->Tokens.AccessToken;  // the outcome wipes its own copy
    if (const std::string notice = Tokens.TakeNotice(); !notice.empty()) {
        SetStatusText(Text(notice));
    }
    return true;
}

bool TMainForm::SignInAgainAfterRefusal() {
    if (m_sendSettings.SignIn != mail::ESignInKind::OAuth2 || !WrenSMTP.TokenRefused || WrenSMTP.Aborted ||
        m_quitWhenSent) {
        return false;
    }
    // The token may have been revoked or cut short by the provider: a new one is worth one try.
    Tokens.Refused(m_sendKey);
    m_lastError = 0;
    m_lastErrorText.clear();
    return ProvideAccessToken();
}

void TMainForm::SignInFailed(const QString& text) {
    if (PlayWave->isChecked()) {
        PlaySound("error");
    }
    SetStatusText(text);
}

TOutcome TMainForm::FreshAccessToken(const account::TOAuth2Grant& grant) {
    account::TOAuth2Options options = account::TOAuth2Refresh::DefaultOptions();
    options.AllowLoopbackHttp = OAuth2Options.AllowLoopbackHttp;
    account::TFreshAccessToken fresh(Tokens, options);
    return OutcomeOf(
        fresh, [&] { fresh.Start(m_sendKey, grant); },
        [this](QEventLoop& wait, const std::function<void()>& cancel) { WaitFor(wait, cancel, nullptr); });
}

TOutcome TMainForm::SignInAnew(const account::TServerOAuth2& oauth2, const QString& reason) {
    TSignInDialog dialog(this, Text(WrenSMTP.UserName), Text(oauth2.ProviderName), reason);
    bool noBrowser = false;
    TOutcome outcome = SignInInBrowser(oauth2.Grant, dialog, noBrowser);
    if (noBrowser) {
        outcome = SignInOnAnotherDevice(oauth2.Grant, dialog);
    }
    dialog.hide();
    return outcome;
}

// NoBrowser is set when no browser could be opened and the provider offers the sign-in with a
// code instead; without that, the dialog shows the page's address and the wait goes on, for
// the user to open it by hand.
TOutcome TMainForm::SignInInBrowser(const account::TOAuth2Grant& grant, TSignInDialog& dialog, bool& noBrowser) {
    account::TOAuth2SignIn signIn(OAuth2Options);
    const bool codeOffered = !grant.DeviceAuthorizationUrl.empty();
    signIn.OpenUrl = [&](const QUrl& url) {
        dialog.ShowBrowserPage(url);
        const bool opened = OpenSignInPage(url);
        noBrowser = !opened && codeOffered;
        return opened || !codeOffered;
    };
    SetStatusText(tr("Waiting for the sign-in in your browser . . ."));
    return OutcomeOf(
        signIn, [&] { signIn.Start(grant); },
        [&](QEventLoop& wait, const std::function<void()>& cancel) { WaitFor(wait, cancel, &dialog); });
}

TOutcome TMainForm::SignInOnAnotherDevice(const account::TOAuth2Grant& grant, TSignInDialog& dialog) {
    account::TOAuth2Options options = account::TOAuth2DeviceSignIn::DefaultOptions();
    options.AllowLoopbackHttp = OAuth2Options.AllowLoopbackHttp;
    account::TOAuth2DeviceSignIn signIn(options);
    signIn.OnCode = [&dialog](account::TOAuth2DeviceSignIn&, const account::TDeviceCode& code) {
        dialog.ShowDeviceCode(Text(code.VerificationUrl), Text(code.UserCode));
    };
    SetStatusText(tr("Waiting for the sign-in on another device . . ."));
    return OutcomeOf(
        signIn, [&] { signIn.Start(grant); },
        [&](QEventLoop& wait, const std::function<void()>& cancel) { WaitFor(wait, cancel, &dialog); });
}

void TMainForm::WaitFor(QEventLoop& wait, const std::function<void()>& cancel, TSignInDialog* dialog) {
    m_cancelWait = [&wait, &cancel] {
        cancel();
        wait.quit();
    };
    QMetaObject::Connection cancelled;
    if (dialog != nullptr) {
        cancelled = connect(dialog, &QDialog::rejected, &wait, [this] { CancelWait(); });
        m_signInDialog = dialog;
        dialog->open();
    }
    wait.exec();
    disconnect(cancelled);
    m_signInDialog = nullptr;
    m_cancelWait = nullptr;
}

}  // namespace corvane::app
