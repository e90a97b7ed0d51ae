#include "account/SentFolder.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <vector>

namespace corvane::account {

namespace {

struct TMailbox {
    std::vector<std::string> Attributes;
    std::optional<char> Delimiter;  // none for NIL: a flat name space
    std::string Name;
};

bool SameNoCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    });
}

bool HasAttribute(const TMailbox& mailbox, std::string_view attribute) {
    return std::ranges::any_of(mailbox.Attributes,
                               [attribute](const std::string& each) { return SameNoCase(each, attribute); });
}

bool Selectable(const TMailbox& mailbox) {
    return !HasAttribute(mailbox, "\\Noselect") && !HasAttribute(mailbox, "\\NonExistent");
}

// Reads one LIST answer at the front of Text and moves past it; every read either consumes
// what it recognised or reports nothing, so a line it cannot read costs only that line.
class TListReader {
public:
    explicit TListReader(std::string_view text) : m_text(text) {}

    bool AtEnd() const { return m_at >= m_text.size(); }

    // The mailbox of the line at the reading position, which is then past its end; nothing
    // when that line is no LIST answer or cannot be read.
    std::optional<TMailbox> Next() {
        const std::size_t lineEnd = EndOfLine(m_at);
        std::optional<TMailbox> mailbox;
        if (Take("* ") && TakeWordNoCase("LIST") && Take(" ")) {
            mailbox = Mailbox();
        }
        // An answer that ended where the line does; else the line was no answer to read, and a
        // literal's bytes it announced (if they came at all) are read as the lines they are.
        if (mailbox && (AtEnd() || m_text[m_at] == '\r' || m_text[m_at] == '\n' || m_text[m_at] == ' ')) {
            m_at = EndOfLine(m_at);
        } else {
            mailbox.reset();
            m_at = lineEnd;
        }
        SkipLineBreak();
        return mailbox;
    }

private:
    std::size_t EndOfLine(std::size_t from) const {
        const std::size_t end = m_text.find('\n', from);
        if (end == std::string_view::npos) {
            return m_text.size();
        }
        return end > from && m_text[end - 1] == '\r' ? end - 1 : end;
    }

    void SkipLineBreak() {
        if (m_at < m_text.size() && m_text[m_at] == '\r') {
            ++m_at;
        }
        if (m_at < m_text.size() && m_text[m_at] == '\n') {
            ++m_at;
        }
    }

    bool Take(std::string_view expected) {
        if (m_text.substr(m_at, expected.size()) != expected) {
            return false;
        }
        m_at += expected.size();
        return true;
    }

    bool TakeWordNoCase(std::string_view word) {
        if (!SameNoCase(m_text.substr(m_at, word.size()), word)) {
            return false;
        }
        m_at += word.size();
        return true;
    }

    std::optional<TMailbox> Mailbox() {
        TMailbox mailbox;
        if (!Attributes(mailbox.Attributes) || !Take(" ") || !Delimiter(mailbox.Delimiter) || !Take(" ")) {
            return std::nullopt;
        }
        std::optional<std::string> name = AString();
        if (!name) {
            return std::nullopt;
        }
        mailbox.Name = std::move(*name);
        return mailbox;
    }

    bool Attributes(std::vector<std::string>& attributes) {
        if (!Take("(")) {
            return false;
        }
        const std::size_t close = m_text.find(')', m_at);
        if (close == std::string_view::npos || close > EndOfLine(m_at)) {
            return false;
        }
        for (std::string_view list = m_text.substr(m_at, close - m_at); !list.empty();) {
            const std::size_t blank = list.find(' ');
            if (blank != 0) {
                attributes.emplace_back(list.substr(0, blank));
            }
            list = blank == std::string_view::npos ? std::string_view() : list.substr(blank + 1);
        }
        m_at = close + 1;
        return true;
    }

    bool Delimiter(std::optional<char>& delimiter) {
        if (TakeWordNoCase("NIL")) {
            return true;
        }
        const std::optional<std::string> quoted = Quoted();
        if (!quoted || quoted->size() != 1) {
            return false;
        }
        delimiter = quoted->front();
        return true;
    }

    std::optional<std::string> AString() {
        if (m_at >= m_text.size()) {
            return std::nullopt;
        }
        if (m_text[m_at] == '"') {
            return Quoted();
        }
        if (m_text[m_at] == '{') {
            return Literal();
        }
        return Atom();
    }

    // "..." with \" and \\ standing for themselves.
    std::optional<std::string> Quoted() {
        if (!Take("\"")) {
            return std::nullopt;
        }
        std::string text;
        while (m_at < m_text.size()) {
            const char each = m_text[m_at++];
            if (each == '"') {
                return text;
            }
            if (each == '\r' || each == '\n') {
                return std::nullopt;
            }
            if (each == '\\') {
                if (m_at >= m_text.size()) {
                    return std::nullopt;
                }
                text += m_text[m_at++];
            } else {
                text += each;
            }
        }
        return std::nullopt;
    }

    // {N} at the end of the line, then exactly N bytes, which may hold anything.
    std::optional<std::string> Literal() {
        const std::size_t close = m_text.find('}', m_at);
        std::size_t size = 0;
        const char* first = m_text.data() + m_at + 1;
        const char* last = m_text.data() + (close == std::string_view::npos ? m_at : close);
        if (close == std::string_view::npos || std::from_chars(first, last, size).ptr != last || last == first) {
            return std::nullopt;
        }
        m_at = close + 1;
        if (!Take("\r\n") && !Take("\n")) {
            return std::nullopt;
        }
        if (m_text.size() - m_at < size) {
            return std::nullopt;
        }
        std::string bytes(m_text.substr(m_at, size));
        m_at += size;
        return bytes;
    }

    std::optional<std::string> Atom() {
        const std::size_t start = m_at;
        while (m_at < m_text.size()) {
            const auto each = static_cast<unsigned char>(m_text[m_at]);
            if (each <= ' ' || each == 0x7f || each == '(' || each == ')' || each == '{' || each == '"' || each == '\\') {
                break;
            }
            ++m_at;
        }
        if (m_at == start) {
            return std::nullopt;
        }
        return std::string(m_text.substr(start, m_at - start));
    }

    std::string_view m_text;
    std::size_t m_at = 0;
};

std::vector<TMailbox> ReadMailboxes(std::string_view answer) {
    std::vector<TMailbox> mailboxes;
    for (TListReader reader(answer); !reader.AtEnd();) {
        if (std::optional<TMailbox> mailbox = reader.Next()) {
            mailboxes.push_back(std::move(*mailbox));
        }
    }
    return mailboxes;
}

bool NamedSentAtTop(const TMailbox& mailbox) { return SameNoCase(mailbox.Name, "Sent"); }

bool NamedSentUnderInbox(const TMailbox& mailbox) {
    if (!mailbox.Delimiter) {
        return false;
    }
    const std::string expected = std::string("INBOX") + *mailbox.Delimiter + "Sent";
    return SameNoCase(mailbox.Name, expected);
}

}  // namespace

std::optional<std::string> ChooseSentFolder(std::string_view answer) {
    const std::vector<TMailbox> mailboxes = ReadMailboxes(answer);
    // The server's own word first; then the names people and servers have long used.
    for (const auto& rule : {+[](const TMailbox& each) { return HasAttribute(each, "\\Sent"); },
                             +[](const TMailbox& each) { return NamedSentAtTop(each); },
                             +[](const TMailbox& each) { return NamedSentUnderInbox(each); }}) {
        const auto found = std::ranges::find_if(
            mailboxes, [rule](const TMailbox& each) { return Selectable(each) && rule(each); });
        if (found != mailboxes.end()) {
            return found->Name;
        }
    }
    return std::nullopt;
}

}  // namespace corvane::account
