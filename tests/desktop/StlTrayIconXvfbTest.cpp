// The tray icon in a real notification area: a private Xvfb display, with Debian's trayer as
// the tray host. The icon must become a window embedded in trayer's panel and show the
// pictures the component gives it; HideFromTaskbar must turn the form into a window type
// taskbars leave out. Skips (with the reason) when Xvfb or trayer cannot start; every wait is
// bounded; only the processes started here are ended, by their pids.

#include "desktop/StlTrayIcon.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPixmap>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace corvane::desktop {
namespace {

using namespace std::chrono_literals;

// The private display, started by main() before the QApplication connects to it.
struct TDisplay {
    pid_t Pid = -1;
    int Number = -1;
    std::string Failure;
};
TDisplay g_display;

bool WaitForExit(pid_t pid, std::chrono::milliseconds bound) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    while (std::chrono::steady_clock::now() < deadline) {
        const pid_t done = ::waitpid(pid, nullptr, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) {
            return true;
        }
        std::this_thread::sleep_for(20ms);  // a child's exit cannot be polled for otherwise here
    }
    return false;
}

void StopChild(pid_t pid) {
    ::kill(pid, SIGTERM);
    if (!WaitForExit(pid, 3s)) {
        ::kill(pid, SIGKILL);
        WaitForExit(pid, 3s);
    }
}

// Xvfb picks a free display itself and writes its number to the pipe once it accepts clients.
TDisplay StartXvfb() {
    TDisplay display;
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        display.Failure = "Xvfb is not installed";
        return display;
    }
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        display.Failure = "no pipe for -displayfd";
        return display;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        display.Failure = "fork failed";
        return display;
    }
    if (pid == 0) {
        ::close(pipeEnds[0]);
        const int quiet = ::open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            ::dup2(quiet, STDOUT_FILENO);
            ::dup2(quiet, STDERR_FILENO);
        }
        const std::string fd = std::to_string(pipeEnds[1]);
        ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "800x600x24", "-nolisten", "tcp",
                 static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    std::string text;
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{pipeEnds[0], POLLIN, 0};
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (::poll(&ready, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0))) <= 0) {
            break;
        }
        char buffer[32];
        const ssize_t got = ::read(pipeEnds[0], buffer, sizeof buffer);
        if (got <= 0) {
            ended = true;  // Xvfb closed the pipe: it ended without a display
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(pipeEnds[0]);
    if (text.find('\n') == std::string::npos) {
        StopChild(pid);
        display.Failure = ended ? "Xvfb ended without opening a display" : "Xvfb did not report a display within 10 s";
        return display;
    }
    display.Pid = pid;
    display.Number = std::atoi(text.c_str());
    return display;
}

QString RunTool(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(5000)) {
        process.kill();
        process.waitForFinished(2000);
        return {};
    }
    return QString::fromLocal8Bit(process.readAllStandardOutput());
}

QString Hex(WId id) {
    return QStringLiteral("0x") + QString::number(static_cast<qulonglong>(id), 16);
}

// The window QSystemTrayIcon docks into the tray, once it exists.
QWidget* TrayIconWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->objectName() == QStringLiteral("QSystemTrayIconSys")) {
            return widget;
        }
    }
    return nullptr;
}

QIcon Solid(const QColor& colour) {
    QPixmap picture(16, 16);
    picture.fill(colour);
    return QIcon(picture);
}

class XDisplay : public ::testing::Test {
protected:
    void SetUp() override {
        if (g_display.Pid <= 0) {
            GTEST_SKIP() << "no private X display: " << g_display.Failure;
        }
        for (const char* tool : {"xwininfo", "xprop"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
                GTEST_SKIP() << tool << " is not installed (x11-utils)";
            }
        }
        ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("xcb"));
    }
};

class TrayHost : public XDisplay {
protected:
    void SetUp() override {
        XDisplay::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        if (QStandardPaths::findExecutable(QStringLiteral("trayer")).isEmpty()) {
            GTEST_SKIP() << "trayer is not installed";
        }
        m_trayer.setProgram(QStringLiteral("trayer"));
        m_trayer.setArguments({"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width", "120",
                               "--heighttype", "pixel", "--height", "24", "--SetDockType", "true"});
        m_trayer.start();
        if (!m_trayer.waitForStarted(5000)) {
            GTEST_SKIP() << "trayer did not start: " << m_trayer.errorString().toStdString();
        }
        const bool settled = QTest::qWaitFor(
            [&] { return QSystemTrayIcon::isSystemTrayAvailable() || m_trayer.state() == QProcess::NotRunning; },
            5000);
        if (m_trayer.state() == QProcess::NotRunning) {
            GTEST_SKIP() << "trayer ended at once: " << m_trayer.readAllStandardError().toStdString();
        }
        ASSERT_TRUE(settled) << "trayer runs but no tray appeared within 5 s";
    }

    void TearDown() override {
        if (m_trayer.state() != QProcess::NotRunning) {
            m_trayer.terminate();  // SIGTERM to trayer's pid
            if (!m_trayer.waitForFinished(3000)) {
                m_trayer.kill();
                m_trayer.waitForFinished(3000);
            }
        }
    }

    // The window tree beneath trayer's panel.
    QString PanelTree() {
        const QString root = RunTool(QStringLiteral("xwininfo"), {"-root", "-tree"});
        const QRegularExpression panel(QStringLiteral(R"((0x[0-9a-f]+) "panel": \("panel" "trayer"\))"));
        const QRegularExpressionMatch match = panel.match(root);
        if (!match.hasMatch()) {
            return {};
        }
        return RunTool(QStringLiteral("xwininfo"), {"-tree", "-id", match.captured(1)});
    }

    // The colour at the middle of the tray icon's window, read from the X server's copy of
    // that window (so neither the panel's place nor the screen's layout matters).
    static QColor MiddleOf(WId window) {
        const QImage picture = QGuiApplication::primaryScreen()->grabWindow(window).toImage();
        if (picture.isNull()) {
            return {};
        }
        return picture.pixelColor(picture.width() / 2, picture.height() / 2);
    }

    // What the server says of the window, for a failure message.
    static std::string Describe(WId window) {
        return RunTool(QStringLiteral("xwininfo"), {"-id", Hex(window)}).toStdString();
    }

    QProcess m_trayer;
};

TEST_F(TrayHost, IconIsEmbeddedInTheTrayAndShowsTheComponentsPictures) {
    EXPECT_TRUE(QSystemTrayIcon::isSystemTrayAvailable());
    TStlTrayIcon tray;
    tray.SetFrameSpeed(600000);  // only the test's own ticks change the picture
    tray.SetIcon(Solid(Qt::red));
    tray.FlashIcon = Solid(Qt::blue);
    tray.SetHint(QStringLiteral("Corvane"));
    tray.SetShowTrayIcon(true);

    ASSERT_TRUE(QTest::qWaitFor([] { return TrayIconWindow() != nullptr; }, 5000)) << "no tray window was made";
    const WId window = TrayIconWindow()->winId();
    EXPECT_TRUE(QTest::qWaitFor([&] { return PanelTree().contains(Hex(window)); }, 5000))
        << "trayer's panel does not hold the icon window " << Hex(window).toStdString() << ":\n"
        << PanelTree().toStdString();

    EXPECT_TRUE(QTest::qWaitFor([&] { return MiddleOf(window) == QColor(Qt::red); }, 5000))
        << "the tray shows " << MiddleOf(window).name().toStdString() << "\n" << Describe(window);
    tray.SetFlash(true);
    EXPECT_TRUE(QTest::qWaitFor([&] { return MiddleOf(window) == QColor(Qt::blue); }, 5000))
        << "while flashing the tray shows " << MiddleOf(window).name().toStdString();
    tray.TimerTick();
    EXPECT_TRUE(QTest::qWaitFor([&] { return MiddleOf(window) == QColor(Qt::red); }, 5000))
        << "after a tick the tray shows " << MiddleOf(window).name().toStdString();
    tray.SetFlash(false);

    tray.SetShowTrayIcon(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !PanelTree().contains(Hex(window)); }, 5000))
        << "the icon stayed in the tray";
}

// The window types as the X server holds them: the taskbar-less utility type while
// HideFromTaskbar is on, the normal type after.
TEST_F(XDisplay, HideFromTaskbarGivesTheFormAWindowTypeTaskbarsLeaveOut) {
    QWidget form;
    form.resize(200, 100);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form, 5000));
    TStlTrayIcon tray(&form);

    auto windowType = [&] {
        return RunTool(QStringLiteral("xprop"), {"-id", Hex(form.winId()), "_NET_WM_WINDOW_TYPE"});
    };
    auto mapped = [&] {
        return RunTool(QStringLiteral("xwininfo"), {"-id", Hex(form.winId())}).contains(QStringLiteral("IsViewable"));
    };

    tray.SetHideFromTaskbar(true);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return windowType().contains(QStringLiteral("_NET_WM_WINDOW_TYPE_UTILITY")) && mapped(); }, 5000))
        << windowType().toStdString();
    EXPECT_TRUE(form.isVisible());

    tray.SetHideFromTaskbar(false);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            const QString type = windowType();
            return type.contains(QStringLiteral("_NET_WM_WINDOW_TYPE_NORMAL")) &&
                   !type.contains(QStringLiteral("UTILITY")) && mapped();
        },
        5000))
        << windowType().toStdString();
    EXPECT_TRUE(form.isVisible());
}

}  // namespace
}  // namespace corvane::desktop

int main(int argc, char** argv) {
    using corvane::desktop::g_display;
    ::testing::InitGoogleTest(&argc, argv);
    g_display = corvane::desktop::StartXvfb();
    if (g_display.Pid > 0) {
        ::setenv("DISPLAY", (":" + std::to_string(g_display.Number)).c_str(), 1);
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    } else {
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);  // the tests skip; Qt still needs a platform
    }
    // The icon must go to trayer through the X11 tray protocol, not to a D-Bus status-notifier
    // host that a developer's own session might offer.
    ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/corvane-tray-test", 1);
    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    if (g_display.Pid > 0) {
        corvane::desktop::StopChild(g_display.Pid);
    }
    return result;
}
