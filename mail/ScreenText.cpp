#include "mail/ScreenText.h"

#include <cstdint>
#include <cstdio>

#include "mail/EncodedWords.h"

namespace corvane::mail {

namespace {

// The code point of the well-formed UTF-8 sequence Bytes (1 to 4 bytes long).
std::uint32_t CodePoint(std::string_view bytes) {
    const auto byte = [&bytes](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])); };
    switch (bytes.size()) {
        case 1:
            return byte(0);
        case 2:
            return (byte(0) & 0x1F) << 6 | (byte(1) & 0x3F);
        case 3:
            return (byte(0) & 0x0F) << 12 | (byte(1) & 0x3F) << 6 | (byte(2) & 0x3F);
        default:
            return (byte(0) & 0x07) << 18 | (byte(1) & 0x3F) << 12 | (byte(2) & 0x3F) << 6 | (byte(3) & 0x3F);
    }
}

bool MustEscape(std::uint32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x061C || c == 0x200B || c == 0x200C ||
           c == 0x200D || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
           c == 0x2060 || (c >= 0x2066 && c <= 0x2069) || c == 0xFEFF;
}

}  // namespace

std::string ScreenSafe(std::string_view utf8) {
    std::string shown;
    shown.reserve(utf8.size());
    for (std::size_t at = 0; at < utf8.size();) {
        const std::size_t end = CharacterEnd(utf8, at);
        const std::string_view character = utf8.substr(at, end - at);
        at = end;
        const auto first = static_cast<unsigned char>(character.front());
        char escape[8];
        if (character.size() == 1 && first >= 0x80) {
            std::snprintf(escape, sizeof escape, "\\x%02X", first);
            shown += escape;
        } else if (const std::uint32_t c = CodePoint(character); MustEscape(c)) {
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
            shown += escape;
        } else {
            shown += character;
        }
    }
    return shown;
}

}  // namespace corvane::mail
