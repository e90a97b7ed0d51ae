// The reply reader against any byte stream a server might send, cut into TCP segments where
// the input says (at each 0xFF byte). A segment "\xfe" N stands for N * 64 more copies of
// the segment before it, so that small inputs reach the 8 KiB and 64 KiB limits.
//
// Properties: every line of a complete reply holds no CR, LF or NUL and is at most
// MaxLineLength bytes; its last line, the one handed back, is the only final line ("250" or
// "250 ..."); the reply is at most MaxReplyLength bytes. Where the stream is cut changes
// nothing: the replies read, and whether the stream ends invalid, are those of the same
// bytes fed at once.

#include <algorithm>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mail/ReplyParser.h"

namespace {

using corvane::fuzz::Shown;
using corvane::mail::TReplyParser;
using EResult = TReplyParser::EResult;

struct TOutcome {
    std::vector<std::vector<std::string>> Replies;
    bool Invalid = false;
    bool operator==(const TOutcome&) const = default;
};

bool IsFinal(std::string_view line) {
    return line.size() == 3 || (line.size() > 3 && line[3] == ' ');
}

void CheckReply(const std::string& finalLine, const std::vector<std::string>& lines) {
    FUZZ_CHECK(!lines.empty() && lines.back() == finalLine, Shown(finalLine));
    std::size_t bytes = 0;
    for (const auto& line : lines) {
        FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
                   Shown(line));
        FUZZ_CHECK(line.size() <= TReplyParser::MaxLineLength, std::to_string(line.size()));
        FUZZ_CHECK(IsFinal(line) == (&line == &lines.back()), Shown(line));
        bytes += line.size() + 2;
    }
    FUZZ_CHECK(bytes <= TReplyParser::MaxReplyLength, std::to_string(bytes));
}

// Feeds each segment in turn and reads every reply it completes; stops at the first Invalid.
TOutcome Read(const std::vector<std::string_view>& segments) {
    TReplyParser parser;
    TOutcome outcome;
    std::string line;
    for (const auto segment : segments) {
        parser.Feed(segment);
        for (;;) {
            const EResult result = parser.Next(line);
            if (result == EResult::NeedMore) {
                break;
            }
            if (result == EResult::Invalid) {
                outcome.Invalid = true;
                return outcome;
            }
            CheckReply(line, parser.Lines());
            outcome.Replies.push_back(parser.Lines());
        }
    }
    return outcome;
}

// The segments of the input with every repetition spelled out.
std::vector<std::string_view> Segments(std::string_view input) {
    constexpr std::size_t Copies = 64;
    // Enough to pass the reply limit, little enough to stay fast.
    constexpr std::size_t MaxStream = TReplyParser::MaxReplyLength + 16 * 1024;
    std::vector<std::string_view> segments;
    std::size_t total = 0;
    for (const auto field : corvane::fuzz::SplitFields(input, 1, true)) {
        if (field.size() == 2 && field[0] == '\xfe' && !segments.empty()) {
            const std::string_view repeated = segments.back();
            const std::size_t room = (MaxStream - std::min(MaxStream, total)) /
                                     std::max<std::size_t>(1, repeated.size());
            const std::size_t copies =
                std::min(static_cast<unsigned char>(field[1]) * Copies, room);
            segments.insert(segments.end(), copies, repeated);
            total += copies * repeated.size();
        } else {
            segments.push_back(field);
            total += field.size();
        }
    }
    return segments;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto segments = Segments(corvane::fuzz::AsText(data, size));
    std::string whole;
    for (const auto segment : segments) {
        whole += segment;
    }
    const TOutcome cut = Read(segments);
    const TOutcome atOnce = Read({whole});
    FUZZ_CHECK(cut == atOnce, "cutting the stream into segments changed what was read");
    return 0;
}
