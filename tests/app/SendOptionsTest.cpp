#include "app/send/SendOptions.h"

#include <gtest/gtest.h>

#include <sstream>

#include "app/send/SendJob.h"

namespace corvane::send {
namespace {

TParseResult Parse(std::vector<std::string> arguments) { return ParseSendOptions(arguments); }

std::string UsageErrorOf(const TParseResult& result) {
    const auto* error = std::get_if<TUsageError>(&result);
    return error == nullptr ? "<no usage error>" : error->Message;
}

TEST(SendOptions, EveryOptionInBothSpellings) {
    const auto parsed = Parse({"--server", "[::1]:2525", "--from=me@example.org", "--to", "a@example.org, b@example.org",
                               "--cc", "c@example.org", "--bcc=d@example.org", "--subject", "Hello = world",
                               "--attach", "one.txt", "--attach=two.txt", "--signature", "sig.txt",
                               "--priority", "2", "--organization", "Org", "--x-mailer", "Corvane",
                               "--header", "X-A: 1", "--header=X-B: 2", "--reply-to", "r@example.org",
                               "--in-reply-to", "<id@example.org>", "--quiet"});
    ASSERT_TRUE(std::holds_alternative<TSendOptions>(parsed)) << UsageErrorOf(parsed);
    const auto& options = std::get<TSendOptions>(parsed);
    EXPECT_EQ(options.Server, "[::1]:2525");
    EXPECT_EQ(options.From, "me@example.org");
    EXPECT_EQ(options.To, "a@example.org, b@example.org");
    EXPECT_EQ(options.Cc, "c@example.org");
    EXPECT_EQ(options.Bcc, "d@example.org");
    EXPECT_EQ(options.Subject, "Hello = world");
    EXPECT_EQ(options.Attachments, (std::vector<std::string>{"one.txt", "two.txt"}));
    EXPECT_EQ(options.SignatureFile, "sig.txt");
    EXPECT_EQ(options.Priority, 2);
    EXPECT_EQ(options.Organization, "Org");
    EXPECT_EQ(options.XMailer, "Corvane");
    EXPECT_EQ(options.Headers, (std::vector<std::string>{"X-A: 1", "X-B: 2"}));
    EXPECT_EQ(options.ReplyTo, "r@example.org");
    EXPECT_EQ(options.InReplyTo, "<id@example.org>");
    EXPECT_TRUE(options.Quiet);
}

TEST(SendOptions, MistakesAreUsageErrorsThatSayWhat) {
    const std::vector<std::string> minimal{"--server", "h", "--from", "f", "--to", "t"};
    const auto with = [&minimal](std::vector<std::string> more) {
        more.insert(more.begin(), minimal.begin(), minimal.end());
        return Parse(more);
    };
    EXPECT_EQ(UsageErrorOf(Parse({"--from", "f", "--to", "t"})), "--server is required");
    EXPECT_EQ(UsageErrorOf(Parse({"--server", "h", "--to", "t"})), "--from is required");
    EXPECT_EQ(UsageErrorOf(Parse({"--server", "h", "--from", "f"})), "--to is required");
    EXPECT_EQ(UsageErrorOf(with({"--subject"})), "--subject needs a value");
    EXPECT_EQ(UsageErrorOf(with({"--colour", "red"})), "unknown argument \"--colour\"");
    EXPECT_EQ(UsageErrorOf(with({"--quiet=yes"})), "--quiet takes no value");
    for (const char* bad : {"0", "6", "two", "1x", ""}) {
        EXPECT_NE(UsageErrorOf(with({"--priority", bad})).find("1 (highest) to 5 (lowest)"),
                  std::string::npos)
            << bad;
    }
    EXPECT_TRUE(std::holds_alternative<THelpRequested>(with({"--help"})));
    EXPECT_TRUE(std::holds_alternative<TSendOptions>(with({})));
}

TEST(SendText, LinesSplitAtLfWithOptionalCr) {
    std::istringstream text("one\r\ntwo\n\nthree");
    EXPECT_EQ(ReadLines(text), (std::vector<std::string>{"one", "two", "", "three"}));
    std::istringstream ending("last\n");
    EXPECT_EQ(ReadLines(ending), (std::vector<std::string>{"last"}));
    std::istringstream nothing("");
    EXPECT_TRUE(ReadLines(nothing).empty());
}

TEST(SendJob, MissingAttachmentIsReportedBeforeConnecting) {
    TSendOptions options;
    options.Server = "127.0.0.1:1";  // never reached
    options.From = "me@example.org";
    options.To = "you@example.org";
    options.Attachments = {"/nonexistent/corvane/letter.pdf"};
    std::istringstream text("hello\n");
    std::ostringstream status;
    mail::TWrenSMTP smtp;
    const std::atomic<bool> interrupted{false};
    EXPECT_EQ(RunSend(options, text, status, smtp, interrupted), ExitFailed);
    // Nothing else: not even "Connecting ...".
    EXPECT_EQ(status.str(), "File /nonexistent/corvane/letter.pdf not found!\n");
}

}  // namespace
}  // namespace corvane::send
