#pragma once
// A compact, append-only list of text lines: one contiguous buffer plus the end offset of
// each line. The engine keeps every Base64 line of every attachment until the next send;
// as separate std::string objects a 100 MiB file would cost about 1.7 times its encoded
// size, here it costs the encoded size plus 8 bytes a line.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

class TLineList {
public:
    std::size_t Count() const { return m_ends.size(); }
    bool Empty() const { return m_ends.empty(); }
    std::string_view operator[](std::size_t index) const {
        const std::size_t begin = index == 0 ? 0 : m_ends[index - 1];
        return {m_data.get() + begin, m_ends[index] - begin};
    }
    // Bytes of text held, line ends not counted.
    std::size_t TextSize() const { return m_size; }

    void Clear();
    // Reserves room for lines of this total length, so that filling the list copies nothing.
    void Reserve(std::size_t textBytes, std::size_t lines);
    void Add(std::string_view line);
    // Appends a line of Length bytes and returns where to write them (valid until the next
    // call that adds a line).
    char* AddUninitialised(std::size_t length);
    // Appends Count lines of Length bytes each, one after another, and returns where to
    // write their Count * Length bytes (valid until the next call that adds a line).
    char* AddUninitialisedLines(std::size_t count, std::size_t length);
    void Swap(TLineList& other) noexcept;

    std::vector<std::string> ToVector() const;

private:
    void Grow(std::size_t atLeast);

    std::unique_ptr<char[]> m_data;  // new char[] leaves the bytes unset: no cost to zero
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    std::vector<std::size_t> m_ends;
};

}  // namespace corvane::mail
