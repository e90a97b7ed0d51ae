#include "Charset.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace corvane::send {

namespace {

class TConverter {
public:
    explicit TConverter(const std::string& charset) : m_handle(iconv_open("UTF-8", charset.c_str())) {}
    ~TConverter() {
        if (Valid()) {
            iconv_close(m_handle);
        }
    }
    TConverter(const TConverter&) = delete;
    TConverter& operator=(const TConverter&) = delete;
    bool Valid() const { return m_handle != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return m_handle; }

private:
    iconv_t m_handle;
};

bool NamesUtf8(const std::string& charset) {
    std::string name;
    for (const char c : charset) {
        if (c != '-' && c != '_') {
            name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
        }
    }
    return name == "UTF8";
}

// The offset of the first byte that does not begin a well-formed UTF-8 sequence (RFC 3629
// section 4: no overlong forms, no surrogates, nothing above U+10FFFF) or is a NUL, or Bytes'
// size. iconv would check the same, at a fraction of the speed. ASCII runs without a NUL are
// skipped eight bytes at a time; a run of other characters (Greek, Chinese...) is checked one
// sequence after another, without going back to the eight-byte test for each.
std::size_t FirstInvalidUtf8OrNul(std::string_view bytes) {
    constexpr std::uint64_t Ones = 0x0101010101010101ULL;
    constexpr std::uint64_t HighBits = 0x8080808080808080ULL;
    const auto* at = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = at + bytes.size();
    const auto* const begin = at;
    while (at < end) {
        while (end - at >= 8) {
            std::uint64_t word;
            std::memcpy(&word, at, sizeof word);
            // With no byte beyond ASCII, (word - Ones) & ~word has a high bit set exactly
            // when some byte is zero: a NUL stops the skip as a byte beyond ASCII does, for
            // two more operations on a word already in a register.
            if (((word | ((word - Ones) & ~word)) & HighBits) != 0) {
                break;
            }
            at += 8;
        }
        while (at < end && *at < 0x80 && *at != 0) {
            ++at;
        }
        if (at < end && *at == 0) {
            return static_cast<std::size_t>(at - begin);
        }
        while (at < end && *at >= 0x80) {
            const unsigned char lead = *at;
            const int length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
            if (length == 0 || end - at < length) {
                return static_cast<std::size_t>(at - begin);
            }
            // The second byte's range depends on the lead (overlongs, surrogates, the top).
            const unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
            const unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
            bool good = at[1] >= low && at[1] <= high;
            for (int i = 2; good && i < length; ++i) {
                good = at[i] >= 0x80 && at[i] <= 0xBF;
            }
            if (!good) {
                return static_cast<std::size_t>(at - begin);
            }
            at += length;
        }
    }
    return static_cast<std::size_t>(at - begin);
}

TCharsetError NulAt(std::size_t offset) {
    return TCharsetError{"holds a NUL byte at offset " + std::to_string(offset)};
}

TCharsetError InvalidAt(const std::string& charset, std::size_t offset) {
    return TCharsetError{"is not valid " + charset + " at byte " + std::to_string(offset)};
}

// The offset in Bytes (in Charset) of the character that became the UTF-8 byte at Converted:
// converting again into exactly that many bytes stops in front of it. Only for a message,
// so it may convert twice.
std::size_t InputOffset(const std::string& charset, memory::TLargeBuffer& bytes,
                        std::size_t converted) {
    const TConverter converter(charset);
    memory::TLargeBuffer output;
    output.Resize(converted + 1);  // never empty: iconv reads a null output as a reset
    char* in = bytes.Data();
    std::size_t inLeft = bytes.Size();
    char* out = output.Data();
    std::size_t outLeft = converted;
    iconv(converter.Get(), &in, &inLeft, &out, &outLeft);
    return static_cast<std::size_t>(in - bytes.Data());
}

}  // namespace

std::variant<memory::TLargeBuffer, TCharsetError> ToUtf8(memory::TLargeBuffer bytes,
                                                         const std::string& charset) {
    if (NamesUtf8(charset)) {
        const std::size_t bad = FirstInvalidUtf8OrNul(bytes.View());
        if (bad < bytes.Size()) {
            return bytes.Data()[bad] == '\0' ? NulAt(bad) : InvalidAt(charset, bad);
        }
        return bytes;
    }
    const TConverter converter(charset);
    if (!converter.Valid()) {
        return TCharsetError{"unknown charset \"" + charset + "\"", true};
    }
    memory::TLargeBuffer converted;
    // Four UTF-8 bytes per input byte is the most any charset needs; grown on demand anyway.
    // Room that stays unused costs no memory: pages are only taken when written.
    converted.Resize(bytes.Size() * 4 + 16);
    char* in = bytes.Data();
    std::size_t inLeft = bytes.Size();
    char* out = converted.Data();
    std::size_t outLeft = converted.Size();
    while (inLeft > 0) {
        if (iconv(converter.Get(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            const std::size_t used = static_cast<std::size_t>(out - converted.Data());
            converted.Resize(converted.Size() * 2);
            out = converted.Data() + used;
            outLeft = converted.Size() - used;
            continue;
        }
        // EILSEQ: an invalid sequence; EINVAL: one cut off by the end of the input.
        return InvalidAt(charset, static_cast<std::size_t>(in - bytes.Data()));
    }
    converted.Resize(static_cast<std::size_t>(out - converted.Data()));
    // The NUL is looked for in the UTF-8, where it is one zero byte whatever the charset.
    if (const void* nul = std::memchr(converted.Data(), 0, converted.Size())) {
        return NulAt(InputOffset(charset, bytes,
                                 static_cast<std::size_t>(static_cast<const char*>(nul) - converted.Data())));
    }
    return converted;
}

}  // namespace corvane::send
