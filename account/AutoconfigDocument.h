#pragma once
// Reads a provider's mail client configuration document: the "clientConfig" format (version
// 1.1) that mail programs share and providers publish at autoconfig.DOMAIN. The document comes
// from the network, so anything unexpected in what this reader uses refuses the whole document,
// and the limits below bound what reading it costs. Needs Qt Core only (QXmlStreamReader), so
// the fuzz build can link it.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "account/ServerProposal.h"
#include "mail/WrenEmail.h"

namespace corvane::account {

// Bigger documents are refused unread; real ones are a few KiB.
inline constexpr std::size_t MaxAutoconfigBytes = 1024 * 1024;
// Elements nest four deep in a real document (clientConfig, emailProvider, outgoingServer,
// hostname) and a little deeper in its documentation parts.
inline constexpr int MaxAutoconfigDepth = 8;
// Incoming and outgoing servers of every type together.
inline constexpr std::size_t MaxAutoconfigServers = 16;
// Characters of one value this reader uses (a host name has at most 255).
inline constexpr std::size_t MaxAutoconfigValue = 255;

// An IMAP server of the document, for copying sent mail to the Sent folder.
struct TImapServer {
    std::string Host;
    int Port = 0;
    mail::ESecurity Security = mail::ESecurity::None;
    std::string UserName;         // with the address's parts put in
    std::vector<ESignIn> SignIn;  // in the document's order; empty when it does not say
    bool operator==(const TImapServer&) const = default;
};

struct TAutoconfigDocument {
    // Outgoing servers best first: SSL/TLS, then STARTTLS, then plain text (Security None),
    // which is only a last choice (the window never signs in over it); the document's order
    // within each. Source Autoconfig, SourceDetail the document's URL.
    std::vector<TServerProposal> Smtp;
    std::vector<TImapServer> Imap;     // in the same order
    std::vector<std::string> Domains;  // the domains the provider says it serves
    // Why the document was refused, in words for the status bar; empty when it was read.
    // A refused document has no servers.
    std::string Refused;
};

// The document's Bytes as served from Url, read for sending as Address (whose parts replace
// the placeholders of host and user names; an Address that is no mailbox refuses every
// document). Outgoing servers of type "smtp" and incoming
// servers of type "imap" are read; other types are skipped unread, and so is a server whose
// sign-in kinds are all ones this program cannot use (NTLM, GSSAPI, a client certificate).
TAutoconfigDocument ReadAutoconfigDocument(std::string_view bytes, std::string_view address,
                                           std::string_view url);

}  // namespace corvane::account
