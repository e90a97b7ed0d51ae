#pragma once
// What the window makes of a proposal the user accepted, and when a failed send is worth a
// word about finding the server's settings. Pure rules, Qt-free.

#include <string>
#include <string_view>
#include <vector>

#include "account/ProviderTable.h"
#include "account/ServerProposal.h"
#include "account/ServerSettings.h"

namespace corvane::account {

// The Smtp field's text for a proposal: "host:port", "[IPv6]:port". The port is always
// written, so that the settings stored under this text say exactly where they apply.
std::string ServerFieldText(const TServerProposal& proposal);

// The settings a proposal gives, keeping of Kept what only the user can decide (whether the
// password is remembered, a certificate trusted on purpose, an own OAuth2 client). A proposal
// without encryption never carries a user name: a password is never sent in plain text. OAuth2
// is chosen where the provider takes nothing else, or prefers it and this build (or Kept's
// client ID) can sign in there (Table says who serves the host); a proposal silent on sign-in
// keeps Kept's choice.
TServerSettings SettingsFor(const TServerProposal& proposal, const TServerSettings& kept,
                            const std::vector<TProvider>& table = KnownProviders());

// Whether a failure of a send through a server used with the defaults (no encryption, no
// sign-in) is one that settings would explain: a connection refused or timed out (101, 103),
// or a 5xx that asks for encryption or sign-in (530; or a text naming STARTTLS, TLS, AUTH,
// authentication, encryption or relaying).
bool SettingsMayExplain(int code, std::string_view text);

// What the window adds to such a failure's status text.
inline constexpr std::string_view FindSettingsHint = "The server's settings can be found with Ctrl+Shift+S.";

}  // namespace corvane::account
