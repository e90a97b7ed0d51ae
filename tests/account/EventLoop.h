#pragma once
// Runs the event loop of the test's thread until a condition holds or a limit passes.

#include <QEventLoop>
#include <QTimer>
#include <chrono>

namespace corvane::test {

// Whether Done() came true within Limit.
template <class TDone>
bool RunEventsUntil(TDone done, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        // Lets the events run, 20 ms at a time, without spinning.
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Runs the event loop for Span, whatever happens.
inline void RunEventsFor(std::chrono::milliseconds span) {
    RunEventsUntil([] { return false; }, span);
}

}  // namespace corvane::test
