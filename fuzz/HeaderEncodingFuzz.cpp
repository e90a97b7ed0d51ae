// The header encoders for text typed into the window: unstructured fields (RFC 2047
// encoded-words and folding) and address lists (only display names encoded). Input: one
// byte that picks the field name, then the value.
//
// Properties, read with the strict reader of HeaderDecoding.h:
// - no line holds CR or LF; the first starts "Name:", every other one with a blank;
// - a value that is ASCII and fits in 998 bytes comes back as the one line "Name: Value";
// - otherwise the lines are printable ASCII, none passes 998, and one passes 78 only when
//   it cannot be folded (a single word); every "=?" word is an encoded-word of at most 75
//   characters that a strict reader takes, and for well-formed UTF-8 none splits a character;
// - decoding gives back the value, CR and LF as blanks;
// - in an address list every addr-spec goes through the mapper and stands on the line as it
//   maps it, and a mailbox "Name <addr>" reads back with exactly its display name; a value
//   that is no address list (which the envelope refuses before sending) decodes back whole,
//   as unstructured text does.

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "HeaderDecoding.h"
#include "mail/AddressList.h"
#include "mail/HeaderEncoding.h"
#include "mail/MailText.h"

namespace {

using namespace corvane::fuzz;
namespace mail = corvane::mail;

constexpr std::size_t FoldColumn = 78;
constexpr std::size_t MaxLine = 998;
constexpr std::string_view Names[] = {
    "Subject", "To", "Organization",
    "X-A-Header-Name-Long-Enough-To-Leave-Little-Room-On-Its-First-Line"};

bool HoldsBlankAfter(std::string_view line, std::size_t from) {
    return std::any_of(line.begin() + static_cast<std::ptrdiff_t>(std::min(from, line.size())),
                       line.end(), IsBlank);
}

void CheckShape(const std::vector<std::string>& lines, std::string_view name) {
    FUZZ_CHECK(!lines.empty() && lines[0].starts_with(std::string(name) + ":"), "no header line");
    for (std::size_t i = 0; i < lines.size(); ++i) {
        FUZZ_CHECK(lines[i].find_first_of("\r\n") == std::string::npos, Shown(lines[i]));
        FUZZ_CHECK(i == 0 || (!lines[i].empty() && IsBlank(lines[i][0])),
                   "a folded line without a blank: " + Shown(lines[i]));
    }
}

// The lines of an encoded value: ASCII, folded where they can be, encoded-words well made.
void CheckEncodedLines(const std::vector<std::string>& lines, std::string_view name,
                       bool wellFormed) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        FUZZ_CHECK(line.size() <= MaxLine, "a line of " + std::to_string(line.size()));
        FUZZ_CHECK(std::all_of(line.begin(), line.end(),
                               [](char c) { return (c >= ' ' && c < 0x7F) || c == '\t'; }),
                   "not printable ASCII: " + Shown(line));
        // The first line may not fold before its first word.
        const std::size_t words = i == 0 ? name.size() + 2 : 1;
        FUZZ_CHECK(line.size() <= FoldColumn || !HoldsBlankAfter(line, words),
                   "not folded: " + Shown(line));
    }
    const std::string text = Unfolded(lines);
    for (std::size_t pos = 0; pos < text.size();) {
        const auto start = text.find("=?", pos);
        if (start == std::string::npos) {
            break;
        }
        auto end = start;
        while (end < text.size() && !IsBlank(text[end])) {
            ++end;
        }
        // Inside a quoted parameter the closing quote follows the word directly.
        const std::string_view word = std::string_view(text).substr(start, end - start);
        const std::string_view bare =
            word.ends_with("?=\"") ? word.substr(0, word.size() - 1) : word;
        FUZZ_CHECK(bare.size() <= 75, "an encoded-word of " + std::to_string(bare.size()));
        const auto decoded = DecodeEncodedWord(bare, false);
        FUZZ_CHECK(decoded.has_value(), "not an encoded-word: " + Shown(bare));
        FUZZ_CHECK(!wellFormed || IsWellFormedUtf8(*decoded), "a character split: " + Shown(bare));
        pos = end;
    }
}

void CheckUnstructured(std::string_view name, std::string_view value) {
    const auto lines = mail::UnstructuredHeader(name, value);
    const std::string clean = mail::SanitizeHeaderValue(value);
    CheckShape(lines, name);
    if (mail::IsAscii(clean) && name.size() + 2 + clean.size() <= MaxLine) {
        FUZZ_CHECK(lines.size() == 1 && lines[0] == std::string(name) + ": " + clean,
                   "not kept as typed");
        return;
    }
    CheckEncodedLines(lines, name, IsWellFormedUtf8(clean));
    const std::string text = Unfolded(lines);
    const std::string shown = DecodeWords(std::string_view(text).substr(name.size() + 2), false);
    FUZZ_CHECK(shown == clean, "decodes to " + Shown(shown));
}

std::string MapAddrSpec(std::string_view addrSpec) {
    std::string mapped(addrSpec);
    std::replace_if(
        mapped.begin(), mapped.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; },
        'x');
    return mapped;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= ' ') {
        text.remove_suffix(1);
    }
    return text;
}

// "Display Name <addr>" and nothing that would make the list hold more than that mailbox.
bool IsOneNamedMailbox(std::string_view clean, std::string_view& display,
                       std::string_view& addrSpec) {
    const auto open = clean.find('<');
    const auto close = clean.find('>');
    if (open == std::string_view::npos || close == std::string_view::npos || close < open ||
        clean.find('<', open + 1) != std::string_view::npos ||
        clean.find('>', close + 1) != std::string_view::npos ||
        clean.find_first_of(",\"\\") != std::string_view::npos ||
        !Trimmed(clean.substr(close + 1)).empty()) {
        return false;
    }
    display = Trimmed(clean.substr(0, open));
    addrSpec = Trimmed(clean.substr(open + 1, close - open - 1));  // blanks inside "<>" are no part of it
    return !display.empty();
}

void CheckAddressList(std::string_view name, std::string_view value) {
    std::vector<std::string> mapped;
    const auto lines = mail::AddressListHeader(name, value, [&mapped](std::string_view addrSpec) {
        mapped.push_back(MapAddrSpec(addrSpec));
        return mapped.back();
    });
    const std::string clean = mail::SanitizeHeaderValue(value);
    CheckShape(lines, name);
    if (mail::IsAscii(clean) && name.size() + 2 + clean.size() <= MaxLine) {
        FUZZ_CHECK(lines.size() == 1 && lines[0] == std::string(name) + ": " + clean,
                   "not kept as typed");
        return;
    }
    const std::string text = Unfolded(lines);
    FUZZ_CHECK(mail::IsAscii(text), "not ASCII: " + Shown(text));
    if (!mail::ParseAddressList(clean).Invalid.empty()) {
        CheckEncodedLines(lines, name, IsWellFormedUtf8(clean));
        const std::string shown = DecodeWords(std::string_view(text).substr(name.size() + 2), false);
        FUZZ_CHECK(shown == clean && mapped.empty(), "decodes to " + Shown(shown));
        return;
    }
    std::size_t longest = 0;
    for (const auto& addrSpec : mapped) {
        FUZZ_CHECK(text.find(addrSpec) != std::string::npos, "lost: " + Shown(addrSpec));
        longest = std::max(longest, addrSpec.size());
    }
    for (const auto& line : lines) {
        FUZZ_CHECK(line.size() <= MaxLine || longest + name.size() + 5 > MaxLine,
                   "a line of " + std::to_string(line.size()));
    }

    std::string_view display, addrSpec;
    if (!IsOneNamedMailbox(clean, display, addrSpec)) {
        return;
    }
    const std::string tail = " <" + MapAddrSpec(addrSpec) + ">";
    FUZZ_CHECK(text.ends_with(tail), Shown(text));
    const std::string_view phrase =
        std::string_view(text).substr(name.size() + 2, text.size() - name.size() - 2 - tail.size());
    const auto quoted = Unquoted(phrase);
    const std::string shown = quoted ? *quoted : DecodeWords(phrase, true);
    FUZZ_CHECK(shown == display, "the display name reads " + Shown(shown) + " in " + Shown(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view name = Names[data[0] % std::size(Names)];
    const std::string_view value = AsText(data + 1, size - 1);
    CheckUnstructured(name, value);
    CheckAddressList(name, value);
    return 0;
}
