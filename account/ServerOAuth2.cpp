#include "account/ServerOAuth2.h"

#include "account/OAuth2Client.h"

namespace corvane::account {

const TProvider* OAuth2ProviderForHost(std::string_view host, const std::vector<TProvider>& table) {
    const TProvider* provider = ProviderForSmtpHost(host, table);
    return provider != nullptr && provider->OAuth2 ? provider : nullptr;
}

TServerOAuth2 ServerOAuth2(std::string_view host, const TServerSettings& settings, const std::vector<TProvider>& table) {
    TServerOAuth2 result;
    const TProvider* provider = OAuth2ProviderForHost(host, table);
    if (provider == nullptr) {
        result.Problem = "Corvane knows no OAuth2 sign-in for " + std::string(host) +
                         ": OAuth2 works with the servers of the providers in docs/PROVIDERS.md that take it.";
        return result;
    }
    result.ProviderName = provider->Name;
    if (settings.UserName.empty()) {
        result.Problem = "Signing in with OAuth2 needs the user name: type your address into the server's settings.";
        return result;
    }
    result.Grant = GrantFor(*provider, settings.UserName, settings.OAuth2Tenant);
    if (!settings.OAuth2ClientId.empty()) {
        // The user's own registration: a secret this build carries belongs to another client.
        result.Grant.ClientId = settings.OAuth2ClientId;
        result.Grant.ClientSecret.clear();
    } else {
        result.Problem = MissingOAuth2Client(*provider);
        if (!result.Problem.empty()) {
            result.Problem += " Or type the client ID your organisation registered into the server's settings.";
        }
    }
    return result;
}

std::string SigningInWithText(std::string_view user, std::string_view provider) {
    return "Signing in as " + std::string(user) + " with " + std::string(provider) + " . . .";
}

std::string SignInEndText(const TOAuth2Outcome& outcome) {
    switch (outcome.End) {
        case EOAuth2End::Granted:
            return {};
        case EOAuth2End::SignInAgain:
            return "The sign-in is no longer valid (" + outcome.Problem + "): send again to sign in anew.";
        case EOAuth2End::Refused:
        case EOAuth2End::Expired:
        case EOAuth2End::TimedOut:
        case EOAuth2End::Failed:
            break;
    }
    return "Not signed in: " + outcome.Problem + ".";
}

}  // namespace corvane::account
