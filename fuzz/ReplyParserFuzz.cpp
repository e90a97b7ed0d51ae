// The reply reader against any byte stream a server might send, cut into TCP segments where
// the input says (at each 0xFF byte).
//
// Properties: a complete reply's final line holds no CR, LF or NUL, is at most
// MaxLineLength bytes and is a final line ("250" or "250 ..."); and where the stream is cut
// changes nothing: the replies read, and whether the stream ends invalid, are those of the
// same bytes fed at once.

#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mail/ReplyParser.h"

namespace {

using corvane::fuzz::Shown;
using corvane::mail::TReplyParser;
using EResult = TReplyParser::EResult;

struct TOutcome {
    std::vector<std::string> FinalLines;
    bool Invalid = false;
    bool operator==(const TOutcome&) const = default;
};

void CheckFinalLine(const std::string& line) {
    FUZZ_CHECK(line.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos,
               Shown(line));
    FUZZ_CHECK(line.size() <= TReplyParser::MaxLineLength, std::to_string(line.size()));
    FUZZ_CHECK(line.size() == 3 || (line.size() > 3 && line[3] == ' '), Shown(line));
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
            CheckFinalLine(line);
            outcome.FinalLines.push_back(line);
        }
    }
    return outcome;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto segments = corvane::fuzz::SplitFields(corvane::fuzz::AsText(data, size), 1, true);
    std::string whole;
    for (const auto segment : segments) {
        whole += segment;
    }
    const TOutcome cut = Read(segments);
    const TOutcome atOnce = Read({whole});
    FUZZ_CHECK(cut == atOnce, "cutting the stream into segments changed what was read");
    return 0;
}
