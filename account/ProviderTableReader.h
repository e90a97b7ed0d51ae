#pragma once
// Reading the provider table: the JSON document account/providers.json, which the program
// carries as the Qt resource ":/account/providers.json". The document:
//
//   {"version": 1, "providers": [{
//       "id": "google", "name": "Google Mail",
//       "domains": ["gmail.com", ...],                  (optional when "mx" is given)
//       "mx": [".google.com", ...],                     (optional)
//       "smtp": {"host": "smtp.gmail.com", "port": 465, "security": "tls"},
//       "userName": "%EMAILADDRESS%",
//       "signIn": ["oauth2", "app-password"],           ("oauth2", "password", "app-password")
//       "imap": {"host": "imap.gmail.com", "port": 993, "security": "tls"},  (optional)
//       "oauth2": {                                     (optional; needs "oauth2" in "signIn")
//           "client": "google",                         (whose client ID: OAuth2Client.h)
//           "issuer": "https://accounts.google.com",
//           "authorization": "https://accounts.google.com/o/oauth2/v2/auth",
//           "token": "https://oauth2.googleapis.com/token",
//           "deviceAuthorization": "https://...",       (optional)
//           "scopes": ["https://mail.google.com/"],
//           "tenant": "common"}                         (optional: what {tenant} in a URL
//   }, ...]}                                             stands for, by default "common")
//
// "security" is "tls" (SSL/TLS from the first byte) or "starttls", as corvane-send's
// --security says it. A key the reader does not know is a problem, so a misspelt one cannot
// pass unnoticed. This header includes no Qt header; the reader uses Qt Core's JSON parser.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "account/ProviderTable.h"

namespace corvane::account {

struct TProviderTableRead {
    std::vector<TProvider> Providers;   // what was read, also when there are problems
    std::vector<std::string> Problems;  // the document's, then CheckProviderTable's
};

TProviderTableRead ReadProviderTable(std::string_view json);

// The document the program carries.
std::string ShippedProviderDocument();

// A table of the user's own (a site's own servers, a provider the shipped table lacks), in
// the same format: "providers.json" in the folder of the settings store, ~/.config/corvane.
std::filesystem::path OwnProviderFile();

// The own table's entries, then Shipped. An own table with any problem (unreadable, larger
// than MaxOwnProviderBytes, or failing the checks) is not used at all: its problems are
// returned, prefixed with the file's name, beside Shipped alone. No file: Shipped alone.
inline constexpr std::uintmax_t MaxOwnProviderBytes = 1 << 20;
TProviderTableRead WithOwnProviders(const std::filesystem::path& file, const std::vector<TProvider>& shipped);

}  // namespace corvane::account
