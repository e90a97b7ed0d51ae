#pragma once
// Runs a call from the event loop of the calling thread after a delay, unless the object
// that asked for it has gone (its guard has expired). The lookups report through it, so that
// none of their own Qt objects is on the stack when a handler cancels, restarts or destroys
// the lookup that called it.

#include <QTimer>
#include <chrono>
#include <memory>
#include <utility>

namespace corvane::account {

template <class TCall>
void CallLater(std::chrono::milliseconds delay, const std::shared_ptr<void>& guard, TCall call) {
    // Precise: a deadline must not pass early, as a coarse timer may.
    QTimer::singleShot(delay, Qt::PreciseTimer, [alive = std::weak_ptr<void>(guard), call = std::move(call)]() mutable {
        if (alive.lock()) {
            call();
        }
    });
}

}  // namespace corvane::account
