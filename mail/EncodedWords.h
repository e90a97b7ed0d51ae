#pragma once
// The pieces the header encoders (HeaderEncoding, MimeParams) share: where UTF-8 text may
// be cut, RFC 2047 encoded-words in UTF-8, and a builder of folded header lines (RFC 5322
// section 2.2.3). Internal to the mail engine; pure code, no state beyond the builder.
//
// Bytes that are not well-formed UTF-8 (RFC 3629 section 4) never come from the window, but
// may from other callers. Each such byte is a character of its own here: it is carried
// through unchanged (Q encodes it as "=XX", B as its byte) and nothing is cut inside a
// well-formed character next to it. Readers show it as they show any undecodable byte.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

inline constexpr std::size_t HeaderFoldColumn = 78;      // RFC 5322 section 2.1.1 (SHOULD)
inline constexpr std::size_t MaxEncodedWordLength = 75;  // RFC 2047 section 2

// The end of the character that starts at Pos: a well-formed UTF-8 sequence, or the one
// byte at Pos when the bytes there are not one.
std::size_t CharacterEnd(std::string_view text, std::size_t pos);

// The end of what a reader shows as one character: the character at Pos with the combining
// marks, variation selectors, emoji modifiers and zero-width-joined characters after it.
// Cutting text only at these ends keeps "e" and its accent in one encoded-word, for readers
// that decode each word on its own.
std::size_t ClusterEnd(std::string_view text, std::size_t pos);

// Where an encoded-word stands decides which characters Q may leave as they are: any
// printable one but '=', '?' and '_' in unstructured text (RFC 2047 section 5 (1)); only
// letters, digits and "!*+-/" in a phrase or a quoted parameter (section 5 (3)).
enum class EWordContext { Text, Phrase };

// Lines of one header field, built from left to right. The first line starts "Name:"; a
// line is folded before a blank when the next word would pass column 78, so every line
// after the first starts with a blank. The first word always stays on the first line: a
// fold right after the colon would add a blank to the value for some readers.
class THeaderLines {
public:
    explicit THeaderLines(std::string_view name);

    // Word as it is, after Blank (the folding white space before it, usually " ").
    void AddWord(std::string_view blank, std::string_view word);

    // Text as encoded-words, B or Q, whichever is shorter for it (RFC 2047 section 4), each
    // at most 75 characters and sized to what is left of its line. The first follows Blank;
    // the others follow a single space, which readers drop between encoded-words (section
    // 6.2), so every blank of Text travels inside the words. Before is written in front of
    // the first word and After behind the last (the quotes of a parameter value).
    void AddEncoded(std::string_view blank, std::string_view text, EWordContext context,
                    std::string_view before = {}, std::string_view after = {});

    std::vector<std::string> Take();

private:
    void Fold();

    std::vector<std::string> m_lines;
    std::string m_line;
    bool m_hasWord = false;  // whether a word follows the colon yet
};

}  // namespace corvane::mail
