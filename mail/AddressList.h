#pragma once
// Addresses as the user types them into From, To, Cc, Bcc and Reply-To, read the one way the
// envelope, the headers and every caller share: RFC 5322 address lists (display names,
// quoted-strings with backslash escapes, comments) whose addresses must be RFC 5321
// mailboxes, the only thing that may stand between "<" and ">" in MAIL FROM and RCPT TO.
// Pure functions, no state.

#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

struct TMailbox {
    // What a reader sees as the name: the phrase before "<" with its quoted-strings resolved
    // (comments kept as typed), or the comment after a bare address; empty when neither.
    std::string Name;
    // The addr-spec exactly as typed, without the blanks and comments around it.
    std::string Address;
    bool Angled = false;  // typed between "<" and ">"
};

struct TAddressList {
    std::vector<TMailbox> Mailboxes;
    // The first entry that is no mailbox, as typed (trimmed); empty when there is none.
    std::string Invalid;
};

// Entries separated by commas outside quoted-strings, comments and angle brackets; each is
// "addr-spec", "addr-spec (comment)" or "[phrase] <addr-spec>". Empty entries (a trailing
// comma) are skipped, as RFC 5322 section 4.4 reads them. Groups ("Team: a@x;") are not
// taken: their colon makes the entry invalid.
TAddressList ParseAddressList(std::string_view text);

// RFC 5321 section 4.1.2 Mailbox: a dot-string or quoted-string local part ("@") a domain
// name or an address literal ("[192.0.2.1]", "[IPv6:2001:db8::1]"). Beyond ASCII (RFC 6531)
// the local part may hold UTF-8 and the domain may be an international name (valid once
// turned into A-labels); characters that could disguise the address (controls, bidi and
// zero-width marks) are never part of one.
bool IsMailbox(std::string_view address);

// The envelope of a message: its sender and its recipients in To, Cc, Bcc order, or the
// reason there is none (Problem, in words, naming the entry as typed).
struct TEnvelope {
    std::string Sender;
    std::vector<std::string> Recipients;
    std::string Problem;
};
TEnvelope MakeEnvelope(std::string_view from, std::string_view to, std::string_view cc,
                       std::string_view bcc);

// The problem with an address-list field that only the headers carry (Reply-To), in the
// words of MakeEnvelope; empty when every entry is a mailbox.
std::string AddressListProblem(std::string_view text);

}  // namespace corvane::mail
