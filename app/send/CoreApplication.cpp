#include "app/send/CoreApplication.h"

#include <QTimer>
#include <chrono>
#include <clocale>

#include "account/TlsTrust.h"

namespace corvane::send {

TCoreApplicationScope::TCoreApplicationScope() {
    if (QCoreApplication::instance() == nullptr) {
        m_application = std::make_unique<QCoreApplication>(m_argc, m_argv);
        // Qt adopts the user's locale for the C library; everything else keeps the "C" locale.
        std::setlocale(LC_ALL, "C");
        account::AdoptOpenSslTrust();
    }
}

TCoreApplicationScope::~TCoreApplicationScope() = default;

bool RunUntilDone(QEventLoop& loop, const std::atomic<bool>& interrupted, const std::function<void()>& cancel) {
    // A signal handler may do no more than set the flag, so the loop looks at it this often.
    constexpr std::chrono::milliseconds interruptPoll{50};
    bool cancelled = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (interrupted) {
            cancelled = true;
            cancel();
            loop.quit();
        }
    });
    poll.start(interruptPoll);
    loop.exec();
    return !cancelled;
}

}  // namespace corvane::send
