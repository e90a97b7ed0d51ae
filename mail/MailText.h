#pragma once
// Pure text functions of the mail engine: address handling, header hygiene, percentages,
// dates. No I/O, no state; each is tested on its own.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

// Removes leading and trailing characters up to and including the blank (every control
// character counts as blank), as the program has always trimmed user input and replies.
std::string TrimBlanks(std::string_view text);

// Four dot-separated decimal parts, each 1 to 254. Anything else is a host name.
bool IsIPAddress(std::string_view text);

// Host as the socket should look it up. Four dot-separated decimal parts 0..255 lose their
// leading zeros ("010.001.002.003" becomes "10.1.2.3"): the C library's lookup reads such a
// part as octal (010 is 8) or refuses it (09), and the user meant decimal. Anything else
// comes back as it is.
std::string LookupForm(std::string_view host);

// The decimal port 1..65535 held by Text, or 25.
int PortNumber(std::string_view text);

// A header value with every CR and LF replaced by a space, so it cannot end its line.
std::string SanitizeHeaderValue(std::string_view value);

// A MIME parameter value for use between double quotes (RFC 2045 quoted-string): '"' and
// '\' escaped with a backslash, CR and LF replaced by spaces.
std::string QuotedStringContent(std::string_view value);

// Lines as the message will carry them: every CR LF, LF or CR inside an entry ends a line.
std::vector<std::string> SplitAtLineBreaks(const std::vector<std::string>& lines);

// Part * 100 / Whole rounded to the nearest integer, ties to even; 100 when Whole is 0.
std::uint16_t RoundedPercent(std::uint64_t part, std::uint64_t whole);

// The smallest Part for which RoundedPercent(Part, Whole) is at least Percent, or Whole + 1
// when no Part up to Whole reaches it. RoundedPercent never falls as Part grows, so a loop
// that reports progress line by line can compare its count with this bound and divide only
// when the percentage changes (about a hundred times, not once for each of a million lines).
std::uint64_t FirstPartReaching(std::uint32_t percent, std::uint64_t whole);

// RFC 5322 section 3.3 date-time: "Tue, 08 Dec 2026 07:50:52 +0100" for the moment Utc seen
// in a zone OffsetSeconds east of UTC.
std::string FormatMailDate(std::time_t utc, int offsetSeconds);

// "host", "host:port", "[IPv6]:port", "[IPv6]" or a bare IPv6 address, as typed into a
// server field. Port is "25" when none is given, and HasPort tells whether one was, so the
// caller can pick the default port of the chosen security instead.
struct TServerAddress {
    std::string Host;
    std::string Port = "25";
    bool HasPort = false;
};
TServerAddress ParseServerAddress(std::string_view text);

// The port typed into a server field when PortNumber would not take it: "70000", "25x", "0",
// or "" for a colon with nothing after it ("host:", "[::1]:"). Nothing when the field names
// a valid port or none at all. The engine falls back to 25 for such a port; a caller that
// can tell the user asks here first and sends nothing.
std::optional<std::string> InvalidPort(std::string_view server);

}  // namespace corvane::mail
