#include "app/send/TokenCommand.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>

#include <cerrno>
#include <charconv>
#include <sstream>
#include <thread>

namespace corvane::send {
namespace {

using namespace std::chrono_literals;
using TClock = std::chrono::steady_clock;

// Whether every process of the group Pgid has ended within a second. The test is made their
// subreaper, so a member its shell left behind is reaped here, not by an init that may never.
bool GroupGone(pid_t pgid) {
    const auto deadline = TClock::now() + 1s;
    while (::kill(-pgid, 0) == 0) {
        while (::waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        if (TClock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return errno == ESRCH;
}

// Each command first writes its shell's process id, which is its process group's id, as the
// first line of its standard error.
pid_t TakeGroupId(std::string& errors) {
    const std::size_t end = errors.find('\n');
    pid_t pgid = -1;
    std::from_chars(errors.data(), errors.data() + std::min(end, errors.size()), pgid);
    errors.erase(0, end == std::string::npos ? end : end + 1);
    return pgid;
}

TEST(TokenCommand, TheFirstLineIsTheTokenAndEveryOtherEndIsBoundedAndSaid) {
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const std::string token = "ya29.a0-Bx_9~c+d/e==";
    struct TCase {
        std::string Command;
        std::chrono::milliseconds Limit = 10s;
        std::optional<std::chrono::milliseconds> InterruptAfter;
        std::optional<std::string> Token;
        std::string Problem;
        std::string Errors;  // what reaches the error stream besides the group id
    };
    const std::vector<TCase> cases{
        {"printf '%s\\r\\nexpires in 3599 s\\n' " + token, 10s, {}, token, "", ""},
        {"echo " + token + "; echo 'account locked' >&2; exit 1", 10s, {}, {},
         "the token command failed (exit status 1)", "account locked\n"},
        {"sleep 30", 300ms, {}, {}, "the token command did not finish within 300 ms", ""},
        // The background job keeps standard output open after the shell has ended.
        {"echo " + token + "; sleep 30 &", 10s, {}, token, "", ""},
        {"true", 10s, {}, {}, "the token command printed no token", ""},
        {"echo 'Bearer " + token + "'", 10s, {}, {},
         "the token command printed a token with a space, a control character or a non-ASCII character in it", ""},
        {"printf 'ya29\\033[2J%s\\n' " + token, 10s, {}, {},
         "the token command printed a token with a space, a control character or a non-ASCII character in it", ""},
        {"kill -9 $$", 10s, {}, {}, "the token command was killed by signal 9", ""},
        {"head -c 70000 /dev/zero | tr '\\0' a; sleep 30", 10s, {}, {},
         "the token command printed more than 64 KiB, which is no token", ""},
        {"sleep 30", 10s, 200ms, {}, "", ""},
    };
    for (const auto& row : cases) {
        std::atomic<bool> interrupted{false};
        std::jthread interrupter;
        if (row.InterruptAfter) {
            interrupter = std::jthread([&interrupted, &row] {
                std::this_thread::sleep_for(*row.InterruptAfter);
                interrupted = true;
            });
        }
        std::ostringstream errorStream;
        const auto start = TClock::now();
        TTokenCommandResult result = RunTokenCommand("echo $$ >&2; " + row.Command, errorStream, interrupted, row.Limit);
        const auto took = TClock::now() - start;
        std::string errors = errorStream.str();
        const pid_t pgid = TakeGroupId(errors);

        EXPECT_EQ(result.Token, row.Token) << row.Command;
        EXPECT_EQ(result.Problem, row.Problem) << row.Command;
        EXPECT_EQ(result.Cancelled, row.InterruptAfter.has_value()) << row.Command;
        EXPECT_EQ(errors, row.Errors) << row.Command;
        EXPECT_EQ(errors.find(token), std::string::npos) << row.Command;
        EXPECT_EQ(result.Problem.find(token), std::string::npos) << row.Command;
        EXPECT_LT(took, 1s) << row.Command;
        ASSERT_GT(pgid, 1) << row.Command;
        EXPECT_TRUE(GroupGone(pgid)) << row.Command;
    }
}

}  // namespace
}  // namespace corvane::send
