#include "mail/MailText.h"
#include "mail/ScreenText.h"

#include <gtest/gtest.h>

namespace corvane::mail {
namespace {

TEST(MailText, OnlyFourPartsFromOneTo254AreAnAddress) {
    EXPECT_FALSE(IsIPAddress("127.0.0.1"));  // a part 0 sends it to name lookup
    EXPECT_TRUE(IsIPAddress("10.1.2.3"));
    EXPECT_TRUE(IsIPAddress("1.1.1.254"));
    for (const char* name : {"255.1.1.1", "1.2.3", "1.2.3.4.5", "1..2.3", "a.b.c.d", "1.2.3.4 ",
                             "", "mail.example.org", "-1.2.3.4", "1.2.3.1000"}) {
        EXPECT_FALSE(IsIPAddress(name)) << name;
    }
}

TEST(MailText, AddressPartsWithLeadingZerosAreLookedUpAsDecimal) {
    const std::pair<const char*, const char*> cases[] = {
        {"010.001.002.009", "10.1.2.9"}, {"127.000.000.001", "127.0.0.1"},
        {"10.1.2.3", "10.1.2.3"},       {"0.0.0.0", "0.0.0.0"},
        // Not four decimal parts up to 255: a name, or for the lookup to refuse.
        {"1.2.3.0400", "1.2.3.0400"},   {"01.2.3", "01.2.3"},
        {"1.2.3.4.", "1.2.3.4."},       {"0x7f.0.0.1", "0x7f.0.0.1"},
        {"mail.example.org", "mail.example.org"}, {"", ""},
    };
    for (const auto& [host, form] : cases) {
        EXPECT_EQ(LookupForm(host), form) << host;
    }
}

TEST(MailText, PortFallsBackTo25WhenNotAPortNumber) {
    EXPECT_EQ(PortNumber("587"), 587);
    EXPECT_EQ(PortNumber("65535"), 65535);
    for (const char* text : {"", "smtp", "0", "65536", "25x", "-25", " 25"}) {
        EXPECT_EQ(PortNumber(text), 25) << text;
    }
}

TEST(MailText, AddressIsTakenFromBetweenAngleBrackets) {
    EXPECT_EQ(ExtractAddress("Jane Doe <jane@example.org>"), "jane@example.org");
    EXPECT_EQ(ExtractAddress("jane@example.org"), "jane@example.org");
    EXPECT_EQ(ExtractAddress("Jane <jane@example.org"), "");   // no closing bracket
    EXPECT_EQ(ExtractAddress("> Jane <jane@example.org"), "");  // closing bracket first
    EXPECT_EQ(ExtractAddress("<>"), "");
}

TEST(MailText, RecipientsKeepQuotedCommasAndFieldOrder) {
    EXPECT_EQ(RecipientAddresses("\"Doe, Jane\" <jane@example.org>, joe@example.org", "", ""),
              (std::vector<std::string>{"jane@example.org", "joe@example.org"}));
    EXPECT_EQ(RecipientAddresses("to@example.org", "cc@example.org", "bcc@example.org"),
              (std::vector<std::string>{"to@example.org", "cc@example.org", "bcc@example.org"}));
    EXPECT_EQ(RecipientAddresses("", "", "bcc@example.org"),
              (std::vector<std::string>{"bcc@example.org"}));
    // A trailing comma leaves one empty recipient, and so do empty fields.
    EXPECT_EQ(RecipientAddresses("a@example.org,", "", ""),
              (std::vector<std::string>{"a@example.org", ""}));
    EXPECT_EQ(RecipientAddresses("", "", ""), (std::vector<std::string>{""}));
    // A lone quote is dropped by itself.
    EXPECT_EQ(RecipientAddresses("O\"Brien <ob@example.org>", "", ""),
              (std::vector<std::string>{"ob@example.org"}));
    // An escaped quote does not end the name, so its comma splits nothing.
    EXPECT_EQ(RecipientAddresses("\"a\\\"b, c\" <x@example.org>, y@example.org", "", ""),
              (std::vector<std::string>{"x@example.org", "y@example.org"}));
}

TEST(MailText, LineBreaksInAddressesAndHeadersAreDefused) {
    EXPECT_TRUE(HoldsLineBreakOrNul("a@example.org\r\nRCPT TO:<x@example.org>"));
    EXPECT_TRUE(HoldsLineBreakOrNul(std::string("a\0b", 3)));
    EXPECT_FALSE(HoldsLineBreakOrNul("a@example.org"));
    EXPECT_EQ(ControlsAsSpaces(std::string("a\r\nb\0c", 6)), "a  b c");
    EXPECT_EQ(SanitizeHeaderValue("Hi\r\nBcc: x@example.org"), "Hi  Bcc: x@example.org");
    EXPECT_EQ(QuotedStringContent("a \"b\"\\c\r\n.txt"), "a \\\"b\\\"\\\\c  .txt");
}

TEST(MailText, EveryKindOfLineBreakEndsALine) {
    EXPECT_EQ(SplitAtLineBreaks({"a\r\nb\nc\rd", "", "e\r\n"}),
              (std::vector<std::string>{"a", "b", "c", "d", "", "e", ""}));
    EXPECT_EQ(SplitAtLineBreaks({"\r\r\n"}), (std::vector<std::string>{"", "", ""}));
}

TEST(MailText, PercentRoundsHalfToEven) {
    EXPECT_EQ(RoundedPercent(1, 200), 0);   // 0.5 -> 0
    EXPECT_EQ(RoundedPercent(3, 200), 2);   // 1.5 -> 2
    EXPECT_EQ(RoundedPercent(5, 200), 2);   // 2.5 -> 2
    EXPECT_EQ(RoundedPercent(2, 3), 67);    // 66.67
    EXPECT_EQ(RoundedPercent(57, 5700), 1);
    EXPECT_EQ(RoundedPercent(7, 7), 100);
    EXPECT_EQ(RoundedPercent(0, 0), 100);
    EXPECT_EQ(RoundedPercent(5'000'000'000ULL, 10'000'000'000ULL), 50);
}

TEST(MailText, FirstPartReachingAgreesWithAScanOfEveryPart) {
    // The progress loops rely on it to skip the division for most lines.
    for (const std::uint64_t whole : {1ULL, 2ULL, 3ULL, 7ULL, 57ULL, 199ULL, 200ULL, 2280ULL, 5701ULL}) {
        for (std::uint32_t percent = 0; percent <= 101; ++percent) {
            std::uint64_t first = 0;
            while (first <= whole && RoundedPercent(first, whole) < percent) {
                ++first;
            }
            ASSERT_EQ(FirstPartReaching(percent, whole), first) << percent << "% of " << whole;
        }
    }
    const std::uint64_t large = 137'000'000'000ULL;  // a file far beyond the scanned sizes
    const std::uint64_t half = FirstPartReaching(50, large);
    EXPECT_EQ(half, 67'815'000'000ULL);  // 49.5 % rounds to the even 50
    EXPECT_EQ(RoundedPercent(half, large), 50);
    EXPECT_EQ(RoundedPercent(half - 1, large), 49);
}

TEST(MailText, DateFollowsRfc5322WithTheZoneOffset) {
    const std::time_t moment = 1796716800;  // 2026-12-08 08:00:00 UTC, a Tuesday
    EXPECT_EQ(FormatMailDate(moment, 0), "Tue, 08 Dec 2026 08:00:00 +0000");
    EXPECT_EQ(FormatMailDate(moment, 5 * 3600 + 30 * 60), "Tue, 08 Dec 2026 13:30:00 +0530");
    EXPECT_EQ(FormatMailDate(moment, -9 * 3600), "Mon, 07 Dec 2026 23:00:00 -0900");
}

TEST(MailText, ServerFieldTakesHostAndOptionalPort) {
    const auto check = [](const char* text, const char* host, const char* port) {
        const TServerAddress parsed = ParseServerAddress(text);
        EXPECT_EQ(parsed.Host, host) << text;
        EXPECT_EQ(parsed.Port, port) << text;
    };
    check("mail.example.org", "mail.example.org", "25");
    check(" mail.example.org:587 ", "mail.example.org", "587");
    check("127.0.0.1:2525", "127.0.0.1", "2525");
    check("[::1]:2525", "::1", "2525");
    check("[::1]", "::1", "25");
    check("::1", "::1", "25");
    check("mail.example.org:", "mail.example.org", "25");
}

TEST(MailText, TrimRemovesControlCharactersAndBlanks) {
    EXPECT_EQ(TrimBlanks(" \t250 ok\r\n"), "250 ok");
    EXPECT_EQ(TrimBlanks("   "), "");
}

}  // namespace
}  // namespace corvane::mail

namespace corvane::mail {
namespace {

TEST(ScreenText, EscapesWhatCouldMoveReorderOrHideTextAndKeepsTheRest) {
    const std::pair<std::string, std::string> cases[] = {
        {"550 No such user", "550 No such user"},
        {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x89 C:\\mail", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x89 C:\\mail"},
        {"\x1B[2KError: 250", "\\u001B[2KError: 250"},
        {std::string("a\0b\tc\rd\ne\x7F", 10), "a\\u0000b\\u0009c\\u000Dd\\u000Ae\\u007F"},
        {"CN=x\xE2\x80\xA8SHA-256: AB", "CN=x\\u2028SHA-256: AB"},  // line separator
        {"\xE2\x80\xAEgpj.exe", "\\u202Egpj.exe"},                      // right-to-left override
        {"\xE2\x81\xA6x\xE2\x81\xA9 \xE2\x80\x8F \xD8\x9C", "\\u2066x\\u2069 \\u200F \\u061C"},
        {"zero\xE2\x80\x8Bwidth\xEF\xBB\xBF\xE2\x81\xA0", "zero\\u200Bwidth\\uFEFF\\u2060"},
        {"c1 \xC2\x9B" "31m", "c1 \\u009B31m"},
        {"raw \x9B" "31m \xFF", "raw \\x9B31m \\xFF"},  // not UTF-8: a terminal may take 0x9B as CSI
        {"", ""},
    };
    for (const auto& [text, shown] : cases) {
        EXPECT_EQ(ScreenSafe(text), shown) << text;
    }
}

}  // namespace
}  // namespace corvane::mail
