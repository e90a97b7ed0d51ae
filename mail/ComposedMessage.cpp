#include "ComposedMessage.h"

namespace corvane::mail {

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
        } else {
            count += LinesOf(segment).Count();
        }
    }
    return count;
}

std::uint64_t TComposedMessage::MessageSize() const {
    std::uint64_t size = 2;  // the empty line before the terminating "."
    ForEachLine([&size](std::string_view line) {
        size += line.size() + 2;
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
