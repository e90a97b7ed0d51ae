#include "mail/AddressList.h"

#include <arpa/inet.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "mail/Idna.h"
#include "mail/ScreenText.h"

namespace corvane::mail {

namespace {

constexpr std::size_t None = std::string_view::npos;
constexpr std::size_t MaxDomainLength = 255;  // RFC 5321 section 4.5.3.1.2
constexpr std::size_t MaxLabelLength = 63;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsAsciiLetterOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}
bool IsBeyondAscii(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// RFC 5322 section 3.2.3 atext, and any byte of a UTF-8 character beyond ASCII (RFC 6532).
bool IsAtomText(char c) {
    return IsAsciiLetterOrDigit(c) || IsBeyondAscii(c) || std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr;
}

// Control bytes have no place in an address field: in a header written as typed they would
// end or corrupt the line.
bool HoldsControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t') || byte == 0x7F;
    });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The position after the quoted-string that opens at Open (backslash escapes honoured), or
// None when it never closes.
std::size_t QuotedEnd(std::string_view text, std::size_t open) {
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i + 1;
        }
    }
    return None;
}

// The position after the comment that opens at Open (comments nest, RFC 5322 section
// 3.2.2), or None when it never closes.
std::size_t CommentEnd(std::string_view text, std::size_t open) {
    int depth = 0;
    for (std::size_t i = open; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '(') {
            ++depth;
        } else if (text[i] == ')' && --depth == 0) {
            return i + 1;
        }
    }
    return None;
}

// The first Wanted at or after From that stands outside quoted-strings and comments, or
// None; also None when a quote or comment never closes.
std::size_t FindStructural(std::string_view text, std::string_view wanted, std::size_t from) {
    for (std::size_t i = from; i < text.size();) {
        const char c = text[i];
        if (wanted.find(c) != None) {
            return i;
        }
        const std::size_t next = c == '"' ? QuotedEnd(text, i) : c == '(' ? CommentEnd(text, i) : i + 1;
        if (next == None) {
            return None;
        }
        i = next;
    }
    return None;
}

// Entries of a list: cut at commas outside quotes, comments and angle brackets. A quote or
// comment that never closes swallows the rest, which then fails as one entry.
std::vector<std::string_view> SplitEntries(std::string_view list) {
    std::vector<std::string_view> entries;
    std::size_t start = 0;
    bool inAngle = false;
    for (std::size_t i = 0; i < list.size();) {
        const char c = list[i];
        std::size_t next = i + 1;
        if (c == '"' || c == '(') {
            next = c == '"' ? QuotedEnd(list, i) : CommentEnd(list, i);
            if (next == None) {
                break;
            }
        } else if (c == '<') {
            inAngle = true;
        } else if (c == '>') {
            inAngle = false;
        } else if (c == ',' && !inAngle) {
            entries.push_back(list.substr(start, i - start));
            start = i + 1;
        }
        i = next;
    }
    entries.push_back(list.substr(start));
    return entries;
}

// A phrase (RFC 5322 section 3.2.5, with the obsolete "." that "J. Doe" needs): atoms,
// dots, blanks and quoted-strings.
bool IsPhrase(std::string_view phrase) {
    for (std::size_t i = 0; i < phrase.size();) {
        if (phrase[i] == '"') {
            i = QuotedEnd(phrase, i);
            if (i == None) {
                return false;
            }
        } else if (IsAtomText(phrase[i]) || phrase[i] == '.' || IsBlank(phrase[i])) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

// The name a phrase shows: quoted-strings replaced by their content, comments kept as typed
// (a quote inside a comment is just a character).
std::string PhraseName(std::string_view phrase) {
    std::string name;
    for (std::size_t i = 0; i < phrase.size();) {
        const char c = phrase[i];
        const std::size_t end = c == '"' ? QuotedEnd(phrase, i) : c == '(' ? CommentEnd(phrase, i) : None;
        if (end == None) {
            name += c;
            ++i;
        } else if (c == '(') {
            name += phrase.substr(i, end - i);
            i = end;
        } else {
            for (std::size_t j = i + 1; j + 1 < end; ++j) {
                if (phrase[j] == '\\' && j + 2 < end) {
                    ++j;
                }
                name += phrase[j];
            }
            i = end;
        }
    }
    return name;
}

// One entry, read from left to right: the text outside comments (the phrase, or the bare
// address), the first comment's words, what stood before "<" as typed, and what stood
// between "<" and ">".
struct TEntryParts {
    std::string Outside;
    std::string_view Before;
    std::string Comment;
    std::string_view Angle;
    bool Angled = false;
};

std::optional<TEntryParts> SplitEntry(std::string_view entry) {
    TEntryParts parts;
    bool afterAngle = false;
    for (std::size_t i = 0; i < entry.size();) {
        const char c = entry[i];
        if (c == '(') {
            const std::size_t end = CommentEnd(entry, i);
            if (end == None) {
                return std::nullopt;
            }
            if (parts.Comment.empty()) {
                parts.Comment = Trimmed(entry.substr(i + 1, end - i - 2));
            }
            parts.Outside += ' ';  // a comment separates words as a blank does
            i = end;
        } else if (afterAngle || c == '>') {
            if (!IsBlank(c)) {
                return std::nullopt;  // nothing but comments may follow the address
            }
            ++i;
        } else if (c == '<') {
            const std::size_t close = FindStructural(entry, ">", i + 1);
            if (close == None) {
                return std::nullopt;
            }
            parts.Before = Trimmed(entry.substr(0, i));
            parts.Angle = Trimmed(entry.substr(i + 1, close - i - 1));
            parts.Angled = afterAngle = true;
            i = close + 1;
        } else if (c == '"') {
            const std::size_t end = QuotedEnd(entry, i);
            if (end == None) {
                return std::nullopt;
            }
            parts.Outside += entry.substr(i, end - i);
            i = end;
        } else {
            parts.Outside += c;
            ++i;
        }
    }
    return parts;
}

std::optional<TMailbox> ParseEntry(std::string_view entry) {
    if (HoldsControl(entry)) {
        return std::nullopt;
    }
    const std::optional<TEntryParts> parts = SplitEntry(entry);
    if (!parts) {
        return std::nullopt;
    }
    if (parts->Angled) {
        if (!IsPhrase(Trimmed(parts->Outside)) || !IsMailbox(parts->Angle)) {
            return std::nullopt;
        }
        // The name keeps its comments as typed: "Jane (work) Doe" is what the user wants shown.
        return TMailbox{PhraseName(parts->Before), std::string(parts->Angle), true};
    }
    const std::string_view address = Trimmed(parts->Outside);
    if (!IsMailbox(address)) {
        return std::nullopt;
    }
    return TMailbox{parts->Comment, std::string(address), false};
}

bool IsDotString(std::string_view local) {
    if (local.empty() || local.front() == '.' || local.back() == '.' || local.find("..") != None) {
        return false;
    }
    return std::all_of(local.begin(), local.end(), [](char c) { return IsAtomText(c) || c == '.'; });
}

// RFC 5321 Quoted-string: printable ASCII (a quote or backslash only escaped) or UTF-8.
bool IsQuotedLocal(std::string_view quoted) {
    for (std::size_t i = 1; i + 1 < quoted.size(); ++i) {
        const auto byte = static_cast<unsigned char>(quoted[i]);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
        if (quoted[i] == '\\') {
            ++i;
            if (i + 1 >= quoted.size() || static_cast<unsigned char>(quoted[i]) < 0x20 ||
                IsBeyondAscii(quoted[i])) {
                return false;
            }
        }
    }
    return true;
}

bool IsLdhLabel(std::string_view label) {
    return !label.empty() && label.size() <= MaxLabelLength && IsAsciiLetterOrDigit(label.front()) &&
           IsAsciiLetterOrDigit(label.back()) &&
           std::all_of(label.begin(), label.end(), [](char c) { return IsAsciiLetterOrDigit(c) || c == '-'; });
}

bool IsDomainName(std::string_view domain) {
    const std::optional<std::string> ascii = DomainToAscii(domain);
    if (!ascii || ascii->empty() || ascii->size() > MaxDomainLength) {
        return false;
    }
    std::string_view rest = *ascii;
    for (;;) {
        const std::size_t dot = rest.find('.');
        if (!IsLdhLabel(rest.substr(0, dot))) {
            return false;
        }
        if (dot == None) {
            return true;
        }
        rest.remove_prefix(dot + 1);
    }
}

// "[192.0.2.1]" or "[IPv6:2001:db8::1]" (RFC 5321 section 4.1.3).
bool IsAddressLiteral(std::string_view domain) {
    if (domain.size() < 3 || domain.front() != '[' || domain.back() != ']') {
        return false;
    }
    std::string inside(domain.substr(1, domain.size() - 2));
    std::array<unsigned char, 16> address{};
    if (inside.starts_with("IPv6:")) {
        return inet_pton(AF_INET6, inside.c_str() + 5, address.data()) == 1;
    }
    return inet_pton(AF_INET, inside.c_str(), address.data()) == 1;
}

std::string EntryProblem(std::string_view entry) {
    return "Invalid address: " + ScreenSafe(Trimmed(entry));
}

}  // namespace

TAddressList ParseAddressList(std::string_view text) {
    TAddressList list;
    for (const std::string_view entry : SplitEntries(text)) {
        if (Trimmed(entry).empty()) {
            continue;
        }
        std::optional<TMailbox> mailbox = ParseEntry(entry);
        if (!mailbox) {
            list.Invalid = Trimmed(entry);
            break;
        }
        list.Mailboxes.push_back(std::move(*mailbox));
    }
    return list;
}

bool IsMailbox(std::string_view address) {
    std::string_view local;
    std::string_view domain;
    if (address.starts_with('"')) {
        const std::size_t end = QuotedEnd(address, 0);
        if (end == None || end >= address.size() || address[end] != '@' || !IsQuotedLocal(address.substr(0, end))) {
            return false;
        }
        local = address.substr(0, end);
        domain = address.substr(end + 1);
    } else {
        const std::size_t at = address.find('@');
        if (at == None || !IsDotString(address.substr(0, at))) {
            return false;
        }
        local = address.substr(0, at);
        domain = address.substr(at + 1);
    }
    // Well-formed UTF-8 with nothing that would show differently than it reads.
    return (IsAddressLiteral(domain) || IsDomainName(domain)) && ScreenSafe(local) == local;
}

TEnvelope MakeEnvelope(std::string_view from, std::string_view to, std::string_view cc,
                       std::string_view bcc) {
    TEnvelope envelope;
    const TAddressList sender = ParseAddressList(from);
    if (!sender.Invalid.empty()) {
        envelope.Problem = EntryProblem(sender.Invalid);
    } else if (sender.Mailboxes.empty()) {
        envelope.Problem = "No sender: type your address into From.";
    } else if (sender.Mailboxes.size() > 1) {
        envelope.Problem = "From holds more than one address: " + ScreenSafe(Trimmed(from));
    } else {
        envelope.Sender = sender.Mailboxes.front().Address;
    }
    for (const std::string_view field : {to, cc, bcc}) {
        const TAddressList list = ParseAddressList(field);
        if (!list.Invalid.empty() && envelope.Problem.empty()) {
            envelope.Problem = EntryProblem(list.Invalid);
        }
        for (const TMailbox& mailbox : list.Mailboxes) {
            envelope.Recipients.push_back(mailbox.Address);
        }
    }
    if (envelope.Problem.empty() && envelope.Recipients.empty()) {
        envelope.Problem = "No recipient: type an address into To, Cc or Bcc.";
    }
    return envelope;
}

std::string AddressListProblem(std::string_view text) {
    const TAddressList list = ParseAddressList(text);
    return list.Invalid.empty() ? std::string() : EntryProblem(list.Invalid);
}

}  // namespace corvane::mail
