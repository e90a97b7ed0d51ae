// corvane-send as a user runs it: a real process, a real server, exit codes and status.

#include <gtest/gtest.h>

#include <csignal>
#include <random>

#include "AiosmtpdServer.h"
#include "ProgramProcess.h"
#include "LoopbackPorts.h"
#include "ScriptedSmtpServer.h"
#include "TempFolder.h"

namespace corvane::send {
namespace {

using namespace std::chrono_literals;
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

TEST(CorvaneSend, FailuresSayWhatAndExitWithOne) {
    test::TRefusingPort refusing;
    ASSERT_TRUE(refusing.Valid());
    TProgramProcess refused(Command({"--server", "127.0.0.1:" + refusing.Port(), "--from", "a@example.org",
                                   "--to", "b@example.org"}),
                          "");
    EXPECT_EQ(refused.WaitForExit(30s), 1);
    EXPECT_NE(refused.Error().find("Error: 101 Failed to connect the mail server.\n"), std::string::npos)
        << refused.Error();

    TProgramProcess missing(Command({"--server", "127.0.0.1:" + refusing.Port(), "--from", "a@example.org",
                                   "--to", "b@example.org", "--attach", "/nonexistent/plan.pdf"}),
                          "");
    EXPECT_EQ(missing.WaitForExit(30s), 1);
    EXPECT_EQ(missing.Error(), "File /nonexistent/plan.pdf not found!\n");

    test::TScriptedSmtpServer server(
        test::TSmtpScript().Send("220 ready\r\n").Expect("250 hi\r\n").Expect("550 No such sender\r\n"));
    TProgramProcess rejected(Command({"--server", server.Host() + ":" + server.Port(), "--from", "a@example.org",
                                    "--to", "b@example.org", "--quiet"}),
                           "text\n");
    EXPECT_EQ(rejected.WaitForExit(30s), 1);
    EXPECT_EQ(rejected.Error(), "");  // --quiet
}

TEST(CorvaneSend, UsageErrorsExitWithTwo) {
    TProgramProcess noServer(Command({"--from", "a@example.org", "--to", "b@example.org"}), "");
    EXPECT_EQ(noServer.WaitForExit(30s), 2);
    EXPECT_NE(noServer.Error().find("--server is required"), std::string::npos);
    EXPECT_NE(noServer.Error().find("usage: corvane-send"), std::string::npos);

    TProgramProcess help(Command({"--help"}), "");
    EXPECT_EQ(help.WaitForExit(30s), 0);
    EXPECT_NE(help.Output().find("usage: corvane-send"), std::string::npos);
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

}  // namespace
}  // namespace corvane::send
