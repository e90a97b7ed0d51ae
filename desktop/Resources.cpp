#include "Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void InitResources() { Q_INIT_RESOURCE(resources); }

namespace corvane::desktop {

void EnsureResources() {
    static const bool registered = [] {
        InitResources();
        return true;
    }();
    (void)registered;
}

}  // namespace corvane::desktop
