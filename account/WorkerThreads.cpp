#include "account/WorkerThreads.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <system_error>

namespace corvane::account {

// The owner and every worker of one round (from construction or Release to the next Release)
// share it, so a worker left running after its owner has gone still has it.
struct TPostBack::TShared {
    QObject* Receiver = nullptr;  // lives for as long as Closed is false
    std::atomic<bool> Closed{false};
    std::mutex Mutex;  // Closed is set, and calls are posted, under it
    std::condition_variable Ended;
    std::size_t Running = 0;  // workers whose work has not ended, under Mutex
};

void TPostBack::operator()(std::function<void()> call) const {
    const std::lock_guard lock(m_shared->Mutex);
    if (m_shared->Closed) {
        return;
    }
    QMetaObject::invokeMethod(
        m_shared->Receiver,
        [shared = m_shared, call = std::move(call)] {
            // Closed on the owner's thread after this was posted: the owner wants none of it.
            if (!shared->Closed) {
                call();
            }
        },
        Qt::QueuedConnection);
}

bool TPostBack::Closed() const { return m_shared->Closed; }

namespace {

std::shared_ptr<TPostBack::TShared> Fresh(QObject* receiver) {
    auto shared = std::make_shared<TPostBack::TShared>();
    shared->Receiver = receiver;
    return shared;
}

}  // namespace

TWorkerThreads::TWorkerThreads() : m_receiver(std::make_unique<QObject>()), m_shared(Fresh(m_receiver.get())) {}

TWorkerThreads::~TWorkerThreads() { Release({}, std::chrono::milliseconds(0)); }

bool TWorkerThreads::Run(std::function<void(const TPostBack& post)> work) {
    {
        const std::lock_guard lock(m_shared->Mutex);
        ++m_shared->Running;
    }
    try {
        m_threads.emplace_back([shared = m_shared, work = std::move(work)] {
            work(TPostBack(shared));
            const std::lock_guard lock(shared->Mutex);
            --shared->Running;
            shared->Ended.notify_all();
        });
        return true;
    } catch (const std::system_error&) {
        const std::lock_guard lock(m_shared->Mutex);
        --m_shared->Running;
        return false;
    }
}

void TWorkerThreads::Close() {
    const std::lock_guard lock(m_shared->Mutex);
    m_shared->Closed = true;
}

void TWorkerThreads::Release(const std::function<void()>& interrupt, std::chrono::milliseconds limit) {
    Close();
    const auto end = std::chrono::steady_clock::now() + limit;
    std::unique_lock lock(m_shared->Mutex);
    while (m_shared->Running > 0 && std::chrono::steady_clock::now() < end) {
        if (interrupt) {
            interrupt();
        }
        m_shared->Ended.wait_for(lock, std::chrono::milliseconds(20));
    }
    const bool ended = m_shared->Running == 0;
    lock.unlock();
    for (std::thread& thread : m_threads) {
        if (ended) {
            thread.join();
        } else {
            thread.detach();  // it holds the round's shared part and touches nothing else
        }
    }
    m_threads.clear();
    m_shared = Fresh(m_receiver.get());
}

}  // namespace corvane::account
