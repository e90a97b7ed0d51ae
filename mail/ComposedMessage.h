#pragma once
// The composed message: its lines in order, ready for the DATA phase. Lines the composer
// writes are owned here, the header lines one by one and an encoded text as one line list;
// the Base64 lines of attachments stay on their attachment items, and a text sent as typed
// on the message, and are only referenced, so a large file or text is held once, not twice.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mail/LineList.h"

namespace corvane::mail {

class TComposedMessage {
public:
    void Add(std::string line);
    void AddOwned(TLineList lines);
    // References Lines, which must outlive this message and stay unchanged.
    void AddReferenced(const TLineList& lines);
    void Append(TComposedMessage&& other);

    std::size_t LineCount() const;

    // RFC 1870 section 3: the size of the message the server will store, in bytes: every
    // line with its CR LF and the empty line the end marker leaves. The lines are the
    // message itself: the dots of the DATA transparency rule are the sender's to add.
    std::uint64_t MessageSize() const;

    // The body carries 8-bit text (Content-Transfer-Encoding 8bit beyond ASCII), so MAIL
    // FROM must say BODY=8BITMIME.
    bool EightBitBody = false;
    // The Message-ID header's value ("<unique@host>"), which a delivery report's envelope
    // id is made from.
    std::string MessageId;

    // Calls Visit(std::string_view line) for each line in order; stops early when Visit
    // returns false. Returns whether every line was visited.
    template <typename TVisit>
    bool ForEachLine(TVisit&& visit) const {
        for (const auto& segment : m_segments) {
            if (const auto* owned = std::get_if<std::vector<std::string>>(&segment)) {
                for (const auto& line : *owned) {
                    if (!visit(std::string_view(line))) {
                        return false;
                    }
                }
            } else {
                for (const std::string_view line : LinesOf(segment)) {
                    if (!visit(line)) {
                        return false;
                    }
                }
            }
        }
        return true;
    }

    // Copies of every line, for inspection.
    std::vector<std::string> Lines() const;

private:
    using TSegment = std::variant<std::vector<std::string>, TLineList, const TLineList*>;
    // The line list an owned or referenced segment holds.
    static const TLineList& LinesOf(const TSegment& segment) {
        if (const auto* owned = std::get_if<TLineList>(&segment)) {
            return *owned;
        }
        return *std::get<const TLineList*>(segment);
    }
    std::vector<TSegment> m_segments;
};

}  // namespace corvane::mail
