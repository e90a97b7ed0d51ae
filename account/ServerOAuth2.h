#pragma once
// How one server of the Smtp history signs in with OAuth2: the provider whose submission server
// it is (the provider table names each one's host), the user's own client ID or this build's,
// and the tenant. What the window and corvane-send ask before fetching a token, so both say
// the same thing when something is missing. Qt-free.

#include <string>
#include <string_view>
#include <vector>

#include "account/OAuth2Tokens.h"
#include "account/ProviderTable.h"
#include "account/ServerSettings.h"

namespace corvane::account {

// The provider with OAuth2 whose submission server is Host (ProviderForSmtpHost), or nullptr.
const TProvider* OAuth2ProviderForHost(std::string_view host, const std::vector<TProvider>& table = KnownProviders());

struct TServerOAuth2 {
    TOAuth2Grant Grant;        // ready when Problem is empty
    std::string ProviderName;  // "Google Mail", for the status texts
    std::string Problem;       // why no sign-in can start, in words for the user
};

// The sign-in at Host with Settings (its user name as the login hint, its client ID and tenant
// when typed).
TServerOAuth2 ServerOAuth2(std::string_view host, const TServerSettings& settings,
                           const std::vector<TProvider>& table = KnownProviders());

// "Signing in as USER with PROVIDER . . .", as corvane-send says it (the window says it in its
// own language).
std::string SigningInWithText(std::string_view user, std::string_view provider);

// What a sign-in that ended without a token means for the user, as a status text.
std::string SignInEndText(const TOAuth2Outcome& outcome);

}  // namespace corvane::account
