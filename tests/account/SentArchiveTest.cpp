// The local archive of sent mail: Maildir names, and a message that reaches cur/ only whole,
// private to the user, and readable by Python's mailbox.Maildir as any mail program reads it.

#include "account/SentArchive.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "TempFolder.h"

namespace corvane::account {
namespace {

using namespace std::chrono_literals;

std::string Contents(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

unsigned Mode(const std::filesystem::path& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 0777u : 0u;
}

TEST(SentArchive, MaildirNamesAreUniqueByTimeProcessAndCountAndEscapeTheHost) {
    const auto at = std::chrono::system_clock::time_point(1765280000s + 42us);
    EXPECT_EQ(MaildirName(at, 4242, 7, "box.example"), "1765280000.M42P4242Q7.box.example");
    EXPECT_EQ(MaildirName(at, 1, 1, "a/b:c"), "1765280000.M42P1Q1.a\\057b\\072c");
    EXPECT_NE(MaildirName(at, 1, 1, "h"), MaildirName(at, 1, 2, "h"));
}

TEST(SentArchive, AMessageReachesCurOnlyWholeAndPrivateAndMailboxReadsIt) {
    test::TTempFolder home;
    const std::filesystem::path folder = home.Path() / "corvane" / "Sent";
    TMaildirWriter writer(folder);
    ASSERT_TRUE(writer.Begin()) << writer.Problem();
    const std::string longLine(300 * 1024, 'x');  // beyond the write buffer
    for (const std::string_view line : {std::string_view("Bcc: hidden@example.org"), std::string_view("Subject: Hi"),
                                        std::string_view(""), std::string_view(".dot stays"), std::string_view(longLine)}) {
        ASSERT_TRUE(writer.AddLine(line));
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder / "cur")) << "nothing in cur/ before the message is whole";
    const auto kept = writer.Commit();
    ASSERT_TRUE(kept.has_value()) << writer.Problem();
    EXPECT_TRUE(std::filesystem::is_empty(folder / "tmp"));
    EXPECT_EQ(Contents(*kept), "Bcc: hidden@example.org\r\nSubject: Hi\r\n\r\n.dot stays\r\n" + longLine + "\r\n");
    EXPECT_EQ(Mode(*kept), 0600u);
    EXPECT_EQ(Mode(folder), 0700u);
    EXPECT_TRUE(kept->filename().string().ends_with(":2,S"));

    const std::string python = "import mailbox, sys\n"
                               "box = mailbox.Maildir(sys.argv[1], create=False)\n"
                               "[message] = list(box)\n"
                               "sys.exit(0 if message['Bcc'] == 'hidden@example.org' and 'S' in message.get_flags() else 1)\n";
    std::ofstream(home.Path() / "read.py") << python;
    const std::string command = "/usr/bin/python3 '" + (home.Path() / "read.py").string() + "' '" + folder.string() + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);

    // A message given up on leaves nothing behind.
    TMaildirWriter abandoned(folder);
    ASSERT_TRUE(abandoned.Begin());
    ASSERT_TRUE(abandoned.AddLine("Subject: never sent"));
    abandoned.Discard();
    EXPECT_TRUE(std::filesystem::is_empty(folder / "tmp"));
}

TEST(SentArchive, AFolderThatCannotBeMadeIsSaidInWords) {
    test::TTempFolder home;
    std::ofstream(home.Path() / "corvane") << "a file where the folder would be";
    TMaildirWriter writer(home.Path() / "corvane" / "Sent");
    EXPECT_FALSE(writer.Begin());
    EXPECT_NE(writer.Problem().find("cannot make"), std::string::npos) << writer.Problem();
}

}  // namespace
}  // namespace corvane::account
