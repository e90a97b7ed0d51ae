#include "MailText.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace corvane::mail {

namespace {

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

// The first CR or LF at or after Start. A plain loop: find_first_of with a set of two
// searches the set once for every character, several times slower on long texts.
std::size_t FindLineBreak(std::string_view text, std::size_t start) {
    for (std::size_t at = start; at < text.size(); ++at) {
        if (text[at] == '\r' || text[at] == '\n') {
            return at;
        }
    }
    return std::string_view::npos;
}

bool ParseDecimal(std::string_view text, unsigned& value) {
    if (text.empty() || !std::all_of(text.begin(), text.end(),
                                     [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

bool ParsePort(std::string_view text, unsigned& value) {
    return ParseDecimal(text, value) && value >= 1 && value <= 65535;
}

}  // namespace

std::string TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return std::string(text);
}

bool IsIPAddress(std::string_view text) {
    int parts = 0;
    for (;;) {
        const auto dot = text.find('.');
        unsigned value = 0;
        if (!ParseDecimal(text.substr(0, dot), value) || value < 1 || value > 254) {
            return false;
        }
        ++parts;
        if (dot == std::string_view::npos) {
            return parts == 4;
        }
        text.remove_prefix(dot + 1);
    }
}

std::string LookupForm(std::string_view host) {
    std::string decimal;
    std::string_view rest = host;
    for (int part = 0; part < 4; ++part) {
        const auto dot = rest.find('.');
        unsigned value = 0;
        if (!ParseDecimal(rest.substr(0, dot), value) || value > 255 ||
            (dot == std::string_view::npos) != (part == 3)) {
            return std::string(host);
        }
        decimal += (part == 0 ? "" : ".") + std::to_string(value);
        rest.remove_prefix(dot == std::string_view::npos ? rest.size() : dot + 1);
    }
    return decimal;
}

int PortNumber(std::string_view text) {
    unsigned value = 0;
    return ParsePort(text, value) ? static_cast<int>(value) : 25;
}

std::string SanitizeHeaderValue(std::string_view value) {
    std::string clean(value);
    std::replace_if(
        clean.begin(), clean.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    return clean;
}

std::string QuotedStringContent(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size());
    for (const char c : value) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '\r' || c == '\n') {
            quoted += ' ';
        } else {
            quoted += c;
        }
    }
    return quoted;
}

std::vector<std::string> SplitAtLineBreaks(const std::vector<std::string>& lines) {
    std::vector<std::string> split;
    split.reserve(lines.size());
    for (const auto& line : lines) {
        std::size_t start = 0;
        for (;;) {
            const auto brk = FindLineBreak(line, start);
            split.push_back(line.substr(start, brk - start));
            if (brk == std::string::npos) {
                break;
            }
            start = brk + (line.compare(brk, 2, "\r\n") == 0 ? 2 : 1);
        }
    }
    return split;
}

std::uint16_t RoundedPercent(std::uint64_t part, std::uint64_t whole) {
    if (whole == 0) {
        return 100;
    }
    // part * 100 cannot overflow for any file or message this program can hold in memory.
    const std::uint64_t scaled = part * 100;
    std::uint64_t quotient = scaled / whole;
    const std::uint64_t twiceRemainder = (scaled % whole) * 2;
    if (twiceRemainder > whole || (twiceRemainder == whole && (quotient & 1) != 0)) {
        ++quotient;
    }
    return static_cast<std::uint16_t>(quotient);
}

std::uint64_t FirstPartReaching(std::uint32_t percent, std::uint64_t whole) {
    // Binary search over 0..Whole + 1, with RoundedPercent itself as the judge, so the bound
    // agrees with it exactly, ties included.
    std::uint64_t low = 0;
    std::uint64_t high = whole + 1;
    while (low < high) {
        const std::uint64_t middle = low + (high - low) / 2;
        if (middle <= whole && RoundedPercent(middle, whole) >= percent) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    return low;
}

std::string FormatMailDate(std::time_t utc, int offsetSeconds) {
    static constexpr std::array<const char*, 7> Days{"Sun", "Mon", "Tue", "Wed",
                                                     "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> Months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t local = utc + offsetSeconds;
    std::tm parts{};
    gmtime_r(&local, &parts);
    const int offsetMinutes = (offsetSeconds < 0 ? -offsetSeconds : offsetSeconds) / 60;
    std::array<char, 64> text{};
    std::snprintf(text.data(), text.size(), "%s, %02d %s %04d %02d:%02d:%02d %c%02d%02d",
                  Days[static_cast<std::size_t>(parts.tm_wday)], parts.tm_mday,
                  Months[static_cast<std::size_t>(parts.tm_mon)], parts.tm_year + 1900,
                  parts.tm_hour, parts.tm_min, parts.tm_sec, offsetSeconds < 0 ? '-' : '+',
                  offsetMinutes / 60, offsetMinutes % 60);
    return text.data();
}

namespace {

// A server field cut into its host and what follows the colon that introduces a port (empty
// after a trailing colon); no port text when no such colon is typed.
struct TServerParts {
    std::string Host;
    std::optional<std::string> Port;
};

TServerParts SplitServer(std::string_view text) {
    const std::string trimmed = TrimBlanks(text);
    std::string_view rest = trimmed;
    if (rest.starts_with('[')) {
        const auto close = rest.find(']');
        if (close != std::string_view::npos) {
            TServerParts parts{std::string(rest.substr(1, close - 1)), std::nullopt};
            rest.remove_prefix(close + 1);
            if (rest.starts_with(':')) {
                parts.Port = std::string(rest.substr(1));
            }
            return parts;
        }
    }
    const auto colon = rest.find(':');
    // More than one colon without brackets is a bare IPv6 address, never host:port.
    if (colon != std::string_view::npos && rest.find(':', colon + 1) == std::string_view::npos) {
        return {std::string(rest.substr(0, colon)), std::string(rest.substr(colon + 1))};
    }
    return {std::string(rest), std::nullopt};
}

}  // namespace

TServerAddress ParseServerAddress(std::string_view text) {
    TServerParts parts = SplitServer(text);
    TServerAddress address;
    address.Host = std::move(parts.Host);
    if (parts.Port && !parts.Port->empty()) {
        address.Port = std::move(*parts.Port);
        address.HasPort = true;
    }
    return address;
}

std::optional<std::string> InvalidPort(std::string_view server) {
    std::optional<std::string> port = SplitServer(server).Port;
    unsigned value = 0;
    if (port && ParsePort(*port, value)) {
        return std::nullopt;
    }
    return port;
}

}  // namespace corvane::mail
