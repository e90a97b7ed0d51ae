// Composition: golden messages byte for byte (clock, random source and host name fixed),
// the Base64 parts, the encode progress rules and the composer's failures.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <regex>

#include "mail/Base64.h"
#include "mail/DeliveryReport.h"
#include "mail/ScreenText.h"
#include "mail/WrenEmail.h"
#include "TempFolder.h"

namespace corvane::mail {
namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Writes a file into the test's folder and returns its path as the engine takes it.
class TempFolder : public test::TTempFolder {
public:
    std::string Write(const std::string& name, const std::string& content) const {
        return WriteFile(name, content).string();
    }
};

std::string Bytes(std::size_t count) {
    std::string data(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        data[i] = static_cast<char>((i * 7 + 3) & 0xFF);
    }
    return data;
}

class Composer : public ::testing::Test {
protected:
    Composer() {
        smtp.Random = [this] { return randomValues.empty() ? 0 : NextRandom(); };
        smtp.Clock = [] { return TLocalTime{1796716800, 3600}; };  // 2026-12-08 09:00 +0100
        smtp.LocalHostName = [] { return std::string("host.example.org"); };
        msg.AttachedFiles.MimeTypes = &mimeTypes;
        msg.From = "Me <me@example.org>";
        msg.SendTo = "you@example.org";
    }

    std::uint64_t NextRandom() {
        const std::uint64_t value = randomValues.front();
        randomValues.erase(randomValues.begin());
        return value;
    }

    std::vector<std::string> Compose() {
        auto lines = smtp.BuildMessageLines(msg);
        return lines ? lines->Lines() : std::vector<std::string>{"<nothing composed>"};
    }

    static constexpr const char* DateLine = "Date: Tue, 08 Dec 2026 09:00:00 +0100";
    static constexpr const char* MessageIdLine =
        "Message-ID: <20261208080000.0000000000000000@example.org>";

    TempFolder folder;
    mimetypes::TMimeTypes mimeTypes{{folder.Write("mime.types", "text/plain txt\nimage/png png\n")}};
    std::vector<std::uint64_t> randomValues;
    TWrenSMTP smtp;
    TWrenMsg msg;
};

// The dots of DATA transparency are the sender's: the composed lines are the message.
TEST_F(Composer, PlainMessageKeepsLinesThatBeginWithADot) {
    msg.Subject = "Hi";
    msg.Text = {"Hello", ".", ".hidden", "", "end"};
    EXPECT_THAT(Compose(), ElementsAre(DateLine, MessageIdLine, "From: Me <me@example.org>",
                                       "To: you@example.org", "Subject: Hi", "", "Hello", ".",
                                       ".hidden", "", "end"));
}

TEST_F(Composer, SignatureFollowsTheTextAfterOneEmptyLine) {
    msg.Text = {"Text"};
    msg.Signature = {"-- ", ".sig"};
    EXPECT_THAT(Compose(), ElementsAre(DateLine, MessageIdLine, "From: Me <me@example.org>",
                                       "To: you@example.org", "", "Text", "", "-- ", ".sig"));
}

TEST_F(Composer, EveryHeaderInItsPlace) {
    msg.ReplyTo = "reply@example.org";
    msg.InReplyTo = "<id@example.org>";
    msg.Organization = "Example Org";
    msg.IncludePriority = true;
    msg.Priority = 2;
    msg.Xmailer = "Corvane";
    msg.RequestReadReceipt = true;
    msg.CC = "cc@example.org";
    msg.BCC = "hidden@example.org";
    msg.Subject = "All";
    msg.ExtraHeaders = {"X-One: 1", "", ".X-Dot: 2"};
    msg.Text = {"Body"};
    EXPECT_THAT(Compose(),
                ElementsAre("Reply-To: reply@example.org", "In-Reply-To: <id@example.org>",
                            "Organization: Example Org", "X-Priority: 2", "X-MSMail-Priority: High",
                            "X-Mailer: Corvane", "Disposition-Notification-To: Me <me@example.org>",
                            DateLine, MessageIdLine,
                            "From: Me <me@example.org>", "To: you@example.org",
                            "CC: cc@example.org", "Subject: All", "X-One: 1", ".X-Dot: 2", "",
                            "Body"));
}

// The receipt needs one sender to go to; a From the envelope would refuse gets no header
// rather than a malformed one (the message is refused before sending anyway).
TEST_F(Composer, ReadReceiptNeedsExactlyOneMailboxInFrom) {
    msg.RequestReadReceipt = true;
    for (const char* from : {"", "a@example.org, b@example.org", "Me <me@>", "no address"}) {
        msg.From = from;
        const auto lines = Compose();
        EXPECT_TRUE(std::none_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.starts_with("Disposition-Notification-To");
        })) << from;
    }
}

TEST(EnvelopeId, IsTheMessageIdAsXtextCutAtAHundredCharactersBetweenEscapes) {
    const std::string x97(97, 'x');
    const std::pair<std::string, std::string> rows[] = {
        {"<20251208075052.9e3779b97f4a7c15@example.test>",
         "20251208075052.9e3779b97f4a7c15@example.test"},
        {"<a+b=c d\x01\x7f\u00e9@[IPv6:::1]>", "a+2Bb+3Dc+20d@[IPv6:::1]"},
        {"<" + x97 + "+>", x97 + "+2B"},  // the escape ends at 100
        {"<" + x97 + "x+>", x97 + "x"},   // it would pass 100: left out whole
        {"<" + x97 + "xx+>", x97 + "xx"},
        {"<" + x97 + std::string(30, 'y') + ">", x97 + "yyy"},
    };
    for (const auto& [messageId, envelopeId] : rows) {
        EXPECT_EQ(EnvelopeId(messageId), envelopeId) << messageId;
    }
}

TEST_F(Composer, LineBreaksCannotInjectHeadersOrEndTheHeaderBlock) {
    msg.Subject = "Hi\r\nBcc: victim@example.org";
    msg.SendTo = "you@example.org\n";
    msg.ExtraHeaders = {"X-A: 1\r\n\r\nInjected body"};
    msg.Text = {"a\rb"};
    EXPECT_THAT(Compose(), ElementsAre(DateLine, MessageIdLine, "From: Me <me@example.org>",
                                       "To: you@example.org ",
                                       "Subject: Hi  Bcc: victim@example.org", "X-A: 1", "", "a", "b"));
}

TEST_F(Composer, MultipartMessageWithSeveralAttachments) {
    msg.Subject = "Files";
    msg.Text = {"See attached."};
    msg.Signature = {"Me"};
    msg.AttachedFiles.AddFile(folder.Write("a.TXT", "abcd"));
    msg.AttachedFiles.AddFile(folder.Write("empty.png", ""));
    msg.AttachedFiles.AddFile(folder.Write("we\"ird\\name", "xy"));
    const std::string boundary = "Message-Postal-ID-000000000000";
    EXPECT_THAT(Compose(),
                ElementsAreArray<std::string>(
                    {DateLine, MessageIdLine, "From: Me <me@example.org>", "To: you@example.org",
                     "Subject: Files", "MIME-Version: 1.0",
                     "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"", "",
                     "--" + boundary, "Content-Type: text/plain", "Content-Transfer-Encoding: 8bit",
                     "", "See attached.", "", "Me",
                     "", "--" + boundary, "Content-Type: text/plain; name=\"a.TXT\"",
                     "Content-Transfer-Encoding: base64",
                     "Content-Disposition: attachment; fileName=\"a.TXT\"", "", "YWJjZA==",
                     "", "--" + boundary, "Content-Type: image/png; name=\"empty.png\"",
                     "Content-Transfer-Encoding: base64",
                     "Content-Disposition: attachment; fileName=\"empty.png\"", "",
                     "", "--" + boundary,
                     "Content-Type: application/octet-stream; name=\"we\\\"ird\\\\name\"",
                     "Content-Transfer-Encoding: base64",
                     "Content-Disposition: attachment; fileName=\"we\\\"ird\\\\name\"", "", "eHk=",
                     "", "--" + boundary + "--"}));
}

TEST_F(Composer, SameFileTwiceGivesTwoParts) {
    const std::string path = folder.Write("twice.txt", "x");
    msg.AttachedFiles.AddFile(path);
    msg.AttachedFiles.AddFile(path);
    const auto lines = Compose();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Content-Type: text/plain; name=\"twice.txt\""), 2);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "eA=="), 2);
}

TEST_F(Composer, BoundaryIsDrawnAgainWhenTheTextHoldsIt) {
    // The first draw (all zero digits) collides with a text line; the second does not.
    randomValues.assign(1 + 12, 0);  // the Message-ID draws first
    randomValues.insert(randomValues.end(), 12, ~std::uint64_t{0});
    msg.Text = {"--Message-Postal-ID-000000000000 looks like a delimiter"};
    msg.AttachedFiles.AddFile(folder.Write("a.txt", "a"));
    const auto lines = Compose();
    EXPECT_THAT(lines, ::testing::Contains("--Message-Postal-ID-888888888888"));
}

TEST(Boundary, TwelveDigitsWithoutNineAndFreshEachTime) {
    TWrenSMTP smtp;
    const std::regex form("Message-Postal-ID-[0-8]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 50; ++i) {
        const std::string boundary = smtp.MakeBoundary();
        EXPECT_TRUE(std::regex_match(boundary, form)) << boundary;
        seen.insert(boundary);
    }
    EXPECT_EQ(seen.size(), 50u);  // 9^12 values: a repeat would mean a stuck generator
}

TEST_F(Composer, AttachmentShapesGiveTheirBase64Lines) {
    const std::pair<std::size_t, std::vector<std::size_t>> shapes[] = {
        {0, {}}, {1, {4}}, {2, {4}}, {57, {76}}, {58, {76, 4}}, {2280, std::vector<std::size_t>(40, 76)},
    };
    for (const auto& [size, lineLengths] : shapes) {
        const std::string data = Bytes(size);
        TAttachedFile& item = msg.AttachedFiles.AddFile(folder.Write("shape.bin", data));
        TComposedMessage part;
        ASSERT_TRUE(smtp.EncodeAttachment(item, part)) << size;
        std::vector<std::size_t> lengths;
        std::string joined;
        for (const auto& line : part.Lines()) {
            lengths.push_back(line.size());
            joined += line;
        }
        EXPECT_EQ(lengths, lineLengths) << size;
        EXPECT_EQ(joined, EncodeBase64(data)) << size;
    }
}

struct TEncodeEvents {
    std::vector<std::string> Log;
    void Attach(TWrenSMTP& smtp) {
        smtp.OnEncodeStart = [this](TWrenSMTP&, const std::string& name, std::int64_t bytes) {
            Log.push_back("start " + name + " " + std::to_string(bytes));
        };
        smtp.OnEncodeProgress = [this](TWrenSMTP&, std::uint16_t percent) {
            Log.push_back(std::to_string(percent));
        };
        smtp.OnEncodeEnd = [this](TWrenSMTP&) { Log.push_back("end"); };
        smtp.OnError = [this](TWrenSMTP&, int code, const std::string& text) {
            Log.push_back("error " + std::to_string(code) + " " + text);
        };
    }
};

TEST_F(Composer, ProgressOfA5700ByteFileInStepsOfFive) {
    TEncodeEvents events;
    events.Attach(smtp);
    smtp.EncodeProgressStep = 5;
    TAttachedFile& item = msg.AttachedFiles.AddFile(folder.Write("doc.bin", Bytes(5700)));
    TComposedMessage part;
    ASSERT_TRUE(smtp.EncodeAttachment(item, part));
    std::vector<std::string> expected{"start doc.bin 5700"};
    for (int percent = 5; percent <= 80; percent += 5) {
        expected.push_back(std::to_string(percent));
    }
    expected.insert(expected.end(), {"100", "end"});
    EXPECT_EQ(events.Log, expected);
}

TEST_F(Composer, ProgressCatchesUpOneStepPerLineAndEndsAt100Once) {
    TEncodeEvents events;
    events.Attach(smtp);
    smtp.EncodeProgressStep = 1;
    TAttachedFile& item = msg.AttachedFiles.AddFile(folder.Write("block.bin", Bytes(2280)));
    TComposedMessage part;
    ASSERT_TRUE(smtp.EncodeAttachment(item, part));
    // 40 lines of 2.5 % each: one event per line, the threshold trailing behind, and the
    // last line's 100 comes from the block loop with no extra final event.
    ASSERT_EQ(events.Log.size(), 42u);
    EXPECT_EQ(events.Log[1], "2");   // line 1: 2.5 rounds to 2, threshold 1
    EXPECT_EQ(events.Log[40], "100");
    EXPECT_EQ(events.Log[41], "end");
    EXPECT_EQ(std::count(events.Log.begin(), events.Log.end(), "100"), 1);
}

TEST_F(Composer, EmptyFileReportsOnlyTheFinal100) {
    TEncodeEvents events;
    events.Attach(smtp);
    TAttachedFile& item = msg.AttachedFiles.AddFile(folder.Write("empty.bin", ""));
    TComposedMessage part;
    ASSERT_TRUE(smtp.EncodeAttachment(item, part));
    EXPECT_THAT(events.Log, ElementsAre("start empty.bin 0", "100", "end"));
    EXPECT_EQ(part.LineCount(), 0u);
}

// An extra header line goes out only as a header of its own: never continuing the one above
// it (even one the composer wrote), never a second Date or Content-Type, never raw controls.
TEST_F(Composer, ExtraHeaderLinesAreHeadersOfTheirOwnOrRefusedBeforeConnecting) {
    std::string longValue;
    while (longValue.size() < 1200) {
        longValue += "folded where the blanks are ";
    }
    longValue.pop_back();
    msg.ExtraHeaders = {"X-Plain:kept as typed", "X-Long: " + longValue, "X-Note: Gr\xC3\xBC\xC3\x9F" "e"};
    const auto lines = Compose();
    EXPECT_THAT(lines, ::testing::Contains("X-Plain:kept as typed"));
    EXPECT_THAT(lines, ::testing::Contains(::testing::StartsWith("X-Note: =?UTF-8?")));
    const auto longFirst = std::find_if(lines.begin(), lines.end(), [](const std::string& line) { return line.starts_with("X-Long:"); });
    ASSERT_NE(longFirst, lines.end());
    std::string unfolded = *longFirst;
    for (auto next = longFirst + 1; next != lines.end() && next->starts_with(' '); ++next) {
        EXPECT_LE(next->size(), 998u);
        unfolded += *next;
    }
    EXPECT_LE(longFirst->size(), 998u);
    EXPECT_EQ(unfolded, "X-Long: " + longValue);

    const std::pair<std::string, std::string> refused[] = {
        {" boundary=\"evil\"", "it begins with a blank, which would join it to the header above it"},
        {"\tX-Tab: 1", "it begins with a blank, which would join it to the header above it"},
        {"no colon at all", "it is not Name: value"},
        {"X Space: 1", "a header name is printable ASCII without blanks"},
        {"X-Esc: \x1B[2K", "it holds a control character"},
        {"date: Mon, 07 Dec 2026 10:00:00 +0000", "Corvane writes the date header itself"},
        {"Message-ID: <mine@example.org>", "Corvane writes the Message-ID header itself"},
        {"CONTENT-TYPE: text/html", "Corvane writes the CONTENT-TYPE header itself"},
        {"Bcc: someone@example.org", "Corvane writes the Bcc header itself"},
    };
    for (const auto& [line, reason] : refused) {
        TEncodeEvents events;
        events.Attach(smtp);
        msg.ExtraHeaders = {"X-Fine: 1", line};
        EXPECT_FALSE(smtp.CheckMessage(msg)) << line;
        EXPECT_THAT(events.Log, ElementsAre("error 112 The extra header line \"" + mail::ScreenSafe(line) +
                                            "\" cannot be sent: " + reason + "."));
    }
    // A name that leaves no room for an encoded value could only be written over 998 characters.
    TEncodeEvents events;
    events.Attach(smtp);
    msg.ExtraHeaders = {"X-" + std::string(920, 'N') + ": \xC3\x9C"};
    EXPECT_FALSE(smtp.CheckMessage(msg));
    ASSERT_EQ(events.Log.size(), 1u);
    EXPECT_TRUE(events.Log[0].ends_with("cannot be sent: the header name is too long for a header line."))
        << events.Log[0];
}

// SMTP carries no NUL: a reader would cut the text there, so it is named, not sent.
TEST_F(Composer, ANulInTheTextOrSignatureIsRefusedBeforeConnecting) {
    TEncodeEvents events;
    events.Attach(smtp);
    msg.Text = {"fine", std::string("bro\0ken", 7)};
    EXPECT_FALSE(smtp.CheckMessage(msg));
    msg.Text = {"fine"};
    msg.Signature = {"--", "", std::string("\0", 1)};
    EXPECT_FALSE(smtp.CheckMessage(msg));
    EXPECT_THAT(events.Log,
                ElementsAre("error 112 Line 2 of the text holds a NUL character; remove it and send again.",
                            "error 112 Line 3 of the signature holds a NUL character; remove it and send again."));
}

TEST_F(Composer, UnreadableAttachmentFailsTheSendWithItsName) {
    TEncodeEvents events;
    events.Attach(smtp);
    msg.AttachedFiles.AddFile((folder.Path() / "gone.txt").string());
    EXPECT_FALSE(smtp.BuildMessageLines(msg).has_value());
    EXPECT_THAT(events.Log, ElementsAre("error 104 Cannot read file gone.txt: No such file or directory."));
    EXPECT_TRUE(smtp.Failed);
    EXPECT_FALSE(smtp.Aborted);

    smtp.Failed = false;
    events.Log.clear();
    msg.AttachedFiles.Clear();
    msg.AttachedFiles.AddFile(folder.Path().string());  // a folder is no file to attach
    EXPECT_FALSE(smtp.BuildMessageLines(msg).has_value());
    EXPECT_THAT(events.Log, ElementsAre("error 104 File " + folder.Path().filename().string() +
                                        " is not a regular file."));
}

// The encoded attachments are kept in the temporary folder; one that cannot hold them fails
// the send with its name and the reason before anything is encoded.
TEST_F(Composer, ATemporaryFolderThatCannotBeWrittenFailsTheSendSayingWhich) {
    TEncodeEvents events;
    events.Attach(smtp);
    smtp.SpoolFolder = (folder.Path() / "missing").string();
    msg.AttachedFiles.AddFile(folder.Write("a.bin", Bytes(100)));
    EXPECT_FALSE(smtp.BuildMessageLines(msg).has_value());
    EXPECT_THAT(events.Log, ElementsAre("error 114 The temporary folder " + smtp.SpoolFolder +
                                        " cannot hold the message: No such file or directory."));
    EXPECT_TRUE(smtp.Failed);
}

// A file written to while it is encoded would go out as a damaged part.
TEST_F(Composer, FileThatChangesWhileEncodedIsAFailure) {
    const std::string path = folder.Write("changes.bin", Bytes(10000));
    const std::function<void()> changes[] = {
        [&path] { fs::resize_file(path, 100); },
        [&path] { std::ofstream(path, std::ios::app) << "more"; },
    };
    for (const auto& change : changes) {
        fs::resize_file(path, 10000);
        smtp.Failed = false;
        TEncodeEvents events;
        events.Attach(smtp);
        smtp.OnEncodeStart = [&change](TWrenSMTP&, const std::string&, std::int64_t) { change(); };
        TAttachedFile& item = msg.AttachedFiles.AddFile(path);
        TComposedMessage part;
        EXPECT_FALSE(smtp.EncodeAttachment(item, part));
        ASSERT_FALSE(events.Log.empty());
        EXPECT_EQ(events.Log.back(),
                  "error 104 File changes.bin changed while it was read; send it again once it is written.");
        EXPECT_EQ(part.LineCount(), 0u);
    }
}

TEST_F(Composer, AbortWhileEncodingEndsQuietly) {
    TEncodeEvents events;
    events.Attach(smtp);
    msg.AttachedFiles.AddFile(folder.Write("big.bin", Bytes(100000)));
    smtp.OnEncodeProgress = [&events](TWrenSMTP& sender, std::uint16_t percent) {
        events.Log.push_back(std::to_string(percent));
        if (percent == 3) {
            sender.Abort();
        }
    };
    EXPECT_FALSE(smtp.BuildMessageLines(msg).has_value());
    EXPECT_THAT(events.Log, ElementsAre("start big.bin 100000", "1", "2", "3"));
    EXPECT_TRUE(smtp.Aborted);
    EXPECT_FALSE(smtp.Failed);
}

TEST(AttachedFiles, ItemsKeepTheWholePathAndTheNameAfterTheLastFolder) {
    TWrenMsg msg;
    mimetypes::TMimeTypes table(std::vector<std::string>{});
    msg.AttachedFiles.MimeTypes = &table;
    const TAttachedFile& deep = msg.AttachedFiles.AddFile("/home/me/docs/2026/report.pdf");
    EXPECT_EQ(deep.FileName, "report.pdf");
    EXPECT_EQ(deep.PathName, "/home/me/docs/2026/report.pdf");
    EXPECT_EQ(deep.ContentType, "application/octet-stream");
    // On this system '\' and ':' belong to file names.
    EXPECT_EQ(msg.AttachedFiles.AddFile("/tmp/a:b\\c.txt").FileName, "a:b\\c.txt");
    EXPECT_EQ(msg.AttachedFiles.AddFile("bare").FileName, "bare");
    EXPECT_EQ(msg.AttachedFiles.Count(), 3u);
    EXPECT_EQ(&msg.AttachedFiles.Owner(), &msg);
}

TEST(WrenMsg, ClearRestoresEveryDefault) {
    TWrenMsg msg;
    msg.From = msg.ReplyTo = msg.InReplyTo = msg.SendTo = msg.CC = msg.BCC = "x";
    msg.Organization = msg.Xmailer = msg.Subject = "x";
    msg.IncludePriority = msg.RequestReadReceipt = true;
    msg.Priority = 5;
    msg.Text = msg.ExtraHeaders = msg.Signature = {"x"};
    msg.AttachedFiles.AddFile("/tmp/x");
    msg.Clear();
    EXPECT_EQ(msg.Priority, 3);
    EXPECT_FALSE(msg.IncludePriority);
    EXPECT_FALSE(msg.RequestReadReceipt);
    for (const std::string* text : {&msg.From, &msg.ReplyTo, &msg.InReplyTo, &msg.SendTo, &msg.CC,
                                    &msg.BCC, &msg.Organization, &msg.Xmailer, &msg.Subject}) {
        EXPECT_TRUE(text->empty());
    }
    EXPECT_TRUE(msg.Text.Empty() && msg.ExtraHeaders.empty() && msg.Signature.empty());
    EXPECT_EQ(msg.AttachedFiles.Count(), 0u);
}

TEST(WrenMsg, PriorityNamesAndOutOfRangeValues) {
    EXPECT_EQ(PriorityName(1), "Highest");
    EXPECT_EQ(PriorityName(3), "Normal");
    EXPECT_EQ(PriorityName(5), "Lowest");
    EXPECT_EQ(PriorityName(0), "Highest");
    EXPECT_EQ(PriorityName(9), "Lowest");
}

}  // namespace
}  // namespace corvane::mail
