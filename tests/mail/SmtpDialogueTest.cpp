// The SMTP dialogue of TWrenSMTP, read as transcripts: what the server says, the exact bytes
// the client writes in return, and that nothing more was written. Most tests talk to the
// scripted server over loopback TCP; those that need a reply split at an exact byte, or a
// call blocked at an exact point, use the in-memory socket.

#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <future>
#include <mutex>
#include <random>
#include <regex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "LoopbackPorts.h"
#include "MemorySocket.h"
#include "ScriptedSmtpServer.h"
#include "TempFolder.h"
#include "mail/WrenEmail.h"

namespace corvane::test {
void PrintTo(EAddressFamily family, std::ostream* out) {
    *out << (family == EAddressFamily::IPv4 ? "IPv4" : "IPv6");
}
}  // namespace corvane::test

namespace corvane::mail {
namespace {

using namespace std::chrono_literals;
using test::EAddressFamily;
using test::TMemorySocket;
using test::TScriptedSmtpServer;
using test::TSmtpScript;
using TMilliseconds = TWrenSMTP::TMilliseconds;

// Mon, 08 Dec 2025 07:50:52 UTC, seen from a zone one hour east.
constexpr std::time_t FixedUtc = 1765180252;
constexpr int FixedOffset = 3600;
// Every time limit of the engine in these tests, unless a test shortens one: long enough
// for a loaded machine, short enough that a missed wake-up ends the test.
constexpr TMilliseconds Generous = 10s;
// How long a blocked call may take to return after Abort. The engine promises far less;
// this only tells "returned" from "did not return".
constexpr auto AbortBound = 2s;

const std::string ConnectFailed = "Failed to connect the mail server.";
const std::string ConnectionLost = "Connection to the mail server was lost.";
const std::string NoAnswerInTime = "The mail server did not answer in time.";

// ---- Events ------------------------------------------------------------------------------

struct TProgress {
    std::uint16_t Percent;
    std::int64_t Sent;
    std::int64_t Total;
    bool operator==(const TProgress&) const = default;
};

void PrintTo(const TProgress& p, std::ostream* out) {
    *out << "(" << p.Percent << "%, " << p.Sent << " of " << p.Total << ")";
}

// Every event the engine raises, in order, as text ("OnError 550 No such user"). Events
// come from whichever thread runs the engine; a test may wait for one, or act when one is
// raised (Then runs on the engine's thread, after the event is recorded).
class TEventLog {
public:
    std::function<void(const std::string& event, int occurrence)> Then;

    void Attach(TWrenSMTP& smtp) {
        smtp.OnConnect = [this](TWrenSMTP&) { Add("OnConnect"); };
        smtp.OnQuit = [this](TWrenSMTP&) { Add("OnQuit"); };
        smtp.OnBeforeSend = [this](TWrenSMTP&) { Add("OnBeforeSend"); };
        smtp.OnAfterSend = [this](TWrenSMTP&) { Add("OnAfterSend"); };
        smtp.OnEncodeEnd = [this](TWrenSMTP&) { Add("OnEncodeEnd"); };
        smtp.OnError = [this](TWrenSMTP&, int code, const std::string& text) {
            Add("OnError " + std::to_string(code) + " " + text);
        };
        smtp.OnEncodeStart = [this](TWrenSMTP&, const std::string& name, std::int64_t bytes) {
            Add("OnEncodeStart " + name + " " + std::to_string(bytes));
        };
        smtp.OnEncodeProgress = [this](TWrenSMTP&, std::uint16_t percent) {
            Add("OnEncodeProgress " + std::to_string(percent));
        };
        smtp.OnSendProgress = [this](TWrenSMTP&, std::uint16_t percent, std::int64_t sent,
                                     std::int64_t total) {
            {
                const std::lock_guard lock(m_mutex);
                m_progress.push_back({percent, sent, total});
            }
            Add("OnSendProgress " + std::to_string(percent));
        };
    }

    std::vector<std::string> Events() const {
        const std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::vector<TProgress> SendProgress() const {
        const std::lock_guard lock(m_mutex);
        return m_progress;
    }
    int Count(std::string_view name) const {
        const std::lock_guard lock(m_mutex);
        return static_cast<int>(
            std::count_if(m_events.begin(), m_events.end(),
                          [name](const std::string& e) { return NameOf(e) == name; }));
    }
    bool WaitFor(std::string_view name, std::chrono::milliseconds limit) const {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, limit, [&] {
            return std::any_of(m_events.begin(), m_events.end(),
                               [name](const std::string& e) { return NameOf(e) == name; });
        });
    }

private:
    static std::string_view NameOf(std::string_view event) {
        return event.substr(0, event.find(' '));
    }

    void Add(std::string event) {
        int occurrence = 0;
        {
            const std::lock_guard lock(m_mutex);
            const auto name = NameOf(event);
            occurrence = 1 + static_cast<int>(std::count_if(
                                 m_events.begin(), m_events.end(),
                                 [name](const std::string& e) { return NameOf(e) == name; }));
            m_events.push_back(event);
            m_changed.notify_all();
        }
        if (Then) {
            Then(event, occurrence);
        }
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_events;
    std::vector<TProgress> m_progress;
};

// ---- The engine as the tests set it up ---------------------------------------------------

// Fixed clock, host name and random sequence, so that a composed message is the same on
// every run; every time limit Generous.
void MakeReproducible(TWrenSMTP& smtp, std::string hostName = "client.test") {
    smtp.Clock = [] { return TLocalTime{FixedUtc, FixedOffset}; };
    smtp.LocalHostName = [hostName] { return hostName; };
    smtp.Random = [state = std::uint64_t{0x243F6A8885A308D3}]() mutable {
        // SplitMix64: any fixed sequence of well-mixed values will do.
        std::uint64_t z = (state += 0x9E3779B97F4A7C15);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
        return z ^ (z >> 31);
    };
    for (TMilliseconds TWrenSMTP::*limit :
         {&TWrenSMTP::ConnectTimeout, &TWrenSMTP::CommandTimeout, &TWrenSMTP::DataTimeout,
          &TWrenSMTP::DataEndTimeout, &TWrenSMTP::SendTimeout}) {
        smtp.*limit = Generous;
    }
}

// Two recipients, so that a refusal can come after one was accepted.
void FillMessage(TWrenMsg& msg) {
    msg.From = "Ann Sender <ann@example.test>";
    msg.SendTo = "bob@example.test";
    msg.CC = "carol@example.test";
    msg.Subject = "Figures";
    msg.Text = {"Hello Bob,", "the figures follow.", "Ann"};
}

// As the window's worker runs a send: Connect; then, unless it failed, SendMail and Quit.
bool RunSession(TWrenSMTP& smtp, TWrenMsg& msg) {
    if (!smtp.CheckMessage(msg)) {
        return false;
    }
    smtp.Connect();
    if (smtp.Failed) {
        return false;
    }
    const bool sent = smtp.SendMail(msg);
    smtp.Quit();
    return sent;
}

// The DATA bytes for Msg: its composed lines each followed by CR LF, a leading '.' doubled,
// as a second engine with the same sources composes them.
std::string ComposedData(TWrenMsg& msg) {
    TWrenSMTP twin;
    MakeReproducible(twin);
    const auto lines = twin.BuildMessageLines(msg);
    std::string data;
    if (lines) {
        lines->ForEachLine([&data](std::string_view line) {
            data.append(line.starts_with('.') ? "." : "").append(line).append("\r\n");
            return true;
        });
    }
    return data;
}

// ---- The steps of a session --------------------------------------------------------------

enum class EStep { Greeting, Helo, Mail, FirstRcpt, SecondRcpt, Data, EndOfData, Quit };
constexpr std::array AllSteps{EStep::Greeting,   EStep::Helo, EStep::Mail,      EStep::FirstRcpt,
                              EStep::SecondRcpt, EStep::Data, EStep::EndOfData, EStep::Quit};
// The steps before the server has the whole message: what goes wrong there loses it.
constexpr std::array StepsBeforeTheEnd{EStep::Greeting,  EStep::Helo,       EStep::Mail,
                                       EStep::FirstRcpt, EStep::SecondRcpt, EStep::Data};

std::string StepName(EStep step) {
    static constexpr std::array Names{"Greeting",   "Helo", "Mail",      "FirstRcpt",
                                      "SecondRcpt", "Data", "EndOfData", "Quit"};
    return Names[static_cast<std::size_t>(step)];
}
void PrintTo(EStep step, std::ostream* out) {
    *out << StepName(step);
}

std::string AcceptingReply(EStep step) {
    switch (step) {
        case EStep::Greeting:
            return "220 mail.test ESMTP ready\r\n";
        case EStep::Helo:
            return "250 mail.test\r\n";
        case EStep::Mail:
            return "250 2.1.0 Ok\r\n";
        case EStep::FirstRcpt:
        case EStep::SecondRcpt:
            return "250 2.1.5 Ok\r\n";
        case EStep::Data:
            return "354 End data with <CR><LF>.<CR><LF>\r\n";
        case EStep::EndOfData:
            return "250 2.0.0 Ok: queued as 4711\r\n";
        case EStep::Quit:
            return "221 2.0.0 Bye\r\n";
    }
    return {};
}

// What the client writes at Step for the message of FillMessage, whose data is Data.
std::string ClientPart(EStep step, const std::string& data) {
    switch (step) {
        case EStep::Greeting:
            return "";
        case EStep::Helo:
            return "EHLO client.test\r\n";
        case EStep::Mail:
            return "MAIL FROM:<ann@example.test>\r\n";
        case EStep::FirstRcpt:
            return "RCPT TO:<bob@example.test>\r\n";
        case EStep::SecondRcpt:
            return "RCPT TO:<carol@example.test>\r\n";
        case EStep::Data:
            return "DATA\r\n";
        case EStep::EndOfData:
            return data + "\r\n.\r\n";
        case EStep::Quit:
            return "QUIT\r\n";
    }
    return {};
}

// Everything the client writes up to and including Last.
std::string ClientBytesThrough(EStep last, const std::string& data) {
    std::string bytes;
    for (const EStep step : AllSteps) {
        if (step > last) {
            break;
        }
        bytes += ClientPart(step, data);
    }
    return bytes;
}

// A server that accepts every step before At, reads At's command (if it has one) and then
// does whatever Act adds to the script.
TSmtpScript ScriptActingAt(EStep at, const std::function<void(TSmtpScript&)>& act) {
    TSmtpScript script;
    for (const EStep step : AllSteps) {
        if (step == EStep::EndOfData) {
            script.ReadData();
        } else if (step != EStep::Greeting) {
            script.ReadLine();
        }
        if (step == at) {
            act(script);
            return script;
        }
        script.Send(AcceptingReply(step));
    }
    return script;
}

TSmtpScript AcceptingScript() {
    return ScriptActingAt(EStep::Quit, [](TSmtpScript& s) { s.Send(AcceptingReply(EStep::Quit)); });
}

std::vector<std::string> AcceptingReplies() {
    std::vector<std::string> replies;
    for (const EStep step : AllSteps) {
        replies.push_back(AcceptingReply(step));
    }
    return replies;
}

// Test names for parameterised suites.
struct ByName {
    template <typename T>
    std::string operator()(const ::testing::TestParamInfo<T>& row) const {
        return row.param.Name;
    }
};

std::string FamilyName(const ::testing::TestParamInfo<EAddressFamily>& row) {
    return row.param == EAddressFamily::IPv4 ? "IPv4" : "IPv6";
}

// ---- Fixtures ----------------------------------------------------------------------------

// An engine with a real socket, against the scripted server.
class SmtpOverTcp : public ::testing::Test {
protected:
    void SetUp() override {
        MakeReproducible(smtp);
        log.Attach(smtp);
        FillMessage(msg);
    }

    bool Serve(TSmtpScript script, EAddressFamily family = EAddressFamily::IPv4) {
        server = std::make_unique<TScriptedSmtpServer>(std::move(script), family);
        smtp.Host = server->Host();
        smtp.Port = server->Port();
        return server->Listening();
    }

    // Everything the client wrote, once it has closed the connection.
    std::string ReceivedOnceClosed() const {
        EXPECT_TRUE(server->WaitUntilClosed())
            << "the client did not close the connection; the server says: " << server->Problem();
        return server->Received();
    }

    // The events end as every failure ends them: the connection closed, then one OnError.
    void ExpectFailureEvents(int code, const std::string& text) const {
        const auto events = log.Events();
        ASSERT_GE(events.size(), 2u);
        EXPECT_EQ(events[events.size() - 2], "OnQuit");
        EXPECT_EQ(events.back(), "OnError " + std::to_string(code) + " " + text);
        EXPECT_EQ(log.Count("OnError"), 1);
        EXPECT_TRUE(smtp.Failed);
        EXPECT_FALSE(smtp.Aborted);
        EXPECT_FALSE(smtp.Connected);
        EXPECT_EQ(smtp.ReplyCode, std::to_string(code));
    }

    // An attachment of these bytes, typed explicitly so no mime.types file matters.
    void Attach(const std::string& name, const std::string& bytes,
                const std::string& type = "application/octet-stream") {
        msg.AttachedFiles.AddFile(files.WriteFile(name, bytes).string()).ContentType = type;
    }

    test::TTempFolder files;
    TWrenSMTP smtp;
    TWrenMsg msg;
    TEventLog log;
    std::unique_ptr<TScriptedSmtpServer> server;
};

// One whole session against the in-memory socket, on a fresh engine.
struct TMemoryRun {
    bool Sent = false;
    std::string Written;
    std::vector<std::string> Events;
    std::vector<TProgress> Progress;
    bool Failed = false;
    bool Aborted = false;
    bool StillOpen = false;
    std::string ReplyCode;
};

TMemoryRun RunInMemory(
    const std::vector<std::string>& chunks,
    const std::function<void(TWrenSMTP&, TWrenMsg&, TMemorySocket&)>& adjust = {}) {
    auto owned = std::make_unique<TMemorySocket>();
    TMemorySocket& wire = *owned;
    TWrenSMTP smtp(std::move(owned));
    TEventLog log;
    TWrenMsg msg;
    MakeReproducible(smtp);
    log.Attach(smtp);
    FillMessage(msg);
    smtp.Host = "mail.test";
    for (const auto& chunk : chunks) {
        wire.Incoming(chunk);
    }
    if (adjust) {
        adjust(smtp, msg, wire);
    }
    TMemoryRun run;
    run.Sent = RunSession(smtp, msg);
    run.Written = wire.Written;
    run.Events = log.Events();
    run.Progress = log.SendProgress();
    run.Failed = smtp.Failed;
    run.Aborted = smtp.Aborted;
    run.StillOpen = wire.IsOpen();
    run.ReplyCode = smtp.ReplyCode;
    return run;
}

std::string StandardData() {
    TWrenMsg msg;
    FillMessage(msg);
    return ComposedData(msg);
}

// The message lines in what the client wrote: after the DATA command, up to the end marker
// (which adds an empty line of its own after the message's last line).
std::string DataIn(const std::string& written) {
    const auto start = written.find("DATA\r\n");
    const auto end = written.find("\r\n.\r\n", start);
    if (start == std::string::npos || end == std::string::npos) {
        return {};
    }
    return written.substr(start + 6, end - (start + 6));
}

std::vector<std::string> SplitLines(const std::string& data) {
    std::vector<std::string> lines;
    for (std::size_t start = 0; start < data.size();) {
        const auto end = data.find("\r\n", start);
        lines.push_back(data.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// What OnSendProgress reports for a message of these lines (each sent with CR LF): after
// each line the percentage sent, rounded half to even; an event when it reaches the
// threshold, which then moves on by one step; and a final (100, total, total) when the
// percentage after the last line is still below 100.
std::vector<TProgress> ModelSendProgress(const std::vector<std::string>& lines,
                                         std::uint16_t step) {
    std::int64_t total = 0;
    for (const auto& line : lines) {
        total += static_cast<std::int64_t>(line.size()) + 2;
    }
    std::vector<TProgress> events;
    std::int64_t sent = 0;
    std::int64_t threshold = step;
    std::int64_t percent = 0;
    for (const auto& line : lines) {
        sent += static_cast<std::int64_t>(line.size()) + 2;
        const std::int64_t scaled = sent * 100;
        percent = scaled / total;
        const std::int64_t twiceRest = scaled % total * 2;
        if (twiceRest > total || (twiceRest == total && percent % 2 == 1)) {
            ++percent;
        }
        if (percent >= threshold) {
            events.push_back({static_cast<std::uint16_t>(percent), sent, total});
            threshold += step;
        }
    }
    if (percent < 100) {
        events.push_back({100, total, total});
    }
    return events;
}

// ---- A whole session ---------------------------------------------------------------------

TEST_F(SmtpOverTcp, AWholeSessionWritesExactlyTheseBytesAndRaisesTheseEvents) {
    msg.SendTo = "\"Doe, Bob\" <bob@example.test>";
    msg.BCC = "dave@example.test";
    msg.Subject = "Quarterly figures";
    msg.Text = {"Hello Bob,", ".", "the figures are attached."};
    msg.Signature = {"Ann"};
    Attach("figures.csv", "q,value\n1,10\n2,20\n", "text/csv");
    // Three recipients: one more accepting RCPT reply than the standard script has.
    ASSERT_TRUE(Serve(TSmtpScript()
                          .Send(AcceptingReply(EStep::Greeting))
                          .Expect(AcceptingReply(EStep::Helo))
                          .Expect(AcceptingReply(EStep::Mail))
                          .Expect(AcceptingReply(EStep::FirstRcpt))
                          .Expect(AcceptingReply(EStep::SecondRcpt))
                          .Expect(AcceptingReply(EStep::SecondRcpt))
                          .Expect(AcceptingReply(EStep::Data))
                          .ReadData()
                          .Send(AcceptingReply(EStep::EndOfData))
                          .Expect(AcceptingReply(EStep::Quit))));

    smtp.Connect();
    ASSERT_FALSE(smtp.Failed);
    ASSERT_TRUE(smtp.SendMail(msg));
    EXPECT_EQ(smtp.ReplyCode, "250");
    EXPECT_EQ(smtp.ReplyText, "2.0.0 Ok: queued as 4711");
    smtp.Quit();
    const std::string received = ReceivedOnceClosed();
    EXPECT_EQ(server->Problem(), "") << "the server's script did not run to its end";

    // The boundary and the Message-ID's unique part come from the random source; their
    // form is fixed, and the rest of the session is fixed byte for byte.
    std::smatch boundary;
    ASSERT_TRUE(std::regex_search(received, boundary,
                                  std::regex("boundary=\"(Message-Postal-ID-[0-8]{12})\"")));
    std::smatch messageId;
    ASSERT_TRUE(std::regex_search(received, messageId,
                                  std::regex("Message-ID: <([^<>@\\s]+)@example\\.test>\r\n")));
    const std::vector<std::string> lines{
        "EHLO client.test",
        "MAIL FROM:<ann@example.test>",
        "RCPT TO:<bob@example.test>",
        "RCPT TO:<carol@example.test>",
        "RCPT TO:<dave@example.test>",
        "DATA",
        "Date: Mon, 08 Dec 2025 08:50:52 +0100",
        "Message-ID: <{ID}@example.test>",
        "From: Ann Sender <ann@example.test>",
        "To: \"Doe, Bob\" <bob@example.test>",
        "CC: carol@example.test",
        "Subject: Quarterly figures",
        "MIME-Version: 1.0",
        "Content-Type: multipart/mixed; boundary=\"{B}\"",
        "",
        "--{B}",
        "Content-Type: text/plain",
        "Content-Transfer-Encoding: 8bit",
        "",
        "Hello Bob,",
        "..",
        "the figures are attached.",
        "",
        "Ann",
        "",
        "--{B}",
        "Content-Type: text/csv; name=\"figures.csv\"",
        "Content-Transfer-Encoding: base64",
        "Content-Disposition: attachment; fileName=\"figures.csv\"",
        "",
        "cSx2YWx1ZQoxLDEwCjIsMjAK",
        "",
        "--{B}--",
        "",
        ".",
        "QUIT",
    };
    std::string expected;
    for (const auto& line : lines) {
        expected +=
            std::regex_replace(std::regex_replace(line, std::regex("\\{B\\}"), boundary[1].str()),
                               std::regex("\\{ID\\}"), messageId[1].str());
        expected += "\r\n";
    }
    EXPECT_EQ(received, expected);

    std::vector<std::string> expectedEvents{
        "OnConnect",   "OnBeforeSend", "OnEncodeStart figures.csv 18", "OnEncodeProgress 100",
        "OnEncodeEnd", "OnBeforeSend"};
    for (const auto& progress : log.SendProgress()) {
        expectedEvents.push_back("OnSendProgress " + std::to_string(progress.Percent));
    }
    expectedEvents.insert(expectedEvents.end(), {"OnAfterSend", "OnQuit"});
    EXPECT_EQ(log.Events(), expectedEvents);
    ASSERT_FALSE(log.SendProgress().empty());
    const auto total = static_cast<std::int64_t>(DataIn(received).size());
    EXPECT_EQ(log.SendProgress().back(), (TProgress{100, total, total}));
    EXPECT_EQ(log.SendProgress(), ModelSendProgress(SplitLines(DataIn(received)), 1));

    // Another engine with the same sources composes the very same data.
    EXPECT_EQ(ComposedData(msg), DataIn(received));
}

class SmtpOverTcpByFamily : public SmtpOverTcp,
                            public ::testing::WithParamInterface<EAddressFamily> {};

TEST_P(SmtpOverTcpByFamily, AnEmptyHostNameGreetsWithTheAddressLiteralOfOurEnd) {
    MakeReproducible(smtp, "");
    if (!Serve(AcceptingScript(), GetParam())) {
        GTEST_SKIP() << "this machine has no loopback address of that family";
    }
    EXPECT_TRUE(RunSession(smtp, msg));
    EXPECT_TRUE(server->WaitUntilClosed());
    const std::string literal = GetParam() == EAddressFamily::IPv4 ? "[127.0.0.1]" : "[IPv6:::1]";
    EXPECT_EQ(server->Lines(),
              (std::vector<std::string>{"EHLO " + literal, "MAIL FROM:<ann@example.test>",
                                        "RCPT TO:<bob@example.test>",
                                        "RCPT TO:<carol@example.test>", "DATA", "QUIT"}));
    EXPECT_EQ(server->Data().size(), 1u);
    EXPECT_EQ(log.Count("OnError"), 0);
}

INSTANTIATE_TEST_SUITE_P(Loopback, SmtpOverTcpByFamily,
                         ::testing::Values(EAddressFamily::IPv4, EAddressFamily::IPv6), FamilyName);

TEST_F(SmtpOverTcp, RepliesArrivingInPiecesAreReadWhole) {
    // Split inside the code, between CR and LF, and right after a line's end.
    ASSERT_TRUE(
        Serve(TSmtpScript()
                  .SendChunks(
                      {"22", "0-mail.test ESMTP\r", "\n220-no UCE\r\n", "2", "20 ready\r\n"}, 20ms)
                  .ReadLine()
                  .SendChunks({"250-mail.test\r\n250", " HELP\r\n"}, 20ms)
                  .Expect(AcceptingReply(EStep::Mail))
                  .Expect(AcceptingReply(EStep::FirstRcpt))
                  .Expect(AcceptingReply(EStep::SecondRcpt))
                  .Expect(AcceptingReply(EStep::Data))
                  .ReadData()
                  .SendChunks({"250 2.0.0 Ok", ": queued\r\n"}, 20ms)
                  .Expect(AcceptingReply(EStep::Quit))));

    EXPECT_TRUE(RunSession(smtp, msg));

    EXPECT_EQ(ReceivedOnceClosed(), ClientBytesThrough(EStep::Quit, ComposedData(msg)));
    EXPECT_EQ(server->Problem(), "");
    EXPECT_EQ(log.Count("OnError"), 0);
}

// ---- Recipients --------------------------------------------------------------------------

struct TRecipientCase {
    std::string Name;
    std::string From, To, CC, BCC;
    std::string Sender;
    std::vector<std::string> Recipients;
};
void PrintTo(const TRecipientCase& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpRecipients : public ::testing::TestWithParam<TRecipientCase> {};

TEST_P(SmtpRecipients, AreSplitAndSentInToCcBccOrderAndBccStaysOutOfTheData) {
    const TRecipientCase& row = GetParam();
    std::vector<std::string> replies{AcceptingReply(EStep::Greeting), AcceptingReply(EStep::Helo),
                                     AcceptingReply(EStep::Mail)};
    replies.insert(replies.end(), row.Recipients.size(), AcceptingReply(EStep::FirstRcpt));
    for (const EStep step : {EStep::Data, EStep::EndOfData, EStep::Quit}) {
        replies.push_back(AcceptingReply(step));
    }
    const TMemoryRun run = RunInMemory(replies, [&](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) {
        msg.From = row.From;
        msg.SendTo = row.To;
        msg.CC = row.CC;
        msg.BCC = row.BCC;
    });
    ASSERT_TRUE(run.Sent);

    std::string envelope = "EHLO client.test\r\nMAIL FROM:<" + row.Sender + ">\r\n";
    for (const auto& recipient : row.Recipients) {
        envelope += "RCPT TO:<" + recipient + ">\r\n";
    }
    EXPECT_EQ(run.Written.substr(0, run.Written.find("DATA\r\n")), envelope);
    const std::string data = DataIn(run.Written);
    if (!row.To.empty()) {
        EXPECT_NE(data.find("\r\nTo: " + row.To + "\r\n"), std::string::npos);
    }
    if (!row.BCC.empty()) {
        EXPECT_EQ(data.find(row.BCC), std::string::npos);
        EXPECT_EQ(data.find("Bcc"), std::string::npos);
        EXPECT_EQ(data.find("BCC"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SmtpRecipients,
    ::testing::Values(TRecipientCase{"QuotedNameWithAComma",
                                     "ann@example.test",
                                     "\"Doe, John\" <john@example.test>, mary@example.test",
                                     "",
                                     "",
                                     "ann@example.test",
                                     {"john@example.test", "mary@example.test"}},
                      TRecipientCase{"EmptyEntriesAreSkipped",
                                     "Ann <ann@example.test>",
                                     "bob@example.test, ,",
                                     "",
                                     "",
                                     "ann@example.test",
                                     {"bob@example.test"}},
                      TRecipientCase{"CommentsEscapesAndQuotedLocalParts",
                                     "ann@example.test (Ann, at work)",
                                     "\"Doe \\\"JD\\\", John\" (boss) <john@example.test>, \"mary j\"@example.test",
                                     "",
                                     "(team) carl@[192.0.2.7]",
                                     "ann@example.test",
                                     {"john@example.test", "\"mary j\"@example.test", "carl@[192.0.2.7]"}},
                      TRecipientCase{"ToThenCcThenBcc",
                                     "ann@example.test",
                                     "Bob <bob@example.test>",
                                     "carol@example.test, Dan <dan@example.test>",
                                     "eve@example.test",
                                     "ann@example.test",
                                     {"bob@example.test", "carol@example.test", "dan@example.test",
                                      "eve@example.test"}},
                      TRecipientCase{"EmptyFieldsAreSkipped",
                                     "ann@example.test",
                                     "",
                                     "",
                                     "Hidden <zed@example.test>",
                                     "ann@example.test",
                                     {"zed@example.test"}},
                      TRecipientCase{"DisplayFormSenderSendsOnlyTheAddress",
                                     "\"Sender, Ann\" <ann@example.test>",
                                     "bob@example.test",
                                     "",
                                     "",
                                     "ann@example.test",
                                     {"bob@example.test"}}),
    ByName{});

// ---- Refusals ----------------------------------------------------------------------------

struct TRefusal {
    std::string Name;
    EStep Step;
    std::string Reply;
    int Code;
    std::string Text;
};
void PrintTo(const TRefusal& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpRefusal : public SmtpOverTcp, public ::testing::WithParamInterface<TRefusal> {};

TEST_P(SmtpRefusal, EndsTheDialogueWithTheServersCodeAndNoFurtherCommand) {
    const TRefusal& row = GetParam();
    const std::string data = ComposedData(msg);
    ASSERT_TRUE(Serve(ScriptActingAt(row.Step, [&](TSmtpScript& s) { s.Send(row.Reply); })));

    EXPECT_FALSE(RunSession(smtp, msg));

    EXPECT_FALSE(smtp.Accepted);
    EXPECT_EQ(log.Count("OnAfterSend"), 0);
    EXPECT_EQ(ReceivedOnceClosed(), ClientBytesThrough(row.Step, data));
    ExpectFailureEvents(row.Code, row.Text);
    EXPECT_EQ(smtp.ReplyText, row.Text);
}

INSTANTIATE_TEST_SUITE_P(
    EachStep, SmtpRefusal,
    ::testing::Values(
        TRefusal{"Greeting", EStep::Greeting, "554 5.3.2 Not now\r\n", 554, "5.3.2 Not now"},
        TRefusal{"MultiLineGreeting", EStep::Greeting,
                 "220-mail.test welcomes you\r\n554 but not today\r\n", 554, "but not today"},
        TRefusal{"Ehlo", EStep::Helo, "421 4.3.2 Shutting down\r\n", 421, "4.3.2 Shutting down"},
        TRefusal{"Mail", EStep::Mail, "553 5.1.8 Sender refused\r\n", 553, "5.1.8 Sender refused"},
        TRefusal{"MailWithAMultiLineReply", EStep::Mail, "250-fine so far\r\n550 5.7.1 but no\r\n",
                 550, "5.7.1 but no"},
        TRefusal{"FirstRcpt", EStep::FirstRcpt, "550 5.1.1 No such user\r\n", 550,
                 "5.1.1 No such user"},
        TRefusal{"SecondRcptWith251", EStep::SecondRcpt,
                 "251 2.1.5 User not local; will forward\r\n", 251,
                 "2.1.5 User not local; will forward"},
        TRefusal{"Data", EStep::Data, "503 5.5.1 No valid recipients\r\n", 503,
                 "5.5.1 No valid recipients"},
        TRefusal{"DataAnsweredWith250", EStep::Data, "250 2.0.0 Ok\r\n", 250, "2.0.0 Ok"},
        TRefusal{"EndOfData", EStep::EndOfData, "552 5.3.4 Message too big\r\n", 552,
                 "5.3.4 Message too big"}),
    ByName{});

// ---- PIPELINING -----------------------------------------------------------------------

// A server that offers PIPELINING gets MAIL, both RCPT and DATA before it answers any (the
// script reads all four before it replies: a client that waited would time out), and its
// replies, however they arrive, are judged in order as one at a time. A refused command fails
// the send with its own code and ends the dialogue as a refusal does; a 354 after a refusal
// is no exception: no "." is ever written, so nothing is delivered. Once the data went, "."
// and QUIT are one group too (the script reads QUIT before it answers the end), and the reply
// to the end decides.
struct TPipelined {
    std::string Name;
    std::vector<std::string> Replies;  // to MAIL, RCPT, RCPT, DATA, each its own packet when >1
    bool OnePacket;
    int Code;                          // 0: the mail is accepted
    std::string Text;
    std::string EndReply = AcceptingReply(EStep::EndOfData);  // when the data went
};
void PrintTo(const TPipelined& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpPipelining : public SmtpOverTcp, public ::testing::WithParamInterface<TPipelined> {};

TEST_P(SmtpPipelining, TheEnvelopeGoesAsOneGroupAndItsRepliesAreJudgedInOrder) {
    const TPipelined& row = GetParam();
    const std::string data = ComposedData(msg);
    TSmtpScript script;
    script.Send(AcceptingReply(EStep::Greeting))
        .Expect("250-mail.test\r\n250-PIPELINING\r\n250 8BITMIME\r\n")
        .ReadLine().ReadLine().ReadLine().ReadLine();
    if (row.OnePacket) {
        std::string all;
        for (const auto& reply : row.Replies) {
            all += reply;
        }
        script.Send(all);
    } else {
        script.SendChunks(row.Replies, TMilliseconds(20));
    }
    // Only an envelope taken whole lets the data go; then the end's reply decides.
    const bool dataGoes = row.Code == 0 || !row.EndReply.starts_with("250");
    if (dataGoes) {
        script.ReadData().ReadLine().Send(row.EndReply + AcceptingReply(EStep::Quit));
    }
    ASSERT_TRUE(Serve(std::move(script)));
    smtp.DataEndTimeout = Generous;

    EXPECT_EQ(RunSession(smtp, msg), row.Code == 0);

    const std::string envelope = "EHLO client.test\r\n" + ClientPart(EStep::Mail, data) + ClientPart(EStep::FirstRcpt, data) +
                                 ClientPart(EStep::SecondRcpt, data) + "DATA\r\n";
    EXPECT_EQ(ReceivedOnceClosed(), dataGoes ? envelope + data + "\r\n.\r\nQUIT\r\n" : envelope);
    EXPECT_EQ(smtp.Accepted, row.Code == 0);
    if (row.Code != 0) {
        ExpectFailureEvents(row.Code, row.Text);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SmtpPipelining,
    ::testing::Values(
        TPipelined{"AllAcceptedInOnePacket", {"250 2.1.0 Ok\r\n", "250 2.1.5 Ok\r\n", "250 2.1.5 Ok\r\n", "354 Go\r\n"},
                   true, 0, ""},
        TPipelined{"AllAcceptedOnePerPacket", {"250 2.1.0 Ok\r\n", "250 2.1.5 Ok\r\n", "250 2.1.5 Ok\r\n", "354 Go\r\n"},
                   false, 0, ""},
        TPipelined{"RepliesSplitAcrossPackets", {"250 2.1.0 Ok\r\n25", "0 2.1.5 Ok\r\n250-first\r\n", "250 2.1.5 Ok\r\n354", " Go\r\n"},
                   false, 0, ""},
        TPipelined{"SecondRcptRefusedAndDataTaken",
                   {"250 2.1.0 Ok\r\n", "250 2.1.5 Ok\r\n", "550 5.1.1 No such user\r\n", "354 Go\r\n"}, true, 550,
                   "5.1.1 No such user"},
        TPipelined{"FirstRcpt452AndDataRefused",
                   {"250 2.1.0 Ok\r\n", "452 4.5.3 Too many recipients\r\n", "250 2.1.5 Ok\r\n",
                    "503 5.5.1 No valid recipients\r\n"},
                   false, 452, "4.5.3 Too many recipients"},
        TPipelined{"SenderRefused",
                   {"553 5.1.8 Sender refused\r\n", "503 5.5.1 Need MAIL\r\n", "503 5.5.1 Need MAIL\r\n",
                    "503 5.5.1 Need MAIL\r\n"},
                   true, 553, "5.1.8 Sender refused"},
        TPipelined{"MessageRefusedAtTheEnd", {"250 2.1.0 Ok\r\n", "250 2.1.5 Ok\r\n", "250 2.1.5 Ok\r\n", "354 Go\r\n"},
                   true, 554, "5.7.1 Spam", "554 5.7.1 Spam\r\n"}),
    ByName{});

// ---- After the whole message -----------------------------------------------------------

// Once the end of the data is written the server may have the mail. Its 2xx decides the
// outcome, whatever QUIT meets; without an answer the mail may have been delivered, which
// is not the same as lost (111), so the user checks before sending it twice.
struct TAfterData {
    std::string Name;
    EStep Step;                                   // EndOfData or Quit
    std::function<void(TSmtpScript&)> Server;     // what the server does at that step
    bool AbortThere;                              // Esc while the client waits at that step
    bool Delivered;
};
void PrintTo(const TAfterData& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpAfterTheData : public SmtpOverTcp, public ::testing::WithParamInterface<TAfterData> {};

TEST_P(SmtpAfterTheData, TheReplyToTheEndDecidesAndNoReplyIsNeverCalledLost) {
    const TAfterData& row = GetParam();
    const std::string data = ComposedData(msg);
    ASSERT_TRUE(Serve(ScriptActingAt(row.Step, row.Server)));
    smtp.DataEndTimeout = 300ms;
    smtp.QuitTimeout = 300ms;

    bool sent = false;
    const auto started = std::chrono::steady_clock::now();
    auto worker = std::async(std::launch::async, [&] { sent = RunSession(smtp, msg); });
    if (row.AbortThere) {
        ASSERT_TRUE(server->WaitForReceived(ClientPart(row.Step, data)));
        smtp.Abort();
    }
    ASSERT_EQ(worker.wait_for(Generous / 2), std::future_status::ready);
    EXPECT_LT(std::chrono::steady_clock::now() - started, Generous / 2);

    EXPECT_EQ(ReceivedOnceClosed(), ClientBytesThrough(row.Step, data));
    EXPECT_FALSE(smtp.Connected);
    EXPECT_EQ(sent, row.Delivered);
    EXPECT_EQ(smtp.Accepted.load(), row.Delivered);
    EXPECT_EQ(log.Count("OnAfterSend"), row.Delivered ? 1 : 0);
    if (row.Delivered) {
        EXPECT_EQ(log.Count("OnError"), 0);
        EXPECT_FALSE(smtp.Failed);
        EXPECT_EQ(smtp.ReplyText, "2.0.0 Ok: queued as 4711");
        return;
    }
    EXPECT_TRUE(smtp.Failed);
    EXPECT_EQ(log.Events().back(), "OnError 111 The server did not confirm the message; it may have been "
                                   "delivered. Check before sending again.");
    EXPECT_EQ(log.Count("OnError"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SmtpAfterTheData,
    ::testing::Values(
        TAfterData{"QuitRefused", EStep::Quit, [](TSmtpScript& s) { s.Send("500 5.5.2 What?\r\n"); }, false, true},
        TAfterData{"ClosedInsteadOfAnsweringQuit", EStep::Quit, [](TSmtpScript& s) { s.Close(); }, false, true},
        TAfterData{"SilentAfterQuit", EStep::Quit, [](TSmtpScript&) {}, false, true},
        TAfterData{"CancelledWhileQuitWaits", EStep::Quit, [](TSmtpScript&) {}, true, true},
        TAfterData{"ClosedAfterTheEnd", EStep::EndOfData, [](TSmtpScript& s) { s.Close(); }, false, false},
        TAfterData{"SilentAfterTheEnd", EStep::EndOfData, [](TSmtpScript&) {}, false, false},
        TAfterData{"CancelledWhileTheEndWaits", EStep::EndOfData, [](TSmtpScript&) {}, true, false},
        TAfterData{"NoReplyToTheEnd", EStep::EndOfData, [](TSmtpScript& s) { s.Send("2x0 ok?\r\n"); }, false,
                   false}),
    ByName{});

// ---- Reply framing -----------------------------------------------------------------------

// Every reply of a whole session, some of them multi-line.
std::vector<std::string> MultiLineReplies() {
    std::vector<std::string> replies = AcceptingReplies();
    replies[0] = "220-mail.test ESMTP\r\n220-no UCE\r\n220 ready\r\n";
    replies[1] = "250-mail.test\r\n250-8BITMIME\r\n250 HELP\r\n";
    return replies;
}

TEST(SmtpReplyFraming, RepliesSplitAtEveryBytePositionAreReadWhole) {
    const std::string expected = ClientBytesThrough(EStep::Quit, StandardData());
    const std::vector<std::string> replies = MultiLineReplies();
    for (std::size_t which = 0; which < replies.size(); ++which) {
        for (std::size_t at = 1; at < replies[which].size(); ++at) {
            SCOPED_TRACE("reply " + std::to_string(which) + " split after byte " +
                         std::to_string(at));
            std::vector<std::string> chunks;
            for (std::size_t i = 0; i < replies.size(); ++i) {
                if (i == which) {
                    chunks.push_back(replies[i].substr(0, at));
                    chunks.push_back(replies[i].substr(at));
                } else {
                    chunks.push_back(replies[i]);
                }
            }
            const TMemoryRun run = RunInMemory(chunks);
            ASSERT_TRUE(run.Sent);
            ASSERT_EQ(run.Written, expected);
        }
    }
    // And every byte on its own.
    std::vector<std::string> bytes;
    for (const auto& reply : replies) {
        for (const char c : reply) {
            bytes.emplace_back(1, c);
        }
    }
    const TMemoryRun run = RunInMemory(bytes);
    EXPECT_TRUE(run.Sent);
    EXPECT_EQ(run.Written, expected);
}

TEST(SmtpReplyFraming, BytesAfterAFinalLineAreKeptForTheNextReply) {
    // The whole server side in one chunk: no reply may need another receive, because the
    // socket reports the connection closed once the chunk is used up.
    std::string everything;
    for (const auto& reply : MultiLineReplies()) {
        everything += reply;
    }
    const TMemoryRun run = RunInMemory({everything});
    EXPECT_TRUE(run.Sent);
    EXPECT_FALSE(run.Failed);
    EXPECT_EQ(run.Written, ClientBytesThrough(EStep::Quit, StandardData()));
}

TEST(SmtpReplyFraming, AReplyOfTheCodeAloneIsFinal) {
    for (const EStep step : AllSteps) {
        SCOPED_TRACE(StepName(step));
        std::vector<std::string> replies = AcceptingReplies();
        const auto index = static_cast<std::size_t>(step);
        replies[index] = replies[index].substr(0, 3) + "\r\n";
        const TMemoryRun run = RunInMemory(replies);
        EXPECT_TRUE(run.Sent);
        EXPECT_FALSE(run.Failed);
        EXPECT_EQ(run.Written, ClientBytesThrough(EStep::Quit, StandardData()));
    }
}

TEST(SmtpReplyFraming, AMultiLineReplyIsJudgedAndReportedByItsLastLine) {
    auto owned = std::make_unique<TMemorySocket>();
    owned->Incoming("220 ready\r\n250-mail.test greets client.test\r\n250 last words\r\n");
    TWrenSMTP smtp(std::move(owned));
    MakeReproducible(smtp);
    smtp.Connect();
    EXPECT_FALSE(smtp.Failed);
    EXPECT_EQ(smtp.ReplyCode, "250");
    EXPECT_EQ(smtp.ReplyText, "last words");
}

struct TBadReply {
    std::string Name;
    EStep Step;  // Greeting or Helo
    std::string Reply;
    bool Acceptable;
};
void PrintTo(const TBadReply& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpReplyLimits : public ::testing::TestWithParam<TBadReply> {};

TEST_P(SmtpReplyLimits, OversizedOrMalformedRepliesAreProtocolErrors) {
    const TBadReply& row = GetParam();
    std::vector<std::string> replies = AcceptingReplies();
    replies[static_cast<std::size_t>(row.Step)] = row.Reply;
    if (!row.Acceptable) {
        replies.resize(static_cast<std::size_t>(row.Step) + 1);
    }
    const auto started = std::chrono::steady_clock::now();
    const TMemoryRun run =
        RunInMemory(replies, [](TWrenSMTP& smtp, TWrenMsg&, TMemorySocket& wire) {
            // A reply that never ends must be refused by its size, not by waiting for more.
            wire.WhenDrained = TMemorySocket::EWhenDrained::Block;
            smtp.CommandTimeout = 3s;
        });
    const auto elapsed = std::chrono::steady_clock::now() - started;
    if (row.Acceptable) {
        EXPECT_TRUE(run.Sent);
        EXPECT_EQ(run.Written, ClientBytesThrough(EStep::Quit, StandardData()));
        return;
    }
    EXPECT_LT(elapsed, 2s);
    EXPECT_TRUE(run.Failed);
    EXPECT_FALSE(run.StillOpen);
    EXPECT_EQ(run.Written, ClientBytesThrough(row.Step, StandardData()));
    ASSERT_FALSE(run.Events.empty());
    EXPECT_TRUE(run.Events.back().starts_with("OnError 102 ")) << run.Events.back();
    EXPECT_GT(run.Events.back().size(), std::string("OnError 102 ").size());
}

std::string Repeat(std::string_view line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SmtpReplyLimits,
    ::testing::Values(
        TBadReply{"LineOf8KiBIsAccepted", EStep::Greeting, "220 " + std::string(8188, 'a') + "\r\n",
                  true},
        TBadReply{"LineLongerThan8KiB", EStep::Greeting, "220 " + std::string(8189, 'a') + "\r\n",
                  false},
        TBadReply{"EndlessLine", EStep::Helo, "250 " + std::string(100000, 'a'), false},
        TBadReply{"ReplyUnder64KiBIsAccepted", EStep::Helo,
                  Repeat("250-" + std::string(7996, 'b') + "\r\n", 7) + "250 ok\r\n", true},
        TBadReply{"ReplyLongerThan64KiB", EStep::Helo,
                  Repeat("250-" + std::string(7996, 'b') + "\r\n", 9) + "250 ok\r\n", false},
        TBadReply{"NulInTheGreeting", EStep::Greeting, std::string("220 hello\0world\r\n", 17),
                  false},
        TBadReply{"NulInAContinuationLine", EStep::Helo,
                  std::string("250-mail\0test\r\n250 ok\r\n", 23), false},
        TBadReply{"CodeThatIsNotANumber", EStep::Greeting, "2x0 hello\r\n", false},
        // Codes no server may send, one of them the engine's own "could not connect".
        TBadReply{"CodeBelowTheReplyRange", EStep::Greeting, "101 hello\r\n", false},
        TBadReply{"CodeAboveTheReplyRange", EStep::Helo, "600 hello\r\n", false},
        TBadReply{"SecondDigitAboveFive", EStep::Helo, "560 hello\r\n", false}),
    ByName{});

// ---- The connection lost -----------------------------------------------------------------

struct TLoss {
    std::string Name;
    EStep Step;
    std::string Partial;  // what the server still sends before it closes
};
void PrintTo(const TLoss& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpConnectionLost : public SmtpOverTcp, public ::testing::WithParamInterface<TLoss> {};

TEST_P(SmtpConnectionLost, FailsWith102AndNeverWithTheLastGoodReplysCode) {
    const TLoss& row = GetParam();
    const std::string data = ComposedData(msg);
    ASSERT_TRUE(Serve(ScriptActingAt(row.Step, [&](TSmtpScript& s) {
        if (!row.Partial.empty()) {
            s.Send(row.Partial);
        }
        s.Close();
    })));

    EXPECT_FALSE(RunSession(smtp, msg));

    EXPECT_EQ(ReceivedOnceClosed(), ClientBytesThrough(row.Step, data));
    ExpectFailureEvents(TWrenSMTP::ErrorConnectionLost, ConnectionLost);
    EXPECT_EQ(smtp.ReplyText, ConnectionLost);
}

std::vector<TLoss> LossCases() {
    std::vector<TLoss> cases;
    for (const EStep step : StepsBeforeTheEnd) {
        cases.push_back({"At" + StepName(step), step, ""});
    }
    cases.push_back({"InsideAMultiLineGreeting", EStep::Greeting, "220-mail.test\r\n"});
    cases.push_back(
        {"InsideAMultiLineHeloReply", EStep::Helo, "250-mail.test\r\n250-8BITMIME\r\n"});
    cases.push_back({"AfterTwoDigitsOfTheMailReply", EStep::Mail, "25"});
    cases.push_back({"AfterAReplyLineWithoutItsEnd", EStep::Data, "354 go ahead"});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EachStep, SmtpConnectionLost, ::testing::ValuesIn(LossCases()), ByName{});

TEST_F(SmtpOverTcp, AResetWhileTheMessageIsWrittenFailsWith102) {
    std::string bytes(4 << 20, '\0');
    std::mt19937 random(7);
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    Attach("large.bin", bytes);
    ASSERT_TRUE(Serve(ScriptActingAt(
        EStep::Data, [](TSmtpScript& s) { s.Send(AcceptingReply(EStep::Data)).Reset(); })));

    EXPECT_FALSE(RunSession(smtp, msg));

    ExpectFailureEvents(TWrenSMTP::ErrorConnectionLost, ConnectionLost);
    EXPECT_EQ(log.Count("OnAfterSend"), 0);
}

// ---- The spool file ----------------------------------------------------------------------

// Descriptors of this process open on files in Folder (an unlinked file still names it).
std::size_t FilesOpenIn(const std::filesystem::path& folder) {
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code ignored;
        if (std::filesystem::read_symlink(entry.path(), ignored).string().starts_with(folder.string() + "/")) {
            ++count;
        }
    }
    return count;
}

// Attachments go out from a spool file in the temporary folder, which holds it while the
// message is sent and is left with nothing, open or on disk, however the send ends.
struct TSpoolEnd {
    std::string Name;
    EStep Step;
    std::function<void(TSmtpScript&)> Server;
    bool AbortInData;
    bool Delivered;
};
void PrintTo(const TSpoolEnd& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpSpool : public SmtpOverTcp, public ::testing::WithParamInterface<TSpoolEnd> {};

TEST_P(SmtpSpool, HoldsTheAttachmentsWhileTheySendAndIsGoneAfterwards) {
    const TSpoolEnd& row = GetParam();
    const test::TTempFolder spool;
    smtp.SpoolFolder = spool.Path().string();
    // More than loopback's socket buffers hold, so that a server that stops reading blocks the send.
    std::string bytes(8 << 20, '\0');
    std::mt19937 random(5);
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    Attach("large.bin", bytes);
    ASSERT_TRUE(Serve(ScriptActingAt(row.Step, row.Server)));
    std::atomic<std::size_t> openWhileSending = 0;  // once encoded, and while the data goes
    log.Then = [&](const std::string& event, int) {
        if (event.starts_with("OnEncodeEnd") || event.starts_with("OnSendProgress")) {
            openWhileSending = std::max<std::size_t>(openWhileSending, FilesOpenIn(spool.Path()));
        }
    };

    bool sent = false;
    auto worker = std::async(std::launch::async, [&] { sent = RunSession(smtp, msg); });
    if (row.AbortInData) {
        ASSERT_TRUE(log.WaitFor("OnSendProgress", Generous));
        smtp.Abort();
    }
    ASSERT_EQ(worker.wait_for(Generous), std::future_status::ready);
    server->ResumeReading();

    EXPECT_EQ(sent, row.Delivered);
    EXPECT_EQ(openWhileSending, 1u);
    EXPECT_EQ(FilesOpenIn(spool.Path()), 0u);
    EXPECT_TRUE(std::filesystem::is_empty(spool.Path()));
    if (row.Step == EStep::Data) {
        EXPECT_EQ(ReceivedOnceClosed().find("\r\n.\r\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, SmtpSpool,
    ::testing::Values(
        TSpoolEnd{"Delivered", EStep::Quit, [](TSmtpScript& s) { s.Send(AcceptingReply(EStep::Quit)); }, false, true},
        TSpoolEnd{"RefusedAtTheEnd", EStep::EndOfData, [](TSmtpScript& s) { s.Send("554 5.7.1 No\r\n"); }, false,
                  false},
        TSpoolEnd{"ResetWhileTheDataGoes", EStep::Data,
                  [](TSmtpScript& s) { s.Send(AcceptingReply(EStep::Data)).Reset(); }, false, false},
        TSpoolEnd{"CancelledWhileTheServerStoppedReading", EStep::Data,
                  [](TSmtpScript& s) { s.Send(AcceptingReply(EStep::Data)).StopReading(); }, true, false}),
    ByName{});

// ---- Time limits -------------------------------------------------------------------------

struct TSilence {
    EStep Step;
    TMilliseconds TWrenSMTP::*Limit;
};
void PrintTo(const TSilence& row, std::ostream* out) {
    *out << StepName(row.Step);
}

class SmtpTimeLimit : public SmtpOverTcp, public ::testing::WithParamInterface<TSilence> {};

TEST_P(SmtpTimeLimit, ASilentServerFailsWith103WhenTheStepsOwnLimitPasses) {
    const TSilence& row = GetParam();
    const std::string data = ComposedData(msg);
    ASSERT_TRUE(Serve(ScriptActingAt(row.Step, [](TSmtpScript&) {})));
    constexpr TMilliseconds Short = 300ms;
    smtp.*row.Limit = Short;

    const auto started = std::chrono::steady_clock::now();
    RunSession(smtp, msg);
    const auto elapsed = std::chrono::steady_clock::now() - started;

    // Not before the limit; and long before the other, generous limits.
    EXPECT_GE(elapsed, Short);
    EXPECT_LT(elapsed, Generous / 2);
    EXPECT_EQ(ReceivedOnceClosed(), ClientBytesThrough(row.Step, data));
    ExpectFailureEvents(TWrenSMTP::ErrorTimeout, NoAnswerInTime);
}

INSTANTIATE_TEST_SUITE_P(EachStep, SmtpTimeLimit,
                         ::testing::Values(TSilence{EStep::Greeting, &TWrenSMTP::CommandTimeout},
                                           TSilence{EStep::Helo, &TWrenSMTP::CommandTimeout},
                                           TSilence{EStep::Mail, &TWrenSMTP::CommandTimeout},
                                           TSilence{EStep::FirstRcpt, &TWrenSMTP::CommandTimeout},
                                           TSilence{EStep::Data, &TWrenSMTP::DataTimeout}),
                         [](const ::testing::TestParamInfo<TSilence>& row) {
                             return StepName(row.param.Step);
                         });

TEST_F(SmtpOverTcp, AServerThatStopsReadingTheMessageFailsWith103AtTheSendLimit) {
    // More than loopback's socket buffers hold, so a write must block.
    std::string bytes(8 << 20, '\0');
    std::mt19937 random(13);
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    Attach("large.bin", bytes);
    ASSERT_TRUE(Serve(ScriptActingAt(
        EStep::Data, [](TSmtpScript& s) { s.Send(AcceptingReply(EStep::Data)).StopReading(); })));
    smtp.SendTimeout = 300ms;

    EXPECT_FALSE(RunSession(smtp, msg));
    server->ResumeReading();

    const std::string received = ReceivedOnceClosed();
    EXPECT_EQ(received.find("\r\n.\r\n"), std::string::npos);
    ExpectFailureEvents(TWrenSMTP::ErrorTimeout, NoAnswerInTime);
}

TEST_F(SmtpOverTcp, AConnectionThatIsNeverAnsweredFailsWith101AtTheConnectLimit) {
    const test::TUnansweredPort port;
    ASSERT_TRUE(port.Valid());
    smtp.Host = port.Host();
    smtp.Port = port.Port();
    smtp.ConnectTimeout = 300ms;

    const auto started = std::chrono::steady_clock::now();
    smtp.Connect();
    const auto elapsed = std::chrono::steady_clock::now() - started;

    EXPECT_GE(elapsed, smtp.ConnectTimeout);
    EXPECT_LT(elapsed, Generous / 2);
    // No server answered, so this is a failure to connect, not a silent server (103).
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"OnError 101 " + ConnectFailed + " " +
                                                      port.Host() + ":" + port.Port() +
                                                      ": timed out."}));
    EXPECT_TRUE(smtp.Failed);
    EXPECT_FALSE(smtp.Connected);
}

// ---- Connecting --------------------------------------------------------------------------

struct TConnectFailure {
    std::string Name;
    EAddressFamily Family;  // of the refusing port the Port field names
    int LookupError;  // 0: Host is that port's address; else a name the resolver fails with this
    std::string ShownHost;
    std::string Reason;
};
void PrintTo(const TConnectFailure& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpConnectFailure : public ::testing::TestWithParam<TConnectFailure> {};

TEST_P(SmtpConnectFailure, FailsWith101NamingTheServerAndTheReason) {
    const TConnectFailure& row = GetParam();
    const test::TRefusingPort port(row.Family);
    if (!port.Valid()) {
        GTEST_SKIP() << "this machine has no loopback address of that family";
    }
    // The name service is the test's: a lookup of a name that does not exist would leave
    // the machine.
    TWrenSMTP smtp(std::make_unique<net::TClientSocket>(
        [error = row.LookupError](const std::string&, int) {
            return net::TLookupResult{error, {}};
        }));
    TEventLog log;
    log.Attach(smtp);
    smtp.Host = row.LookupError == 0 ? port.Host() : row.ShownHost;
    smtp.Port = port.Port();

    smtp.Connect();

    // Never connected, so never disconnected: OnError alone.
    EXPECT_EQ(log.Events(),
              (std::vector<std::string>{"OnError 101 " + ConnectFailed + " " + row.ShownHost + ":" +
                                        port.Port() + ": " + row.Reason + "."}));
    EXPECT_TRUE(smtp.Failed);
    EXPECT_FALSE(smtp.Aborted);
    EXPECT_FALSE(smtp.Connected);
    EXPECT_EQ(smtp.ReplyCode, "101");
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, SmtpConnectFailure,
    ::testing::Values(
        TConnectFailure{"RefusedIPv4", EAddressFamily::IPv4, 0, "127.0.0.1", "connection refused"},
        TConnectFailure{"RefusedIPv6", EAddressFamily::IPv6, 0, "[::1]", "connection refused"},
        TConnectFailure{"NoSuchHost", EAddressFamily::IPv4, EAI_NONAME, "mail.example.invalid",
                        "no such host"},
        TConnectFailure{"NameServiceDown", EAddressFamily::IPv4, EAI_AGAIN, "mail.example.invalid",
                        "the name could not be looked up"}),
    ByName{});

struct TServerField {
    std::string Name;
    std::string Host, Port;
    bool Numeric;
    int PortNumber;
    std::string Shown;  // in the failure's text
};
void PrintTo(const TServerField& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpServerFields : public ::testing::TestWithParam<TServerField> {};

TEST_P(SmtpServerFields, DecideTheAddressFormAndPortTheSocketOpensAndTheFailureNames) {
    const TServerField& row = GetParam();
    auto owned = std::make_unique<TMemorySocket>();
    TMemorySocket& wire = *owned;
    wire.OpenResult = net::ESocketStatus::Failed;
    TWrenSMTP smtp(std::move(owned));
    MakeReproducible(smtp);
    smtp.Host = row.Host;
    smtp.Port = row.Port;

    smtp.Connect();

    ASSERT_EQ(wire.Opens.size(), 1u);
    EXPECT_EQ(wire.Opens[0].Host, row.Host);
    EXPECT_EQ(wire.Opens[0].NumericHost, row.Numeric);
    EXPECT_EQ(wire.Opens[0].Port, row.PortNumber);
    EXPECT_EQ(smtp.ReplyCode, "101");
    // A socket that cannot tell why gives the general reason.
    EXPECT_EQ(smtp.ReplyText, ConnectFailed + " " + row.Shown + ": the connection failed.");
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SmtpServerFields,
    ::testing::Values(TServerField{"DecimalPort", "mail.example.test", "2525", false, 2525,
                                   "mail.example.test:2525"},
                      TServerField{"WordPort", "mail.example.test", "smtp", false, 25,
                                   "mail.example.test:25"},
                      TServerField{"EmptyPort", "mail.example.test", "", false, 25,
                                   "mail.example.test:25"},
                      TServerField{"PortZero", "mail.example.test", "0", false, 25,
                                   "mail.example.test:25"},
                      TServerField{"PortTooLarge", "mail.example.test", "65536", false, 25,
                                   "mail.example.test:25"},
                      TServerField{"NegativePort", "mail.example.test", "-1", false, 25,
                                   "mail.example.test:25"},
                      TServerField{"PortWithTrailingText", "mail.example.test", "25x", false, 25,
                                   "mail.example.test:25"},
                      TServerField{"DottedAddress", "192.168.2.10", "25", true, 25,
                                   "192.168.2.10:25"},
                      TServerField{"DottedWith255", "192.0.2.255", "25", false, 25,
                                   "192.0.2.255:25"},
                      TServerField{"DottedWithZero", "0.1.2.3", "25", false, 25, "0.1.2.3:25"},
                      TServerField{"ThreeParts", "192.0.2", "25", false, 25, "192.0.2:25"},
                      TServerField{"BareIPv6", "::1", "2525", false, 2525, "[::1]:2525"},
                      TServerField{"BracketedIPv6", "[::1]", "2525", false, 2525, "[::1]:2525"}),
    ByName{});

// ---- Abort -------------------------------------------------------------------------------

class SmtpAbortWhileWaiting : public SmtpOverTcp, public ::testing::WithParamInterface<EStep> {};

TEST_P(SmtpAbortWhileWaiting, FromAnotherThreadEndsTheBlockedCallPromptly) {
    const EStep step = GetParam();
    const std::string data = ComposedData(msg);
    ASSERT_TRUE(Serve(ScriptActingAt(step, [](TSmtpScript&) {})));

    bool sent = false;
    auto worker = std::async(std::launch::async, [&] { sent = RunSession(smtp, msg); });
    const std::string awaited = ClientPart(step, data);
    ASSERT_TRUE(awaited.empty() ? server->WaitUntilAccepted() : server->WaitForReceived(awaited));

    const auto abortedAt = std::chrono::steady_clock::now();
    smtp.Abort();
    ASSERT_EQ(worker.wait_for(AbortBound), std::future_status::ready);
    const auto took = std::chrono::steady_clock::now() - abortedAt;
    RecordProperty(
        "AbortMilliseconds",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));

    EXPECT_FALSE(sent);
    EXPECT_TRUE(smtp.Aborted);
    EXPECT_FALSE(smtp.Failed);
    EXPECT_FALSE(smtp.Connected);
    EXPECT_EQ(log.Count("OnError"), 0);
    EXPECT_EQ(ReceivedOnceClosed(), ClientBytesThrough(step, data));
}

INSTANTIATE_TEST_SUITE_P(EachStep, SmtpAbortWhileWaiting, ::testing::ValuesIn(StepsBeforeTheEnd),
                         [](const ::testing::TestParamInfo<EStep>& row) {
                             return StepName(row.param);
                         });

struct TAbortInHandler {
    std::string Name;
    std::string Event;
    int Occurrence;
    EStep LastStepWritten;
};
void PrintTo(const TAbortInHandler& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpAbortBetweenSteps : public SmtpOverTcp,
                              public ::testing::WithParamInterface<TAbortInHandler> {};

TEST_P(SmtpAbortBetweenSteps, SendsNothingFurtherAndLeavesTheConnectionClosed) {
    const TAbortInHandler& row = GetParam();
    // Two full blocks of 2280 bytes, so that encoding reports progress line by line.
    Attach("data.bin", std::string(5700, 'x'));
    const std::string data = ComposedData(msg);
    ASSERT_TRUE(Serve(AcceptingScript()));
    log.Then = [&](const std::string& event, int occurrence) {
        if (event.starts_with(row.Event) && occurrence == row.Occurrence) {
            smtp.Abort();
        }
    };

    smtp.Connect();
    if (!smtp.Failed) {
        EXPECT_FALSE(smtp.SendMail(msg));
    }
    // The connection is closed by the operation that noticed the abort, not left to Quit.
    EXPECT_TRUE(server->WaitUntilClosed());
    EXPECT_FALSE(smtp.Connected);
    const auto events = log.Events();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back(), "OnQuit");
    smtp.Quit();
    EXPECT_EQ(log.Events(), events) << "Quit after an abort raises nothing";

    EXPECT_TRUE(smtp.Aborted);
    EXPECT_FALSE(smtp.Failed);
    EXPECT_EQ(log.Count("OnError"), 0);
    EXPECT_EQ(log.Count("OnAfterSend"), 0);
    const std::string received = ReceivedOnceClosed();
    if (row.LastStepWritten == EStep::Data) {
        // Some of the message may have gone out, but never its end nor another command.
        EXPECT_TRUE(received.starts_with(ClientBytesThrough(EStep::Data, data)));
        EXPECT_EQ(received.find("\r\n.\r\n"), std::string::npos);
        EXPECT_EQ(received.find("\r\nQUIT\r\n"), std::string::npos);  // Base64 may hold the word
    } else {
        EXPECT_EQ(received, ClientBytesThrough(row.LastStepWritten, data));
    }
}

INSTANTIATE_TEST_SUITE_P(
    EachHandler, SmtpAbortBetweenSteps,
    ::testing::Values(TAbortInHandler{"OnConnect", "OnConnect", 1, EStep::Greeting},
                      TAbortInHandler{"FirstOnBeforeSend", "OnBeforeSend", 1, EStep::Helo},
                      TAbortInHandler{"OnEncodeStart", "OnEncodeStart", 1, EStep::Helo},
                      TAbortInHandler{"OnEncodeProgress", "OnEncodeProgress", 1, EStep::Helo},
                      TAbortInHandler{"OnEncodeEnd", "OnEncodeEnd", 1, EStep::Helo},
                      TAbortInHandler{"SecondOnBeforeSend", "OnBeforeSend", 2, EStep::Helo},
                      TAbortInHandler{"OnSendProgress", "OnSendProgress", 1, EStep::Data}),
    ByName{});

TEST_F(SmtpOverTcp, AbortFromAnotherThreadBetweenConnectAndSendMailSendsNothingMore) {
    ASSERT_TRUE(Serve(AcceptingScript()));
    smtp.Connect();
    ASSERT_FALSE(smtp.Failed);
    std::thread([this] { smtp.Abort(); }).join();

    EXPECT_FALSE(smtp.SendMail(msg));
    smtp.Quit();

    EXPECT_EQ(ReceivedOnceClosed(), "EHLO client.test\r\n");
    EXPECT_TRUE(smtp.Aborted);
    EXPECT_FALSE(smtp.Failed);
    EXPECT_EQ(log.Events(), (std::vector<std::string>{"OnConnect", "OnQuit"}));
}

TEST_F(SmtpOverTcp, AbortWhileTheServerStoppedReadingTheMessageEndsTheSendPromptly) {
    // More than loopback's socket buffers hold, so the client must block in a send.
    std::string bytes(8 << 20, '\0');
    std::mt19937 random(11);
    std::generate(bytes.begin(), bytes.end(), [&random] { return static_cast<char>(random()); });
    Attach("large.bin", bytes);
    ASSERT_TRUE(Serve(ScriptActingAt(
        EStep::Data, [](TSmtpScript& s) { s.Send(AcceptingReply(EStep::Data)).StopReading(); })));

    bool sent = true;
    auto worker = std::async(std::launch::async, [&] { sent = RunSession(smtp, msg); });
    ASSERT_TRUE(log.WaitFor("OnSendProgress", Generous));
    const auto abortedAt = std::chrono::steady_clock::now();
    smtp.Abort();
    ASSERT_EQ(worker.wait_for(AbortBound), std::future_status::ready);
    const auto took = std::chrono::steady_clock::now() - abortedAt;
    RecordProperty(
        "AbortMilliseconds",
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()));
    server->ResumeReading();

    EXPECT_FALSE(sent);
    EXPECT_TRUE(smtp.Aborted);
    EXPECT_FALSE(smtp.Failed);
    EXPECT_EQ(log.Count("OnError"), 0);
    const std::string received = ReceivedOnceClosed();
    EXPECT_EQ(received.find("\r\n.\r\n"), std::string::npos);
    EXPECT_EQ(received.find("\r\nQUIT\r\n"), std::string::npos);  // Base64 may hold the word
}

// Blocked calls of the in-memory socket: a connect that never completes, and a send into a
// full buffer.
TEST(SmtpAbortInMemory, EndsABlockedConnectAndABlockedSendWithoutAnError) {
    for (const bool inConnect : {true, false}) {
        SCOPED_TRACE(inConnect ? "blocked in connect" : "blocked in send");
        auto owned = std::make_unique<TMemorySocket>();
        TMemorySocket& wire = *owned;
        TWrenSMTP smtp(std::move(owned));
        TEventLog log;
        TWrenMsg msg;
        MakeReproducible(smtp);
        log.Attach(smtp);
        FillMessage(msg);
        smtp.Host = "mail.test";
        const std::string beforeData = ClientBytesThrough(EStep::Data, StandardData());
        if (inConnect) {
            wire.OpenResult = net::ESocketStatus::TimedOut;
        } else {
            for (const auto& reply : AcceptingReplies()) {
                wire.Incoming(reply);
            }
            wire.SendCapacity = beforeData.size() + 100;
        }

        bool sent = true;
        auto worker = std::async(std::launch::async, [&] { sent = RunSession(smtp, msg); });
        ASSERT_TRUE(wire.WaitUntilBlocked(Generous));
        smtp.Abort();
        ASSERT_EQ(worker.wait_for(AbortBound), std::future_status::ready);

        EXPECT_FALSE(sent);
        EXPECT_TRUE(smtp.Aborted);
        EXPECT_FALSE(smtp.Failed);
        EXPECT_EQ(log.Count("OnError"), 0);
        EXPECT_FALSE(wire.IsOpen());
        if (inConnect) {
            EXPECT_TRUE(log.Events().empty());
            EXPECT_TRUE(wire.Written.empty());
        } else {
            EXPECT_EQ(wire.Written.substr(0, beforeData.size()), beforeData);
            EXPECT_EQ(wire.Written.size(), beforeData.size() + 100);
        }
    }
}

// ---- Faults found before anything is sent ------------------------------------------------

// Nothing here may hold the send: a FIFO without a writer or a device must be refused
// before anything is opened for reading in earnest, and before any connection.
struct TUnusableFile {
    std::string Name;
    std::function<std::string(const std::filesystem::path& folder)> Make;  // the path to attach
    std::string Text;  // the 104 text; "NAME" stands for the file's name
};
void PrintTo(const TUnusableFile& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpUnusableAttachment : public ::testing::TestWithParam<TUnusableFile> {};

TEST_P(SmtpUnusableAttachment, FailsWith104BeforeConnectingAndAtOnce) {
    const TUnusableFile& row = GetParam();
    const test::TTempFolder folder;
    const std::string path = row.Make(folder.Path());
    const auto started = std::chrono::steady_clock::now();
    const TMemoryRun run = RunInMemory(AcceptingReplies(), [&](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) {
        msg.AttachedFiles.AddFile(path);
    });
    EXPECT_LT(std::chrono::steady_clock::now() - started, 1s);
    EXPECT_FALSE(run.Sent);
    EXPECT_TRUE(run.Failed);
    EXPECT_EQ(run.Written, "");
    std::string text = row.Text;
    text.replace(text.find("NAME"), 4, std::filesystem::path(path).filename().string());
    EXPECT_EQ(run.Events, (std::vector<std::string>{"OnError 104 " + text}));
}

INSTANTIATE_TEST_SUITE_P(
    Files, SmtpUnusableAttachment,
    ::testing::Values(
        TUnusableFile{"Missing", [](const auto& folder) { return (folder / "gone.pdf").string(); },
                      "Cannot read file NAME: No such file or directory."},
        TUnusableFile{"Folder", [](const auto& folder) { return folder.string(); },
                      "File NAME is not a regular file."},
        TUnusableFile{"FifoWithoutWriter",
                      [](const auto& folder) {
                          const auto fifo = folder / "pipe";
                          EXPECT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
                          return fifo.string();
                      },
                      "File NAME is not a regular file."},
        TUnusableFile{"EndlessDevice", [](const auto&) { return std::string("/dev/zero"); },
                      "File NAME is not a regular file."}),
    ByName{});

struct TBadEnvelope {
    std::string Name;
    std::string From, To, CC, BCC;
    std::string Problem;
};
void PrintTo(const TBadEnvelope& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpBadEnvelope : public ::testing::TestWithParam<TBadEnvelope> {};

// Whatever is typed, an address reaches MAIL FROM or RCPT TO only as one mailbox: nothing
// can add a parameter, a second command or a second recipient.
TEST_P(SmtpBadEnvelope, IsRefusedWith105BeforeConnecting) {
    const TBadEnvelope& row = GetParam();
    const TMemoryRun run = RunInMemory(AcceptingReplies(), [&](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) {
        msg.From = row.From;
        msg.SendTo = row.To;
        msg.CC = row.CC;
        msg.BCC = row.BCC;
    });
    EXPECT_FALSE(run.Sent);
    EXPECT_TRUE(run.Failed);
    EXPECT_FALSE(run.Aborted);
    EXPECT_EQ(run.Written, "");
    EXPECT_EQ(run.Events, (std::vector<std::string>{"OnError 105 " + row.Problem}));
}

INSTANTIATE_TEST_SUITE_P(
    Fields, SmtpBadEnvelope,
    ::testing::Values(
        TBadEnvelope{"ParametersAfterTheSender", "me@example.org> RET=FULL ENVID=x", "bob@example.test", "", "",
                     "Invalid address: me@example.org> RET=FULL ENVID=x"},
        TBadEnvelope{"ParametersAfterARecipient", "ann@example.test",
                     "you@example.org> NOTIFY=SUCCESS,FAILURE ORCPT=rfc822;z", "", "",
                     "Invalid address: you@example.org> NOTIFY=SUCCESS"},
        TBadEnvelope{"CommandAfterALineBreak", "Ann <ann@example.test\r\nRCPT TO:<eve@evil.test>>",
                     "bob@example.test", "", "",
                     "Invalid address: Ann <ann@example.test\\u000D\\u000ARCPT TO:<eve@evil.test>>"},
        TBadEnvelope{"NulInBcc", "ann@example.test", "bob@example.test", "",
                     std::string("dave@exa\0mple.test", 18), "Invalid address: dave@exa\\u0000mple.test"},
        TBadEnvelope{"UnquotedNameWithAComma", "ann@example.test", "Doe, John <john@example.test>", "", "",
                     "Invalid address: Doe"},
        TBadEnvelope{"SourceRoute", "ann@example.test", "<@relay.test:bob@example.test>", "", "",
                     "Invalid address: <@relay.test:bob@example.test>"},
        TBadEnvelope{"NoSender", "", "bob@example.test", "", "", "No sender: type your address into From."},
        TBadEnvelope{"TwoSenders", "ann@example.test, eve@example.test", "bob@example.test", "", "",
                     "From holds more than one address: ann@example.test, eve@example.test"},
        TBadEnvelope{"NoRecipient", "ann@example.test", " , ", "", "",
                     "No recipient: type an address into To, Cc or Bcc."}),
    ByName{});

// ---- Send progress -----------------------------------------------------------------------

struct TProgressCase {
    std::string Name;
    std::vector<std::string> Text;
    std::uint16_t Step;
};
void PrintTo(const TProgressCase& row, std::ostream* out) {
    *out << row.Name;
}

class SmtpSendProgress : public ::testing::TestWithParam<TProgressCase> {};

TEST_P(SmtpSendProgress, FollowsTheThresholdRulesLineByLine) {
    const TProgressCase& row = GetParam();
    const TMemoryRun run =
        RunInMemory(AcceptingReplies(), [&](TWrenSMTP& smtp, TWrenMsg& msg, TMemorySocket&) {
            msg.Text = row.Text;
            smtp.SendProgressStep = row.Step;
        });
    ASSERT_TRUE(run.Sent);
    const std::string data = DataIn(run.Written);
    const std::vector<std::string> lines = SplitLines(data);
    EXPECT_EQ(run.Progress, ModelSendProgress(lines, row.Step));

    // The same rules, stated as properties of what was reported.
    std::vector<std::int64_t> lineEnds;
    std::int64_t end = 0;
    for (const auto& line : lines) {
        lineEnds.push_back(end += static_cast<std::int64_t>(line.size()) + 2);
    }
    ASSERT_FALSE(run.Progress.empty());
    EXPECT_LE(run.Progress.size(), lines.size() + 1);
    for (std::size_t i = 0; i < run.Progress.size(); ++i) {
        const TProgress& p = run.Progress[i];
        EXPECT_EQ(p.Total, static_cast<std::int64_t>(data.size()));
        EXPECT_TRUE(std::binary_search(lineEnds.begin(), lineEnds.end(), p.Sent)) << p.Sent;
        if (i > 0) {
            // At most one event per line, and never backwards.
            EXPECT_GT(p.Sent, run.Progress[i - 1].Sent);
            EXPECT_GE(p.Percent, run.Progress[i - 1].Percent);
        }
    }
    if (row.Step == 1) {
        EXPECT_EQ(run.Progress.back().Percent, 100);
    }
}

std::vector<std::string> EvenLines(int count) {
    std::vector<std::string> lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back("line " + std::to_string(1000 + i) + " of an even message");
    }
    return lines;
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SmtpSendProgress,
    ::testing::Values(
        TProgressCase{"EvenLinesStep1", EvenLines(400), 1},
        TProgressCase{"EvenLinesStep7", EvenLines(400), 7},
        TProgressCase{"EvenLinesStep30", EvenLines(400), 30},
        TProgressCase{"EvenLinesStep100", EvenLines(400), 100},
        TProgressCase{"FewLinesJumpAndCatchUp", {"a", std::string(3000, 'x'), "b", "c", "d"}, 1},
        TProgressCase{"HugeLineLast", {"a", "b", std::string(20000, 'x')}, 1},
        TProgressCase{"TinyLastLineAfterAHugeOne", {std::string(20000, 'y'), "z"}, 5}),
    ByName{});

TEST(SmtpSendProgressRule, WhenTheLastLineBringsItTo100ExactlyOneEventSays100) {
    // A hundred even lines: each moves the percentage by about one, so only the last line
    // rounds to 100.
    const TMemoryRun run =
        RunInMemory(AcceptingReplies(),
                    [](TWrenSMTP&, TWrenMsg& msg, TMemorySocket&) { msg.Text = EvenLines(100); });
    ASSERT_TRUE(run.Sent);
    const auto total = static_cast<std::int64_t>(DataIn(run.Written).size());
    ASSERT_GE(run.Progress.size(), 2u);
    EXPECT_LT(run.Progress[run.Progress.size() - 2].Percent, 100);
    EXPECT_EQ(run.Progress.back(), (TProgress{100, total, total}));
}

}  // namespace
}  // namespace corvane::mail
