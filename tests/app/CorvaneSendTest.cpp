// corvane-send as a user runs it: a real process, a real server, exit codes and status.

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <filesystem>
#include <random>
#include <thread>

#include <sys/stat.h>

#include "AiosmtpdServer.h"
#include "DovecotServer.h"
#include "RegistryTestSupport.h"
#include "account/ServerSettings.h"
#include "ProgramProcess.h"
#include "LoopbackPorts.h"
#include "ScriptedSmtpServer.h"
#include "TempFolder.h"
#include "TestCertificates.h"
#include "mail/Base64.h"

namespace corvane::send {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using test::TProgramProcess;

std::vector<std::string> Command(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), CORVANE_SEND_BINARY);
    return arguments;
}

std::string RandomBytes(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::string data(count, '\0');
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    return data;
}

TEST(CorvaneSend, DeliversTextAndAttachmentsToARealServer) {
    test::TAiosmtpdServer server;
    ASSERT_TRUE(server.Running()) << server.Problem();
    test::TTempFolder folder;
    const std::vector<std::pair<std::string, std::string>> files{
        {"empty.bin", ""}, {"one.bin", "x"}, {"line.txt", RandomBytes(58, 1)},
        {"photo.jpg", RandomBytes(300 * 1024, 2)}};
    std::vector<std::string> arguments{"--server", "127.0.0.1:" + server.Port(),
                                       "--from", "Me <me@example.org>",
                                       "--to", "\"Doe, Jane\" <jane@example.org>",
                                       "--bcc=hidden@example.org", "--subject", "Report",
                                       "--priority", "1", "--header", "X-Run: 7"};
    for (const auto& [name, bytes] : files) {
        arguments.insert(arguments.end(), {"--attach", folder.WriteFile(name, bytes).string()});
    }
    TProgramProcess send(Command(arguments), "Hello\r\n.\nBye\n");
    ASSERT_TRUE(send.Started());
    ASSERT_EQ(send.WaitForExit(60s), 0) << send.Error();

    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->Defects, "");
    EXPECT_EQ(message->EnvelopeFrom, "me@example.org");
    EXPECT_EQ(message->EnvelopeTo, (std::vector<std::string>{"jane@example.org", "hidden@example.org"}));
    EXPECT_EQ(message->Header("Subject"), "Report");
    EXPECT_EQ(message->Header("X-MSMail-Priority"), "Highest");
    EXPECT_EQ(message->Header("X-Run"), "7");
    EXPECT_FALSE(message->Header("Bcc").has_value());
    EXPECT_NE(message->Text.find("Hello\r\n.\r\nBye"), std::string::npos) << message->Text;
    ASSERT_EQ(message->Attachments.size(), files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(message->Attachments[i].FileName, files[i].first);
        EXPECT_TRUE(message->Attachments[i].Data == files[i].second) << files[i].first;
    }
    // The window's status texts, in order, on standard error.
    const std::string& status = send.Error();
    const std::vector<std::string> expected{"Connecting 127.0.0.1:" + server.Port() + " . . .\n",
                                            "Connected: 127.0.0.1\n",
                                            "Start encoding empty.bin of 0 bytes.\n",
                                            "Start encoding photo.jpg of 307200 bytes.\n",
                                            "Finished encoding.\n",
                                            "Connected: Sending message . . . "};
    std::size_t at = 0;
    for (const auto& line : expected) {
        at = status.find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << status;
    }
    // The server's words accepting the mail come last.
    EXPECT_TRUE(status.ends_with("2.0.0 Stored as message-1\n")) << status;
}

// A server that offers PIPELINING gets the envelope as one group and every message intact,
// to one recipient and to a hundred.
TEST(CorvaneSend, AServerOfferingPipeliningReceivesEveryMessageWhole) {
    test::TAiosmtpdOptions options;
    options.Pipelining = true;
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    int number = 0;
    for (const int recipients : {1, 100}) {
        std::string to;
        std::vector<std::string> expected;
        for (int i = 0; i < recipients; ++i) {
            expected.push_back("r" + std::to_string(i) + "@example.org");
            to += (i == 0 ? "" : ", ") + expected.back();
        }
        TProgramProcess send(Command({"--server", "127.0.0.1:" + server.Port(), "--from", "me@example.org", "--to", to,
                                      "--subject", "To " + std::to_string(recipients)}),
                             "Hello\n.\nall of you\n");
        ASSERT_EQ(send.WaitForExit(60s), 0) << send.Error();
        const auto message = server.Message(++number);
        ASSERT_TRUE(message.has_value());
        EXPECT_EQ(message->Defects, "");
        EXPECT_EQ(message->EnvelopeTo, expected);
        EXPECT_EQ(message->Header("Subject"), "To " + std::to_string(recipients));
        EXPECT_NE(message->Text.find("Hello\r\n.\r\nall of you"), std::string::npos) << message->Text;
    }
}

TEST(CorvaneSend, FailuresSayWhatAndExitWithOne) {
    test::TRefusingPort refusing;
    ASSERT_TRUE(refusing.Valid());
    TProgramProcess refused(Command({"--server", "127.0.0.1:" + refusing.Port(), "--from", "a@example.org",
                                   "--to", "b@example.org"}),
                          "");
    EXPECT_EQ(refused.WaitForExit(30s), 1);
    EXPECT_NE(refused.Error().find("Error: 101 Failed to connect the mail server. 127.0.0.1:" +
                                   refusing.Port() + ": connection refused.\n"),
              std::string::npos)
        << refused.Error();

    TProgramProcess missing(Command({"--server", "127.0.0.1:" + refusing.Port(), "--from", "a@example.org",
                                   "--to", "b@example.org", "--attach", "/nonexistent/plan.pdf"}),
                          "");
    EXPECT_EQ(missing.WaitForExit(30s), 1);
    EXPECT_EQ(missing.Error(), "File /nonexistent/plan.pdf not found!\n");
}

// A server that takes one recipient and reads the message up to its end.
test::TSmtpScript UntilTheEnd() {
    return test::TSmtpScript()
        .Send("220 ready\r\n")
        .Expect("250 hi\r\n")
        .Expect("250 sender ok\r\n")
        .Expect("250 recipient ok\r\n")
        .Expect("354 go ahead\r\n")
        .ReadData();
}

test::TSmtpScript AcceptingSession() {
    return UntilTheEnd()
        .Send("250 Queued as 42\r\n")
        .Expect("221 bye\r\n");
}

// --quiet means no progress, as with git or rsync; why a send failed is still said.
TEST(CorvaneSend, QuietWritesNoProgressButEveryReasonItFailed) {
    struct TCase {
        test::TSmtpScript Script;
        int Exit;
        std::string Error;
    };
    for (const auto& row : std::vector<TCase>{
             {AcceptingSession(), 0, ""},
             {test::TSmtpScript().Send("220 ready\r\n").Expect("250 hi\r\n").Expect("550 No such sender\r\n"), 1,
              "Error: 550 No such sender\n"}}) {
        test::TScriptedSmtpServer server(row.Script);
        TProgramProcess send(Command({"--server", server.Host() + ":" + server.Port(), "--from", "a@example.org",
                                      "--to", "b@example.org", "--quiet"}),
                             "text\n");
        EXPECT_EQ(send.WaitForExit(30s), row.Exit);
        EXPECT_EQ(send.Error(), row.Error);
    }
}

// Status written into a pipe nobody reads any more (corvane-send ... 2>&1 | head -1) fails
// quietly; the mail still goes, and the exit status says so.
TEST(CorvaneSend, AClosedStatusPipeNeitherStopsTheSendNorChangesItsOutcome) {
    test::TScriptedSmtpServer server(AcceptingSession());
    TProgramProcess send(Command({"--server", server.Host() + ":" + server.Port(), "--from", "a@example.org", "--to",
                                  "b@example.org"}),
                         "text\n", TProgramProcess::EStandardError::Unread);
    ASSERT_TRUE(send.Started());
    EXPECT_EQ(send.WaitForExit(30s), 0);
    EXPECT_TRUE(server.WaitForReceived("\r\n.\r\nQUIT\r\n"));
}

TEST(CorvaneSend, UsageErrorsExitWithTwoAndSayWhy) {
    test::TRefusingPort refusing;  // never reached: each case ends before connecting
    ASSERT_TRUE(refusing.Valid());
    test::TTempFolder folder;
    const std::string sharedPassword = folder.WriteFile("password", "secret\n").string();
    std::filesystem::permissions(sharedPassword, std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write |
                                                     std::filesystem::perms::group_read);
    const auto to = [](const std::string& server, std::vector<std::string> more = {}) {
        more.insert(more.begin(), {"--server", server, "--from", "a@example.org", "--to", "b@example.org"});
        return more;
    };
    const std::string server = "127.0.0.1:" + refusing.Port();
    struct TCase {
        std::vector<std::string> Arguments;
        std::string Input;
        int Exit;
        std::string FirstErrorLine;
        std::string Output;
    };
    const std::vector<TCase> cases{
        {{"--from", "a@example.org", "--to", "b@example.org"}, "", 2, "corvane-send: --server is required", ""},
        {to("127.0.0.1:70000"), "", 2, "corvane-send: --server takes a port from 1 to 65535, not \"70000\"", ""},
        {to("127.0.0.1:5877x"), "", 2, "corvane-send: --server takes a port from 1 to 65535, not \"5877x\"", ""},
        {to("127.0.0.1:0"), "", 2, "corvane-send: --server takes a port from 1 to 65535, not \"0\"", ""},
        {to("[::1]:"), "", 2, "corvane-send: --server takes a port from 1 to 65535, not \"\"", ""},
        {to(server), "Line one\nabc\0defghij\n"s, 2,
         "corvane-send: the text holds a NUL byte at offset 12", ""},
        {to(server, {"--security", "starttls", "--user", "ada", "--password-file", sharedPassword}), "text\n", 2,
         "corvane-send: the password file " + sharedPassword +
             " is readable by group or others (mode 0640): make it yours alone with chmod 600 " + sharedPassword,
         ""},
        {to(server, {"--security", "tls", "--user", "ada", "--auth", "oauth2", "--token-command", "exit 4"}), "text\n",
         2, "corvane-send: the token command failed (exit status 4)", ""},
        {{"--version"}, "", 0, "", "corvane-send " CORVANE_VERSION "\n"},
        {{"--find-server", "gmail.com"}, "", 2,
         "corvane-send: --find-server takes a mail address (user@domain), not \"gmail.com\"", ""},
        // What is typed is judged before connecting: nothing can ride on an address or a header.
        {{"--server", server, "--from", "me@example.org> RET=FULL ENVID=x", "--to", "b@example.org"}, "", 2,
         "Error: 105 Invalid address: me@example.org> RET=FULL ENVID=x", ""},
        {to(server, {"--header", " boundary=\"evil\""}), "", 2,
         "Error: 112 The extra header line \" boundary=\"evil\"\" cannot be sent: it begins with a blank, which "
         "would join it to the header above it.",
         ""},
    };
    for (const auto& row : cases) {
        TProgramProcess send(Command(row.Arguments), row.Input);
        EXPECT_EQ(send.WaitForExit(30s), row.Exit) << row.FirstErrorLine;
        EXPECT_EQ(send.Error().substr(0, send.Error().find('\n')), row.FirstErrorLine);
        EXPECT_EQ(send.Output(), row.Output);
    }

    TProgramProcess help(Command({"--help"}), "");
    EXPECT_EQ(help.WaitForExit(30s), 0);
    EXPECT_TRUE(help.Output().starts_with("usage: corvane-send")) << help.Output();
}

// The text and signature are converted from the charset given into the UTF-8 the mail
// carries; input that is not valid there is a usage error naming where, and nothing is sent.
// The shipped provider table is asked before anything on the network, so this asks nothing.
TEST(CorvaneSend, FindServerPrintsTheOptionsTheProviderTableGives) {
    const std::string described =
        "smtp.gmail.com:465, SSL/TLS, user someone@gmail.com (from the provider table: Google Mail)\n";
    for (const auto& [quiet, status] :
         {std::pair{false, "Looking up the mail server for gmail.com . . .\n" + described}, {true, described}}) {
        std::vector<std::string> arguments{"--find-server", "Someone <someone@gmail.com>"};
        if (quiet) {
            arguments.push_back("--quiet");
        }
        TProgramProcess find(Command(arguments), "");
        EXPECT_EQ(find.WaitForExit(30s), 0) << find.Error();
        EXPECT_EQ(find.Output(), "--server smtp.gmail.com:465 --security tls --user someone@gmail.com\n");
        EXPECT_EQ(find.Error(), status);
    }
}

TEST(CorvaneSend, TextInAnotherCharsetArrivesAsTypedAndInvalidTextIsRefused) {
    test::TAiosmtpdServer server;
    ASSERT_TRUE(server.Running()) << server.Problem();
    test::TTempFolder folder;
    const auto latinSignature = folder.WriteFile("latin.txt", "-- \nJ\xfcrgen\n");
    const auto plainSignature = folder.WriteFile("plain.txt", "-- \nAnn\n");
    struct TRun {
        std::optional<int> Exit;
        std::string Error;
    };
    const auto run = [&](const std::string& charset, const std::string& text,
                         const std::filesystem::path& signature) {
        TProgramProcess process(
            Command({"--server", "127.0.0.1:" + server.Port(), "--from", "me@example.org", "--to", "b@example.org",
                     "--signature", signature.string(), "--charset", charset}),
            text);
        const auto exit = process.WaitForExit(60s);
        return TRun{exit, process.Error()};
    };
    const TRun latin = run("ISO-8859-15", "Gr\xfc\xdf" "e, 10 \xa4\n", latinSignature);
    ASSERT_EQ(latin.Exit, 0) << latin.Error;
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_EQ(message->Text, "Grüße, 10 €\r\n\r\n-- \r\nJürgen\r\n\r\n");

    struct TCase {
        std::string Charset;
        std::string Text;
        std::string Error;
    };
    for (const auto& row : std::vector<TCase>{
             {"UTF-8", "fine\nGr\xfc\xdf" "e\n", "corvane-send: the text is not valid UTF-8 at byte 7\n"},
             {"UTF-8", "cut \xe2\x82", "corvane-send: the text is not valid UTF-8 at byte 4\n"},
             {"ISO-8859-15", "Gr\xfc\0e\n"s, "corvane-send: the text holds a NUL byte at offset 3\n"},
             {"no-such-charset", "text\n", "corvane-send: unknown charset \"no-such-charset\"\n"}}) {
        const TRun refused = run(row.Charset, row.Text, plainSignature);
        EXPECT_EQ(refused.Exit, 2);
        EXPECT_EQ(refused.Error, row.Error);
    }
    EXPECT_FALSE(server.Message(2).has_value()) << "nothing more was sent";
}

// The server's answer to the end of the message decides the exit status: nothing after a
// 2xx (a closed connection, Ctrl+C while QUIT waits) makes it a failure, and no answer at all
// is 3, "it may have been delivered", never an invitation to send it twice.
TEST(CorvaneSend, TheServersAnswerToTheMessageDecidesTheExitStatus) {
    struct TCase {
        const char* Name;
        test::TSmtpScript Script;
        bool InterruptDuringQuit;
        int Exit;
        std::string LastLine;
    };
    const std::vector<TCase> cases{
        {"closed instead of answering QUIT", UntilTheEnd().Send("250 Queued as 42\r\n").ReadLine().Close(), false, 0,
         "Queued as 42"},
        {"Ctrl+C while QUIT waits", UntilTheEnd().Send("250 Queued as 42\r\n").ReadLine(), true, 0, "Queued as 42"},
        {"closed after the end of the message", UntilTheEnd().Close(), false, 3,
         "Error: 111 The server did not confirm the message; it may have been delivered. Check before sending again."},
        {"a reply that would rewrite the terminal",
         test::TSmtpScript().Send("220 ready\r\n").Expect("250 hi\r\n").Expect("550 <b>no</b>\x1B[2K gone\r\n"),
         false, 1, "Error: 550 <b>no</b>\\u001B[2K gone"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.Name);
        test::TScriptedSmtpServer server(row.Script);
        TProgramProcess send(Command({"--server", server.Host() + ":" + server.Port(), "--from", "a@example.org",
                                      "--to", "b@example.org"}),
                             "text\n");
        const auto started = std::chrono::steady_clock::now();
        if (row.InterruptDuringQuit) {
            ASSERT_TRUE(server.WaitForReceived("QUIT\r\n"));
            send.Signal(SIGINT);
        }
        EXPECT_EQ(send.WaitForExit(30s), row.Exit) << send.Error();
        EXPECT_LT(std::chrono::steady_clock::now() - started, 4s);  // the QUIT wait is 5 s
        EXPECT_TRUE(send.Error().ends_with(row.LastLine + "\n")) << send.Error();
    }
}

// A file far beyond the server's SIZE is refused before a byte of it is encoded, so the
// refusal costs no memory.
TEST(CorvaneSend, AnAttachmentBeyondTheServersSizeIsRefusedWithoutEncodingIt) {
    test::TTempFolder folder;
    const std::filesystem::path big = folder.Path() / "big.iso";
    std::ofstream(big).close();
    std::filesystem::resize_file(big, 300'000'000);  // sparse: no time, no disk
    test::TScriptedSmtpServer server(
        test::TSmtpScript().Send("220 ready\r\n").Expect("250-hi\r\n250 SIZE 100000000\r\n"));
    TProgramProcess send(Command({"--server", server.Host() + ":" + server.Port(), "--from", "a@example.org",
                                  "--to", "b@example.org", "--attach", big.string()}),
                         "text\n");
    EXPECT_EQ(send.WaitForExit(30s), 1);
    EXPECT_TRUE(send.Error().ends_with("Error: 106 The attachments alone make the message 410526316 bytes; the "
                                       "server takes at most 100000000.\n"))
        << send.Error();
    EXPECT_EQ(send.Error().find("Start encoding"), std::string::npos);
    RecordProperty("PeakKilobytes", static_cast<int>(send.PeakKilobytes()));
    // Encoding the file would take over 400 MB; AddressSanitizer's shadow memory alone makes
    // the program's baseline larger than the plain build's (13 MB).
#if defined(__SANITIZE_ADDRESS__)
    constexpr long limitKilobytes = 120 * 1024;
#else
    constexpr long limitKilobytes = 50 * 1024;
#endif
    EXPECT_LT(send.PeakKilobytes(), limitKilobytes);
}

// Whether the Base64 part after the attachment's headers in Message decodes to exactly the
// bytes of Original: empty when it does, else where it first differs. A line at a time, so
// that a message of any size is checked in little memory.
std::string AttachmentMismatch(const std::filesystem::path& message, const std::filesystem::path& original) {
    std::ifstream in(message, std::ios::binary);
    std::ifstream source(original, std::ios::binary);
    std::string line;
    while (std::getline(in, line) && !line.starts_with("Content-Disposition: attachment")) {
    }
    while (std::getline(in, line) && line != "\r") {
    }
    std::uint64_t offset = 0;
    std::string expected;
    while (std::getline(in, line) && line != "\r") {
        line.pop_back();  // the CR
        const auto bytes = mail::DecodeBase64(line);
        if (!bytes) {
            return "no Base64 after byte " + std::to_string(offset);
        }
        expected.resize(bytes->size());
        source.read(expected.data(), static_cast<std::streamsize>(expected.size()));
        if (static_cast<std::size_t>(source.gcount()) != expected.size() || expected != *bytes) {
            return "differs after byte " + std::to_string(offset);
        }
        offset += bytes->size();
    }
    return source.peek() == std::char_traits<char>::eof() ? "" : "ends early after byte " + std::to_string(offset);
}

// Attachments go out from a spool file in the temporary folder, so the program stays small
// for a file of any size; the folder is left empty however the send ends, and one that cannot
// take the spool (here the user's file size limit, as a full disk would) is a clear failure
// before a byte of the message goes.
TEST(CorvaneSend, AnAttachmentOfAnySizeGoesOutWholeFromAProgramThatStaysSmall) {
    test::TAiosmtpdOptions options;
    options.LargeMessages = true;
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    test::TTempFolder folder;
    const std::filesystem::path spool = folder.Path() / "tmp";
    std::filesystem::create_directory(spool);
    // Sparse, with marks inside, at its middle and at its very end. AddressSanitizer's builds
    // take a smaller one: its shadow memory and slower code would only measure themselves.
#if defined(__SANITIZE_ADDRESS__)
    constexpr std::uint64_t size = 128ull << 20;
#else
    constexpr std::uint64_t size = 1ull << 30;
#endif
    const std::filesystem::path big = folder.Path() / "big.iso";
    {
        std::ofstream out(big, std::ios::binary);
        for (const std::uint64_t at : {std::uint64_t{4096}, size / 2 + 7, size - 5}) {
            out.seekp(static_cast<std::streamoff>(at));
            out << "mark!";
        }
    }
    ASSERT_EQ(std::filesystem::file_size(big), size);
    const auto send = [&](std::vector<std::string> limit, const std::filesystem::path& file) {
        std::vector<std::string> command = Command({"--server", "127.0.0.1:" + server.Port(), "--from",
                                                    "a@example.org", "--to", "b@example.org", "--attach", file.string()});
        command.insert(command.begin(), "TMPDIR=" + spool.string());
        command.insert(command.begin(), "/usr/bin/env");
        command.insert(command.begin(), limit.begin(), limit.end());
        return std::make_unique<TProgramProcess>(command, "text\n");
    };

    const auto whole = send({}, big);
    ASSERT_EQ(whole->WaitForExit(240s), 0) << whole->Error();
    EXPECT_EQ(AttachmentMismatch(server.RawMessageFile(1), big), "");
    RecordProperty("PeakKilobytes", static_cast<int>(whole->PeakKilobytes()));
#if !defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(whole->PeakKilobytes(), 64 * 1024);
#endif
    EXPECT_TRUE(std::filesystem::is_empty(spool));

    const std::filesystem::path medium = folder.WriteFile("medium.bin", RandomBytes(16 << 20, 3));
    const auto tooLarge = send({"/usr/bin/prlimit", "--fsize=1000000"}, medium);
    EXPECT_EQ(tooLarge->WaitForExit(60s), 1) << tooLarge->Error();
    EXPECT_TRUE(tooLarge->Error().ends_with("Error: 114 The temporary folder " + spool.string() +
                                            " cannot hold the message: File too large.\n"))
        << tooLarge->Error();

    const auto interrupted = send({}, medium);
    ASSERT_TRUE(interrupted->WaitForError("Sending message . . . ", 60s)) << interrupted->Error();
    interrupted->Signal(SIGINT);
    EXPECT_EQ(interrupted->WaitForExit(30s), 130) << interrupted->Error();

    EXPECT_FALSE(std::filesystem::exists(server.RawMessageFile(2)));
    EXPECT_TRUE(std::filesystem::is_empty(spool));
}

TEST(CorvaneSend, InterruptCancelsPromptlyWhileTheServerIsSilent) {
    // The server accepts the connection and never greets.
    test::TScriptedSmtpServer server{test::TSmtpScript()};
    ASSERT_TRUE(server.Listening());
    TProgramProcess send(Command({"--server", "127.0.0.1:" + server.Port(), "--from", "a@example.org",
                                "--to", "b@example.org"}),
                       "text\n");
    ASSERT_TRUE(send.WaitForError("Connected: 127.0.0.1\n", 30s)) << send.Error();
    const auto interrupted = std::chrono::steady_clock::now();
    send.Signal(SIGINT);
    EXPECT_EQ(send.WaitForExit(10s), 130) << send.Error();
    const auto took = std::chrono::steady_clock::now() - interrupted;
    EXPECT_LT(took, 2s);  // generous: the engine's wait is interrupted, not timed out
    EXPECT_TRUE(send.Error().ends_with("Canceled: Ready for your mail.\n")) << send.Error();
    EXPECT_EQ(server.Received(), "");  // not even HELO
}

bool ShowsPassword(const TProgramProcess& process, const std::string& password) {
    return process.Output().find(password) != std::string::npos || process.Error().find(password) != std::string::npos;
}

TEST(CorvaneSend, SignsInOverStartTlsWithThePasswordFileAndNeverShowsIt) {
    const auto& certificates = test::TTestCertificates::Shared();
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    test::TTrustOnly trust(certificates.CaFile);
    const auto options = test::SignInRequired(test::TAiosmtpdOptions::ESecurity::StartTls, certificates.Loopback.Certificate,
                                              certificates.Loopback.Key, "ada", "right password");
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    test::TTempFolder folder;
    const auto command = [&](const std::string& passwordFile) {
        return Command({"--server", "127.0.0.1:" + server.Port(), "--from", "ada@example.org", "--to",
                        "bob@example.org", "--security", "starttls", "--user", "ada", "--password-file",
                        folder.WritePrivateFile(passwordFile, passwordFile + "\nsecond line\n").string()});
    };
    TProgramProcess refused(command("wrong password"), "text\n");
    EXPECT_EQ(refused.WaitForExit(60s), 1);
    EXPECT_NE(refused.Error().find("Error: 535 "), std::string::npos) << refused.Error();
    EXPECT_FALSE(ShowsPassword(refused, "wrong password"));

    TProgramProcess send(command("right password"), "Hello\n");
    ASSERT_EQ(send.WaitForExit(60s), 0) << send.Error();
    EXPECT_FALSE(ShowsPassword(send, "right password"));
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_NE(message->Tls, "");
    EXPECT_TRUE(message->Auth.ends_with(" ada")) << message->Auth;
    std::size_t at = 0;
    for (const std::string line : {"Connected: 127.0.0.1\n", "Starting encryption with 127.0.0.1 . . .\n",
                                   "Signing in as ada . . .\n", "Connected: Sending message . . ."}) {
        at = send.Error().find(line, at);
        ASSERT_NE(at, std::string::npos) << "missing or out of order: " << line << "\n" << send.Error();
    }
}

// The token comes from the user's command and goes only to the server: a stale one is refused
// with the server's words, the fresh one signs in, and neither is ever shown.
TEST(CorvaneSend, SignsInWithTheAccessTokenItsCommandPrints) {
    const auto& certificates = test::TTestCertificates::Shared();
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    test::TTrustOnly trust(certificates.CaFile);
    auto options = test::SignInRequired(test::TAiosmtpdOptions::ESecurity::ImplicitTls, certificates.Loopback.Certificate,
                                        certificates.Loopback.Key, "ada@example.org", "");
    options.AccessToken = "ya29.fresh-token";
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    const auto command = [&](const std::string& token) {
        return Command({"--server", "127.0.0.1:" + server.Port(), "--from", "ada@example.org", "--to",
                        "bob@example.org", "--security", "tls", "--user", "ada@example.org", "--auth", "oauth2",
                        "--token-command", "echo " + token});
    };
    TProgramProcess refused(command("ya29.stale-token"), "text\n");
    EXPECT_EQ(refused.WaitForExit(60s), 1);
    EXPECT_NE(refused.Error().find("Error: 535 "), std::string::npos) << refused.Error();
    EXPECT_NE(refused.Error().find("access token was refused"), std::string::npos) << refused.Error();
    EXPECT_FALSE(ShowsPassword(refused, "ya29.stale-token"));

    TProgramProcess send(command("ya29.fresh-token"), "Hello\n");
    ASSERT_EQ(send.WaitForExit(60s), 0) << send.Error();
    EXPECT_FALSE(ShowsPassword(send, "ya29.fresh-token"));
    const auto message = server.Message(1);
    ASSERT_TRUE(message.has_value());
    EXPECT_TRUE(message->Auth.starts_with("XOAUTH2 ")) << message->Auth;
}

TEST(CorvaneSend, WithoutAPasswordItExitsWithTwoNamingWhatIsMissing) {
    test::TTempFolder folder;
    const std::optional<std::string> savedBus =
        std::getenv("DBUS_SESSION_BUS_ADDRESS") ? std::optional<std::string>(std::getenv("DBUS_SESSION_BUS_ADDRESS"))
                                                : std::nullopt;
    ::setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + (folder.Path() / "no-bus").string()).c_str(), 1);
    const std::vector<std::string> arguments{"--server", "127.0.0.1", "--from", "a@example.org", "--to",
                                             "b@example.org", "--security", "starttls", "--user", "ada"};
    TProgramProcess noKeyring(Command(arguments), "");
    EXPECT_EQ(noKeyring.WaitForExit(30s), 2);
    EXPECT_NE(noKeyring.Error().find("ada@127.0.0.1:587"), std::string::npos) << noKeyring.Error();
    EXPECT_NE(noKeyring.Error().find("--password-file"), std::string::npos) << noKeyring.Error();
    EXPECT_EQ(noKeyring.Error().find("Connecting"), std::string::npos) << noKeyring.Error();
    if (savedBus) {
        ::setenv("DBUS_SESSION_BUS_ADDRESS", savedBus->c_str(), 1);
    } else {
        ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    }

    std::vector<std::string> withFile = arguments;
    withFile.insert(withFile.end(), {"--password-file", (folder.Path() / "missing").string()});
    TProgramProcess noFile(Command(withFile), "");
    EXPECT_EQ(noFile.WaitForExit(30s), 2);
    EXPECT_EQ(noFile.Error(), "corvane-send: cannot read a password from " + (folder.Path() / "missing").string() + "\n");
}

TEST(CorvaneSend, ACertificateTrustedByItsFingerprintIsAccepted) {
    const auto& certificates = test::TTestCertificates::Shared();
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    test::TTrustOnly trust(certificates.CaFile);
    test::TAiosmtpdOptions options;
    options.Security = test::TAiosmtpdOptions::ESecurity::ImplicitTls;
    options.CertificateFile = certificates.SelfSigned.Certificate;
    options.KeyFile = certificates.SelfSigned.Key;
    test::TAiosmtpdServer server(options);
    ASSERT_TRUE(server.Running()) << server.Problem();
    const std::vector<std::string> arguments{"--server", "127.0.0.1:" + server.Port(), "--from", "a@example.org",
                                             "--to", "b@example.org", "--security", "tls"};
    TProgramProcess refused(Command(arguments), "text\n");
    EXPECT_EQ(refused.WaitForExit(60s), 1);
    const std::string& fingerprint = certificates.SelfSigned.Sha256Fingerprint;
    EXPECT_NE(refused.Error().find("Error: 108 "), std::string::npos) << refused.Error();
    EXPECT_NE(refused.Error().find("--trust-fingerprint " + fingerprint + "\n"), std::string::npos) << refused.Error();
    EXPECT_FALSE(server.Message(1).has_value());

    std::vector<std::string> trusting = arguments;
    trusting.insert(trusting.end(), {"--trust-fingerprint", fingerprint});
    TProgramProcess send(Command(trusting), "text\n");
    EXPECT_EQ(send.WaitForExit(60s), 0) << send.Error();
    EXPECT_TRUE(server.Message(1).has_value());
}

// The files of one part (cur, tmp) of a Maildir folder, by name.
std::vector<std::filesystem::path> MaildirFiles(const std::filesystem::path& folder, const char* part) {
    std::vector<std::filesystem::path> files;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder / part, error)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// What was sent is kept as sent, Bcc included: in the local archive and in the Sent folder of
// a real IMAP server, as the options or the window's settings for the server ask. A copy the
// IMAP server refuses leaves the send successful and the archive whole.
TEST(CorvaneSend, KeepsWhatItSentInTheArchiveAndTheImapServersSentFolder) {
    const auto& certificates = test::TTestCertificates::Shared();
    ASSERT_TRUE(certificates.Made()) << certificates.Problem();
    test::TTrustOnly trust(certificates.CaFile);
    const test::TScratchRegistry home;  // the archive and the window's settings
    test::TAiosmtpdServer smtp(test::SignInRequired(test::TAiosmtpdOptions::ESecurity::StartTls,
                                                    certificates.Loopback.Certificate, certificates.Loopback.Key,
                                                    "jo", "secret"));
    ASSERT_TRUE(smtp.Running()) << smtp.Problem();
    test::TDovecotOptions imapOptions;
    imapOptions.CertificateFile = certificates.Loopback.Certificate;
    imapOptions.KeyFile = certificates.Loopback.Key;
    const test::TDovecotServer imap(imapOptions);
    ASSERT_TRUE(imap.Running()) << imap.Problem();
    imapOptions.Password = "another";  // the send's password does not sign in here
    const test::TDovecotServer refusing(imapOptions);
    ASSERT_TRUE(refusing.Running()) << refusing.Problem();
    const std::string smtpServer = "127.0.0.1:" + smtp.Port();
    const auto at = [](const test::TDovecotServer& server, int port) { return server.Host() + ":" + std::to_string(port); };
    account::TServerSettings window;  // a send that names no IMAP server follows these
    window.CopyToSent = true;
    window.ImapServer = at(imap, imap.StartTlsPort());
    window.ImapSecurity = mail::ESecurity::StartTls;
    ASSERT_TRUE(account::SaveServerSettings(smtpServer, window));

    test::TTempFolder folder;
    const std::string passwordFile = folder.WritePrivateFile("password", "secret\n").string();
    struct TCase {
        std::vector<std::string> Arguments;
        std::size_t Archived;  // messages in the archive after the send
        std::size_t Copied;    // in the Sent folder of the server that takes the password
        std::string Said;      // the last line written
    };
    const std::vector<TCase> cases{
        {{"--imap-server", at(imap, imap.TlsPort())}, 1, 1, "Saved a copy to Sent on 127.0.0.1.\n"},
        {{"--no-archive"}, 1, 2, "Saved a copy to Sent on 127.0.0.1.\n"},
        {{"--imap-server", at(refusing, refusing.TlsPort())}, 2, 2, "Successful; the copy to Sent failed: "},
        {{"--no-archive", "--no-sent-copy"}, 2, 2, "2.0.0 Stored as message-"},
    };
    const std::filesystem::path archive = home.Folder() / "corvane" / "Sent";
    for (std::size_t row = 0; row < cases.size(); ++row) {
        std::vector<std::string> arguments{"--server", smtpServer, "--security", "starttls", "--user", "jo",
                                           "--password-file", passwordFile, "--from", "jo@example.org",
                                           "--to", "ann@example.org", "--bcc", "hidden@example.org",
                                           "--subject", "Kept " + std::to_string(row)};
        arguments.insert(arguments.end(), cases[row].Arguments.begin(), cases[row].Arguments.end());
        TProgramProcess send(Command(arguments), "A line\n.a line with a dot\n");
        ASSERT_EQ(send.WaitForExit(60s), 0) << send.Error();
        EXPECT_NE(send.Error().rfind(cases[row].Said), std::string::npos) << row << ": " << send.Error();
        EXPECT_EQ(MaildirFiles(archive, "cur").size(), cases[row].Archived) << row;
        EXPECT_EQ(imap.Messages("Sent Items").size(), cases[row].Copied) << row << imap.Log();
    }
    EXPECT_TRUE(refusing.Messages("Sent Items").empty());
    EXPECT_TRUE(MaildirFiles(archive, "tmp").empty());

    // The first message, as the archive and the server keep it: the same bytes, seen, private.
    // (Maildir names order messages of one second by microseconds written without leading
    // zeros: the subject says which is which.)
    const auto isFirst = [](const std::string& bytes) { return bytes.find("\r\nSubject: Kept 0\r\n") != std::string::npos; };
    const auto files = MaildirFiles(archive, "cur");
    const auto kept = std::find_if(files.begin(), files.end(), [&](const auto& file) { return isFirst(test::ReadWholeFile(file)); });
    const auto copies = imap.Messages("Sent Items");
    const auto copied = std::find_if(copies.begin(), copies.end(), [&](const auto& stored) { return isFirst(stored.Bytes); });
    ASSERT_NE(kept, files.end());
    ASSERT_NE(copied, copies.end());
    const std::filesystem::path first = *kept;
    const auto copy = *copied;
    const std::string keptBytes = test::ReadWholeFile(first);
    EXPECT_EQ(copy.Bytes, keptBytes);
    EXPECT_EQ(copy.Flags, "S");
    EXPECT_TRUE(first.filename().string().ends_with(":2,S")) << first;
    struct stat status {};
    ASSERT_EQ(::stat(first.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    EXPECT_TRUE(keptBytes.starts_with("Bcc: hidden@example.org\r\n")) << keptBytes.substr(0, 200);
    EXPECT_NE(keptBytes.find("\r\n.a line with a dot\r\n"), std::string::npos);
    const auto sent = smtp.Message(1);
    ASSERT_TRUE(sent.has_value());
    EXPECT_FALSE(sent->Header("Bcc").has_value());
    EXPECT_EQ(keptBytes.substr(keptBytes.find("\r\n") + 2), sent->Raw);
}

// Killed while the message is on its way, the program leaves nothing where a mail program
// looks: the unfinished copy stays in tmp/, which readers skip, and cur/ holds no message.
TEST(CorvaneSend, AKillDuringTheSendLeavesNoMessageInTheArchive) {
    const test::TScratchRegistry home;
    test::TScriptedSmtpServer server{test::TSmtpScript()
                                         .Send("220 ready\r\n")
                                         .Expect("250 ok\r\n")
                                         .Expect("250 ok\r\n")
                                         .Expect("250 ok\r\n")
                                         .Expect("354 go ahead\r\n")
                                         .StopReading()};
    ASSERT_TRUE(server.Listening());
    test::TTempFolder folder;
    TProgramProcess send(Command({"--server", "127.0.0.1:" + server.Port(), "--from", "a@example.org", "--to",
                                  "b@example.org", "--attach", folder.WriteFile("big.bin", RandomBytes(8 << 20, 3)).string()}),
                         "text\n");
    ASSERT_TRUE(server.WaitForReceived("DATA\r\n", 30s)) << send.Error() << server.Problem();
    const std::filesystem::path archive = home.Folder() / "corvane" / "Sent";
    // The server reads no more: the writes stall on full socket buffers, part of the message
    // on its way and part of it in tmp/.
    const auto started = [&] {
        const auto files = MaildirFiles(archive, "tmp");
        return !files.empty() && std::filesystem::file_size(files.front()) > 0;
    };
    const auto limit = std::chrono::steady_clock::now() + 10s;
    while (!started() && std::chrono::steady_clock::now() < limit) {
        std::this_thread::sleep_for(20ms);
    }
    ASSERT_TRUE(started());
    send.Signal(SIGKILL);
    EXPECT_EQ(send.WaitForExit(10s), 128 + SIGKILL);
    EXPECT_TRUE(MaildirFiles(archive, "cur").empty());
    EXPECT_EQ(MaildirFiles(archive, "tmp").size(), 1u);
}

}  // namespace
}  // namespace corvane::send
