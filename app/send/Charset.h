#pragma once
// Text files in the user's charset, turned into the UTF-8 the engine works in (iconv).

#include <string>
#include <string_view>
#include <variant>

#include "platform/memory/LargeBuffer.h"

namespace corvane::send {

struct TCharsetError {
    // What follows the input's name ("is not valid ISO-8859-15 at byte 17", "holds a NUL
    // byte at offset 4"), or the whole message when the charset is unknown.
    std::string Message;
    bool UnknownCharset = false;     // iconv does not know the charset at all
};

// Bytes read as Charset, converted to UTF-8. Input that is not valid in that charset
// (UTF-8 included, which is checked and handed back, not copied) is an error naming the
// offset of the first bad byte. So is a NUL character: it is no text, and would go out raw
// in a line of the mail. Offsets count bytes of the input as given.
std::variant<memory::TLargeBuffer, TCharsetError> ToUtf8(memory::TLargeBuffer bytes,
                                                         const std::string& charset);

}  // namespace corvane::send
