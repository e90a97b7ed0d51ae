// The dialogue's use of what the server offers in its EHLO reply (8BITMIME, SMTPUTF8,
// SIZE), read as transcripts through the in-memory socket: the exact envelope the client
// writes, what the message data carries, and the local refusals that send nothing at all.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "MemorySocket.h"
#include "TempFolder.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {
namespace {

using test::TMemorySocket;

struct TRun {
    std::string Written;
    int Error = 0;
    std::string ErrorText;
    bool Sent = false;
    TCapabilities Capabilities;
};

using TAdjust = std::function<void(TWrenSMTP&, TWrenMsg&, TMemorySocket&)>;

// One whole session: greeting, Ehlo (the server's reply to EHLO, possibly in several
// chunks), and every later command accepted.
TRun RunSession(std::vector<std::string> ehlo, const TAdjust& adjust = {}) {
    auto owned = std::make_unique<TMemorySocket>();
    TMemorySocket& wire = *owned;
    TWrenSMTP smtp(std::move(owned));
    smtp.Clock = [] { return TLocalTime{1765180252, 0}; };
    smtp.LocalHostName = [] { return std::string("client.test"); };
    smtp.Random = [] { return std::uint64_t{42}; };
    smtp.Host = "mail.test";
    TWrenMsg msg;
    msg.From = "Ann <ann@example.test>";
    msg.SendTo = "bob@example.test";
    msg.Subject = "Figures";
    msg.Text = {"Hello Bob,", ".", "Ann"};
    TRun run;
    smtp.OnError = [&run](TWrenSMTP&, int code, const std::string& text) {
        run.Error = code;
        run.ErrorText = text;
    };
    wire.Incoming("220 mail.test ESMTP\r\n");
    for (auto& chunk : ehlo) {
        wire.Incoming(std::move(chunk));
    }
    for (const char* reply : {"250 ok\r\n", "250 ok\r\n", "354 go\r\n", "250 queued\r\n", "221 bye\r\n"}) {
        wire.Incoming(reply);
    }
    if (adjust) {
        adjust(smtp, msg, wire);
    }
    smtp.Connect();
    run.Capabilities = smtp.Capabilities();
    if (!smtp.Failed) {
        run.Sent = smtp.SendMail(msg);
        smtp.Quit();
    }
    run.Written = wire.Written;
    return run;
}

std::string Line(const std::string& written, std::string_view start) {
    const auto at = written.find(start);
    return at == std::string::npos ? "<no line " + std::string(start) + ">"
                                   : written.substr(at, written.find("\r\n", at) - at);
}

// The message data as the server stores it (RFC 1870's count): through the CR LF before
// the terminating ".", transparency dots removed.
std::string StoredData(const std::string& written) {
    const auto begin = written.find("DATA\r\n") + 6;
    std::string data = written.substr(begin, written.rfind("\r\n.\r\n") + 2 - begin);
    for (auto at = data.find("\r\n.."); at != std::string::npos; at = data.find("\r\n..", at + 3)) {
        data.erase(at + 2, 1);
    }
    return data;
}

bool SevenBitClean(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

const char* const German = "Grüße aus München, schöne Straße";

TEST(SmtpExtensions, MailFromCarriesWhatTheServerOffersAndTheMessageNeeds) {
    struct TCase {
        const char* Name;
        std::string Ehlo;
        std::string Text;
        std::string MailFrom;
        const char* TransferEncoding;  // of the message's text; nullptr: no MIME labels
    };
    const std::string longLine(2000, 'x');
    const std::vector<TCase> cases{
        {"NothingOffered", "250 mail.test\r\n", "plain", "MAIL FROM:<ann@example.test>", nullptr},
        {"NothingOfferedUnicode", "250 mail.test\r\n", German, "MAIL FROM:<ann@example.test>",
         "quoted-printable"},
        {"EightBitUnicode", "250-mail.test\r\n250 8bitmime\r\n", German,
         "MAIL FROM:<ann@example.test> BODY=8BITMIME", "8bit"},
        {"EightBitAscii", "250-mail.test\r\n250 8BITMIME\r\n", "plain", "MAIL FROM:<ann@example.test>",
         nullptr},
        {"EightBitButALongLine", "250-mail.test\r\n250 8BITMIME\r\n", longLine,
         "MAIL FROM:<ann@example.test>", "quoted-printable"},
        {"SizeWithoutLimit", "250-mail.test\r\n250 SIZE\r\n", "plain", "MAIL FROM:<ann@example.test> SIZE=", nullptr},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const TRun run = RunSession({row.Ehlo}, [&](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) { msg.Text = {row.Text}; });
        ASSERT_TRUE(run.Sent) << run.Error << " " << run.ErrorText;
        EXPECT_TRUE(Line(run.Written, "MAIL FROM:").starts_with(row.MailFrom));
        const std::string data = StoredData(run.Written);
        if (row.TransferEncoding == nullptr) {
            EXPECT_EQ(data.find("Content-Transfer-Encoding"), std::string::npos);
        } else {
            EXPECT_EQ(Line(data, "Content-Transfer-Encoding: "),
                      std::string("Content-Transfer-Encoding: ") + row.TransferEncoding);
            EXPECT_EQ(Line(data, "Content-Type: "), "Content-Type: text/plain; charset=UTF-8");
        }
        if (row.MailFrom.find("8BITMIME") == std::string::npos) {
            EXPECT_TRUE(SevenBitClean(run.Written));
        }
    }
}

TEST(SmtpExtensions, SizeAnnouncesTheExactStoredByteCount) {
    const TRun run = RunSession({"250-mail.test\r\n250 SIZE 1000000\r\n"});
    ASSERT_TRUE(run.Sent);
    EXPECT_EQ(Line(run.Written, "MAIL FROM:"),
              "MAIL FROM:<ann@example.test> SIZE=" + std::to_string(StoredData(run.Written).size()));
}

// The server's own count decides: a message of exactly its SIZE goes, one byte more does not;
// and attachments that alone pass it are refused before a byte of them is encoded.
TEST(SmtpExtensions, SizeLimitHoldsToTheByteAndIsJudgedBeforeEncoding) {
    const auto withSize = [](std::uint64_t size) { return "250-mail.test\r\n250 SIZE " + std::to_string(size) + "\r\n"; };
    const std::uint64_t size = StoredData(RunSession({withSize(1000000)}).Written).size();
    EXPECT_TRUE(RunSession({withSize(size)}).Sent);
    const TRun over = RunSession({withSize(size - 1)});
    EXPECT_FALSE(over.Sent);
    EXPECT_EQ(over.Error, 106);

    const test::TTempFolder folder;
    const std::string big = folder.WriteFile("big.bin", std::string(150000, 'x')).string();
    int encodingsStarted = 0;
    const TRun early = RunSession({withSize(200000)}, [&](TWrenSMTP& smtp, TWrenMsg& msg, TMemorySocket&) {
        msg.AttachedFiles.AddFile(big);
        msg.AttachedFiles.AddFile(big);
        smtp.OnEncodeStart = [&](TWrenSMTP&, const std::string&, std::int64_t) { ++encodingsStarted; };
    });
    EXPECT_FALSE(early.Sent);
    EXPECT_EQ(encodingsStarted, 0);
    EXPECT_EQ(early.Written, "EHLO client.test\r\n");
    EXPECT_EQ(early.ErrorText, "The attachments alone make the message 410528 bytes; the server takes at most 200000.");
}

// Memory can run out while a large message is composed: the send must end with a reason and
// the connection closed, never with the process aborted.
TEST(SmtpExtensions, RunningOutOfMemoryWhileComposingEndsTheSendWith113) {
    const test::TTempFolder folder;
    const std::string file = folder.WriteFile("a.bin", "data").string();
    bool closed = false;
    const TRun run = RunSession({"250 mail.test\r\n"}, [&](TWrenSMTP& smtp, TWrenMsg& msg, TMemorySocket& wire) {
        msg.AttachedFiles.AddFile(file);
        smtp.OnEncodeStart = [](TWrenSMTP&, const std::string&, std::int64_t) { throw std::bad_alloc(); };
        smtp.OnQuit = [&closed, &wire](TWrenSMTP&) { closed = !wire.IsOpen(); };
    });
    EXPECT_FALSE(run.Sent);
    EXPECT_EQ(run.Error, 113);
    EXPECT_EQ(run.ErrorText, "There is not enough memory to compose the message.");
    EXPECT_TRUE(closed);
    EXPECT_EQ(run.Written, "EHLO client.test\r\n");
}

TEST(SmtpExtensions, LocalRefusalsSendNothingAfterTheGreeting) {
    struct TCase {
        const char* Name;
        std::string Ehlo;
        std::string From;
        int Error;
        std::string ErrorText;
    };
    const std::vector<TCase> cases{
        {"SizeBelowTheMessage", "250-mail.test\r\n250 SIZE 100\r\n", "ann@example.test", 106,
         "The message is {N} bytes; the server takes at most 100."},
        {"Utf8LocalPartWithoutSmtpUtf8", "250-mail.test\r\n250 8BITMIME\r\n", "Jörg <jörg@example.test>", 107,
         "The mail server cannot take the address <jörg@example.test>."},
        {"InvalidInternationalDomain", "250 mail.test\r\n", "ann@\u2603.example", 105,
         "Invalid address: ann@\u2603.example"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const TRun run = RunSession({row.Ehlo}, [&](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) { msg.From = row.From; });
        EXPECT_FALSE(run.Sent);
        EXPECT_EQ(run.Written, "EHLO client.test\r\n");
        EXPECT_EQ(run.Error, row.Error);
        if (row.Error == 106) {
            EXPECT_TRUE(run.ErrorText.starts_with("The message is ")) << run.ErrorText;
            EXPECT_TRUE(run.ErrorText.ends_with(" bytes; the server takes at most 100.")) << run.ErrorText;
        } else {
            EXPECT_EQ(run.ErrorText, row.ErrorText);
        }
    }
}

TEST(SmtpExtensions, InternationalAddressesGoAsALabelsOrAsUtf8WithSmtpUtf8) {
    const auto withFrom = [](std::string from) {
        return [from](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) {
            msg.From = from;
            msg.SendTo = "\"Zoë, Müller\" <zoe@bücher.example>";
        };
    };
    const TRun idn = RunSession({"250 mail.test\r\n"}, withFrom("Ann <ann@bücher.example>"));
    ASSERT_TRUE(idn.Sent) << idn.ErrorText;
    EXPECT_EQ(Line(idn.Written, "MAIL FROM:"), "MAIL FROM:<ann@xn--bcher-kva.example>");
    EXPECT_EQ(Line(idn.Written, "RCPT TO:"), "RCPT TO:<zoe@xn--bcher-kva.example>");
    EXPECT_NE(idn.Written.find("<zoe@xn--bcher-kva.example>\r\n"), std::string::npos) << "the To header";
    EXPECT_NE(idn.Written.find("Message-ID: <"), std::string::npos);
    EXPECT_NE(Line(idn.Written, "Message-ID: ").find("@xn--bcher-kva.example>"), std::string::npos);
    EXPECT_TRUE(SevenBitClean(idn.Written));

    const TRun utf8 = RunSession({"250-mail.test\r\n250-8BITMIME\r\n250 SMTPUTF8\r\n"}, withFrom("Jörg <jörg@example.test>"));
    ASSERT_TRUE(utf8.Sent) << utf8.ErrorText;
    EXPECT_EQ(Line(utf8.Written, "MAIL FROM:"), "MAIL FROM:<jörg@example.test> SMTPUTF8");
}

TEST(SmtpExtensions, TheEhloReplyIsReadWholeAndAServerWithoutEhloIsGreetedWithHelo) {
    const TRun split = RunSession({"250-mail.test\r\n250-SI", "ZE 2000\r\n250-auth plain LOGIN\r\n", "250 8BITMIME\r\n"});
    ASSERT_TRUE(split.Sent);
    EXPECT_EQ(split.Capabilities.SizeLimit(), 2000u);
    EXPECT_TRUE(split.Capabilities.OffersAuth("LOGIN"));
    EXPECT_TRUE(split.Capabilities.Has("8bitmime"));

    const TRun old = RunSession({"502 5.5.1 EHLO not known\r\n", "250 mail.test\r\n"},
                         [](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) { msg.Text = {German}; });
    ASSERT_TRUE(old.Sent) << old.ErrorText;
    EXPECT_TRUE(old.Written.starts_with("EHLO client.test\r\nHELO client.test\r\nMAIL FROM:<ann@example.test>\r\n"));
    EXPECT_TRUE(old.Capabilities.Empty());
    EXPECT_TRUE(SevenBitClean(old.Written));
}

TEST(SmtpCapabilities, KeywordsCompareWithoutCaseAndKeepTheirParameters) {
    const TCapabilities caps = TCapabilities::FromEhloReply(
        {"250-mail.test greets you", "250-size 35882577", "250-AUTH=LOGIN", "250-AUTH PLAIN  xoauth2",
         "250-8BITMIME", "250-SIZE 1", "250-", "250-!bad", "250 STARTTLS"});
    EXPECT_TRUE(caps.Has("starttls"));
    EXPECT_FALSE(caps.Has("mail.test")) << "the greeting line names the server, it offers nothing";
    EXPECT_EQ(caps.SizeLimit(), 35882577u) << "a keyword given twice keeps its first parameters";
    EXPECT_EQ(caps.Parameters("Auth"), (std::vector<std::string>{"PLAIN", "xoauth2"}));
    EXPECT_TRUE(caps.OffersAuth("XOAUTH2"));
    EXPECT_FALSE(caps.OffersAuth("LOGIN")) << "AUTH=LOGIN is an old form, not the AUTH keyword";
    EXPECT_EQ(caps.Summary(), "SIZE 35882577, AUTH PLAIN xoauth2, 8BITMIME, STARTTLS");  // what was taken, as sent
    EXPECT_FALSE(TCapabilities::FromEhloReply({"250-x", "250 SIZE 0"}).SizeLimit().has_value());
    EXPECT_FALSE(TCapabilities::FromEhloReply({"250-x", "250 SIZE big"}).SizeLimit().has_value());
}

}  // namespace
}  // namespace corvane::mail
