#pragma once
// A growable byte buffer for texts and encoded files of many megabytes.
//
// Large buffers are mapped straight from the system and, on Linux, asked to be backed by
// transparent huge pages: filling 10 MiB of fresh 4 KiB pages costs some 2,500 page faults,
// which on a virtual machine can take longer than everything else a send does, and one
// 2 MiB page needs a single fault. Growing a mapped buffer remaps its pages instead of
// copying them. Small buffers come from the ordinary heap, where a mapping would waste most
// of a page.
//
// Bytes beyond Size() are unset; Resize never zeroes what it adds.

#include <cstddef>
#include <string_view>

namespace corvane::memory {

class TLargeBuffer {
public:
    TLargeBuffer() = default;
    explicit TLargeBuffer(std::string_view bytes) { Append(bytes); }
    ~TLargeBuffer();
    TLargeBuffer(TLargeBuffer&& other) noexcept;
    TLargeBuffer& operator=(TLargeBuffer&& other) noexcept;
    TLargeBuffer(const TLargeBuffer&) = delete;
    TLargeBuffer& operator=(const TLargeBuffer&) = delete;

    char* Data() { return m_data; }
    const char* Data() const { return m_data; }
    std::size_t Size() const { return m_size; }
    std::size_t Capacity() const { return m_capacity; }
    bool Empty() const { return m_size == 0; }
    std::string_view View() const { return {m_data, m_size}; }

    // Room for at least Capacity bytes, keeping the contents. Throws std::bad_alloc.
    void Reserve(std::size_t capacity);
    // Sets the size, keeping the first bytes; grows by at least half when it must grow, so
    // that appending piece by piece stays linear.
    void Resize(std::size_t size);
    void Append(std::string_view bytes);
    // Frees the memory.
    void Reset();

private:
    void Release() noexcept;

    char* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    bool m_mapped = false;  // from mmap rather than the heap
};

}  // namespace corvane::memory
