#include "app/send/CoreApplication.h"

#include <clocale>

#include "app/send/QtTrust.h"

namespace corvane::send {

TCoreApplicationScope::TCoreApplicationScope() {
    if (QCoreApplication::instance() == nullptr) {
        m_application = std::make_unique<QCoreApplication>(m_argc, m_argv);
        // Qt adopts the user's locale for the C library; everything else keeps the "C" locale.
        std::setlocale(LC_ALL, "C");
        TrustWhatTheEngineTrusts();
    }
}

TCoreApplicationScope::~TCoreApplicationScope() = default;

}  // namespace corvane::send
