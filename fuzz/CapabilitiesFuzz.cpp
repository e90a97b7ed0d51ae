// The EHLO capability parser, fed as the engine feeds it: the bytes go through the reply
// reader, and the lines of the first whole reply are the EHLO reply.
//
// Properties, against a plain reading of RFC 5321 section 4.1.1.1 written here: every line
// after the first whose text (after "250-") begins with an ehlo-keyword offers it, in any
// letter case, with the parameters of its first line split at blanks; nothing else is
// offered (a name with '_' never is); SIZE gives the limit its first parameter names when
// that is a decimal number above 0; AUTH offers exactly its parameters' mechanisms.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "mail/Capabilities.h"
#include "mail/ReplyParser.h"

namespace {

using corvane::fuzz::Shown;
namespace mail = corvane::mail;

struct TOffer {
    std::string Keyword;
    std::vector<std::string> Parameters;
};

std::vector<std::string> Words(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    for (const char c : text) {
        if (c == ' ' || c == '\t') {
            if (!word.empty()) {
                words.push_back(std::move(word));
            }
            word.clear();
        } else {
            word += c;
        }
    }
    if (!word.empty()) {
        words.push_back(std::move(word));
    }
    return words;
}

bool IsKeyword(std::string_view word) {
    const auto alnum = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; };
    return !word.empty() && alnum(word.front()) &&
           std::all_of(word.begin(), word.end(), [&](char c) { return alnum(c) || c == '-'; });
}

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    return text;
}

// The offers of the reply, first line of each keyword only.
std::vector<TOffer> Offers(const std::vector<std::string>& lines) {
    std::vector<TOffer> offers;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        auto words = Words(lines[i].size() > 4 ? std::string_view(lines[i]).substr(4) : "");
        if (words.empty() || !IsKeyword(words.front())) {
            continue;
        }
        const std::string keyword = Upper(words.front());
        if (std::none_of(offers.begin(), offers.end(),
                         [&](const TOffer& o) { return o.Keyword == keyword; })) {
            offers.push_back({keyword, std::vector<std::string>(words.begin() + 1, words.end())});
        }
    }
    return offers;
}

std::optional<std::uint64_t> Limit(const std::vector<TOffer>& offers) {
    const auto size = std::find_if(offers.begin(), offers.end(),
                                   [](const TOffer& o) { return o.Keyword == "SIZE"; });
    if (size == offers.end() || size->Parameters.empty()) {
        return std::nullopt;
    }
    std::uint64_t limit = 0;
    for (const char c : size->Parameters.front()) {
        if (c < '0' || c > '9' || limit > (UINT64_MAX - unsigned(c - '0')) / 10) {
            return std::nullopt;  // not a number, or none this program could hold
        }
        limit = limit * 10 + unsigned(c - '0');
    }
    return limit == 0 ? std::nullopt : std::optional(limit);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    mail::TReplyParser parser;
    parser.Feed(corvane::fuzz::AsText(data, size));
    std::string finalLine;
    if (parser.Next(finalLine) != mail::TReplyParser::EResult::Complete) {
        return 0;
    }
    const std::vector<std::string>& lines = parser.Lines();
    const auto capabilities = mail::TCapabilities::FromEhloReply(lines);
    const auto offers = Offers(lines);

    FUZZ_CHECK(capabilities.Empty() == offers.empty(), Shown(finalLine));
    for (const auto& offer : offers) {
        FUZZ_CHECK(capabilities.Has(offer.Keyword) && capabilities.Has(Lower(offer.Keyword)),
                   Shown(offer.Keyword));
        FUZZ_CHECK(capabilities.Parameters(Lower(offer.Keyword)) == offer.Parameters,
                   Shown(offer.Keyword));
    }
    FUZZ_CHECK(!capabilities.Has("NO_SUCH") && capabilities.Parameters("NO_SUCH").empty(),
               "NO_SUCH");
    FUZZ_CHECK(capabilities.SizeLimit() == Limit(offers), "SIZE");

    const auto auth = std::find_if(offers.begin(), offers.end(),
                                   [](const TOffer& o) { return o.Keyword == "AUTH"; });
    const std::vector<std::string> mechanisms =
        auth == offers.end() ? std::vector<std::string>{} : auth->Parameters;
    for (const auto& mechanism : mechanisms) {
        FUZZ_CHECK(capabilities.OffersAuth(Lower(mechanism)), Shown(mechanism));
    }
    const bool namesNoSuch =
        std::any_of(mechanisms.begin(), mechanisms.end(),
                    [](const std::string& m) { return Upper(m) == "NO_SUCH"; });
    FUZZ_CHECK(capabilities.OffersAuth("no_such") == namesNoSuch, "AUTH NO_SUCH");
    return 0;
}
