#include "LargeBuffer.h"

#include "LargeAllocator.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#define CORVANE_MAPPED_BUFFERS 1
#endif

namespace corvane::memory {

namespace {

#if CORVANE_MAPPED_BUFFERS
// From here on a buffer is mapped: the size of one huge page on x86-64 and arm64, and far
// beyond what a header line or a short letter needs.
constexpr std::size_t MappedFrom = std::size_t{2} << 20;

// Mapped sizes are whole huge pages: the system places only such mappings on a huge page
// boundary, and a mapping that starts off one gets small pages for most of its first and
// last 2 MiB (for a buffer of a few MiB, for most of it).
std::size_t MappedSize(std::size_t size) {
    return (size + MappedFrom - 1) / MappedFrom * MappedFrom;
}

void AdviseHugePages(char* data, std::size_t size) {
    // Only advice: without huge pages (disabled, or none free) the buffer works as before.
    ::madvise(data, size, MADV_HUGEPAGE);
}

char* Map(std::size_t size) {
    void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED) {
        throw std::bad_alloc();
    }
    AdviseHugePages(static_cast<char*>(data), size);
    return static_cast<char*>(data);
}

char* Remap(char* data, std::size_t oldSize, std::size_t newSize) {
    void* moved = ::mremap(data, oldSize, newSize, MREMAP_MAYMOVE);
    if (moved == MAP_FAILED) {
        throw std::bad_alloc();
    }
    AdviseHugePages(static_cast<char*>(moved), newSize);
    return static_cast<char*>(moved);
}
#endif

}  // namespace

void* AllocateLarge(std::size_t bytes) {
#if CORVANE_MAPPED_BUFFERS
    // Blocks from half a huge page up are mapped: at worst half of the one page is unused.
    if (bytes >= MappedFrom / 2) {
        return Map(MappedSize(bytes));
    }
#endif
    void* data = std::malloc(bytes == 0 ? 1 : bytes);
    if (data == nullptr) {
        throw std::bad_alloc();
    }
    return data;
}

void FreeLarge(void* data, std::size_t bytes) noexcept {
#if CORVANE_MAPPED_BUFFERS
    if (bytes >= MappedFrom / 2) {
        ::munmap(data, MappedSize(bytes));
        return;
    }
#endif
    std::free(data);
}

TLargeBuffer::~TLargeBuffer() { Release(); }

TLargeBuffer::TLargeBuffer(TLargeBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)),
      m_size(std::exchange(other.m_size, 0)),
      m_capacity(std::exchange(other.m_capacity, 0)),
      m_mapped(std::exchange(other.m_mapped, false)) {}

TLargeBuffer& TLargeBuffer::operator=(TLargeBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_mapped = std::exchange(other.m_mapped, false);
    }
    return *this;
}

void TLargeBuffer::Release() noexcept {
#if CORVANE_MAPPED_BUFFERS
    if (m_mapped) {
        ::munmap(m_data, m_capacity);
        return;
    }
#endif
    std::free(m_data);
}

void TLargeBuffer::Reset() {
    Release();
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_mapped = false;
}

void TLargeBuffer::Reserve(std::size_t capacity) {
    if (capacity <= m_capacity) {
        return;
    }
#if CORVANE_MAPPED_BUFFERS
    if (m_mapped) {
        capacity = MappedSize(capacity);
        m_data = Remap(m_data, m_capacity, capacity);
        m_capacity = capacity;
        return;
    }
    if (capacity >= MappedFrom) {
        capacity = MappedSize(capacity);
        char* data = Map(capacity);
        if (m_size != 0) {
            std::memcpy(data, m_data, m_size);
        }
        std::free(m_data);
        m_data = data;
        m_capacity = capacity;
        m_mapped = true;
        return;
    }
#endif
    void* data = std::realloc(m_data, capacity);
    if (data == nullptr) {
        throw std::bad_alloc();
    }
    m_data = static_cast<char*>(data);
    m_capacity = capacity;
}

void TLargeBuffer::Resize(std::size_t size) {
    if (size > m_capacity) {
        Reserve(std::max({size, m_capacity + m_capacity / 2, std::size_t{256}}));
    }
    m_size = size;
}

void TLargeBuffer::Append(std::string_view bytes) {
    const std::size_t at = m_size;
    Resize(m_size + bytes.size());
    if (!bytes.empty()) {
        std::memcpy(m_data + at, bytes.data(), bytes.size());
    }
}

}  // namespace corvane::memory
