#pragma once
// A standard allocator whose large blocks are mapped like TLargeBuffer's, with huge pages:
// for the index vectors that go with large buffers (the Base64 lines of a 10 MiB text have
// an end offset each, 1.5 MiB of them), whose 4 KiB page faults would cost about as much as
// the encoding. Small blocks come from the heap.

#include <cstddef>

namespace corvane::memory {

// Throws std::bad_alloc. FreeLarge must be given the size that AllocateLarge was.
void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* data, std::size_t bytes) noexcept;

template <typename T>
struct TLargeAllocator {
    using value_type = T;

    TLargeAllocator() = default;
    template <typename U>
    TLargeAllocator(const TLargeAllocator<U>&) noexcept {}  // NOLINT(google-explicit-constructor)

    T* allocate(std::size_t count) { return static_cast<T*>(AllocateLarge(count * sizeof(T))); }
    void deallocate(T* data, std::size_t count) noexcept { FreeLarge(data, count * sizeof(T)); }

    friend bool operator==(const TLargeAllocator&, const TLargeAllocator&) { return true; }
};

}  // namespace corvane::memory
