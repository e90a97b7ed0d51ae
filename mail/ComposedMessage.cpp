#include "ComposedMessage.h"

#include <algorithm>

namespace corvane::mail {

TSpoolReader::TSpoolReader(const TSpooledLines& lines)
    : m_lines(lines),
      // Whole lines only, so that no line is cut between two blocks.
      m_blockBytes(std::max<std::size_t>(1, BlockBytes / (lines.LineLength + 2)) * (lines.LineLength + 2)),
      m_buffer(std::make_unique_for_overwrite<char[]>(m_blockBytes)) {}

bool TSpoolReader::Next(std::string_view& block) {
    if (m_failed || m_done >= m_lines.Bytes) {
        return false;
    }
    const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(m_blockBytes, m_lines.Bytes - m_done));
    if (!m_lines.Spool->ReadAt(m_lines.Offset + m_done, m_buffer.get(), count)) {
        m_failed = true;
        return false;
    }
    m_done += count;
    block = {m_buffer.get(), count};
    return true;
}

bool TSpoolReader::ForEachLineOf(std::string_view block, const std::function<bool(std::string_view)>& visit) {
    while (!block.empty()) {
        const std::size_t end = block.find("\r\n");
        if (!visit(block.substr(0, end))) {
            return false;
        }
        block.remove_prefix(end == std::string_view::npos ? block.size() : end + 2);
    }
    return true;
}

bool TComposedMessage::VisitSpooled(const TSpooledLines& lines, const std::function<bool(std::string_view)>& visit) {
    TSpoolReader reader(lines);
    std::string_view block;
    while (reader.Next(block)) {
        if (!TSpoolReader::ForEachLineOf(block, visit)) {
            return false;
        }
    }
    return !reader.Failed();
}

void TComposedMessage::Add(std::string line) {
    if (m_segments.empty() || !std::holds_alternative<std::vector<std::string>>(m_segments.back())) {
        m_segments.emplace_back(std::vector<std::string>{});
    }
    std::get<std::vector<std::string>>(m_segments.back()).push_back(std::move(line));
}

void TComposedMessage::AddOwned(TLineList lines) {
    if (!lines.Empty()) {
        m_segments.emplace_back(std::move(lines));
    }
}

void TComposedMessage::AddReferenced(const TLineList& lines) {
    if (!lines.Empty()) {
        m_segments.emplace_back(&lines);
    }
}

void TComposedMessage::AddSpooled(TSpooledLines lines) {
    if (lines.Count > 0) {
        m_segments.emplace_back(std::move(lines));
    }
}

void TComposedMessage::Append(TComposedMessage&& other) {
    for (auto& segment : other.m_segments) {
        m_segments.push_back(std::move(segment));
    }
    other.m_segments.clear();
}

std::size_t TComposedMessage::LineCount() const {
    std::size_t count = 0;
    for (const auto& segment : m_segments) {
        if (const auto* owned = std::get_if<std::vector<std::string>>(&segment)) {
            count += owned->size();
        } else if (const auto* spooled = std::get_if<TSpooledLines>(&segment)) {
            count += spooled->Count;
        } else {
            count += LinesOf(segment).Count();
        }
    }
    return count;
}

std::uint64_t TComposedMessage::MessageSize() const {
    std::uint64_t size = 2;  // the empty line before the terminating "."
    ForEachPart(
        [&size](std::string_view line) {
            size += line.size() + 2;
            return true;
        },
        [&size](const TSpooledLines& lines) {
            size += lines.Bytes;
            return true;
        });
    return size;
}

std::vector<std::string> TComposedMessage::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(LineCount());
    ForEachLine([&lines](std::string_view line) {
        lines.emplace_back(line);
        return true;
    });
    return lines;
}

}  // namespace corvane::mail
