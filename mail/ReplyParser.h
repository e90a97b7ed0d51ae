#pragma once
// Splits the bytes a server sends into SMTP reply lines (RFC 5321 section 4.2) and tells
// when a whole reply has arrived, wherever the TCP segments happened to split it. A reply
// is final at its first line whose three-character code is followed by a space or by the
// line's end; earlier lines ("250-...") are continuation lines. Bytes after the final line
// stay buffered for the next reply.
//
// A hostile or broken server cannot make memory grow without bound: a line longer than
// 8 KiB, a reply longer than 64 KiB, a NUL byte, or a CR or LF that is not part of a CR LF
// line end makes the input invalid.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::mail {

class TReplyParser {
public:
    static constexpr std::size_t MaxLineLength = 8 * 1024;
    static constexpr std::size_t MaxReplyLength = 64 * 1024;

    enum class EResult { NeedMore, Complete, Invalid };

    void Feed(std::string_view bytes) { m_buffer.append(bytes); }
    // Complete: FinalLine holds the reply's last line without its CR LF, and Lines() every
    // line of that reply in order (the EHLO reply's keywords are on the earlier ones).
    EResult Next(std::string& finalLine);
    const std::vector<std::string>& Lines() const { return m_lines; }
    // Bytes received after the last complete reply and not yet read as one.
    bool HasUnreadBytes() const { return m_buffer.size() > m_consumed; }
    void Reset();

private:
    std::string m_buffer;
    std::vector<std::string> m_lines;  // of the reply being read, then of the last complete one
    std::size_t m_consumed = 0;    // bytes of m_buffer already read as lines
    std::size_t m_replyBytes = 0;  // length of the reply read so far
};

}  // namespace corvane::mail
