#pragma once
// The composed message: its lines in order, ready for the DATA phase. Lines the composer
// writes are owned here, the header lines one by one and an encoded text as one line list;
// a text sent as typed stays on the message and is only referenced, so it is held once, not
// twice; the Base64 lines of attachments are kept in a spool file, not in memory.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "mail/LineList.h"
#include "mail/SpoolFile.h"

namespace corvane::mail {

// Lines kept in a spool file, each followed by CR LF there: every line LineLength bytes long
// but the last, which may be shorter (Base64: 76 characters a line). None begins with '.',
// so they go to the server as they stand.
struct TSpooledLines {
    std::shared_ptr<TSpoolFile> Spool;
    std::uint64_t Offset = 0;
    std::uint64_t Bytes = 0;  // every line's CR LF counted
    std::uint64_t Count = 0;
    std::size_t LineLength = 0;
};

// Reads spooled lines a block of whole lines at a time, CR LF included.
class TSpoolReader {
public:
    static constexpr std::size_t BlockBytes = 1024 * 1024;

    explicit TSpoolReader(const TSpooledLines& lines);
    // The next block; false at the end, or when reading failed (the spool says why).
    bool Next(std::string_view& block);
    // Passes over the next Count bytes without reading them.
    void Skip(std::size_t count) { m_done += count; }
    std::size_t BlockSize() const { return m_blockBytes; }
    bool Failed() const { return m_failed; }
    // Calls Visit(line) for each line of Block, without its CR LF; stops early when Visit
    // returns false, and then returns false.
    static bool ForEachLineOf(std::string_view block, const std::function<bool(std::string_view)>& visit);

private:
    const TSpooledLines& m_lines;
    std::uint64_t m_done = 0;
    std::size_t m_blockBytes;
    std::unique_ptr<char[]> m_buffer;
    bool m_failed = false;
};

class TComposedMessage {
public:
    void Add(std::string line);
    void AddOwned(TLineList lines);
    // References Lines, which must outlive this message and stay unchanged.
    void AddReferenced(const TLineList& lines);
    void AddSpooled(TSpooledLines lines);
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

    // Calls Visit(std::string_view line) for each line held in memory and Spooled(const
    // TSpooledLines&) for each run of spooled lines, in order; stops early when either
    // returns false. Returns whether every part was visited.
    template <typename TVisit, typename TVisitSpooled>
    bool ForEachPart(TVisit&& visit, TVisitSpooled&& spooled) const {
        for (const auto& segment : m_segments) {
            if (const auto* owned = std::get_if<std::vector<std::string>>(&segment)) {
                for (const auto& line : *owned) {
                    if (!visit(std::string_view(line))) {
                        return false;
                    }
                }
            } else if (const auto* onDisk = std::get_if<TSpooledLines>(&segment)) {
                if (!spooled(*onDisk)) {
                    return false;
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

    // Calls Visit(std::string_view line) for each line in order, the spooled ones read back;
    // stops early when Visit returns false. Returns whether every line was visited: false
    // too when the spool could not be read.
    template <typename TVisit>
    bool ForEachLine(TVisit&& visit) const {
        return ForEachPart(visit, [&visit](const TSpooledLines& lines) { return VisitSpooled(lines, visit); });
    }

    // Copies of every line, for inspection.
    std::vector<std::string> Lines() const;

private:
    using TSegment = std::variant<std::vector<std::string>, TLineList, const TLineList*, TSpooledLines>;
    static bool VisitSpooled(const TSpooledLines& lines, const std::function<bool(std::string_view)>& visit);
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
