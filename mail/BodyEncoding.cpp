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
bool Holds8BitForbidden(std::string_view text) {
    // An empty text may have no bytes behind it at all, and memchr must not see a null.
    return !text.empty() && (std::memchr(text.data(), '\0', text.size()) != nullptr ||
                             std::memchr(text.data(), '\r', text.size()) != nullptr ||
                             std::memchr(text.data(), '\n', text.size()) != nullptr);
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
void AppendSoftBroken(const char* encoded, std::size_t size, TLineList& out) {
    std::size_t pos = 0;
    while (size - pos > MaxEncodedLine) {
        std::size_t cut = pos + MaxEncodedLine - 1;
        cut -= encoded[cut - 1] == '=' ? 1 : encoded[cut - 2] == '=' ? 2 : 0;
        char* piece = out.AddUninitialised(cut - pos + 1);
        std::memcpy(piece, encoded + pos, cut - pos);
        piece[cut - pos] = '=';
        pos = cut;
    }
    out.Add(std::string_view(encoded + pos, size - pos));
}

// A text held in two lists, the second read after the first.
using TParts = std::array<const TLineList*, 2>;

std::size_t TextSizeOf(const TParts& parts) {
    return parts[0]->TextSize() + parts[1]->TextSize();
}

TLineList QuotedPrintableLines(const TParts& parts) {
    // At least the non-ASCII bytes are escaped: sizes the result in one go.
    std::size_t encodedSize = TextSizeOf(parts);
    std::size_t lineCount = 0;
    std::size_t longest = 0;
    for (const TLineList* lines : parts) {
        encodedSize += 2 * NonAsciiBytes(lines->Text());
        lineCount += lines->Count();
        longest = std::max(longest, lines->LongestLine());
    }
    TLineList out;
    // A cut may move back by two to keep "=XX" whole, and a soft break adds a character.
    out.Reserve(encodedSize + encodedSize / (MaxEncodedLine - 3),
                lineCount + encodedSize / (MaxEncodedLine - 3));
    const auto scratch = std::make_unique_for_overwrite<char[]>(3 * longest + 4);
    for (const TLineList* lines : parts) {
        for (const auto line : *lines) {
            if (line.empty()) {
                out.Add({});
            } else {
                AppendSoftBroken(scratch.get(), EncodeQuotedPrintable(line, scratch.get()), out);
            }
        }
    }
    return out;
}

// The text as one stream of bytes, each line ended by CR LF, handed out in pieces.
class TCrLfStream {
public:
    explicit TCrLfStream(const TParts& parts) : m_parts(parts) {}
    // Copies up to Count bytes of the stream into Out; returns how many (fewer only at the end).
    std::size_t Read(char* out, std::size_t count) {
        std::size_t done = 0;
        while (done < count && NextLine()) {
            const std::string_view line = (*m_parts[m_part])[m_line];
            if (m_offset < line.size()) {
                const std::size_t take = std::min(count - done, line.size() - m_offset);
                std::memcpy(out + done, line.data() + m_offset, take);
                done += take;
                m_offset += take;
                continue;
            }
            constexpr std::string_view CrLf = "\r\n";
            const std::size_t intoEnd = m_offset - line.size();
            const std::size_t take = std::min(count - done, CrLf.size() - intoEnd);
            std::memcpy(out + done, CrLf.data() + intoEnd, take);
            done += take;
            m_offset += take;
            if (m_offset == line.size() + CrLf.size()) {
                ++m_line;
                m_offset = 0;
            }
        }
        return done;
    }

private:
    // Whether a line is left, moving on to the next part where one ends.
    bool NextLine() {
        while (m_part < m_parts.size() && m_line == m_parts[m_part]->Count()) {
            ++m_part;
            m_line = 0;
        }
        return m_part < m_parts.size();
    }

    const TParts& m_parts;
    std::size_t m_part = 0;
    std::size_t m_line = 0;
    std::size_t m_offset = 0;  // into the line and its CR LF
};

// Each line ended by CR LF, as the other forms deliver it, then Base64 in lines of 76
// characters (57 bytes each), a chunk of lines at a time.
TLineList Base64Lines(const TParts& parts) {
    const std::size_t bytes = TextSizeOf(parts) + 2 * (parts[0]->Count() + parts[1]->Count());
    TLineList out;
    out.Reserve(Base64EncodedLength(bytes), bytes / Base64LineInputBytes + 1);
    TCrLfStream stream(parts);
    constexpr std::size_t ChunkBytes = Base64ChunkLines * Base64LineInputBytes;
    const auto chunk = std::make_unique_for_overwrite<char[]>(ChunkBytes);
    for (std::size_t left = bytes; left > 0;) {
        const std::size_t count = stream.Read(chunk.get(), std::min(left, ChunkBytes));
        if (count == 0) {
            break;  // cannot happen: the stream holds exactly Bytes
        }
        left -= count;
        // 57 bytes are 19 whole triplets: the chunk's encoding is its lines end to end.
        const std::size_t fullLines = count / Base64LineInputBytes;
        const std::size_t fullBytes = fullLines * Base64LineInputBytes;
        const auto* in = reinterpret_cast<const std::uint8_t*>(chunk.get());
        EncodeBase64(in, fullBytes, out.AddUninitialisedLines(fullLines, Base64LineLength));
        if (count > fullBytes) {
            const std::size_t rest = count - fullBytes;
            EncodeBase64(in + fullBytes, rest, out.AddUninitialised(Base64EncodedLength(rest)));
        }
    }
    return out;
}

}  // namespace

ETextEncoding ChooseTextEncoding(const TLineList& lines, bool server8BitMime) {
    return ChooseTextEncoding(lines, TLineList(), server8BitMime);
}

ETextEncoding ChooseTextEncoding(const TLineList& lines, const TLineList& more,
                                 bool server8BitMime) {
    const std::size_t nonAscii = NonAsciiBytes(lines.Text()) + NonAsciiBytes(more.Text());
    const bool longLine = std::max(lines.LongestLine(), more.LongestLine()) > MaxLineBytes;
    if (nonAscii == 0 && !longLine) {
        return ETextEncoding::AsIs;
    }
    if (server8BitMime && !longLine && !Holds8BitForbidden(lines.Text()) &&
        !Holds8BitForbidden(more.Text())) {
        return ETextEncoding::EightBit;
    }
    const std::size_t bytes = lines.TextSize() + more.TextSize();
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

TLineList EncodeText(TLineList lines, ETextEncoding encoding) {
    if (encoding == ETextEncoding::AsIs || encoding == ETextEncoding::EightBit) {
        return lines;
    }
    return EncodeText(lines, TLineList(), encoding);
}

TLineList EncodeText(const TLineList& lines, const TLineList& more, ETextEncoding encoding) {
    const TParts parts{&lines, &more};
    switch (encoding) {
        case ETextEncoding::QuotedPrintable:
            return QuotedPrintableLines(parts);
        case ETextEncoding::Base64:
            return Base64Lines(parts);
        case ETextEncoding::AsIs:
        case ETextEncoding::EightBit:
            break;
    }
    TLineList joined(lines);
    joined.Append(more);
    return joined;
}

}  // namespace corvane::mail
