#pragma once
// The client IDs this build of Corvane signs in with at the providers that take OAuth2: one
// per registration ("google", "microsoft"; a provider's entry names its own, TOAuth2Provider::
// Client). They are given when building (CMake cache variables CORVANE_OAUTH2_CLIENT_ID_GOOGLE,
// CORVANE_OAUTH2_CLIENT_ID_MICROSOFT; docs/OAUTH2.md says how to register one), never
// committed: a desktop program is a public client and can keep no secret (RFC 8252, section
// 8.5). Qt-free.

#include <string>
#include <string_view>

#include "account/ProviderTable.h"

namespace corvane::account {

struct TOAuth2Client {
    std::string Id;  // empty: this build was given none
    // Google gives its "Desktop app" clients a client secret that it does not treat as one for
    // installed programs, and its token endpoint still asks for it; empty elsewhere.
    std::string Secret;
};

// The client this build carries for Registration; an unknown registration has none.
TOAuth2Client BuiltInOAuth2Client(std::string_view registration);

// Empty when this build can sign in at Provider with OAuth2; otherwise one plain sentence for
// the user: that the table knows no OAuth2 sign-in for the provider, or which client ID (and
// for Google the client secret) this build lacks and how to register one.
std::string MissingOAuth2Client(const TProvider& provider);

}  // namespace corvane::account
