#pragma once
// The provider table shipped with the program (account/providers.json, where each fact comes
// from: docs/PROVIDERS.md): for the large mail providers, their address domains, the MX hosts
// of the domains they serve for others, the submission server, the user-name form and the
// ways of signing in they accept. The first source a lookup asks; its MX patterns also let
// the lookup recognise a domain of the user's own that a provider serves.
//
// The lookups and the checks here are Qt-free; reading the table is ProviderTableReader.h.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "account/ServerProposal.h"
#include "mail/WrenEmail.h"

namespace corvane::account {

struct TServerEndpoint {
    std::string Host;
    int Port = 0;
    mail::ESecurity Security = mail::ESecurity::None;
    bool operator==(const TServerEndpoint&) const = default;
};

// How a provider lets a program get OAuth2 tokens for sending. Its URLs may hold "{tenant}"
// (Microsoft's organisations each have one), which ForTenant fills in.
struct TOAuth2Provider {
    // Whose client ID this program signs in with: "google", "microsoft" (OAuth2Client.h).
    std::string Client;
    std::string Issuer;
    std::string Authorization;        // where the browser goes to sign in
    std::string Token;                // where a code or a refresh token becomes an access token
    std::string DeviceAuthorization;  // empty: no sign-in without a browser
    std::vector<std::string> Scopes;  // what sending mail needs, in the provider's words
    // What "{tenant}" stands for when the user names none; set (by default "common") exactly
    // when one of the URLs holds it.
    std::string Tenant;
    bool operator==(const TOAuth2Provider&) const = default;
};

inline constexpr std::string_view DefaultTenant = "common";

// OAuth2 with "{tenant}" in its URLs replaced by Tenant, or by OAuth2.Tenant when Tenant is empty.
TOAuth2Provider ForTenant(const TOAuth2Provider& oauth2, std::string_view tenant = {});

struct TProvider {
    std::string Id;    // a short name of our own: "google", "microsoft365"
    std::string Name;  // for the user: "Google Mail"
    // Lower case. Exact address domains only: "gmail.com" names no subdomain of it.
    std::vector<std::string> Domains;
    // Lower case, each starting with '.': ".google.com" is every host below google.com.
    std::vector<std::string> MxSuffixes;
    TServerEndpoint Smtp;
    std::string UserName;         // a template for ExpandPlaceholders: "%EMAILADDRESS%"
    std::vector<ESignIn> SignIn;  // best first; never empty
    // The password the provider takes from a mail program is not the account's own but one
    // made for it in the account's settings (an app password, an authorization code, the
    // password Proton Mail Bridge shows).
    bool AppPassword = false;
    std::optional<TServerEndpoint> Imap;  // where sent mail can be copied to
    // Set when this program can sign in there with OAuth2 (SignIn then names it).
    std::optional<TOAuth2Provider> OAuth2;
    // The provider puts mail submitted over SMTP into the Sent folder itself: a copy over IMAP
    // would show each message twice.
    bool SavesSent = false;
};

// The table shipped with the program, read once; empty when it does not pass
// CheckProviderTable (the tests make sure the shipped one does).
const std::vector<TProvider>& ShippedProviders();

// The providers a lookup asks: the user's own table (OwnProviderFile in ProviderTableReader.h)
// when it passes the checks, then the shipped one; an own entry for a domain wins over the
// shipped entry. Read once.
const std::vector<TProvider>& KnownProviders();

// The provider whose Domains hold Domain (ASCII case ignored, one trailing dot allowed), or
// nullptr. Subdomains are not matched: "mail.gmail.com" or "corp.outlook.com" may belong to
// someone else entirely; a domain a provider serves is found by its MX hosts instead.
const TProvider* FindProvider(std::string_view domain,
                              const std::vector<TProvider>& table = ShippedProviders());

// The provider one of whose MX suffixes ends Host (ASCII case ignored, one trailing dot
// allowed), or nullptr. The suffix starts with a dot, so it matches on a label boundary:
// ".google.com" matches "aspmx.l.google.com" but neither "evilgoogle.com" nor "google.com".
const TProvider* ProviderForMxHost(std::string_view host,
                                   const std::vector<TProvider>& table = ShippedProviders());

// The provider whose submission server is Host (ASCII case ignored, one trailing dot
// allowed), or nullptr.
const TProvider* ProviderForSmtpHost(std::string_view host,
                                     const std::vector<TProvider>& table = ShippedProviders());

// What the provider's entry proposes for sending as Address.
TServerProposal ProposalFor(const TProvider& provider, std::string_view address);

// What is wrong with Table, one sentence each naming the entry: an empty id, name or host, a
// port outside 1..65535, a security other than SSL/TLS or STARTTLS, an entry with neither
// domain nor MX suffix, a domain or suffix that is no lower-case host name, a user name with
// an unknown placeholder, no sign-in or a repeated one, OAuth2 details with a URL that is not
// https, no client or scope, a placeholder other than {tenant} or without "oauth2" among the
// ways of signing in, and across entries a repeated id,
// domain or MX suffix, or one MX suffix that ends another (a host would match both).
std::vector<std::string> CheckProviderTable(const std::vector<TProvider>& table);

}  // namespace corvane::account
