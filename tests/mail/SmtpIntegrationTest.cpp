// TWrenSMTP against a real SMTP server written by nobody here (Debian's aiosmtpd on
// 127.0.0.1), with what arrived parsed by Python's email package: every attachment must
// come back byte for byte, the headers a receiving system needs must be there, and Bcc
// must be in the envelope only.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "AiosmtpdServer.h"
#include "TempFolder.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {
namespace {

using test::TReceivedMessage;

std::string RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string bytes(count, '\0');
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    return bytes;
}

std::string WithLf(std::string text) {
    for (auto at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) {
        text.erase(at, 1);
    }
    return text;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The value of the header Name as it stood on the wire, unfolded (RFC 5322 section 2.2.3).
std::string RawHeaderValue(const std::string& raw, const std::string& name) {
    const std::string start = name + ": ";
    std::size_t at = raw.starts_with(start) ? 0 : raw.find("\n" + start);
    if (at == std::string::npos) {
        return "<no " + name + ">";
    }
    at = raw.find(start, at) + start.size();
    std::string value;
    do {
        const std::size_t end = raw.find('\n', at);
        value += raw.substr(at, end - at);
        at = end + 1;
        if (value.ends_with('\r')) {
            value.pop_back();
        }
    } while (at < raw.size() && (raw[at] == ' ' || raw[at] == '\t'));
    return value;
}

class SmtpWithARealServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sink.Running()) << sink.Problem();
        smtp.Host = sink.Host();
        smtp.Port = sink.Port();
        // Bounded waits even if the server stalls; far above what a send here takes.
        smtp.CommandTimeout = smtp.DataTimeout = smtp.DataEndTimeout = smtp.SendTimeout =
            std::chrono::seconds(60);
        smtp.OnError = [this](TWrenSMTP&, int code, const std::string& text) {
            errors.push_back(std::to_string(code) + " " + text);
        };
        msg.From = "Ann Sender <ann@example.test>";
        msg.SendTo = "\"Doe, Bob\" <bob@example.test>";
        msg.CC = "carol@example.test";
        msg.BCC = "Dave Hidden <dave@example.test>";
        msg.Subject = "Figures for the fourth quarter";
        msg.Text = {"Hello Bob,", ".", "..two dots lead this line", "the figures are attached."};
        msg.Signature = {"-- ", "Ann"};
    }

    // Connect, SendMail and Quit, as the window's worker runs them.
    void Send() {
        smtp.Connect();
        ASSERT_FALSE(smtp.Failed) << testing::PrintToString(errors);
        ASSERT_TRUE(smtp.SendMail(msg)) << testing::PrintToString(errors);
        smtp.Quit();
        EXPECT_FALSE(smtp.Failed);
        EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
    }

    // What every message sent from SetUp's fields must show on arrival. A plain message's
    // body ends with the empty line that the end marker adds after the last line.
    void ExpectEnvelopeHeadersAndText(const TReceivedMessage& received, bool plain = false) const {
        EXPECT_EQ(received.Defects, "");
        EXPECT_EQ(received.EnvelopeFrom, "ann@example.test");
        EXPECT_EQ(received.EnvelopeTo,
                  (std::vector<std::string>{"bob@example.test", "carol@example.test",
                                            "dave@example.test"}));
        for (const char* name : {"Date", "Message-ID", "From", "To", "Subject"}) {
            EXPECT_TRUE(received.Header(name).has_value()) << name;
        }
        EXPECT_EQ(received.Header("From"), msg.From);
        EXPECT_EQ(received.Header("To"), msg.SendTo);
        EXPECT_EQ(received.Header("Cc"), msg.CC);
        EXPECT_EQ(received.Header("Subject"), msg.Subject);
        EXPECT_FALSE(received.Header("Bcc").has_value());
        EXPECT_EQ(received.Raw.find("dave@example.test"), std::string::npos);
        EXPECT_EQ(received.Raw.find("Dave Hidden"), std::string::npos);
        // The transparency dots are gone again, and the signature follows an empty line.
        EXPECT_EQ(
            WithLf(received.Text),
            std::string("Hello Bob,\n.\n..two dots lead this line\nthe figures are attached.\n"
                        "\n-- \nAnn\n") +
                (plain ? "\n" : ""));
    }

    test::TAiosmtpdServer sink;
    test::TTempFolder files;
    TWrenSMTP smtp;
    TWrenMsg msg;
    std::vector<std::string> errors;
};

TEST_F(SmtpWithARealServer, AttachmentsOfEverySizeArriveIdenticalByteForByte) {
    struct TFile {
        std::string Name;
        std::string Bytes;
    };
    // Empty, around one Base64 line, exactly one progress block, and large random files.
    const std::vector<TFile> sent{
        {"empty.bin", ""},
        {"one.dat", RandomBytes(1, 1)},
        {"two.dat", RandomBytes(2, 2)},
        {"line.txt", RandomBytes(57, 3)},
        {"line-and-one.pdf", RandomBytes(58, 4)},
        {"block.csv", RandomBytes(2280, 5)},
        {"medium.jpg", RandomBytes(300 * 1024 + 7, 6)},
        {"large.zip", RandomBytes(3 * 1024 * 1024 + 1, 7)},
        {"say \"hi\" \\ bye.txt", "quotes and a backslash in the name\n"},
    };
    for (const auto& file : sent) {
        msg.AttachedFiles.AddFile(files.WriteFile(file.Name, file.Bytes).string());
    }

    Send();

    const auto received = sink.Message(1);
    ASSERT_TRUE(received.has_value()) << "nothing arrived";
    ExpectEnvelopeHeadersAndText(*received);
    EXPECT_EQ(received->Header("MIME-Version"), "1.0");
    ASSERT_EQ(received->Attachments.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        SCOPED_TRACE(sent[i].Name);
        const auto& arrived = received->Attachments[i];
        EXPECT_EQ(arrived.FileName, sent[i].Name);
        EXPECT_EQ(arrived.ContentType, Lower(msg.AttachedFiles[i].ContentType));
        EXPECT_EQ(arrived.Data.size(), sent[i].Bytes.size());
        EXPECT_TRUE(arrived.Data == sent[i].Bytes) << "the bytes differ";
    }
}

TEST_F(SmtpWithARealServer, APlainMessageArrivesWithEveryHeaderItWasGiven) {
    msg.ReplyTo = "replies@example.test";
    msg.InReplyTo = "<earlier.1@example.test>";
    msg.Organization = "Example Ltd";
    msg.Xmailer = "Corvane";
    msg.IncludePriority = true;
    msg.Priority = 2;
    msg.ExtraHeaders = {"X-Tracking: 42", "", "Keywords: figures"};

    Send();

    const auto received = sink.Message(1);
    ASSERT_TRUE(received.has_value()) << "nothing arrived";
    ExpectEnvelopeHeadersAndText(*received, true);
    EXPECT_TRUE(received->Attachments.empty());
    EXPECT_FALSE(received->Header("MIME-Version").has_value());
    EXPECT_EQ(received->Header("Reply-To"), msg.ReplyTo);
    EXPECT_EQ(received->Header("In-Reply-To"), msg.InReplyTo);
    EXPECT_EQ(received->Header("Organization"), msg.Organization);
    EXPECT_EQ(received->Header("X-Mailer"), msg.Xmailer);
    EXPECT_EQ(received->Header("X-Priority"), "2");
    EXPECT_EQ(received->Header("X-MSMail-Priority"), "High");
    EXPECT_EQ(received->Header("X-Tracking"), "42");
    // The empty extra line was dropped, so the next one is still a header, not body text.
    EXPECT_EQ(received->Header("Keywords"), "figures");
}

// aiosmtpd offers no DSN (and refuses MAIL parameters it does not know): the message goes
// with the usual envelope, the engine says the report could not be asked for, and the receipt
// request arrives naming the sender exactly as From does.
TEST_F(SmtpWithARealServer, WithoutDsnTheMessageGoesAnywayAndTheReceiptRequestArrives) {
    msg.From = "Jürgen Müller <ann@example.test>";
    msg.RequestReadReceipt = true;
    smtp.RequestDeliveryReport = true;

    Send();

    EXPECT_TRUE(smtp.DeliveryReportIgnored);
    const auto received = sink.Message(1);
    ASSERT_TRUE(received.has_value()) << "nothing arrived";
    ExpectEnvelopeHeadersAndText(*received, true);
    EXPECT_EQ(received->Header("Disposition-Notification-To"), msg.From);
    const std::string from = RawHeaderValue(received->Raw, "From");
    EXPECT_TRUE(from.starts_with("=?UTF-8?")) << from;
    EXPECT_EQ(RawHeaderValue(received->Raw, "Disposition-Notification-To"), from);
}

TEST_F(SmtpWithARealServer, OneEngineSendsTwoMessagesInTurn) {
    msg.AttachedFiles.AddFile(files.WriteFile("first.bin", RandomBytes(1000, 8)).string());
    Send();
    msg.AttachedFiles.Clear();
    msg.AttachedFiles.AddFile(files.WriteFile("second.bin", RandomBytes(5000, 9)).string());
    Send();

    const auto first = sink.Message(1);
    const auto second = sink.Message(2);
    ASSERT_TRUE(first.has_value() && second.has_value());
    ExpectEnvelopeHeadersAndText(*first);
    ExpectEnvelopeHeadersAndText(*second);
    ASSERT_EQ(first->Attachments.size(), 1u);
    ASSERT_EQ(second->Attachments.size(), 1u);
    EXPECT_TRUE(first->Attachments[0].Data == RandomBytes(1000, 8));
    EXPECT_TRUE(second->Attachments[0].Data == RandomBytes(5000, 9));
    EXPECT_NE(first->Header("Message-ID"), second->Header("Message-ID"));
}

// Every script a user may write in, long subjects, long lines and long file names: what
// Python's email package decodes equals what was typed, byte for byte, and no line on the
// wire passes the 998 bytes that SMTP allows (RFC 5321 section 4.5.3.1.6).
TEST_F(SmtpWithARealServer, TextInEveryScriptArrivesAsTyped) {
    const auto times = [](const std::string& text, std::size_t count) {
        std::string repeated;
        for (std::size_t i = 0; i < count; ++i) {
            repeated += text;
        }
        return repeated;
    };
    struct TCase {
        std::string Name;  // the sender's display name
        std::string Subject;
        std::vector<std::string> Text;
        std::string FileName;
    };
    const std::vector<TCase> cases{
        {"Jürgen Müller", "Grüße aus München", {"Schöne Grüße,", "Jürgen"}, "Bericht März.txt"},
        {"Γιώργος Παπαδόπουλος", "Καλημέρα κόσμε", {"Ελληνικά γράμματα", "τέλος"}, "έκθεση.pdf"},
        {"Иван Петров", times("Отчёт за квартал ", 18), {"Привет, мир!"}, "отчёт.txt"},
        {"王小明", "季度报告", {times("这是一个很长的段落。", 500)}, "报告.txt"},
        {"山田太郎", "四半期の報告", {"こんにちは世界"}, times("報", 200) + ".txt"},
        {"محمد علي", "تقرير ربع سنوي", {"مرحبا بالعالم"}, "تقرير.txt"},
        {"Party 🎉 Planner", "Party 🎉🎈 tonight", {"Bring 🍕 and 🎂!", "😀"}, "🎉 invite.txt"},
        {"Zoe\u0308 Cafe\u0301", "Cafe\u0301 con lec\u0327he", {"a\u0301e\u0301i\u0301"}, "cafe\u0301.txt"},
        {"Ann Long", times("x", 300), {times("ab", 2500), "", "short"}, "plain.txt"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TCase& row = cases[i];
        msg.From = row.Name + " <ann@example.test>";
        msg.Subject = row.Subject;
        msg.Text = row.Text;
        msg.Signature.clear();
        msg.AttachedFiles.Clear();
        // Linux keeps at most 255 bytes in a name; the mail may carry any name.
        const std::string path = files.WriteFile("file-" + std::to_string(i), "content " + std::to_string(i)).string();
        msg.AttachedFiles.AddFile(path).FileName = row.FileName;
        Send();
    }
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const TCase& row = cases[i];
        SCOPED_TRACE(row.Subject.substr(0, 40));
        const auto received = sink.Message(static_cast<int>(i) + 1);
        ASSERT_TRUE(received.has_value()) << "nothing arrived";
        EXPECT_EQ(received->Defects, "");
        EXPECT_EQ(received->Header("Subject"), row.Subject);
        EXPECT_EQ(received->Header("From"), row.Name + " <ann@example.test>");
        std::string text;
        for (const auto& line : row.Text) {
            text += line + "\n";
        }
        EXPECT_EQ(WithLf(received->Text), text);
        ASSERT_EQ(received->Attachments.size(), 1u);
        EXPECT_EQ(received->Attachments[0].FileName, row.FileName);
        EXPECT_EQ(received->Attachments[0].Data, "content " + std::to_string(i));
        std::size_t longest = 0;
        for (std::size_t at = 0, end; at < received->Raw.size(); at = end + 1) {
            end = std::min(received->Raw.find('\n', at), received->Raw.size());
            longest = std::max(longest, end - at);
        }
        EXPECT_LE(longest, 999u) << "a line longer than 998 bytes and its CR";
    }
}

}  // namespace
}  // namespace corvane::mail
