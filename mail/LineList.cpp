#include "LineList.h"

#include <algorithm>
#include <cstring>

namespace corvane::mail {

void TLineList::Clear() {
    m_data.reset();
    m_size = 0;
    m_capacity = 0;
    m_ends.clear();
    m_ends.shrink_to_fit();
}

void TLineList::Grow(std::size_t atLeast) {
    const std::size_t capacity = std::max({atLeast, m_capacity * 2, std::size_t{256}});
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (m_size != 0) {
        std::memcpy(data.get(), m_data.get(), m_size);
    }
    m_data = std::move(data);
    m_capacity = capacity;
}

void TLineList::Reserve(std::size_t textBytes, std::size_t lines) {
    if (m_size + textBytes > m_capacity) {
        Grow(m_size + textBytes);
    }
    m_ends.reserve(m_ends.size() + lines);
}

char* TLineList::AddUninitialised(std::size_t length) {
    if (m_size + length > m_capacity) {
        Grow(m_size + length);
    }
    char* where = m_data.get() + m_size;
    m_size += length;
    m_ends.push_back(m_size);
    return where;
}

char* TLineList::AddUninitialisedLines(std::size_t count, std::size_t length) {
    if (m_size + count * length > m_capacity) {
        Grow(m_size + count * length);
    }
    char* where = m_data.get() + m_size;
    for (std::size_t i = 0; i < count; ++i) {
        m_size += length;
        m_ends.push_back(m_size);
    }
    return where;
}

void TLineList::Add(std::string_view line) {
    char* where = AddUninitialised(line.size());
    if (!line.empty()) {
        std::memcpy(where, line.data(), line.size());
    }
}

void TLineList::Swap(TLineList& other) noexcept {
    std::swap(m_data, other.m_data);
    std::swap(m_size, other.m_size);
    std::swap(m_capacity, other.m_capacity);
    m_ends.swap(other.m_ends);
}

std::vector<std::string> TLineList::ToVector() const {
    std::vector<std::string> lines;
    lines.reserve(Count());
    for (std::size_t i = 0; i < Count(); ++i) {
        lines.emplace_back((*this)[i]);
    }
    return lines;
}

}  // namespace corvane::mail
