// One window per settings store, over the real local socket: the running copy answers on this
// thread's event loop while a later start, or a client that speaks the protocol badly, runs
// on a thread of its own, as it would in a process of its own (the store's lock is per open
// file, so a second one in this process is refused it just the same).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
#include <chrono>
#include <future>

#include "TempFolder.h"
#include "app/SingleInstance.h"

namespace corvane::app {
namespace {

using namespace std::chrono_literals;
using EStart = TSingleInstance::EStart;

class SingleInstanceTest : public ::testing::Test {
protected:
    SingleInstanceTest() {
        first.OnShowRequest = [this] {
            ++shown;
            return showing;
        };
        first.OnOpenRequest = [this](const QStringList& arguments) { opened.push_back(arguments); };
    }

    // Work's result, from a thread of its own, while this thread answers (bounded: every wait
    // in Work is).
    template <typename TWork>
    auto WhileAnswering(TWork work) {
        auto result = std::async(std::launch::async, work);
        while (result.wait_for(0s) != std::future_status::ready) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        Settle();
        return result.get();
    }

    // What the running copy posts to itself after an answer has run.
    static void Settle() {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 200) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
    }

    EStart LaterStart(const QStringList& arguments, std::chrono::milliseconds wait = 5s) {
        return WhileAnswering([this, arguments, wait] { return TSingleInstance(store).Start(wait, arguments); });
    }

    // The running copy's whole answer to Request, read until it hangs up.
    QByteArray Exchange(const QByteArray& request) {
        return WhileAnswering([this, request] {
            QLocalSocket socket;
            socket.connectToServer(TSingleInstance::ServerName(store));
            if (!socket.waitForConnected(2000)) {
                return QByteArray("(no connection)");
            }
            socket.write(request);
            while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(2000)) {
            }
            QByteArray answer;
            while (socket.waitForReadyRead(4000)) {
                answer += socket.readAll();
            }
            return answer;
        });
    }

    test::TTempFolder folder;
    const QString store = QString::fromStdString((folder.Path() / "corvane").string());
    TSingleInstance first{store};
    int shown = 0;
    bool showing = true;
    std::vector<QStringList> opened;
};

TEST_F(SingleInstanceTest, ALaterStartHandsItsArgumentsToTheRunningWindowAndAPlainOneOnlyShowsIt) {
    ASSERT_EQ(first.Start(), EStart::First);
    const QStringList arguments{QStringLiteral("mailto:a@x.example?subject=caf%C3%A9&body=a%0D%0Ab"),
                                QStringLiteral("/home/u/Bericht M\u00e4rz\nzwei.txt"), QString()};

    EXPECT_EQ(LaterStart(arguments), EStart::HandedOver);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(opened, std::vector<QStringList>{arguments});

    EXPECT_EQ(LaterStart({}), EStart::HandedOver);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(opened.size(), 1u);

    // A window that cannot be shown now takes nothing; the later start gives up at its wait.
    showing = false;
    EXPECT_EQ(LaterStart(arguments, 1500ms), EStart::NoAnswer);
    EXPECT_EQ(opened.size(), 1u);
}

TEST_F(SingleInstanceTest, AMalformedOrUnfinishedRequestIsDroppedAndTheWindowStillAnswers) {
    ASSERT_EQ(first.Start(), EStart::First);
    const QByteArray refused("refused\n");
    EXPECT_EQ(Exchange("hello\n"), refused);
    EXPECT_EQ(Exchange(QByteArray(100, 'x')), refused) << "a first line without its end";
    EXPECT_EQ(Exchange("open -1\n"), refused);
    EXPECT_EQ(Exchange("open 99999999\n"), refused);
    EXPECT_EQ(Exchange("open " + QByteArray::number(TSingleInstance::MaxRequestBytes + 1) + "\n"), refused);
    EXPECT_EQ(Exchange("open 2\nab"), refused) << "an argument without its NUL";
    const QByteArray tooMany(TSingleInstance::MaxArguments + 1, '\0');
    EXPECT_EQ(Exchange("open " + QByteArray::number(tooMany.size()) + "\n" + tooMany), refused);
    EXPECT_EQ(Exchange("open 10\nabc"), QByteArray()) << "dropped when the rest does not come";
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(opened.empty());

    // The largest request there may be still goes through.
    const QStringList largest{QString(TSingleInstance::MaxRequestBytes - 1, QLatin1Char('f'))};
    ASSERT_TRUE(TSingleInstance::FitsRequest(largest));
    EXPECT_FALSE(TSingleInstance::FitsRequest({largest[0] + QLatin1Char('f')}));
    EXPECT_EQ(LaterStart(largest), EStart::HandedOver);
    EXPECT_EQ(opened, std::vector<QStringList>{largest});
}

}  // namespace
}  // namespace corvane::app
