#include "ReplyParser.h"

namespace corvane::mail {

namespace {

// "250 text" and "250" end a reply; "250-text", and lines too short to hold a code, do not.
bool IsFinalLine(std::string_view line) {
    return line.size() == 3 || (line.size() > 3 && line[3] == ' ');
}

}  // namespace

void TReplyParser::Reset() {
    m_buffer.clear();
    m_lines.clear();
    m_consumed = 0;
    m_replyBytes = 0;
}

TReplyParser::EResult TReplyParser::Next(std::string& finalLine) {
    for (;;) {
        const std::string_view unread = std::string_view(m_buffer).substr(m_consumed);
        const auto end = unread.find("\r\n");
        if (end == std::string_view::npos) {
            // Keep at most one partial line; drop what has been read to keep the buffer small.
            m_buffer.erase(0, m_consumed);
            m_consumed = 0;
            return m_buffer.size() > MaxLineLength + 1 ? EResult::Invalid : EResult::NeedMore;
        }
        const std::string_view line = unread.substr(0, end);
        // A CR or LF inside a line is no line end (RFC 5321 section 2.3.8): handed on, it
        // would reach the status bar and the capability parser as part of the text.
        if (line.size() > MaxLineLength ||
            line.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos) {
            return EResult::Invalid;
        }
        if (m_replyBytes == 0) {
            m_lines.clear();  // the first line of a new reply
        }
        m_consumed += end + 2;
        m_replyBytes += end + 2;
        if (m_replyBytes > MaxReplyLength) {
            return EResult::Invalid;
        }
        m_lines.emplace_back(line);
        if (IsFinalLine(line)) {
            finalLine.assign(line);
            m_replyBytes = 0;
            m_buffer.erase(0, m_consumed);
            m_consumed = 0;
            return EResult::Complete;
        }
    }
}

}  // namespace corvane::mail
