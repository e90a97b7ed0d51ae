#include "Capabilities.h"

#include <algorithm>
#include <charconv>

namespace corvane::mail {

namespace {

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return Upper(x) == Upper(y); });
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::vector<std::string> SplitAtBlanks(std::string_view text) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && IsBlank(text[at])) {
            ++at;
        }
        const std::size_t start = at;
        while (at < text.size() && !IsBlank(text[at])) {
            ++at;
        }
        if (at > start) {
            words.emplace_back(text.substr(start, at - start));
        }
    }
    return words;
}

// RFC 5321 section 4.1.1.1: ehlo-keyword = (ALPHA / DIGIT) *(ALPHA / DIGIT / "-").
bool IsKeyword(std::string_view word) {
    const auto alnum = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    };
    return !word.empty() && alnum(word.front()) &&
           std::all_of(word.begin(), word.end(), [&](char c) { return alnum(c) || c == '-'; });
}

}  // namespace

TCapabilities TCapabilities::FromEhloReply(const std::vector<std::string>& replyLines) {
    TCapabilities capabilities;
    for (std::size_t i = 1; i < replyLines.size(); ++i) {
        // "250-KEYWORD params" or "250 KEYWORD params": the text after the code and its
        // separator.
        const std::string_view line = replyLines[i];
        std::vector<std::string> words = SplitAtBlanks(line.size() > 4 ? line.substr(4) : "");
        if (words.empty() || !IsKeyword(words.front()) || capabilities.Find(words.front())) {
            continue;
        }
        TEntry entry;
        std::transform(words.front().begin(), words.front().end(), std::back_inserter(entry.Keyword), Upper);
        entry.Parameters.assign(std::make_move_iterator(words.begin() + 1), std::make_move_iterator(words.end()));
        capabilities.m_entries.push_back(std::move(entry));
    }
    return capabilities;
}

const TCapabilities::TEntry* TCapabilities::Find(std::string_view keyword) const {
    const auto found = std::find_if(m_entries.begin(), m_entries.end(),
                                    [keyword](const TEntry& entry) { return EqualNoCase(entry.Keyword, keyword); });
    return found == m_entries.end() ? nullptr : &*found;
}

bool TCapabilities::Has(std::string_view keyword) const { return Find(keyword) != nullptr; }

std::string TCapabilities::Summary() const {
    std::string summary;
    for (const TEntry& entry : m_entries) {
        summary += summary.empty() ? "" : ", ";
        summary += entry.Keyword;
        for (const std::string& parameter : entry.Parameters) {
            summary += " " + parameter;
        }
    }
    return summary;
}

std::vector<std::string> TCapabilities::Parameters(std::string_view keyword) const {
    const TEntry* entry = Find(keyword);
    return entry ? entry->Parameters : std::vector<std::string>{};
}

std::optional<std::uint64_t> TCapabilities::SizeLimit() const {
    const TEntry* entry = Find("SIZE");
    if (!entry || entry->Parameters.empty()) {
        return std::nullopt;
    }
    const std::string& text = entry->Parameters.front();
    std::uint64_t limit = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), limit);
    if (error != std::errc{} || end != text.data() + text.size() || limit == 0) {
        return std::nullopt;
    }
    return limit;
}

bool TCapabilities::OffersAuth(std::string_view mechanism) const {
    const TEntry* entry = Find("AUTH");
    return entry && std::any_of(entry->Parameters.begin(), entry->Parameters.end(),
                                [mechanism](const std::string& offered) { return EqualNoCase(offered, mechanism); });
}

}  // namespace corvane::mail
