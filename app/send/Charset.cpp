#include "Charset.h"

#include <iconv.h>

#include <cerrno>

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

}  // namespace

std::variant<std::string, TCharsetError> ToUtf8(std::string_view bytes, const std::string& charset) {
    const TConverter converter(charset);
    if (!converter.Valid()) {
        return TCharsetError{"unknown charset \"" + charset + "\"", true};
    }
    std::string converted;
    // Four UTF-8 bytes per input byte is the most any charset needs; grown on demand anyway.
    converted.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.data());  // iconv's interface is not const-correct
    std::size_t inLeft = bytes.size();
    char* out = converted.data();
    std::size_t outLeft = converted.size();
    while (inLeft > 0) {
        if (iconv(converter.Get(), &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1)) {
            continue;
        }
        if (errno == E2BIG) {
            const std::size_t used = static_cast<std::size_t>(out - converted.data());
            converted.resize(converted.size() * 2);
            out = converted.data() + used;
            outLeft = converted.size() - used;
            continue;
        }
        // EILSEQ: an invalid sequence; EINVAL: one cut off by the end of the input.
        const auto offset = static_cast<std::size_t>(in - bytes.data());
        return TCharsetError{"not valid " + charset + " at byte " + std::to_string(offset)};
    }
    converted.resize(static_cast<std::size_t>(out - converted.data()));
    return converted;
}

}  // namespace corvane::send
