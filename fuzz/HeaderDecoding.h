#pragma once
// The reading side of the header encoders, written for the fuzz targets only: what a strict
// reader does with the lines the engine writes. RFC 5322 unfolding, RFC 2047 encoded-words
// (UTF-8, B and Q), quoted-strings and RFC 2231 percent-encoding. Each decoder returns
// nullopt for text a strict reader would refuse, so an encoder that writes it is caught.

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::fuzz {

inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// RFC 5322 section 2.2.3: the line ends go, the blank that starts each folded line stays.
inline std::string Unfolded(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
    }
    return text;
}

inline int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

inline std::optional<std::string> DecodeBase64Text(std::string_view text) {
    static constexpr std::string_view Alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        std::uint32_t group = 0;
        std::size_t padding = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const char c = text[i + j];
            const auto value = Alphabet.find(c);
            if (c == '=' && i + 4 == text.size() && j >= 2 && (j == 3 || text[i + 3] == '=')) {
                ++padding;
            } else if (value == std::string_view::npos || padding > 0) {
                return std::nullopt;
            }
            group = group << 6 |
                    (value == std::string_view::npos ? 0u : static_cast<std::uint32_t>(value));
        }
        const char three[] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                              static_cast<char>(group)};
        bytes.append(three, 3 - padding);
    }
    return bytes;
}

// The bytes of one encoded-word "=?UTF-8?B?...?=" or "=?UTF-8?Q?...?=", or nullopt when Word
// is not one. Phrase: the word stands in a phrase or quoted parameter, where Q allows only
// letters, digits and "!*+-/=_" (RFC 2047 section 5 (3)).
inline std::optional<std::string> DecodeEncodedWord(std::string_view word, bool phrase) {
    constexpr std::size_t Overhead = 12;  // "=?UTF-8?B?" and "?="
    if (word.size() < Overhead || !word.starts_with("=?") || !word.ends_with("?=")) {
        return std::nullopt;
    }
    const std::string_view charset = word.substr(2, 5);
    const bool utf8 =
        (charset == "UTF-8" || charset == "utf-8") && word[7] == '?' && word[9] == '?';
    if (!utf8) {
        return std::nullopt;
    }
    const char encoding = word[8];
    const std::string_view text = word.substr(10, word.size() - Overhead);
    if (text.find('?') != std::string_view::npos) {
        return std::nullopt;
    }
    if (encoding == 'B' || encoding == 'b') {
        return DecodeBase64Text(text);
    }
    if (encoding != 'Q' && encoding != 'q') {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            bytes += ' ';
        } else if (c == '=') {
            if (i + 2 >= text.size() || HexDigit(text[i + 1]) < 0 || HexDigit(text[i + 2]) < 0) {
                return std::nullopt;
            }
            bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else {
            const bool allowed = phrase
                                     ? (std::isalnum(static_cast<unsigned char>(c)) != 0 ||
                                        std::string_view("!*+-/").find(c) != std::string_view::npos)
                                     : (c > ' ' && c < 0x7F);
            if (!allowed) {
                return std::nullopt;
            }
            bytes += c;
        }
    }
    return bytes;
}

// Text in which words and runs of blanks alternate, as a reader shows it: each encoded-word
// decoded, and the blanks between two encoded-words dropped (RFC 2047 section 6.2). The
// encoded-words found are added to Words, when given.
inline std::string DecodeWords(std::string_view text, bool phrase,
                               std::vector<std::string>* words = nullptr) {
    std::string shown;
    std::string pendingBlank;
    bool lastWasEncoded = false;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = pos;
        const bool blank = IsBlank(text[pos]);
        while (end < text.size() && IsBlank(text[end]) == blank) {
            ++end;
        }
        const std::string_view piece = text.substr(pos, end - pos);
        pos = end;
        if (blank) {
            pendingBlank = piece;
            continue;
        }
        const auto decoded = DecodeEncodedWord(piece, phrase);
        if (!(decoded && lastWasEncoded)) {
            shown += pendingBlank;
        }
        pendingBlank.clear();
        shown += decoded ? *decoded : std::string(piece);
        if (decoded && words != nullptr) {
            words->push_back(*decoded);
        }
        lastWasEncoded = decoded.has_value();
    }
    return shown + pendingBlank;
}

// The content of the quoted-string Text ("..."), escapes resolved; nullopt when Text is not
// exactly one quoted-string.
inline std::optional<std::string> Unquoted(std::string_view text) {
    if (text.size() < 2 || text.front() != '"' || text.back() != '"') {
        return std::nullopt;
    }
    std::string content;
    for (std::size_t i = 1; i + 1 < text.size(); ++i) {
        if (text[i] == '"') {
            return std::nullopt;
        }
        if (text[i] == '\\') {
            if (++i + 1 >= text.size()) {
                return std::nullopt;
            }
        }
        content += text[i];
    }
    return content;
}

// RFC 2231 section 4: %XX escapes; nullopt for a stray '%' or a byte that must be escaped.
inline std::optional<std::string> PercentDecoded(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (text[i] == '%') {
            if (i + 2 >= text.size() || HexDigit(text[i + 1]) < 0 || HexDigit(text[i + 2]) < 0) {
                return std::nullopt;
            }
            bytes += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            i += 2;
        } else if (c <= ' ' || c >= 0x7F ||
                   std::string_view("*'()<>@,;:\\\"/[]?=").find(text[i]) !=
                       std::string_view::npos) {
            return std::nullopt;
        } else {
            bytes += text[i];
        }
    }
    return bytes;
}

// RFC 3629: whether Text is well-formed UTF-8.
inline bool IsWellFormedUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 1;
        unsigned char low = 0x80, high = 0xBF;
        if (lead < 0x80) {
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            low = lead == 0xE0 ? 0xA0 : low;
            high = lead == 0xED ? 0x9F : high;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            low = lead == 0xF0 ? 0x90 : low;
            high = lead == 0xF4 ? 0x8F : high;
        } else {
            return false;
        }
        if (text.size() - i < length) {
            return false;
        }
        for (std::size_t j = 1; j < length; ++j) {
            const auto next = static_cast<unsigned char>(text[i + j]);
            if (next < (j == 1 ? low : 0x80) || next > (j == 1 ? high : 0xBF)) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace corvane::fuzz
