#pragma once
// Blocking work (the engine's dialogue with a server) on threads of its own, for an owner that
// lives on a thread with an event loop. A worker hands what it finds to its owner through its
// TPostBack, which queues the call on the owner's thread. Once the owner closes the workers,
// none of their calls runs any more, so a worker that is slow to stop may end on its own,
// unseen, after its owner has gone: whatever it uses besides its TPostBack must be its own to
// keep (shared ownership), never the owner's.
//
// A posted call runs inside an event of the workers' own object: an owner whose handlers may
// destroy it hands the news on with CallLater (LaterCall.h), so that nothing of it is on the
// stack then.

#include <QObject>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace corvane::account {

class TPostBack {
public:
    // Queues Call on the owner's thread, where it runs unless the workers have been closed
    // by then. Any thread, at any time, also after the owner has gone.
    void operator()(std::function<void()> call) const;
    // The owner takes nothing more: a worker may as well stop.
    bool Closed() const;

    struct TShared;  // what the owner and its workers share; only WorkerThreads.cpp knows it

private:
    friend class TWorkerThreads;
    explicit TPostBack(std::shared_ptr<TShared> shared) : m_shared(std::move(shared)) {}

    std::shared_ptr<TShared> m_shared;
};

class TWorkerThreads {
public:
    TWorkerThreads();
    // Closes, and leaves the workers still running to end on their own.
    ~TWorkerThreads();
    TWorkerThreads(const TWorkerThreads&) = delete;
    TWorkerThreads& operator=(const TWorkerThreads&) = delete;

    // Runs Work on a thread of its own; false when the system gives no thread.
    bool Run(std::function<void(const TPostBack& post)> work);
    // Nothing the workers post runs from now on, also what they have posted already.
    void Close();
    // Closes, then calls Interrupt again and again (a worker that had not yet begun its
    // connect forgets an earlier abort) until every worker has ended or Limit has passed.
    // The ended ones are joined; the rest end on their own, unseen. Run starts afresh after.
    void Release(const std::function<void()>& interrupt, std::chrono::milliseconds limit);

private:
    std::unique_ptr<QObject> m_receiver;  // on the owner's thread; the posted calls run in its events
    std::shared_ptr<TPostBack::TShared> m_shared;
    std::vector<std::thread> m_threads;
};

}  // namespace corvane::account
