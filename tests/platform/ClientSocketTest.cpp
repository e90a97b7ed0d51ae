// TClientSocket's connect: why it failed, and a name lookup held to the deadline and to
// Interrupt. Names are looked up by resolvers of the test's own, so nothing leaves loopback.

#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "LoopbackPorts.h"
#include "ScriptedSmtpServer.h"
#include "platform/net/ClientSocket.h"

namespace corvane {
namespace {

using namespace std::chrono_literals;
using net::EConnectProblem;
using net::ESocketStatus;
using net::TClientSocket;
using net::TLookupResult;

net::TDeadline In(std::chrono::milliseconds time) {
    return net::TClock::now() + time;
}

// ---- Open's outcome and reason -----------------------------------------------------------

// Answers every name with the refusing or the listening loopback port's address, or fails.
net::TResolver AnswerWith(int lookupError, const std::string& address = "") {
    return [lookupError, address](const std::string&, int port) {
        return lookupError != 0 ? TLookupResult{lookupError, {}}
                                : net::ResolveNumeric(address, port);
    };
}

struct TOpenCase {
    const char* Label;
    bool ByName;  // through the lookup thread; else the address literal itself
    int LookupError;
    bool Listening;  // a server that accepts; else a port that refuses
    ESocketStatus Status;
    EConnectProblem Problem;
};
void PrintTo(const TOpenCase& row, std::ostream* out) {
    *out << row.Label;
}

class ClientSocketOpen : public ::testing::TestWithParam<TOpenCase> {};

TEST_P(ClientSocketOpen, SaysWhyItFailed) {
    const TOpenCase& row = GetParam();
    const test::TRefusingPort refusing;
    const test::TScriptedSmtpServer listening(test::TSmtpScript{});
    ASSERT_TRUE(refusing.Valid() && listening.Listening());
    const std::string port = row.Listening ? listening.Port() : refusing.Port();
    TClientSocket socket(AnswerWith(row.LookupError, "127.0.0.1"));

    const ESocketStatus status = socket.Open(row.ByName ? "mail.example.invalid" : "127.0.0.1",
                                             false, std::stoi(port), In(5s));

    EXPECT_EQ(status, row.Status);
    EXPECT_EQ(socket.OpenProblem(), row.Problem);
    EXPECT_EQ(socket.IsOpen(), status == ESocketStatus::Ok);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, ClientSocketOpen,
    ::testing::Values(
        TOpenCase{"RefusedAddress", false, 0, false, ESocketStatus::Failed,
                  EConnectProblem::Refused},
        TOpenCase{"RefusedName", true, 0, false, ESocketStatus::Failed, EConnectProblem::Refused},
        TOpenCase{"ListeningName", true, 0, true, ESocketStatus::Ok, EConnectProblem::None},
        TOpenCase{"UnknownName", true, EAI_NONAME, true, ESocketStatus::Failed,
                  EConnectProblem::NoSuchHost},
        TOpenCase{"NameServiceDown", true, EAI_AGAIN, true, ESocketStatus::Failed,
                  EConnectProblem::LookupFailed}),
    [](const auto& each) { return std::string(each.param.Label); });

// ---- A lookup that hangs ------------------------------------------------------------------

// Holds a lookup until released. Shared with the lookup thread, which may outlive the
// socket and the test's scope.
class TLookupGate {
public:
    void Hold() {
        std::unique_lock lock(m_mutex);
        m_entered = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
    }
    bool WaitUntilHeld() {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, 5s, [this] { return m_entered; });
    }
    void Release() {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_entered = false;
    bool m_released = false;
};

// Hangs in Gate, then answers with loopback.
net::TResolver HangingResolver(std::shared_ptr<TLookupGate> gate) {
    return [gate = std::move(gate)](const std::string&, int port) {
        gate->Hold();
        return net::ResolveNumeric("127.0.0.1", port);
    };
}

std::size_t OpenDescriptors() {
    const std::filesystem::directory_iterator fds("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(fds), end(fds)));
}

enum class EEnd { Deadline, Interrupt };

void PrintTo(EEnd end, std::ostream* out) {
    *out << (end == EEnd::Deadline ? "Deadline" : "Interrupt");
}

class ClientSocketHungLookup : public ::testing::TestWithParam<EEnd> {};

TEST_P(ClientSocketHungLookup, EndsOpenAndIsAbandonedHarmlessly) {
    const bool byDeadline = GetParam() == EEnd::Deadline;
    const std::size_t descriptorsBefore = OpenDescriptors();
    const auto gate = std::make_shared<TLookupGate>();
    {
        TClientSocket socket(HangingResolver(gate));
        auto interrupter = std::async(std::launch::async, [&] {
            if (!byDeadline && gate->WaitUntilHeld()) {
                socket.Interrupt();
            }
        });
        const auto started = net::TClock::now();
        const ESocketStatus status =
            socket.Open("hung.example.invalid", false, 25, In(byDeadline ? 300ms : 20s));
        const auto took = net::TClock::now() - started;
        interrupter.get();

        EXPECT_EQ(status, byDeadline ? ESocketStatus::TimedOut : ESocketStatus::Interrupted);
        EXPECT_EQ(socket.OpenProblem(),
                  byDeadline ? EConnectProblem::TimedOut : EConnectProblem::None);
        EXPECT_GE(took, byDeadline ? 300ms : 0ms);
        EXPECT_LT(took, 5s);
        EXPECT_TRUE(gate->WaitUntilHeld());
    }
    // The socket is gone; the lookup now finishes into state only its thread holds, which
    // must then free it and close its descriptor (ASan watches the rest).
    gate->Release();
    const auto limit = net::TClock::now() + 5s;
    while (OpenDescriptors() != descriptorsBefore && net::TClock::now() < limit) {
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
}

INSTANTIATE_TEST_SUITE_P(Ends, ClientSocketHungLookup,
                         ::testing::Values(EEnd::Deadline, EEnd::Interrupt), [](const auto& each) {
                             return each.param == EEnd::Deadline ? "Deadline" : "Interrupt";
                         });

}  // namespace
}  // namespace corvane
