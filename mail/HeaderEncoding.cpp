#include "HeaderEncoding.h"

#include <cstdint>
#include <cstring>

#include "mail/AddressList.h"
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
    const TAddressList list = ParseAddressList(clean);
    if (!list.Invalid.empty()) {
        // No list to take apart (the envelope refuses it before anything is sent): the text
        // still goes out whole and safe.
        AddWords(lines, clean, EWordContext::Text);
        return lines.Take();
    }
    for (std::size_t i = 0; i < list.Mailboxes.size(); ++i) {
        const TMailbox& mailbox = list.Mailboxes[i];
        std::string address = map(mailbox.Address);
        if (mailbox.Angled || !mailbox.Name.empty()) {
            address = "<" + address + ">";
        }
        if (i + 1 < list.Mailboxes.size()) {
            address += ',';
        }
        if (!mailbox.Name.empty()) {
            AddPhrase(lines, mailbox.Name);
        }
        lines.AddWord(" ", address);
    }
    return lines.Take();
}

}  // namespace corvane::mail
