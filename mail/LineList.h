#pragma once
// A compact, append-only list of text lines: one contiguous buffer holding the lines end to
// end, without line ends, plus the end offset of each line. The engine keeps every Base64
// line of every attachment, and the message text, until the next send; as separate
// std::string objects a 100 MiB file would cost about 1.7 times its encoded size in many
// small allocations, here it costs the encoded size plus 8 bytes a line, in one buffer that
// the system can back with huge pages.

#include <cstddef>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "platform/memory/LargeAllocator.h"
#include "platform/memory/LargeBuffer.h"

namespace corvane::mail {

class TLineList {
public:
    // Each line's end offset in the text, ascending.
    using TEnds = std::vector<std::size_t, memory::TLargeAllocator<std::size_t>>;

    class TIterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        TIterator() = default;
        TIterator(const TLineList* list, std::size_t index) : m_list(list), m_index(index) {}
        const std::string_view operator*() const { return (*m_list)[m_index]; }
        TIterator& operator++() {
            ++m_index;
            return *this;
        }
        TIterator operator++(int) {
            TIterator before = *this;
            ++m_index;
            return before;
        }
        bool operator==(const TIterator& other) const { return m_index == other.m_index; }

    private:
        const TLineList* m_list = nullptr;
        std::size_t m_index = 0;
    };

    TLineList() = default;
    TLineList(std::initializer_list<std::string_view> lines);
    // A list of lines either way, so a vector converts without ceremony.
    TLineList(const std::vector<std::string>& lines);  // NOLINT(google-explicit-constructor)
    TLineList(const TLineList& other);
    TLineList& operator=(const TLineList& other);
    TLineList(TLineList&&) noexcept = default;
    // Text's bytes as lines without a copy: line I ends at Ends[I], which rise and end at
    // Text's size (none when Text is empty).
    static TLineList Adopt(memory::TLargeBuffer text, TEnds ends);
    TLineList& operator=(TLineList&&) noexcept = default;

    std::size_t Count() const { return m_ends.size(); }
    bool Empty() const { return m_ends.empty(); }
    // Const, so that assigning to a line is an error rather than a no-op on a copy.
    const std::string_view operator[](std::size_t index) const {
        const std::size_t begin = index == 0 ? 0 : m_ends[index - 1];
        return {m_data.Data() + begin, m_ends[index] - begin};
    }
    TIterator begin() const { return {this, 0}; }
    TIterator end() const { return {this, Count()}; }
    // Bytes of text held, line ends not counted.
    std::size_t TextSize() const { return m_data.Size(); }
    // Every line's bytes end to end, without line ends: one pass over the text for scans
    // that do not care where lines end.
    std::string_view Text() const { return m_data.View(); }
    std::size_t LongestLine() const;

    void Clear();
    // Reserves room for lines of this total length, so that filling the list copies nothing.
    void Reserve(std::size_t textBytes, std::size_t lines);
    void Add(std::string_view line);
    // Appends every line of Other.
    void Append(const TLineList& other);
    // Appends a line of Length bytes and returns where to write them (valid until the next
    // call that adds a line).
    char* AddUninitialised(std::size_t length);
    // Appends Count lines of Length bytes each, one after another, and returns where to
    // write their Count * Length bytes (valid until the next call that adds a line).
    char* AddUninitialisedLines(std::size_t count, std::size_t length);
    void Swap(TLineList& other) noexcept;

    std::vector<std::string> ToVector() const;
    bool operator==(const TLineList& other) const {
        return m_ends == other.m_ends && Text() == other.Text();
    }

private:
    memory::TLargeBuffer m_data;
    TEnds m_ends;
};

}  // namespace corvane::mail
