#include "LineList.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace corvane::mail {

namespace {

// Filling a 100 MiB buffer page by page costs 25,600 page faults with 4 KiB pages, but 50
// with 2 MiB pages. Linux only backs a region with huge pages when asked (transparent huge
// pages in "madvise" mode, Debian's default); the advice is only a hint, so failure is fine.
void AdviseHugePages([[maybe_unused]] void* data, [[maybe_unused]] std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t HugePage = std::uintptr_t{2} << 20;
    if (bytes < 2 * HugePage) {
        return;
    }
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + HugePage - 1) & ~(HugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + bytes) & ~(HugePage - 1);
    if (begin < end) {
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#endif
}

}  // namespace

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
    AdviseHugePages(data.get(), capacity);
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
    if (m_ends.capacity() < m_ends.size() + lines) {
        m_ends.reserve(m_ends.size() + lines);
        AdviseHugePages(m_ends.data(), m_ends.capacity() * sizeof(std::size_t));
    }
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
