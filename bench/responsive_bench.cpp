// corvane-bench-responsive: whether the window keeps handling its events while it sends a
// large attachment.
//
//   corvane-bench-responsive --port PORT --attach FILE [--histories]
//
// It points XDG_CONFIG_HOME at a fresh temporary folder (removed at the end), makes the
// window (TMainForm) under the offscreen platform, fills the fields (server 127.0.0.1:PORT,
// where bench/sink listens; sender, recipient, subject, a short text; FILE as the one
// attachment), and with --histories first fills every history to its limit, as a window
// that has been used for a while has them. Then, from the window's event loop, it clicks the
// stamp (StampImageClick), which stores the histories, runs the send on its worker and
// waits for it in a nested event loop.
//
// Two probes run on the window's thread meanwhile:
// - a QTimer of 10 ms: the longest interval between two of its ticks;
// - a second thread posting a queued call to the window's thread every 5 ms, stamped with
//   its time of posting: the longest wait from posting to running, which is how long any
//   event queued meanwhile (a repaint, a key, a click) waits at most.
// Both report the span of the whole click; the probes' stalls are also reported per phase
// (before the worker starts: the histories are stored and the message is filled; while the
// worker runs; after it has finished). It prints "name value" lines, milliseconds:
//
//   timer_max_gap, queued_max_wait, queued_p99_wait, queued_waits_over_50 (count),
//   queued_max_wait_before_send, queued_max_wait_during_send, queued_max_wait_after_send,
//   click_ms, status_texts (texts shown in the status bar), status (the last status text)

#include "bench/BenchArgs.h"
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/Main.h"
#include "platform/registry/SqliteStore.h"

namespace {

using corvane::app::TMainForm;
using TClock = std::chrono::steady_clock;

double Ms(TClock::duration span) {
    return std::chrono::duration<double, std::milli>(span).count();
}

const char* Arg(int argc, char** argv, const char* name) {
    return corvane::bench::OptionValue(argc, argv, name);
}

bool Flag(int argc, char** argv, const char* name) {
    return corvane::bench::HasFlag(argc, argv, name);
}

}  // namespace

int main(int argc, char** argv) {
    const char* port = Arg(argc, argv, "--port");
    const char* attach = Arg(argc, argv, "--attach");
    if (port == nullptr || attach == nullptr) {
        std::fprintf(stderr, "usage: corvane-bench-responsive --port PORT --attach FILE [--histories]\n");
        return 2;
    }
    const bool histories = Flag(argc, argv, "--histories");

    const char* tmp = std::getenv("TMPDIR");
    std::string folder = std::string(tmp != nullptr && *tmp == '/' ? tmp : "/tmp") +
                         "/corvane-responsive-bench.XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        std::perror("mkdtemp");
        return 1;
    }
    ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    corvane::registry::TSqliteStore::CloseProcess();

    int status = 0;
    {
        QApplication application(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
        TMainForm form;
        form.ShowMessage = [](const QString& text) {
            std::fprintf(stderr, "message box: %s\n", text.toUtf8().constData());
        };
        if (histories) {
            for (corvane::regctrls::TSuperComboBox* history :
                 {form.From, form.Smtp, form.SendTo, form.CC, form.BCC, form.Subject}) {
                for (int i = history->MaxHistoryItems; i-- > 0;) {
                    history->AddToHistory(
                        QStringLiteral("%1 entry %2 <someone%2@example.org>").arg(history->objectName()).arg(i));
                }
            }
        }
        form.From->setEditText(QStringLiteral("Me <me@example.org>"));
        form.Smtp->setEditText(QStringLiteral("127.0.0.1:%1").arg(QString::fromLatin1(port)));
        form.SendTo->setEditText(QStringLiteral("you@example.org"));
        form.Subject->setEditText(QStringLiteral("A large attachment"));
        form.Messages->setPlainText(QStringLiteral("Hello,\nthe file is attached.\n"));
        form.Attachment->SetItems({attach});
        form.show();

        int statusTexts = 0;
        QObject::connect(form.StatusBar, &corvane::desktop::TEnStatusBar::PanelTextChanged, &form,
                         [&statusTexts](int index, const QString&) { statusTexts += index == 0 ? 1 : 0; });

        // The timer probe.
        double timerMaxGap = 0;
        TClock::time_point lastTick{};
        QTimer ticker;
        ticker.setTimerType(Qt::PreciseTimer);
        ticker.setInterval(10);
        QObject::connect(&ticker, &QTimer::timeout, [&] {
            const auto now = TClock::now();
            if (lastTick != TClock::time_point{}) {
                timerMaxGap = std::max(timerMaxGap, Ms(now - lastTick));
            }
            lastTick = now;
        });

        // The queued-call probe: waits by the phase they were posted in (0 before the worker
        // starts, 1 while it runs, 2 after the click has returned).
        std::atomic<int> phase{0};
        std::vector<double> waits[3];
        std::atomic<bool> probing{true};
        QObject receiver;
        std::thread poster([&] {
            while (probing.load()) {
                // A call is counted in the phase in which it was posted.
                const auto posted = TClock::now();
                const int postedIn = phase.load();
                QMetaObject::invokeMethod(
                    &receiver,
                    [&, posted, postedIn] { waits[postedIn].push_back(Ms(TClock::now() - posted)); },
                    Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        QObject::connect(form.StatusBar, &corvane::desktop::TEnStatusBar::PanelTextChanged, &form,
                         [&](int index, const QString& text) {
                             if (index == 0 && text.startsWith(QStringLiteral("Connecting"))) {
                                 phase = 1;
                             }
                         });

        double clickMs = 0;
        QTimer::singleShot(50, &form, [&] {
            lastTick = {};
            timerMaxGap = 0;
            for (auto& list : waits) {
                list.clear();
            }
            const auto start = TClock::now();
            form.StampImageClick();
            clickMs = Ms(TClock::now() - start);
            phase = 2;
            // Let the last posted calls in; then stop.
            QTimer::singleShot(50, &application, [&] { QCoreApplication::quit(); });
        });
        ticker.start();
        // A bound on the whole run: a send that hangs ends the benchmark.
        QTimer::singleShot(120000, &application, [&] {
            std::fprintf(stderr, "corvane-bench-responsive: timed out\n");
            form.WrenSMTP.Abort();
            status = 1;
        });
        QApplication::exec();
        probing = false;
        poster.join();
        QCoreApplication::processEvents();

        std::vector<double> all;
        for (const auto& list : waits) {
            all.insert(all.end(), list.begin(), list.end());
        }
        std::sort(all.begin(), all.end());
        auto maxOf = [](const std::vector<double>& list) {
            return list.empty() ? 0.0 : *std::max_element(list.begin(), list.end());
        };
        const double p99 = all.empty() ? 0.0 : all[std::min(all.size() - 1, all.size() * 99 / 100)];
        const auto over = std::count_if(all.begin(), all.end(), [](double wait) { return wait > 50; });
        std::printf("timer_max_gap %.1f\n", timerMaxGap);
        std::printf("queued_max_wait %.1f\n", all.empty() ? 0.0 : all.back());
        std::printf("queued_p99_wait %.1f\n", p99);
        std::printf("queued_waits %zu\n", all.size());
        std::printf("queued_waits_over_50 %ld\n", static_cast<long>(over));
        std::printf("queued_max_wait_before_send %.1f\n", maxOf(waits[0]));
        std::printf("queued_max_wait_during_send %.1f\n", maxOf(waits[1]));
        std::printf("queued_max_wait_after_send %.1f\n", maxOf(waits[2]));
        std::printf("click_ms %.1f\n", clickMs);
        std::printf("status_texts %d\n", statusTexts);
        std::printf("status %s\n", form.StatusText().toUtf8().constData());
        if (!form.StatusText().startsWith(QStringLiteral("Successful"))) {
            status = 1;
        }
    }
    corvane::registry::TSqliteStore::CloseProcess();
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return status;
}
