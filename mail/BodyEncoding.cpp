#include "BodyEncoding.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

#include "mail/Base64.h"

namespace corvane::mail {

namespace {

constexpr std::size_t MaxLineBytes = 998;      // RFC 5321 section 4.5.3.1.6, without CR LF
constexpr std::size_t MaxEncodedLine = 76;     // RFC 2045 section 6.7 (5) and section 6.8
constexpr std::size_t Base64ChunkLines = 256;  // lines encoded per call: about 15 KiB of text

std::size_t NonAsciiBytes(std::string_view text) {
    // Eight bytes at a time: the top bits moved to the bottom of each byte, then the bytes
    // summed by one multiplication (no popcount instruction in the baseline x86-64 target).
    std::size_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        count += (((word & 0x8080808080808080ULL) >> 7) * 0x0101010101010101ULL) >> 56;
    }
    for (; i < text.size(); ++i) {
        count += static_cast<unsigned char>(text[i]) >> 7;
    }
    return count;
}

// RFC 2045 section 2.8: 8bit data holds no NUL, and CR and LF only as a line end.
bool Holds8BitForbidden(const std::string& line) {
    return std::memchr(line.data(), '\0', line.size()) != nullptr ||
           std::memchr(line.data(), '\r', line.size()) != nullptr ||
           std::memchr(line.data(), '\n', line.size()) != nullptr;
}

// RFC 2045 section 6.7 (1) to (3): every byte as quoted-printable writes it inside a line,
// itself or "=XX", stored as up to four characters so that one 4-byte copy writes it. The
// blanks are themselves here; at the end of a line they must be escaped (EndOfLineToken).
struct TQuotedPrintableToken {
    char Text[4];
    std::uint8_t Length;
};
constexpr TQuotedPrintableToken EscapedToken(unsigned c) {
    constexpr char Hex[] = "0123456789ABCDEF";
    return {{'=', Hex[c >> 4], Hex[c & 0x0F], 0}, 3};
}
constexpr std::array<TQuotedPrintableToken, 256> QuotedPrintableTokens = [] {
    std::array<TQuotedPrintableToken, 256> tokens{};
    for (unsigned c = 0; c < 256; ++c) {
        const bool literal = (c >= 33 && c <= 126 && c != '=') || c == ' ' || c == '\t';
        tokens[c] =
            literal ? TQuotedPrintableToken{{static_cast<char>(c), 0, 0, 0}, 1} : EscapedToken(c);
    }
    return tokens;
}();
TQuotedPrintableToken EndOfLineToken(unsigned char c) {
    return c == ' ' || c == '\t' ? EscapedToken(c) : QuotedPrintableTokens[c];
}

// Whether all eight bytes are printable ASCII other than '=', written as themselves. Each
// test is exact for "some byte is": zero after the XOR, or below 0x20 (Hacker's Delight 6-1).
bool EightLiterals(std::uint64_t bytes) {
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    constexpr std::uint64_t Highs = 0x8080808080808080ULL;
    const auto anyZero = [](std::uint64_t v) { return (v - Ones) & ~v & Highs; };
    const std::uint64_t below20 = (bytes - 0x20 * Ones) & ~bytes & Highs;
    return ((bytes & Highs) | below20 | anyZero(bytes ^ ('=' * Ones)) |
            anyZero(bytes ^ (0x7F * Ones))) == 0;
}

// Line as quoted-printable without line breaks, into Out, which has room for 3 characters
// per byte and 4 more; returns the length. Runs of plain ASCII are copied eight bytes at a
// time; elsewhere each byte is one table look-up and one 4-byte copy.
std::size_t EncodeQuotedPrintable(std::string_view line, char* out) {
    char* const start = out;
    const char* next = line.data();
    const char* const last = next + line.size() - 1;
    const auto put = [&out](const TQuotedPrintableToken& token) {
        std::memcpy(out, token.Text, 4);
        out += token.Length;
    };
    while (last - next >= 8) {
        std::uint64_t eight;
        std::memcpy(&eight, next, 8);
        if (EightLiterals(eight)) {
            std::memcpy(out, next, 8);
            out += 8;
        } else {
            for (int i = 0; i < 8; ++i) {
                put(QuotedPrintableTokens[static_cast<unsigned char>(next[i])]);
            }
        }
        next += 8;
    }
    for (; next < last; ++next) {
        put(QuotedPrintableTokens[static_cast<unsigned char>(*next)]);
    }
    put(EndOfLineToken(static_cast<unsigned char>(*last)));
    return static_cast<std::size_t>(out - start);
}

// The encoded line cut into lines of at most 76 characters: each but the last ends in the
// '=' of a soft line break (section 6.7 (5)) after at most 75. A cut never splits "=XX":
// every '=' in the encoding starts one.
void AppendSoftBroken(const char* encoded, std::size_t size, std::vector<std::string>& out) {
    std::size_t pos = 0;
    while (size - pos > MaxEncodedLine) {
        std::size_t cut = pos + MaxEncodedLine - 1;
        cut -= encoded[cut - 1] == '=' ? 1 : encoded[cut - 2] == '=' ? 2 : 0;
        std::string& piece = out.emplace_back(cut - pos + 1, '=');
        std::memcpy(piece.data(), encoded + pos, cut - pos);
        pos = cut;
    }
    out.emplace_back(encoded + pos, size - pos);
}

std::vector<std::string> QuotedPrintableLines(const std::vector<std::string>& lines) {
    std::size_t longest = 0;
    std::size_t escapes = 0;  // at least the non-ASCII bytes: sizes the result in one go
    std::size_t encodedSize = 0;
    for (const auto& line : lines) {
        longest = std::max(longest, line.size());
        escapes += NonAsciiBytes(line);
        encodedSize += line.size();
    }
    encodedSize += 2 * escapes;
    std::vector<std::string> out;
    // A cut may move back by two to keep "=XX" whole.
    out.reserve(lines.size() + encodedSize / (MaxEncodedLine - 3));
    const auto scratch = std::make_unique_for_overwrite<char[]>(3 * longest + 4);
    for (const auto& line : lines) {
        if (line.empty()) {
            out.emplace_back();
        } else {
            AppendSoftBroken(scratch.get(), EncodeQuotedPrintable(line, scratch.get()), out);
        }
    }
    return out;
}

// Each line ended by CR LF, as the other forms deliver it, then Base64 in lines of 76
// characters (57 bytes each).
std::vector<std::string> Base64Lines(const std::vector<std::string>& lines) {
    std::string text;
    std::size_t bytes = 0;
    for (const auto& line : lines) {
        bytes += line.size() + 2;
    }
    text.reserve(bytes);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }

    const auto* in = reinterpret_cast<const std::uint8_t*>(text.data());
    const std::size_t fullLines = text.size() / Base64LineInputBytes;
    std::vector<std::string> out;
    out.reserve(fullLines + 1);
    std::string chunk(Base64ChunkLines * Base64LineLength, '\0');
    for (std::size_t line = 0; line < fullLines; line += Base64ChunkLines) {
        const std::size_t count = std::min(Base64ChunkLines, fullLines - line);
        // 57 bytes are 19 whole triplets: the chunk's encoding is its lines end to end.
        EncodeBase64(in + line * Base64LineInputBytes, count * Base64LineInputBytes, chunk.data());
        for (std::size_t i = 0; i < count; ++i) {
            out.emplace_back(chunk.data() + i * Base64LineLength, Base64LineLength);
        }
    }
    const std::size_t rest = text.size() - fullLines * Base64LineInputBytes;
    if (rest > 0) {
        std::string& tail = out.emplace_back(Base64EncodedLength(rest), '\0');
        EncodeBase64(in + fullLines * Base64LineInputBytes, rest, tail.data());
    }
    return out;
}

}  // namespace

ETextEncoding ChooseTextEncoding(const std::vector<std::string>& lines, bool server8BitMime) {
    std::size_t bytes = 0;
    std::size_t nonAscii = 0;
    bool longLine = false;
    for (const auto& line : lines) {
        bytes += line.size();
        nonAscii += NonAsciiBytes(line);
        longLine = longLine || line.size() > MaxLineBytes;
    }
    if (nonAscii == 0 && !longLine) {
        return ETextEncoding::AsIs;
    }
    if (server8BitMime && !longLine &&
        std::none_of(lines.begin(), lines.end(), Holds8BitForbidden)) {
        return ETextEncoding::EightBit;
    }
    // Quoted-printable writes 1 + 2f characters per byte when a share f of the bytes is
    // non-ASCII, Base64 always 4/3. Up to one half quoted-printable costs at most twice the
    // text and keeps its ASCII readable to people and filters; beyond it (Greek, Cyrillic,
    // Chinese...) it nears three times, and Base64 is much the shorter.
    return nonAscii * 2 > bytes ? ETextEncoding::Base64 : ETextEncoding::QuotedPrintable;
}

const char* TransferEncodingName(ETextEncoding encoding) {
    switch (encoding) {
        case ETextEncoding::QuotedPrintable:
            return "quoted-printable";
        case ETextEncoding::Base64:
            return "base64";
        case ETextEncoding::AsIs:
        case ETextEncoding::EightBit:
            break;
    }
    return "8bit";
}

std::vector<std::string> EncodeText(const std::vector<std::string>& lines, ETextEncoding encoding) {
    switch (encoding) {
        case ETextEncoding::QuotedPrintable:
            return QuotedPrintableLines(lines);
        case ETextEncoding::Base64:
            return Base64Lines(lines);
        case ETextEncoding::AsIs:
        case ETextEncoding::EightBit:
            break;
    }
    return lines;
}

}  // namespace corvane::mail
