#include "app/send/OAuth2Token.h"

#include <QEventLoop>
#include <chrono>
#include <memory>
#include <ostream>

#include "account/FreshAccessToken.h"
#include "account/Keyring.h"
#include "account/OAuth2DeviceSignIn.h"
#include "account/Passwords.h"
#include "account/ServerOAuth2.h"
#include "account/ServerSettings.h"
#include "account/TokenBook.h"
#include "app/send/CoreApplication.h"
#include "app/send/Credentials.h"
#include "app/send/SendJob.h"
#include "app/send/StoredSettings.h"

namespace corvane::send {

namespace {

constexpr const char* SignInOnceAdvice = "sign in once in Corvane's window, or send with --oauth2-device";

// The account the token is for: its keyring name (PasswordKey's, which the window uses too)
// and how its provider signs in.
struct TAccount {
    std::string Key;
    std::string User;
    account::TServerOAuth2 SignIn;
};

TAccount AccountOf(const TSendOptions& options) {
    const mail::TServerAddress server = ServerOf(options);
    account::TServerSettings settings = StoredSettings(options.Server);
    // The user of this send, whoever the window signs in as there.
    settings.UserName = options.User;
    return {account::PasswordKey(options.User, server.Host, server.Port), options.User,
            account::ServerOAuth2(server.Host, settings)};
}

std::string Lifetime(std::chrono::seconds life) {
    return life >= std::chrono::minutes(2)
               ? std::to_string(std::chrono::duration_cast<std::chrono::minutes>(life).count()) + " minutes"
               : std::to_string(life.count()) + " seconds";
}

// Said even with --quiet: without it nobody can sign in.
void ShowCode(const account::TDeviceCode& code, std::ostream& status, std::ostream& progress) {
    Say(status, "To sign in, open " + code.VerificationUrl + " on any device and enter the code " + code.UserCode +
                    " (valid for " + Lifetime(code.ExpiresIn) + ").");
    if (!code.VerificationUrlComplete.empty()) {
        Say(status, "Or open " + code.VerificationUrlComplete + ", which holds the code already.");
    }
    Say(progress, "Waiting for the sign-in . . .");
}

TOAuth2Token SignInOnAnyDevice(const TAccount& account, account::TTokenBook& book, std::ostream& status,
                               std::ostream& progress, const std::atomic<bool>& interrupted) {
    if (account.SignIn.Grant.DeviceAuthorizationUrl.empty()) {
        return {std::nullopt, ExitUsage,
                account.SignIn.ProviderName +
                    " offers no sign-in without a browser: sign in once in Corvane's window, then send without "
                    "--oauth2-device"};
    }
    Say(progress, account::SigningInWithText(account.User, account.SignIn.ProviderName));
    account::TOAuth2DeviceSignIn signIn;
    QEventLoop loop;
    account::TOAuth2Outcome outcome;
    signIn.OnCode = [&](account::TOAuth2DeviceSignIn&, const account::TDeviceCode& code) {
        ShowCode(code, status, progress);
    };
    signIn.OnDone = [&](account::TOAuth2DeviceSignIn&, const account::TOAuth2Outcome& done) {
        outcome = done;
        loop.quit();
    };
    signIn.Start(account.SignIn.Grant);
    if (!RunUntilDone(loop, interrupted, [&signIn] { signIn.Cancel(); })) {
        return {std::nullopt, ExitCancelled, {}};
    }
    if (outcome.End != account::EOAuth2End::Granted) {
        return {std::nullopt, ExitFailed, account::SignInEndText(outcome)};
    }
    book.Keep(account.Key, outcome.Tokens);
    if (!book.KeyringAvailable()) {
        Say(status, "corvane-send: the sign-in is not kept, for there is no keyring: the next send needs "
                    "--oauth2-device again.");
    }
    return {std::move(outcome.Tokens.AccessToken), ExitAccepted, {}};
}

// Why no refresh token is kept for Key, or nothing when the keyring holds one. Asked before
// the refresh, which cannot tell a keyring without the entry from no keyring at all.
std::optional<std::string> NoKeptSignIn(const std::string& key) {
    account::TKeyringAnswer answer = account::TSecretServiceKeyring().Read(account::RefreshTokenKey(key));
    const bool held = !answer.Password.empty();
    account::Wipe(answer.Password);
    switch (answer.Status) {
        case account::EKeyringStatus::Done:
            if (held) {
                return std::nullopt;
            }
            break;
        case account::EKeyringStatus::NotFound:
            break;
        case account::EKeyringStatus::Unavailable:
            return "no keyring to read the OAuth2 sign-in for " + key + " from (" + answer.Problem +
                   "): send with --oauth2-device or --token-command";
    }
    return "no OAuth2 sign-in is kept for " + key + ": " + SignInOnceAdvice;
}

TOAuth2Token RefreshKeptSignIn(const TAccount& account, account::TTokenBook& book, std::ostream& progress,
                               const std::atomic<bool>& interrupted) {
    if (std::optional<std::string> problem = NoKeptSignIn(account.Key)) {
        return {std::nullopt, ExitUsage, std::move(*problem)};
    }
    Say(progress, "Getting an access token from " + account.SignIn.ProviderName + " . . .");
    account::TFreshAccessToken fresh(book);
    QEventLoop loop;
    account::TOAuth2Outcome outcome;
    fresh.OnDone = [&](account::TFreshAccessToken&, const account::TOAuth2Outcome& done) {
        outcome = done;
        loop.quit();
    };
    fresh.Start(account.Key, account.SignIn.Grant);
    if (!RunUntilDone(loop, interrupted, [&fresh] { fresh.Cancel(); })) {
        return {std::nullopt, ExitCancelled, {}};
    }
    switch (outcome.End) {
        case account::EOAuth2End::Granted:
            return {std::move(outcome.Tokens.AccessToken), ExitAccepted, {}};
        case account::EOAuth2End::SignInAgain:
            // The book has forgotten it: the next send need not ask the provider to learn that.
            return {std::nullopt, ExitUsage,
                    "the OAuth2 sign-in kept for " + account.Key + " is no longer valid, and is forgotten (" +
                        outcome.Problem + "): " + SignInOnceAdvice};
        case account::EOAuth2End::Refused:
        case account::EOAuth2End::Expired:
        case account::EOAuth2End::TimedOut:
        case account::EOAuth2End::Failed:
            break;
    }
    return {std::nullopt, ExitFailed, account::SignInEndText(outcome)};
}

}  // namespace

TOAuth2Token FetchOAuth2Token(const TSendOptions& options, std::ostream& status, const std::atomic<bool>& interrupted) {
    std::ostream quiet(nullptr);
    std::ostream& progress = options.Quiet ? quiet : status;
    const TCoreApplicationScope qt;
    const TAccount account = AccountOf(options);
    if (!account.SignIn.Problem.empty()) {
        return {std::nullopt, ExitUsage, account.SignIn.Problem};
    }
    account::TTokenBook book(std::make_unique<account::TSecretServiceKeyring>());
    return options.OAuth2Device ? SignInOnAnyDevice(account, book, status, progress, interrupted)
                                : RefreshKeptSignIn(account, book, progress, interrupted);
}

}  // namespace corvane::send
