// Delivery reports and read receipts, read as transcripts with the scripted server: the
// exact MAIL FROM and RCPT TO lines for a server that offers DSN and for one that does not,
// and the Disposition-Notification-To header the message carries.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "ScriptedSmtpServer.h"
#include "mail/WrenEmail.h"

namespace corvane::mail {
namespace {

using namespace std::chrono_literals;
using test::TScriptedSmtpServer;
using test::TSmtpScript;

const char* const DsnOnly = "250-mail.test\r\n250 DSN\r\n";
const char* const WithoutDsn = "250-mail.test\r\n250 8BITMIME\r\n";

struct TSession {
    bool Sent = false;
    bool Ignored = false;
    std::vector<std::string> Commands;  // every line the client sent outside the data
    std::string Data;
    std::string Problem;  // the server's, when its script did not run to its end
};

using TAdjust = std::function<void(TWrenSMTP&, TWrenMsg&)>;

// One send to two recipients (To and Bcc) through a server that answers EHLO with Ehlo and
// takes everything else.
TSession RunSession(const std::string& ehlo, const TAdjust& adjust) {
    TScriptedSmtpServer server(TSmtpScript()
                                   .Send("220 mail.test ESMTP\r\n")
                                   .Expect(ehlo)
                                   .Expect("250 2.1.0 Ok\r\n")
                                   .Expect("250 2.1.5 Ok\r\n")
                                   .Expect("250 2.1.5 Ok\r\n")
                                   .Expect("354 go ahead\r\n")
                                   .ReadData()
                                   .Send("250 2.0.0 queued\r\n")
                                   .Expect("221 bye\r\n"));
    TSession session;
    if (!server.Listening()) {
        session.Problem = "the scripted server does not listen";
        return session;
    }
    TWrenSMTP smtp;
    smtp.Host = server.Host();
    smtp.Port = server.Port();
    smtp.Clock = [] { return TLocalTime{1765180252, 3600}; };
    smtp.LocalHostName = [] { return std::string("client.test"); };
    smtp.Random = [n = std::uint64_t{0}]() mutable { return 0x9E3779B97F4A7C15 * ++n; };
    smtp.ConnectTimeout = smtp.CommandTimeout = smtp.DataTimeout = smtp.DataEndTimeout =
        smtp.SendTimeout = 10s;
    TWrenMsg msg;
    msg.From = "Ann Sender <ann@example.test>";
    msg.SendTo = "Bob <bob@example.test>";
    msg.BCC = "dave@example.test";
    msg.Subject = "Figures";
    msg.Text = {"Hello Bob,", "Ann"};
    adjust(smtp, msg);

    smtp.Connect();
    if (!smtp.Failed) {
        session.Sent = smtp.SendMail(msg);
        smtp.Quit();
    }
    session.Ignored = smtp.DeliveryReportIgnored;
    if (!server.WaitUntilClosed()) {
        session.Problem = "the client did not close the connection";
    }
    session.Commands = server.Lines();
    session.Data = server.Data().empty() ? std::string() : server.Data().front();
    if (session.Problem.empty()) {
        session.Problem = server.Problem();
    }
    return session;
}

// The physical lines of the header field Name in Data (the field and its folded
// continuation lines), joined as they stood; empty when the header block has none.
std::string HeaderField(const std::string& data, std::string_view name) {
    const std::string head = data.substr(0, data.find("\r\n\r\n") + 2);
    std::string field;
    bool inField = false;
    for (std::size_t at = 0; at < head.size();) {
        const std::size_t end = head.find("\r\n", at);
        const std::string line = head.substr(at, end - at);
        at = end + 2;
        const bool continuation = line.starts_with(' ') || line.starts_with('\t');
        inField = continuation ? inField : line.starts_with(std::string(name) + ":");
        if (inField) {
            field += (field.empty() ? "" : "\r\n") + line;
        }
    }
    return field;
}

// The field's value, unfolded (RFC 5322 section 2.2.3).
std::string Unfolded(std::string field) {
    for (auto at = field.find("\r\n"); at != std::string::npos; at = field.find("\r\n")) {
        field.erase(at, 2);
    }
    return field.substr(field.find(':') + 1);
}

TEST(SmtpDeliveryReport, IsAskedForInTheEnvelopeOnlyWhenTheServerOffersDsn) {
    struct TCase {
        const char* Name;
        std::string Ehlo;
        bool Request;
        std::string From;
        std::string Text;
        std::string MailFrom;  // {ENVID}: the message's Message-ID without its brackets
        std::string RcptParameters;
        bool Ignored;
    };
    const std::string dsn = " NOTIFY=SUCCESS,FAILURE";
    const std::vector<TCase> cases{
        {"Offered", DsnOnly, true, "Ann <ann@example.test>", "plain",
         "MAIL FROM:<ann@example.test> RET=HDRS ENVID={ENVID}", dsn, false},
        {"OfferedBesideTheOtherExtensions",
         "250-mail.test\r\n250-SIZE 100000\r\n250-8BITMIME\r\n250-SMTPUTF8\r\n250 dsn\r\n", true,
         "Jörg <jörg@example.test>", "Grüße",
         "MAIL FROM:<jörg@example.test> SIZE=# BODY=8BITMIME SMTPUTF8 RET=HDRS ENVID={ENVID}", dsn,
         false},
        {"NotOffered", WithoutDsn, true, "Ann <ann@example.test>", "plain",
         "MAIL FROM:<ann@example.test>", "", true},
        {"OfferedButNotAskedFor", DsnOnly, false, "Ann <ann@example.test>", "plain",
         "MAIL FROM:<ann@example.test>", "", false},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const TSession session = RunSession(row.Ehlo, [&](TWrenSMTP& smtp, TWrenMsg& msg) {
            smtp.RequestDeliveryReport = row.Request;
            msg.From = row.From;
            msg.Text = {row.Text};
        });
        ASSERT_TRUE(session.Sent) << session.Problem;
        EXPECT_EQ(session.Problem, "");
        EXPECT_EQ(session.Ignored, row.Ignored);

        std::smatch id;
        ASSERT_TRUE(
            std::regex_search(session.Data, id, std::regex("\r\nMessage-ID: <([^<>\r\n]+)>\r\n")));
        // SIZE's count is checked where SIZE is; here only that it stands in its place.
        std::vector<std::string> commands = session.Commands;
        for (auto& command : commands) {
            command = std::regex_replace(command, std::regex("SIZE=[0-9]+"), "SIZE=#");
        }
        const std::string mailFrom =
            std::regex_replace(row.MailFrom, std::regex("\\{ENVID\\}"), id[1].str());
        EXPECT_EQ(
            commands,
            (std::vector<std::string>{
                "EHLO client.test", mailFrom, "RCPT TO:<bob@example.test>" + row.RcptParameters,
                "RCPT TO:<dave@example.test>" + row.RcptParameters, "DATA", "QUIT"}));
    }
}

TEST(SmtpReadReceipt, NamesTheSenderAsFromDoesAndOnlyWhenAskedFor) {
    struct TCase {
        const char* Name;
        std::string From;
        bool Request;
        std::vector<std::string> ExtraHeaders;
        std::string Contains;  // in the header's value; empty: no header at all
    };
    const std::vector<TCase> cases{
        {"PlainName", "Ann Sender <ann@example.test>", true, {}, " Ann Sender <ann@example.test>"},
        {"NameBeyondAsciiAndAnInternationalDomain",
         "Jürgen Müller <juergen@bücher.example>",
         true,
         {},
         " <juergen@xn--bcher-kva.example>"},
        {"NotAskedFor", "Ann Sender <ann@example.test>", false, {}, ""},
        {"AnExtraLineOfTheSameNameGivesWay",
         "Ann Sender <ann@example.test>",
         true,
         {"X-Before: 1", "disposition-notification-to: other@example.test", "X-After: 2"},
         " Ann Sender <ann@example.test>"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        const TSession session = RunSession(WithoutDsn, [&](TWrenSMTP&, TWrenMsg& msg) {
            msg.From = row.From;
            msg.RequestReadReceipt = row.Request;
            msg.ExtraHeaders = row.ExtraHeaders;
        });
        ASSERT_TRUE(session.Sent) << session.Problem;
        const std::string receipt = HeaderField(session.Data, "Disposition-Notification-To");
        EXPECT_EQ(session.Data.find("other@example.test"), std::string::npos);
        EXPECT_EQ(HeaderField(session.Data, "X-After"),
                  row.ExtraHeaders.empty() ? "" : "X-After: 2");
        if (row.Contains.empty()) {
            EXPECT_EQ(receipt, "");
            EXPECT_EQ(session.Data.find("Disposition-Notification"), std::string::npos);
            continue;
        }
        // Written exactly as From is, encoded names and A-label domains alike.
        EXPECT_EQ(Unfolded(receipt), Unfolded(HeaderField(session.Data, "From")));
        EXPECT_NE(Unfolded(receipt).find(row.Contains), std::string::npos) << receipt;
        EXPECT_EQ(receipt.find("ü"), std::string::npos) << "a raw non-ASCII name: " << receipt;
        // With the optional headers, before the ones every message has.
        EXPECT_LT(session.Data.find("Disposition-Notification-To:"), session.Data.find("Date:"));
    }
}

}  // namespace
}  // namespace corvane::mail
