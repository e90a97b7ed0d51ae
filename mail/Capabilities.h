#pragma once
// What a server offers in its EHLO reply (RFC 5321 section 4.1.1.1): one keyword per line
// after the first, with optional parameters ("250-SIZE 35882577", "250-AUTH PLAIN LOGIN").
// Keywords compare without regard to case; parameters are kept as sent. A server that was
// greeted with HELO offers nothing. Pure, no I/O.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

class TCapabilities {
public:
    // Reads the lines of a 250 reply to EHLO, codes and separators included ("250-8BITMIME",
    // "250 HELP"). The first line is the server's greeting name, not a keyword. Lines that
    // hold no keyword are skipped; a keyword given twice keeps its first parameters.
    static TCapabilities FromEhloReply(const std::vector<std::string>& replyLines);

    bool Has(std::string_view keyword) const;
    // The parameters of Keyword, split at blanks; empty when it has none or is not offered.
    std::vector<std::string> Parameters(std::string_view keyword) const;

    // RFC 1870: the largest message the server takes, when it offers SIZE with a limit. A
    // SIZE without a number, or with 0, announces no fixed limit.
    std::optional<std::uint64_t> SizeLimit() const;
    // RFC 4954: whether the AUTH line names Mechanism.
    bool OffersAuth(std::string_view mechanism) const;

    bool Empty() const { return m_entries.empty(); }
    // Every keyword with its parameters, in the order offered: "SIZE 35882577, AUTH PLAIN, STARTTLS".
    std::string Summary() const;

private:
    struct TEntry {
        std::string Keyword;  // upper case
        std::vector<std::string> Parameters;
    };
    const TEntry* Find(std::string_view keyword) const;

    std::vector<TEntry> m_entries;
};

}  // namespace corvane::mail
