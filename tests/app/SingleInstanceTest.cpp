// One window per settings store, over the real local socket: the running copy answers on this
// thread's event loop while a later start, or a client that speaks the protocol badly, runs
// on a thread of its own as it would in a process of its own (the store's lock is per open
// file, so this process is refused it a second time just the same).

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalSocket>
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
        first.OnShowRequest = [this] { return ++shown > 0; };
        first.OnOpenRequest = [this](const QStringList& arguments) { opened.push_back(arguments); };
    }

    // Work's result, from a thread of its own, while this thread answers; then a moment more
    // for what the running copy posts to itself. Every wait in Work is bounded.
    template <typename TWork>
    auto WhileAnswering(TWork work) {
        auto result = std::async(std::launch::async, work);
        QElapsedTimer settled;
        while (result.wait_for(0s) != std::future_status::ready || !settled.isValid() || settled.elapsed() < 200) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (!settled.isValid() && result.wait_for(0s) == std::future_status::ready) {
                settled.start();
            }
        }
        return result.get();
    }

    EStart LaterStart(const QStringList& arguments) {
        return WhileAnswering([this, arguments] { return TSingleInstance(store).Start(5s, arguments); });
    }

    // The running copy's whole answer to Request, read until it hangs up.
    QByteArray Exchange(const QByteArray& request) {
        return WhileAnswering([this, request] {
            QLocalSocket socket;
            socket.connectToServer(TSingleInstance::ServerName(store));
            QByteArray answer = socket.waitForConnected(2000) ? QByteArray() : QByteArray("(no connection)");
            socket.write(request);
            while (socket.bytesToWrite() > 0 && socket.waitForBytesWritten(2000)) {
            }
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
    std::vector<QStringList> opened;
};

TEST_F(SingleInstanceTest, ALaterStartHandsItsArgumentsOverAndAPlainOneOnlyShowsTheWindow) {
    ASSERT_EQ(first.Start(), EStart::First);
    const QStringList arguments{QStringLiteral("mailto:a@x.example?subject=caf%C3%A9&body=a%0D%0Ab"),
                                QStringLiteral("/home/u/Bericht M\u00e4rz\nzwei.txt"), QString()};
    EXPECT_EQ(LaterStart(arguments), EStart::HandedOver);
    EXPECT_EQ(LaterStart({}), EStart::HandedOver);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(opened, std::vector<QStringList>{arguments});

    // The largest request there may be still goes through.
    const QStringList largest{QString(TSingleInstance::MaxRequestBytes - 1, QLatin1Char('f'))};
    ASSERT_TRUE(TSingleInstance::FitsRequest(largest));
    EXPECT_FALSE(TSingleInstance::FitsRequest({largest[0] + QLatin1Char('f')}));
    EXPECT_EQ(LaterStart(largest), EStart::HandedOver);
    EXPECT_EQ(opened.back(), largest);
}

TEST_F(SingleInstanceTest, AMalformedOrUnfinishedRequestIsDroppedAndTheWindowStillAnswers) {
    ASSERT_EQ(first.Start(), EStart::First);
    const QByteArray tooMany(TSingleInstance::MaxArguments + 1, '\0');
    for (const QByteArray& request :
         {QByteArray("hello\n"), QByteArray(100, 'x'), QByteArray("open -1\n"), QByteArray("open 99999999\n"),
          "open " + QByteArray::number(TSingleInstance::MaxRequestBytes + 1) + "\n",
          QByteArray("open 2\nab"),  // an argument without its NUL
          "open " + QByteArray::number(tooMany.size()) + "\n" + tooMany}) {
        EXPECT_EQ(Exchange(request), QByteArray("refused\n")) << request.left(20).toStdString();
    }
    EXPECT_EQ(Exchange("open 10\nabc"), QByteArray()) << "dropped when the rest does not come";
    EXPECT_EQ(shown, 0);
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(LaterStart({QStringLiteral("mailto:a@x.example")}), EStart::HandedOver);
    EXPECT_EQ(opened.size(), 1u);
}

}  // namespace
}  // namespace corvane::app
