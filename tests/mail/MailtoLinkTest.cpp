#include "mail/MailtoLink.h"

#include <gtest/gtest.h>

namespace corvane::mail {
namespace {

TEST(MailtoLink, ReadsTheRfcExamplesAndLeavesOutWhatIsMalformed) {
    // TMailtoLink's fields, each empty unless a case names it.
    struct TFields {
        std::string To{}, Cc{}, Bcc{}, Subject{}, Body{};
        std::vector<std::string> LeftOut{};
    };
    struct TCase {
        const char* Name;
        std::string Link;
        TFields Expected;
    };
    const std::string huge(MaxMailtoBodyBytes, 'x');
    const std::vector<TCase> cases{
        // RFC 6068 section 6.1
        {"Plain", "mailto:chris@example.com", {.To = "chris@example.com"}},
        {"Subject", "mailto:infobot@example.com?subject=current-issue",
         {.To = "infobot@example.com", .Subject = "current-issue"}},
        {"BodyLines", "mailto:infobot@example.com?body=send%20current-issue%0D%0Asend%20index",
         {.To = "infobot@example.com", .Body = "send current-issue\nsend index"}},
        {"OtherFieldIgnored", "mailto:list@example.org?In-Reply-To=%3C3469A91.D10AF4C@example.com%3E",
         {.To = "list@example.org"}},
        {"CcAndBody", "mailto:joe@example.com?cc=bob@example.com&body=hello",
         {.To = "joe@example.com", .Cc = "bob@example.com", .Body = "hello"}},
        {"EscapedPercent", "mailto:gorby%25kremvax@example.com", {.To = "gorby%kremvax@example.com"}},
        {"EscapedQuestionMark", "mailto:unlikely%3Faddress@example.com?blat=foop",
         {.To = "unlikely?address@example.com"}},
        {"EscapedAmpersand", "mailto:Mike%26family@example.org", {.To = "Mike&family@example.org"}},
        // Section 6.2
        {"QuotedAt", "mailto:%22not%40me%22@example.org", {.To = "\"not@me\"@example.org"}},
        {"QuotedBackslashes", "mailto:%22%5C%5C%5C%22it's%5C%20ugly%5C%5C%5C%22%22@example.org",
         {.To = R"("\\\"it's\ ugly\\\""@example.org)"}},
        {"Utf8", "mailto:user@%E7%B4%8D%E8%B1%86.example.org?subject=caf%C3%A9&body=NATTO",
         {.To = "user@\u7d0d\u8c46.example.org", .Subject = "caf\u00e9", .Body = "NATTO"}},
        // Section 2: three ways to write two recipients; %2C stays inside an address
        {"PathList", "mailto:addr1@an.example,addr2@an.example", {.To = "addr1@an.example, addr2@an.example"}},
        {"ToList", "mailto:?to=addr1@an.example,%20addr2@an.example", {.To = "addr1@an.example, addr2@an.example"}},
        {"PathAndTo", "mailto:addr1@an.example?to=addr2@an.example&to=%22a%2Cb%22@an.example",
         {.To = "addr1@an.example, addr2@an.example, \"a,b\"@an.example"}},
        // Any case, lone LF, the first subject, a fragment
        {"Case", "MAILTO:a@x.example?SUBJECT=Hi&sUbJeCt=Later&Bcc=c@x.example&body=1%0A2%0D3#top",
         {.To = "a@x.example", .Bcc = "c@x.example", .Subject = "Hi", .Body = "1\n2\n3"}},
        // Hostile: a header smuggled in, a broken escape, bytes that are not UTF-8, controls
        {"CrLfInSubject", "mailto:a@x.example?subject=Hi%0D%0ABcc:%20evil@x.example&body=ok",
         {.To = "a@x.example", .Body = "ok", .LeftOut = {"subject (a line break)"}}},
        {"LfInAddress", "mailto:a@x.example%0ABcc:evil@x.example?cc=b@x.example",
         {.Cc = "b@x.example", .LeftOut = {"to (a line break)"}}},
        {"LineSeparatorInSubject", "mailto:?subject=a%E2%80%A8b", {.LeftOut = {"subject (a line break)"}}},
        {"InvalidEscape", "mailto:a@x.example?cc=b%zz@x.example&subject=100%25%2",
         {.To = "a@x.example", .LeftOut = {"cc (an invalid % escape)", "subject (an invalid % escape)"}}},
        {"NotUtf8", "mailto:a@x.example?subject=caf%E9&body=%C0%AF",
         {.To = "a@x.example", .LeftOut = {"subject (not UTF-8)", "body (not UTF-8)"}}},
        {"Controls", "mailto:a@x.example?subject=a%00b&body=%1B[2J%C2%85",
         {.To = "a@x.example", .LeftOut = {"subject (a control character)", "body (a control character)"}}},
        {"NoValue", "mailto:a@x.example?subject&from=evil@x.example&&",
         {.To = "a@x.example", .LeftOut = {"subject (no value)"}}},
        {"BodyAtItsBound", "mailto:a@x.example?body=" + huge, {.To = "a@x.example", .Body = huge}},
        {"HugeBody", "mailto:a@x.example?body=" + huge + "%20",
         {.To = "a@x.example", .LeftOut = {"body (longer than 64 KB)"}}},
        {"HugeCc", "mailto:?cc=" + std::string(MaxMailtoFieldBytes + 1, 'c') + "&cc=d@x.example",
         {.Cc = "d@x.example", .LeftOut = {"cc (longer than 8 KB)"}}},
        {"NoMailto", "http://x.example/?subject=Hi", {.LeftOut = {"everything (not a mailto: link)"}}},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const TMailtoLink link = ParseMailtoLink(row.Link);
        EXPECT_EQ(link.To, row.Expected.To);
        EXPECT_EQ(link.Cc, row.Expected.Cc);
        EXPECT_EQ(link.Bcc, row.Expected.Bcc);
        EXPECT_EQ(link.Subject, row.Expected.Subject);
        EXPECT_EQ(link.Body, row.Expected.Body);
        EXPECT_EQ(link.LeftOut, row.Expected.LeftOut);
    }
}

}  // namespace
}  // namespace corvane::mail
