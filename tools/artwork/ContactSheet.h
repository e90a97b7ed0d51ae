// The contact sheet of docs/: every picture at 1:1, the small ones also enlarged, and the
// "Send Mail" page's pictures put together as the window places them.
#pragma once

#include <QImage>

namespace art {

QImage ContactSheet();

}  // namespace art
