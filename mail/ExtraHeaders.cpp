#include "mail/ExtraHeaders.h"

#include <algorithm>
#include <array>

#include "mail/HeaderEncoding.h"

namespace corvane::mail {

namespace {

constexpr std::size_t MaxHeaderLineLength = 998;  // RFC 5322 section 2.1.1
// The longest encoded-word (RFC 2047 section 2): the name, ": " and one of them must fit the
// first line, whatever the value holds.
constexpr std::size_t MaxEncodedWordLength = 75;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsFieldName(std::string_view name) {
    return !name.empty() && std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F && c != ':'; });
}

// The fields the composer writes itself: a second one would contradict it, and the
// Content-* fields of the top level describe the body Corvane builds.
bool IsOwnField(std::string_view name) {
    static constexpr std::array<std::string_view, 8> Own{"From", "To",      "Cc",      "Bcc",
                                                          "Date", "Message-ID", "Subject", "MIME-Version"};
    return std::any_of(Own.begin(), Own.end(), [name](std::string_view own) { return SameNoCase(name, own); }) ||
           (name.size() >= 8 && SameNoCase(name.substr(0, 8), "Content-"));
}

bool HoldsControl(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20 && c != '\t') || byte == 0x7F;
    });
}

}  // namespace

std::string ExtraHeaderProblem(std::string_view line) {
    if (line.empty()) {
        return {};
    }
    if (line.front() == ' ' || line.front() == '\t') {
        return "it begins with a blank, which would join it to the header above it";
    }
    if (HoldsControl(line)) {
        return "it holds a control character";
    }
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) {
        return "it is not Name: value";
    }
    const std::string_view name = line.substr(0, colon);
    if (!IsFieldName(name)) {
        return "a header name is printable ASCII without blanks";
    }
    if (IsOwnField(name)) {
        return "Corvane writes the " + std::string(name) + " header itself";
    }
    if (name.size() + 2 + MaxEncodedWordLength > MaxHeaderLineLength) {
        return "the header name is too long for a header line";
    }
    return {};
}

bool IsFieldNamed(std::string_view line, std::string_view name) {
    const std::size_t colon = line.find(':');
    return colon != std::string_view::npos && SameNoCase(line.substr(0, colon), name);
}

std::vector<std::string> ExtraHeaderField(std::string_view line) {
    // A line that needs neither encoding nor folding goes out byte for byte as typed.
    if (IsAscii(line) && line.size() <= MaxHeaderLineLength) {
        return {std::string(line)};
    }
    const std::size_t colon = line.find(':');
    std::string_view value = line.substr(colon + 1);
    while (value.starts_with(' ') || value.starts_with('\t')) {
        value.remove_prefix(1);
    }
    return UnstructuredHeader(line.substr(0, colon), value);
}

}  // namespace corvane::mail
