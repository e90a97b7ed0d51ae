#include "mail/ReplyParser.h"

#include <gtest/gtest.h>

namespace corvane::mail {
namespace {

using EResult = TReplyParser::EResult;

// Feeds Bytes in pieces cut at the given positions and returns the first result other than
// NeedMore, with the final line.
std::pair<EResult, std::string> FeedSplit(TReplyParser& parser, const std::string& bytes,
                                          std::vector<std::size_t> cuts) {
    cuts.push_back(bytes.size());
    std::size_t from = 0;
    std::string line;
    for (const std::size_t cut : cuts) {
        parser.Feed(std::string_view(bytes).substr(from, cut - from));
        from = cut;
        if (const EResult result = parser.Next(line); result != EResult::NeedMore) {
            return {result, line};
        }
    }
    return {EResult::NeedMore, line};
}

TEST(ReplyParser, MultiLineReplyIsWholeWhereverItIsCut) {
    const std::string reply = "220-mail.example.org\r\n220-second line\r\n220 ready\r\n";
    for (std::size_t a = 0; a <= reply.size(); ++a) {
        for (std::size_t b = a; b <= reply.size(); b += 7) {
            TReplyParser parser;
            const auto [result, line] = FeedSplit(parser, reply, {a, b});
            ASSERT_EQ(result, EResult::Complete) << a << "," << b;
            ASSERT_EQ(line, "220 ready") << a << "," << b;
        }
    }
}

TEST(ReplyParser, CodeAloneEndsTheReply) {
    TReplyParser parser;
    std::string line;
    parser.Feed("250-first\r\n250\r\n");
    EXPECT_EQ(parser.Next(line), EResult::Complete);
    EXPECT_EQ(line, "250");
}

TEST(ReplyParser, BytesAfterTheFinalLineWaitForTheNextReply) {
    TReplyParser parser;
    std::string line;
    parser.Feed("250 one\r\n354 two\r\n221 th");
    ASSERT_EQ(parser.Next(line), EResult::Complete);
    EXPECT_EQ(line, "250 one");
    ASSERT_EQ(parser.Next(line), EResult::Complete);
    EXPECT_EQ(line, "354 two");
    EXPECT_EQ(parser.Next(line), EResult::NeedMore);
    parser.Feed("ree\r\n");
    ASSERT_EQ(parser.Next(line), EResult::Complete);
    EXPECT_EQ(line, "221 three");
}

TEST(ReplyParser, OnlyCrLfEndsALineAndABareLfOrCrInsideOneIsInvalid) {
    for (const char* bare : {"250 a\n250 b\r", "250 a\r250 b\r"}) {
        TReplyParser parser;
        std::string line;
        parser.Feed(bare);
        EXPECT_EQ(parser.Next(line), EResult::NeedMore) << bare;
        parser.Feed("\n");
        EXPECT_EQ(parser.Next(line), EResult::Invalid) << bare;
    }
}

TEST(ReplyParser, ShortLinesAreContinuations) {
    TReplyParser parser;
    std::string line;
    parser.Feed("\r\n25\r\n250-x\r\n");
    EXPECT_EQ(parser.Next(line), EResult::NeedMore);
}

TEST(ReplyParser, HostileInputIsInvalidNotUnbounded) {
    std::string line;
    {
        TReplyParser parser;  // a line of exactly the limit is fine
        parser.Feed("250 " + std::string(TReplyParser::MaxLineLength - 4, 'x') + "\r\n");
        EXPECT_EQ(parser.Next(line), EResult::Complete);
    }
    {
        TReplyParser parser;  // one byte more is not
        parser.Feed("250 " + std::string(TReplyParser::MaxLineLength - 3, 'x') + "\r\n");
        EXPECT_EQ(parser.Next(line), EResult::Invalid);
    }
    {
        TReplyParser parser;  // nor is an endless line that never ends
        parser.Feed("250 ");
        EXPECT_EQ(parser.Next(line), EResult::NeedMore);
        parser.Feed(std::string(TReplyParser::MaxLineLength, 'x'));
        EXPECT_EQ(parser.Next(line), EResult::Invalid);
    }
    {
        TReplyParser parser;  // nor endless continuation lines
        EResult result = EResult::NeedMore;
        for (int i = 0; i < 2000 && result == EResult::NeedMore; ++i) {
            parser.Feed("250-" + std::string(60, 'y') + "\r\n");
            result = parser.Next(line);
        }
        EXPECT_EQ(result, EResult::Invalid);
    }
    {
        TReplyParser parser;
        parser.Feed(std::string("250 a\0b\r\n", 9));
        EXPECT_EQ(parser.Next(line), EResult::Invalid);
    }
}

TEST(ReplyParser, ResetForgetsEverythingBuffered) {
    TReplyParser parser;
    std::string line;
    parser.Feed("250-partial\r\n250 ");
    EXPECT_EQ(parser.Next(line), EResult::NeedMore);
    parser.Reset();
    parser.Feed("220 fresh\r\n");
    ASSERT_EQ(parser.Next(line), EResult::Complete);
    EXPECT_EQ(line, "220 fresh");
}

}  // namespace
}  // namespace corvane::mail
