#pragma once
// What a lookup proposes for sending as an address: the server, how it is protected, the
// user name to sign in with and the ways of signing in it takes, and where that was found.
// A proposal is shown to the user and never written over settings the user typed. Qt-free.

#include <string>
#include <string_view>
#include <vector>

#include "mail/WrenEmail.h"

namespace corvane::account {

// Where a proposal came from, in the order the lookup asks them.
enum class ESource {
    ProviderTable,  // the table shipped with the program
    Autoconfig,     // the provider's own clientConfig document
    Srv,            // DNS SRV _submissions._tcp / _submission._tcp
    Mx,             // the domain's MX hosts belong to a provider of the table
    Probe,          // a server that answered on a likely host and port
};

// How a server lets a user sign in.
enum class ESignIn {
    Password,  // AUTH PLAIN or LOGIN, inside TLS
    OAuth2,    // AUTH XOAUTH2 or OAUTHBEARER with a token
};

struct TServerProposal {
    std::string Host;
    int Port = 0;
    mail::ESecurity Security = mail::ESecurity::None;
    std::string UserName;               // with the address's parts put in (ExpandPlaceholders)
    std::vector<ESignIn> SignIn;        // best first; empty when the source does not say
    ESource Source = ESource::ProviderTable;
    std::string SourceDetail;           // the provider's name, the document's URL, the record
    // The IMAP server the same source names for the account, where sent mail can be copied:
    // "host:port", empty when it names none (only a setup document does; the provider table's
    // are found by the SMTP host).
    std::string ImapServer{};
    mail::ESecurity ImapSecurity = mail::ESecurity::Tls;
    bool operator==(const TServerProposal&) const = default;
};

// Template with the shared placeholders of autoconfig documents replaced by the parts of
// Address: %EMAILADDRESS% the address, %EMAILLOCALPART% what stands before its last '@',
// %EMAILDOMAIN% what follows it. Placeholders are matched in upper case, as written; any
// other text, and a '%' that starts no placeholder, stays as it is.
std::string ExpandPlaceholders(std::string_view templ, std::string_view address);

// "smtp.example.org:465, SSL/TLS, user me@example.org (from the provider table: Example)".
std::string Describe(const TServerProposal& proposal);

}  // namespace corvane::account
