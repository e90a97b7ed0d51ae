#include "HeaderEncoding.h"

#include <cstdint>
#include <cstring>

#include "mail/EncodedWords.h"
#include "mail/MailText.h"

namespace corvane::mail {

namespace {

constexpr std::size_t MaxLineLength = 998;  // RFC 5322 section 2.1.1 (MUST)
// Blanks between two plain words stay as typed up to this many; a longer run travels inside
// encoded-words, so that no line is only blanks and no word is pushed past the fold column.
constexpr std::size_t LongestPlainGap = 40;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// RFC 5322 section 3.2.3 atext: what a phrase word may hold without quotes.
bool IsAtomText(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr;
}

// A word that may stand as it is: printable ASCII (in a phrase, atext only), and nothing a
// reader could take for the start of an encoded-word.
bool IsPlainWord(std::string_view word, EWordContext context) {
    if (word.find("=?") != std::string_view::npos) {
        return false;
    }
    for (const char c : word) {
        if (context == EWordContext::Phrase ? !IsAtomText(c) : (c <= ' ' || c >= 0x7F)) {
            return false;
        }
    }
    return true;
}

// Readers keep the blanks between plain words of unstructured text, but read any run of them
// in a phrase as one space (RFC 5322 section 3.2.5).
bool IsPlainGap(std::string_view gap, EWordContext context) {
    return context == EWordContext::Phrase ? gap == " " : gap.size() <= LongestPlainGap;
}

// Value cut into words and the runs of blanks around them: Gaps[i] comes before Words[i], and
// the last gap (possibly empty) follows the last word.
struct TWords {
    std::vector<std::string_view> Words;
    std::vector<std::string_view> Gaps;
};

TWords SplitWords(std::string_view value) {
    TWords split;
    std::size_t pos = 0;
    for (;;) {
        std::size_t start = pos;
        while (start < value.size() && IsBlank(value[start])) {
            ++start;
        }
        split.Gaps.push_back(value.substr(pos, start - pos));
        if (start == value.size()) {
            return split;
        }
        std::size_t end = start;
        while (end < value.size() && !IsBlank(value[end])) {
            ++end;
        }
        split.Words.push_back(value.substr(start, end - start));
        pos = end;
    }
}

// Adds Value word by word: plain words as they are, every stretch from one word that needs
// encoding to the last of the words next to it that need it too as one run of encoded-words,
// the blanks between them included (the blank between two encoded-words is not text, RFC
// 2047 section 6.2).
void AddWords(THeaderLines& lines, std::string_view value, EWordContext context) {
    const TWords split = SplitWords(value);
    const std::size_t count = split.Words.size();
    if (count == 0) {
        lines.AddEncoded(" ", value, context);
        return;
    }
    std::vector<bool> encode(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t blank = i == 0 ? 1 : split.Gaps[i].size();
        encode[i] = !IsPlainWord(split.Words[i], context) ||
                    blank + split.Words[i].size() > HeaderFoldColumn;
    }
    // Readers drop blanks at either end of a value or a phrase unless an encoded-word holds them.
    encode[0] = encode[0] || !split.Gaps[0].empty();
    encode[count - 1] = encode[count - 1] || !split.Gaps[count].empty();
    for (std::size_t i = 1; i < count; ++i) {
        if (!IsPlainGap(split.Gaps[i], context)) {
            encode[i - 1] = true;
            encode[i] = true;
        }
    }

    for (std::size_t i = 0; i < count;) {
        const std::string_view blank = i == 0 ? std::string_view(" ") : split.Gaps[i];
        if (!encode[i]) {
            lines.AddWord(blank, split.Words[i]);
            ++i;
            continue;
        }
        std::size_t last = i;
        while (last + 1 < count && encode[last + 1]) {
            ++last;
        }
        const char* begin = i == 0 ? split.Gaps[0].data() : split.Words[i].data();
        const std::string_view end = last + 1 == count ? split.Gaps[count] : split.Words[last];
        lines.AddEncoded(blank, std::string_view(begin, end.data() + end.size() - begin), context);
        i = last + 1;
    }
}

bool FitsAsIs(std::string_view name, std::string_view value) {
    return IsAscii(value) && name.size() + 2 + value.size() <= MaxLineLength;
}

std::string Joined(std::string_view name, std::string_view value) {
    std::string line(name);
    line += ": ";
    line += value;
    return line;
}

// The end of the quoted-string that opens at Open (RFC 5322 section 3.2.4, backslash escapes
// honoured), or npos when it never closes; such a lone quote is an ordinary character.
std::size_t QuotedEnd(std::string_view text, std::size_t open) {
    for (std::size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
        } else if (text[i] == '"') {
            return i;
        }
    }
    return std::string_view::npos;
}

// The first Wanted outside quoted-strings, or npos.
std::size_t FindOutsideQuotes(std::string_view text, char wanted, std::size_t from = 0) {
    for (std::size_t i = from; i < text.size(); ++i) {
        if (text[i] == '"') {
            const std::size_t close = QuotedEnd(text, i);
            if (close != std::string_view::npos) {
                i = close;
                continue;
            }
        }
        if (text[i] == wanted) {
            return i;
        }
    }
    return std::string_view::npos;
}

std::string_view Trimmed(std::string_view text) {
    const auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!text.empty() && blank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// The display name a phrase shows: quoted-strings replaced by their content.
std::string DisplayName(std::string_view phrase) {
    std::string name;
    for (std::size_t i = 0; i < phrase.size(); ++i) {
        const std::size_t close = phrase[i] == '"' ? QuotedEnd(phrase, i) : std::string_view::npos;
        if (close == std::string_view::npos) {
            name += phrase[i];
            continue;
        }
        for (std::size_t j = i + 1; j < close; ++j) {
            if (phrase[j] == '\\' && j + 1 < close) {
                ++j;
            }
            name += phrase[j];
        }
        i = close;
    }
    return name;
}

struct TMailbox {
    std::string DisplayName;
    std::string_view AddrSpec;
    bool Angled = false;  // the addr-spec was typed between '<' and '>'
};

// "Name <addr>", "<addr>" or "addr". Anything after the '>' is dropped, as the envelope
// drops it.
TMailbox ParseMailbox(std::string_view text) {
    const std::size_t open = FindOutsideQuotes(text, '<');
    if (open == std::string_view::npos) {
        return {"", text, false};
    }
    const std::string_view inside = text.substr(open + 1);
    return {DisplayName(Trimmed(text.substr(0, open))), inside.substr(0, inside.find('>')), true};
}

std::vector<std::string_view> SplitMailboxes(std::string_view list) {
    std::vector<std::string_view> mailboxes;
    for (std::size_t start = 0; start <= list.size();) {
        const std::size_t comma = FindOutsideQuotes(list, ',', start);
        const std::string_view mailbox = Trimmed(list.substr(start, comma - start));
        if (!mailbox.empty()) {
            mailboxes.push_back(mailbox);
        }
        if (comma == std::string_view::npos) {
            break;
        }
        start = comma + 1;
    }
    return mailboxes;
}

// An ASCII name that is not a row of atoms, such as "Doe, Jane" or "J. Doe", reads best
// quoted, as it was most likely typed, when it fits on a line.
bool ReadsBestQuoted(std::string_view name) {
    if (!IsAscii(name) || name.find("=?") != std::string_view::npos ||
        name.size() + 3 > HeaderFoldColumn) {
        return false;
    }
    for (const char c : name) {
        if (c < ' ' || c == 0x7F) {
            return false;
        }
    }
    const TWords split = SplitWords(name);
    for (std::size_t i = 0; i < split.Words.size(); ++i) {
        if (!IsPlainWord(split.Words[i], EWordContext::Phrase) ||
            split.Gaps[i] != (i == 0 ? "" : " ")) {
            return true;
        }
    }
    return !split.Gaps.back().empty();
}

void AddPhrase(THeaderLines& lines, std::string_view name) {
    if (ReadsBestQuoted(name)) {
        lines.AddWord(" ", "\"" + QuotedStringContent(name) + "\"");
    } else {
        AddWords(lines, name, EWordContext::Phrase);
    }
}

}  // namespace

bool IsAscii(std::string_view text) {
    // Eight bytes at a time: the message text passes through here whole.
    std::uint64_t seen = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, 8);
        seen |= word;
    }
    for (; i < text.size(); ++i) {
        seen |= static_cast<unsigned char>(text[i]);
    }
    return (seen & 0x8080808080808080ULL) == 0;
}

std::vector<std::string> UnstructuredHeader(std::string_view name, std::string_view value) {
    const std::string clean = SanitizeHeaderValue(value);
    if (FitsAsIs(name, clean)) {
        return {Joined(name, clean)};
    }
    THeaderLines lines(name);
    AddWords(lines, clean, EWordContext::Text);
    return lines.Take();
}

std::vector<std::string> AddressListHeader(std::string_view name, std::string_view value,
                                           const TAddrSpecMapper& map) {
    const std::string clean = SanitizeHeaderValue(value);
    if (FitsAsIs(name, clean)) {
        return {Joined(name, clean)};
    }
    THeaderLines lines(name);
    const std::vector<std::string_view> mailboxes = SplitMailboxes(clean);
    for (std::size_t i = 0; i < mailboxes.size(); ++i) {
        const TMailbox mailbox = ParseMailbox(mailboxes[i]);
        std::string address = map(mailbox.AddrSpec);
        if (mailbox.Angled) {
            address = "<" + address + ">";
        }
        if (i + 1 < mailboxes.size()) {
            address += ',';
        }
        if (!mailbox.DisplayName.empty()) {
            AddPhrase(lines, mailbox.DisplayName);
        }
        lines.AddWord(" ", address);
    }
    return lines.Take();
}

}  // namespace corvane::mail
