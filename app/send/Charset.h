#pragma once
// Text files in the user's charset, turned into the UTF-8 the engine works in (iconv).

#include <string>
#include <string_view>
#include <variant>

#include "platform/memory/LargeBuffer.h"

namespace corvane::send {

struct TCharsetError {
    std::string Message;             // "not valid ISO-8859-15 at byte 17", "unknown charset X"
    bool UnknownCharset = false;     // iconv does not know the charset at all
};

// Bytes read as Charset, converted to UTF-8. Input that is not valid in that charset
// (UTF-8 included, which is checked and handed back, not copied) is an error naming the
// offset of the first bad byte.
std::variant<memory::TLargeBuffer, TCharsetError> ToUtf8(memory::TLargeBuffer bytes,
                                                         const std::string& charset);

}  // namespace corvane::send
