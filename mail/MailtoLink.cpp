#include "mail/MailtoLink.h"

#include <algorithm>
#include <utility>

#include "mail/EncodedWords.h"

namespace corvane::mail {

namespace {

constexpr std::string_view Scheme = "mailto:";

// Where a value goes decides what it may hold: the text may have line breaks.
enum class EPlace { SingleLine, Text };

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string TooLong(std::size_t bound) { return "longer than " + std::to_string(bound / 1024) + " KB"; }

// Why the decoded Text cannot go to Place; empty when it can. A single line refuses the line
// and paragraph separators as well as CR and LF: they break a line on screen. The C1
// controls are refused everywhere (U+0085 is a line break to some readers).
std::string Unfit(std::string_view text, EPlace place) {
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = CharacterEnd(text, pos);
        const auto lead = static_cast<unsigned char>(text[pos]);
        if (end == pos + 1 && lead >= 0x80) {
            return "not UTF-8";
        }
        const std::string_view character = text.substr(pos, end - pos);
        const bool lineBreak =
            lead == '\r' || lead == '\n' || character == "\u2028" || character == "\u2029";
        if (lineBreak && place == EPlace::SingleLine) {
            return "a line break";
        }
        const bool c1 = character.size() == 2 && lead == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
        if (!lineBreak && (((lead < 0x20 || lead == 0x7F) && lead != '\t') || c1)) {
            return "a control character";
        }
        pos = end;
    }
    return {};
}

// Raw percent-decoded into Out (RFC 6068 section 2, RFC 3986 section 2.1), checked for
// Place and Bound; the reason it cannot be used, or empty. Stops at the bound, so a huge
// value costs no more than its bound.
std::string Decode(std::string_view raw, EPlace place, std::size_t bound, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < raw.size(); ++i) {
        if (out.size() >= bound) {
            return TooLong(bound);
        }
        if (raw[i] != '%') {
            out += raw[i];
            continue;
        }
        const int high = raw.size() - i >= 3 ? HexDigit(raw[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(raw[i + 2]) : -1;
        if (low < 0) {
            return "an invalid % escape";
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return Unfit(out, place);
}

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The addresses of Raw (a comma-separated list as the link writes it) added to Field, or
// the whole list left out under Name.
void AddAddresses(std::string_view raw, std::string_view name, std::string& field,
                  std::vector<std::string>& leftOut) {
    std::string added;
    std::string address;
    for (std::size_t start = 0; start <= raw.size();) {
        const std::size_t comma = std::min(raw.find(',', start), raw.size());
        if (const std::string problem =
                Decode(raw.substr(start, comma - start), EPlace::SingleLine, MaxMailtoFieldBytes, address);
            !problem.empty()) {
            leftOut.push_back(std::string(name) + " (" + problem + ")");
            return;
        }
        if (const std::string_view trimmed = TrimBlanks(address); !trimmed.empty()) {
            added += added.empty() ? "" : ", ";
            added += trimmed;
        }
        start = comma + 1;
    }
    if (added.empty()) {
        return;
    }
    const std::size_t joined = field.size() + (field.empty() ? 0 : 2) + added.size();
    if (joined > MaxMailtoFieldBytes) {
        leftOut.push_back(std::string(name) + " (" + TooLong(MaxMailtoFieldBytes) + ")");
        return;
    }
    field += field.empty() ? "" : ", ";
    field += added;
}

// CR LF, and CR or LF alone, as "\n".
std::string OneKindOfLineBreak(std::string_view text) {
    std::string lines;
    lines.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            lines += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') {
                ++i;
            }
        } else {
            lines += text[i];
        }
    }
    return lines;
}

}  // namespace

bool IsMailtoLink(std::string_view text) {
    return text.size() >= Scheme.size() &&
           std::equal(Scheme.begin(), Scheme.end(), text.begin(),
                      [](char scheme, char c) { return scheme == AsciiLower(c); });
}

TMailtoLink ParseMailtoLink(std::string_view link) {
    TMailtoLink result;
    if (!IsMailtoLink(link)) {
        result.LeftOut.emplace_back("everything (not a mailto: link)");
        return result;
    }
    link.remove_prefix(Scheme.size());
    link = link.substr(0, link.find('#'));
    const std::size_t question = link.find('?');
    AddAddresses(link.substr(0, question), "to", result.To, result.LeftOut);
    if (question == std::string_view::npos) {
        return result;
    }
    bool subjectSeen = false;
    bool bodySeen = false;
    const std::string_view fields = link.substr(question + 1);
    for (std::size_t start = 0; start < fields.size();) {
        const std::size_t amp = std::min(fields.find('&', start), fields.size());
        const std::string_view field = fields.substr(start, amp - start);
        start = amp + 1;
        const std::size_t equals = field.find('=');
        std::string name;
        if (field.empty() || !Decode(field.substr(0, equals), EPlace::SingleLine, 16, name).empty()) {
            continue;  // "&&", or a name no field of ours has
        }
        std::transform(name.begin(), name.end(), name.begin(), AsciiLower);
        const bool address = name == "to" || name == "cc" || name == "bcc";
        if (!address && name != "subject" && name != "body") {
            continue;  // the reader's choice (section 3): nothing else is taken
        }
        if (equals == std::string_view::npos) {
            result.LeftOut.push_back(name + " (no value)");
            continue;
        }
        const std::string_view raw = field.substr(equals + 1);
        if (address) {
            std::string& target = name == "to" ? result.To : name == "cc" ? result.Cc : result.Bcc;
            AddAddresses(raw, name, target, result.LeftOut);
            continue;
        }
        bool& seen = name == "subject" ? subjectSeen : bodySeen;
        if (std::exchange(seen, true)) {
            continue;
        }
        const bool body = name == "body";
        std::string value;
        if (const std::string problem = Decode(raw, body ? EPlace::Text : EPlace::SingleLine,
                                               body ? MaxMailtoBodyBytes : MaxMailtoFieldBytes, value);
            !problem.empty()) {
            result.LeftOut.push_back(name + " (" + problem + ")");
        } else if (body) {
            result.Body = OneKindOfLineBreak(value);
        } else {
            result.Subject = std::move(value);
        }
    }
    return result;
}

}  // namespace corvane::mail
