#include "account/OAuth2Client.h"

#ifndef CORVANE_OAUTH2_CLIENT_ID_GOOGLE
#error "account/CMakeLists.txt passes the client IDs to this file"
#endif

namespace corvane::account {

namespace {

struct TRegistration {
    std::string_view Name;
    std::string_view Owner;  // where the user registers one
    std::string_view Id;
    std::string_view Secret;
    std::string_view IdVariable;
    std::string_view SecretVariable;  // empty where the provider asks for none
};

constexpr TRegistration Registrations[] = {
    {"google", "Google", CORVANE_OAUTH2_CLIENT_ID_GOOGLE, CORVANE_OAUTH2_CLIENT_SECRET_GOOGLE,
     "CORVANE_OAUTH2_CLIENT_ID_GOOGLE", "CORVANE_OAUTH2_CLIENT_SECRET_GOOGLE"},
    {"microsoft", "Microsoft", CORVANE_OAUTH2_CLIENT_ID_MICROSOFT, "", "CORVANE_OAUTH2_CLIENT_ID_MICROSOFT", ""},
};

const TRegistration* Find(std::string_view name) {
    for (const TRegistration& registration : Registrations) {
        if (registration.Name == name) {
            return &registration;
        }
    }
    return nullptr;
}

}  // namespace

TOAuth2Client BuiltInOAuth2Client(std::string_view registration) {
    const TRegistration* found = Find(registration);
    return found == nullptr ? TOAuth2Client{} : TOAuth2Client{std::string(found->Id), std::string(found->Secret)};
}

std::string MissingOAuth2Client(const TProvider& provider) {
    if (!provider.OAuth2) {
        return "Corvane knows no OAuth2 sign-in for " + provider.Name + "; sign in with a password there.";
    }
    const TRegistration* registration = Find(provider.OAuth2->Client);
    if (registration == nullptr) {
        return "Corvane has no OAuth2 registration called \"" + provider.OAuth2->Client + "\" for " + provider.Name +
               "; sign in with a password there.";
    }
    const bool noId = registration->Id.empty();
    const bool noSecret = !registration->SecretVariable.empty() && registration->Secret.empty();
    if (!noId && !noSecret) {
        return {};
    }
    std::string missing = noId ? "-D" + std::string(registration->IdVariable) + "=<the client ID>" : "";
    if (noSecret) {
        missing += (missing.empty() ? "-D" : " and -D") + std::string(registration->SecretVariable) +
                   "=<the client secret shown with it>";
    }
    return "This build of Corvane cannot sign in to " + provider.Name + " with OAuth2: it was built without " +
           (noId ? "a client ID" : "the client secret") + " from " + std::string(registration->Owner) +
           ". Register Corvane with " + std::string(registration->Owner) +
           " as a desktop program (docs/OAUTH2.md says how) and build it again with " + missing + ".";
}

}  // namespace corvane::account
