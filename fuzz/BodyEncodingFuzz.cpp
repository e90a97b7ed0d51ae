// The message text's encodings: the choice among them and both encoders, on any lines.
// Input: one option byte (bit 0: the server offers 8BITMIME), then the lines, cut at LF
// (so a line may still hold CR or NUL).
//
// Properties:
// - the choice keeps its promises: AsIs only for ASCII lines of at most 998 bytes, and
//   always for ASCII lines that fit and hold no NUL, CR or LF; EightBit only where the
//   server offers it, for lines that fit and hold none of those; Base64 exactly when more
//   than half of the bytes are not ASCII, among the two encodings;
// - quoted-printable and Base64 (both always tried) write lines of at most 76 characters of
//   printable ASCII, no quoted-printable line ends in a blank, and decoding them (with the
//   decoders here, strict to RFC 2045) gives back every line followed by CR LF;
// - AsIs and EightBit give the lines back unchanged.

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mail/BodyEncoding.h"

namespace {

using corvane::fuzz::Shown;
namespace mail = corvane::mail;

constexpr std::size_t MaxEncodedLine = 76;

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;  // RFC 2045 asks for upper case
}

// RFC 2045 section 6.7: "=XX" is a byte, "=" at a line's end a soft line break, every
// other line end a CR LF. nullopt for anything a strict reader would not take.
std::optional<std::string> DecodeQuotedPrintable(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        bool soft = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            const char c = line[i];
            if (c != '=') {
                text += c;
                continue;
            }
            if (i + 1 == line.size()) {
                soft = true;
                break;
            }
            if (i + 2 >= line.size() || HexValue(line[i + 1]) < 0 || HexValue(line[i + 2]) < 0) {
                return std::nullopt;
            }
            text += static_cast<char>(HexValue(line[i + 1]) * 16 + HexValue(line[i + 2]));
            i += 2;
        }
        if (!soft) {
            text += "\r\n";
        }
    }
    return text;
}

std::optional<std::string> DecodeBase64(const std::vector<std::string>& lines) {
    static constexpr std::string_view Alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string all;
    for (const auto& line : lines) {
        all += line;
    }
    if (all.size() % 4 != 0) {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 0; i < all.size(); i += 4) {
        std::uint32_t group = 0;
        std::size_t padding = 0;
        for (std::size_t j = 0; j < 4; ++j) {
            const auto value = Alphabet.find(all[i + j]);
            if (all[i + j] == '=' && i + 4 == all.size() && j >= 2) {
                ++padding;
            } else if (value == std::string_view::npos || padding > 0) {
                return std::nullopt;
            }
            group = group << 6 |
                    (value == std::string_view::npos ? 0 : static_cast<std::uint32_t>(value));
        }
        const char three[] = {static_cast<char>(group >> 16), static_cast<char>(group >> 8),
                              static_cast<char>(group)};
        bytes.append(three, 3 - padding);
    }
    return bytes;
}

bool IsPrintableAscii(std::string_view line) {
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return (c >= 32 && c <= 126) || c == '\t'; });
}

void CheckEncoded(const std::vector<std::string>& lines, mail::ETextEncoding encoding,
                  const std::string& expected) {
    const bool qp = encoding == mail::ETextEncoding::QuotedPrintable;
    const auto encoded = mail::EncodeText(lines, encoding).ToVector();
    for (const auto& line : encoded) {
        FUZZ_CHECK(line.size() <= MaxEncodedLine && IsPrintableAscii(line), Shown(line));
        if (qp) {
            FUZZ_CHECK(!line.ends_with(' ') && !line.ends_with('\t'),
                       "a blank at a line's end: " + Shown(line));
        }
    }
    const auto decoded = qp ? DecodeQuotedPrintable(encoded) : DecodeBase64(encoded);
    FUZZ_CHECK(decoded && *decoded == expected,
               std::string(qp ? "quoted-printable" : "Base64") +
                   " does not decode to the text: " + Shown(decoded.value_or("(invalid)")));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const bool server8BitMime = (data[0] & 1) != 0;
    std::vector<std::string> lines;
    const std::string_view text = corvane::fuzz::AsText(data + 1, size - 1);
    for (std::size_t start = 0;;) {
        const auto end = text.find('\n', start);
        lines.emplace_back(text.substr(start, end == std::string_view::npos ? end : end - start));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }

    std::size_t bytes = 0, nonAscii = 0;
    bool fits = true, forbidden8Bit = false;
    std::string expected;
    for (const auto& line : lines) {
        bytes += line.size();
        nonAscii += std::count_if(line.begin(), line.end(),
                                  [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
        fits = fits && line.size() <= 998;
        forbidden8Bit =
            forbidden8Bit || line.find_first_of(std::string_view("\0\r\n", 3)) != std::string::npos;
        expected += line + "\r\n";
    }

    const auto chosen = mail::ChooseTextEncoding(lines, server8BitMime);
    FUZZ_CHECK(mail::TransferEncodingName(chosen) != nullptr, "no name");
    switch (chosen) {
        case mail::ETextEncoding::AsIs:
            FUZZ_CHECK(nonAscii == 0 && fits, "AsIs for text that needs encoding");
            break;
        case mail::ETextEncoding::EightBit:
            FUZZ_CHECK(server8BitMime && fits && !forbidden8Bit, "8bit where it is not allowed");
            break;
        case mail::ETextEncoding::QuotedPrintable:
        case mail::ETextEncoding::Base64:
            FUZZ_CHECK(!(nonAscii == 0 && fits && !forbidden8Bit), "plain text encoded");
            FUZZ_CHECK((chosen == mail::ETextEncoding::Base64) == (2 * nonAscii > bytes),
                       "the wrong encoding chosen");
            break;
    }
    for (const auto as : {mail::ETextEncoding::AsIs, mail::ETextEncoding::EightBit}) {
        FUZZ_CHECK(mail::EncodeText(lines, as) == lines, "lines changed");
    }
    CheckEncoded(lines, mail::ETextEncoding::QuotedPrintable, expected);
    CheckEncoded(lines, mail::ETextEncoding::Base64, expected);
    return 0;
}
