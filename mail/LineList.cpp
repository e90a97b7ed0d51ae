#include "LineList.h"

#include <algorithm>
#include <cstring>

namespace corvane::mail {

namespace {

// Fills Out with Lines, reserving for all of them first.
template <typename TLines>
void AddAll(const TLines& lines, TLineList& out) {
    std::size_t bytes = 0;
    for (const std::string_view line : lines) {
        bytes += line.size();
    }
    out.Reserve(bytes, lines.size());
    for (const std::string_view line : lines) {
        out.Add(line);
    }
}

}  // namespace

TLineList::TLineList(std::initializer_list<std::string_view> lines) { AddAll(lines, *this); }

TLineList::TLineList(const std::vector<std::string>& lines) { AddAll(lines, *this); }

TLineList::TLineList(const TLineList& other) { Append(other); }

TLineList TLineList::Adopt(memory::TLargeBuffer text, TEnds ends) {
    TLineList lines;
    lines.m_data = std::move(text);
    lines.m_ends = std::move(ends);
    return lines;
}

TLineList& TLineList::operator=(const TLineList& other) {
    if (this != &other) {
        TLineList copy(other);
        Swap(copy);
    }
    return *this;
}

std::size_t TLineList::LongestLine() const {
    std::size_t longest = 0;
    std::size_t begin = 0;
    for (const std::size_t end : m_ends) {
        longest = std::max(longest, end - begin);
        begin = end;
    }
    return longest;
}

void TLineList::Clear() {
    m_data.Reset();
    m_ends.clear();
    m_ends.shrink_to_fit();
}

void TLineList::Reserve(std::size_t textBytes, std::size_t lines) {
    m_data.Reserve(m_data.Size() + textBytes);
    m_ends.reserve(m_ends.size() + lines);
}

char* TLineList::AddUninitialised(std::size_t length) {
    const std::size_t at = m_data.Size();
    m_data.Resize(at + length);
    m_ends.push_back(m_data.Size());
    return m_data.Data() + at;
}

char* TLineList::AddUninitialisedLines(std::size_t count, std::size_t length) {
    std::size_t at = m_data.Size();
    m_data.Resize(at + count * length);
    char* where = m_data.Data() + at;
    for (std::size_t i = 0; i < count; ++i) {
        at += length;
        m_ends.push_back(at);
    }
    return where;
}

void TLineList::Add(std::string_view line) {
    char* where = AddUninitialised(line.size());
    if (!line.empty()) {
        std::memcpy(where, line.data(), line.size());
    }
}

void TLineList::Append(const TLineList& other) {
    const std::size_t offset = m_data.Size();
    m_data.Append(other.Text());
    m_ends.reserve(m_ends.size() + other.Count());
    for (const std::size_t end : other.m_ends) {
        m_ends.push_back(offset + end);
    }
}

void TLineList::Swap(TLineList& other) noexcept {
    std::swap(m_data, other.m_data);
    m_ends.swap(other.m_ends);
}

std::vector<std::string> TLineList::ToVector() const {
    std::vector<std::string> lines;
    lines.reserve(Count());
    for (const auto line : *this) {
        lines.emplace_back(line);
    }
    return lines;
}

}  // namespace corvane::mail
