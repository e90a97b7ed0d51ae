#include "EncodedWords.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "mail/Base64.h"

namespace corvane::mail {

namespace {

constexpr std::string_view WordEnd = "?=";
// "=?UTF-8?B?" (or Q) and "?=" around the encoded text.
constexpr std::size_t WordOverhead = 10 + WordEnd.size();
// A word placed where less than this is left of the line carries only a character or two;
// it goes on the next line instead, unless it is the last of its text.
constexpr std::size_t SmallestUsefulWord = 24;

constexpr char32_t NotACharacter = 0xFFFFFFFF;
constexpr char32_t ZeroWidthJoiner = 0x200D;

struct TCharacter {
    std::size_t Length;
    char32_t CodePoint;  // NotACharacter for a byte that starts no well-formed sequence
};

// RFC 3629 section 4: the lead byte fixes the length and the range of the second byte, which
// rules out overlong forms, surrogates and code points above U+10FFFF.
TCharacter DecodeCharacter(std::string_view text, std::size_t pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        return {1, lead};
    }
    std::size_t length = 0;
    char32_t codePoint = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0Fu;
        low = lead == 0xE0 ? 0xA0 : low;
        high = lead == 0xED ? 0x9F : high;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07u;
        low = lead == 0xF0 ? 0x90 : low;
        high = lead == 0xF4 ? 0x8F : high;
    } else {
        return {1, NotACharacter};
    }
    if (text.size() - pos < length) {
        return {1, NotACharacter};
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[pos + i]);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
            return {1, NotACharacter};
        }
        codePoint = (codePoint << 6) | (next & 0x3Fu);
    }
    return {length, codePoint};
}

// Characters that belong to the one before them on screen: the common combining marks (Latin,
// Cyrillic, Hebrew, Arabic, Thai, kana voicing), variation selectors, emoji skin tones and tags.
bool JoinsPrevious(char32_t c) {
    static constexpr std::pair<char32_t, char32_t> Ranges[] = {
        {0x0300, 0x036F},   {0x0483, 0x0489},   {0x0591, 0x05BD},   {0x0610, 0x061A},
        {0x064B, 0x065F},   {0x0670, 0x0670},   {0x0E31, 0x0E31},   {0x0E34, 0x0E3A},
        {0x0E47, 0x0E4E},   {0x1AB0, 0x1AFF},   {0x1DC0, 0x1DFF},   {0x200D, 0x200D},
        {0x20D0, 0x20FF},   {0x3099, 0x309A},   {0xFE00, 0xFE0F},   {0xFE20, 0xFE2F},
        {0x1F3FB, 0x1F3FF}, {0xE0020, 0xE007F}, {0xE0100, 0xE01EF},
    };
    return std::any_of(std::begin(Ranges), std::end(Ranges),
                       [c](const auto& range) { return c >= range.first && c <= range.second; });
}

enum class EWordEncoding { B, Q };
enum class ECut { Clusters, Characters };

bool IsLetterOrDigit(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// Whether Q may write the byte as itself (the blank becomes '_', which is not counted here).
bool QLiteral(unsigned char c, EWordContext context) {
    if (context == EWordContext::Phrase) {
        return IsLetterOrDigit(c) || c == '!' || c == '*' || c == '+' || c == '-' || c == '/';
    }
    return c > ' ' && c < 0x7F && c != '=' && c != '?' && c != '_';
}

std::size_t QLength(std::string_view text, EWordContext context) {
    std::size_t length = 0;
    for (const char c : text) {
        length += c == ' ' || QLiteral(static_cast<unsigned char>(c), context) ? 1 : 3;
    }
    return length;
}

std::size_t EncodedLength(std::string_view text, EWordEncoding encoding, EWordContext context) {
    return WordOverhead + (encoding == EWordEncoding::B ? Base64EncodedLength(text.size())
                                                        : QLength(text, context));
}

// Whether Text fits in one encoded-word on a line of its own, with Other characters beside it.
bool FitsOneWord(std::string_view text, std::size_t other, EWordEncoding encoding,
                 EWordContext context) {
    const std::size_t length = EncodedLength(text, encoding, context);
    return length <= MaxEncodedWordLength && length + other <= HeaderFoldColumn;
}

EWordEncoding ShorterEncoding(std::string_view text, EWordContext context) {
    return QLength(text, context) <= Base64EncodedLength(text.size()) ? EWordEncoding::Q
                                                                      : EWordEncoding::B;
}

std::string EncodedWord(std::string_view text, EWordEncoding encoding, EWordContext context) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string word = encoding == EWordEncoding::B ? "=?UTF-8?B?" : "=?UTF-8?Q?";
    if (encoding == EWordEncoding::B) {
        word += EncodeBase64(text);
    } else {
        for (const char c : text) {
            const auto byte = static_cast<unsigned char>(c);
            if (c == ' ') {
                word += '_';  // RFC 2047 section 4.2 (2)
            } else if (QLiteral(byte, context)) {
                word += c;
            } else {
                word += '=';
                word += Hex[byte >> 4];
                word += Hex[byte & 0x0F];
            }
        }
    }
    word += WordEnd;
    return word;
}

// The longest start of Text, cut at the ends of clusters (or of characters), whose
// encoded-word has at most Width characters; 0 when not even the first one fits.
std::size_t PrefixFitting(std::string_view text, std::size_t width, EWordEncoding encoding,
                          EWordContext context, ECut cut) {
    if (width <= WordOverhead) {
        return 0;
    }
    const std::size_t room = width - WordOverhead;
    std::size_t end = 0;
    std::size_t qLength = 0;
    while (end < text.size()) {
        const std::size_t next =
            cut == ECut::Clusters ? ClusterEnd(text, end) : CharacterEnd(text, end);
        if (encoding == EWordEncoding::B) {
            if (Base64EncodedLength(next) > room) {
                break;
            }
        } else {
            const std::size_t longer = qLength + QLength(text.substr(end, next - end), context);
            if (longer > room) {
                break;
            }
            qLength = longer;
        }
        end = next;
    }
    return end;
}

}  // namespace

std::size_t CharacterEnd(std::string_view text, std::size_t pos) {
    return pos + DecodeCharacter(text, pos).Length;
}

std::size_t ClusterEnd(std::string_view text, std::size_t pos) {
    TCharacter current = DecodeCharacter(text, pos);
    std::size_t end = pos + current.Length;
    while (end < text.size()) {
        const TCharacter next = DecodeCharacter(text, end);
        // A zero-width joiner glues the next character on too (emoji sequences).
        if (current.CodePoint != ZeroWidthJoiner && !JoinsPrevious(next.CodePoint)) {
            break;
        }
        end += next.Length;
        current = next;
    }
    return end;
}

THeaderLines::THeaderLines(std::string_view name) : m_line(std::string(name) + ":") {}

void THeaderLines::Fold() {
    m_lines.push_back(std::move(m_line));
    m_line.clear();
}

void THeaderLines::AddWord(std::string_view blank, std::string_view word) {
    if (m_hasWord && m_line.size() + blank.size() + word.size() > HeaderFoldColumn) {
        Fold();
    }
    m_line += blank;
    m_line += word;
    m_hasWord = true;
}

void THeaderLines::AddEncoded(std::string_view blank, std::string_view text, EWordContext context,
                              std::string_view before, std::string_view after) {
    const EWordEncoding encoding = ShorterEncoding(text, context);
    // How much of Rest fits in one word on the current line, After included when it is all.
    const auto fitting = [&](std::string_view rest, std::size_t lead, ECut cut) {
        const std::size_t column = m_line.size() + lead;
        const std::size_t lineRoom = column < HeaderFoldColumn ? HeaderFoldColumn - column : 0;
        std::size_t take =
            PrefixFitting(rest, std::min(MaxEncodedWordLength, lineRoom), encoding, context, cut);
        if (take == rest.size() &&
            EncodedLength(rest, encoding, context) + after.size() > lineRoom) {
            const std::size_t roomBeforeAfter =
                lineRoom > after.size() ? lineRoom - after.size() : 0;
            take = PrefixFitting(rest, std::min(MaxEncodedWordLength, roomBeforeAfter), encoding,
                                 context, cut);
        }
        return std::pair{take, std::min(MaxEncodedWordLength, lineRoom)};
    };

    for (std::size_t pos = 0; pos < text.size();) {
        const bool first = pos == 0;
        const std::string_view separator = first ? blank : " ";
        const std::size_t lead = separator.size() + (first ? before.size() : 0);
        const std::string_view rest = text.substr(pos);
        auto [take, width] = fitting(rest, lead, ECut::Clusters);
        // Rather than cut a text that one word on the next line holds, or leave a scrap here.
        const bool wholeOnNextLine = take < rest.size() && rest.size() < MaxEncodedWordLength &&
                                     FitsOneWord(rest, lead + after.size(), encoding, context);
        if (m_hasWord &&
            (take == 0 || wholeOnNextLine || (take < rest.size() && width < SmallestUsefulWord))) {
            Fold();
            take = fitting(rest, lead, ECut::Clusters).first;
        }
        if (take == 0) {
            take = fitting(rest, lead, ECut::Characters).first;  // a cluster too long for one word
        }
        if (take == 0) {
            take = CharacterEnd(rest, 0);  // a line too full even for one character: overlong
        }
        m_line += separator;
        if (first) {
            m_line += before;
        }
        m_line += EncodedWord(rest.substr(0, take), encoding, context);
        pos += take;
        if (pos == text.size()) {
            m_line += after;
        }
        m_hasWord = true;
    }
}

std::vector<std::string> THeaderLines::Take() {
    Fold();
    return std::move(m_lines);
}

}  // namespace corvane::mail
