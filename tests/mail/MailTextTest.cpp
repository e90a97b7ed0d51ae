#include "mail/AddressList.h"
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

// Each list as typed, and what it reads as: "name|address" per mailbox, or "!" and the
// entry that is no mailbox.
TEST(AddressList, ReadsDisplayNamesQuotesCommentsAndEscapesAsRfc5322Does) {
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"jane@example.org", {"|jane@example.org"}},
        {"Jane Doe <jane@example.org>", {"Jane Doe|jane@example.org"}},
        {"\"Doe, Jane\" <jane@example.org>, joe@example.org", {"Doe, Jane|jane@example.org", "|joe@example.org"}},
        {"\"a\\\"b, c\" <x@example.org>", {"a\"b, c|x@example.org"}},
        {"joe@example.org (Joe, at home), , ann@example.org,", {"Joe, at home|joe@example.org", "|ann@example.org"}},
        {"Jane (work (nested, too)) Doe <jane@example.org>", {"Jane (work (nested, too)) Doe|jane@example.org"}},
        {"J. R. Doe <jr@example.org>", {"J. R. Doe|jr@example.org"}},
        {"<anon@example.org>", {"|anon@example.org"}},
        {"\"john doe\"@example.org", {"|\"john doe\"@example.org"}},
        {"J\xC3\xB6rg <j\xC3\xB6rg@b\xC3\xBC" "cher.example>", {"J\xC3\xB6rg|j\xC3\xB6rg@b\xC3\xBC" "cher.example"}},
        {"", {}},
        {"Doe, Jane <jane@example.org>", {"!Doe"}},
        {"a@example.org, Team: b@example.org;", {"|a@example.org", "!Team: b@example.org;"}},
        {"me@example.org> RET=FULL", {"!me@example.org> RET=FULL"}},
        {"Jane <jane@example.org", {"!Jane <jane@example.org"}},
        {"\"unclosed <x@example.org>", {"!\"unclosed <x@example.org>"}},
        {"x@example.org (unclosed", {"!x@example.org (unclosed"}},
        {"Jane <jane@example.org> extra", {"!Jane <jane@example.org> extra"}},
        {"<>", {"!<>"}},
    };
    for (const auto& [text, expected] : cases) {
        const TAddressList list = ParseAddressList(text);
        std::vector<std::string> read;
        for (const TMailbox& mailbox : list.Mailboxes) {
            read.push_back(mailbox.Name + "|" + mailbox.Address);
        }
        if (!list.Invalid.empty()) {
            read.push_back("!" + list.Invalid);
        }
        EXPECT_EQ(read, expected) << text;
    }
}

TEST(AddressList, AMailboxIsWhatRfc5321AllowsBetweenTheAngleBrackets) {
    for (const char* good : {"a@example.org", "first.last+tag@sub.example.org", "x@localhost",
                             "\"john doe\"@example.org", "\"a\\\"b@c\"@example.org", "a@[192.0.2.1]",
                             "a@[IPv6:2001:db8::1]", "!#$%&'*+-/=?^_`{|}~@example.org",
                             "j\xC3\xB6rg@b\xC3\xBC" "cher.example", "a@xn--bcher-kva.example"}) {
        EXPECT_TRUE(IsMailbox(good)) << good;
    }
    for (const char* bad : {"", "a", "@example.org", "a@", "a..b@example.org", ".a@example.org",
                            "a.@example.org", "a b@example.org", "a@exam ple.org", "a@-example.org",
                            "a@example-.org", "a@example.org.", "a@exa_mple.org", "a@[192.0.2.256]",
                            "a@[IPv6:zz::1]", "a@[tag:x]", "\"unclosed@example.org", "\"a\"b@example.org",
                            "a@example.org>", "a@b@example.org", "a\xE2\x80\xAE" "b@example.org",
                            "a\x9B" "b@example.org", "a\tb@example.org"}) {
        EXPECT_FALSE(IsMailbox(bad)) << bad;
    }
    using namespace std::string_view_literals;
    EXPECT_FALSE(IsMailbox("a@b\xC3\xBC" "cher.example\0.x"sv));
}

TEST(MailText, LineBreaksInHeadersAndParametersAreDefused) {
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

// What a server field names as its port when that port would silently become 25.
TEST(MailText, InvalidPortIsTheTypedPortThatIsNoPortNumber) {
    const std::vector<std::pair<const char*, std::optional<std::string>>> cases{
        {"mail.example.org", std::nullopt},
        {"mail.example.org:1", std::nullopt},
        {" mail.example.org:65535 ", std::nullopt},
        {"[::1]:2525", std::nullopt},
        {"[::1]", std::nullopt},
        {"fe80::", std::nullopt},  // a bare IPv6 address ending in a colon has no port
        {"mail.example.org:70000", "70000"},
        {"mail.example.org:65536", "65536"},
        {"mail.example.org:5877x", "5877x"},
        {"mail.example.org:0", "0"},
        {"mail.example.org:-25", "-25"},
        {"mail.example.org:", ""},
        {"[::1]:", ""},
        {"[::1]:smtp", "smtp"},
    };
    for (const auto& [server, port] : cases) {
        EXPECT_EQ(InvalidPort(server), port) << server;
    }
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
