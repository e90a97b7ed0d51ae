// Corvane: a desktop mail sender.

#include <sys/prctl.h>

#include <QApplication>

#include "app/Main.h"

int main(int argc, char** argv) {
    // The window may hold a password at any moment (typed, or read from the keyring): no core
    // dump of this process, and no other process of the user reading its memory.
    ::prctl(PR_SET_DUMPABLE, 0);
    QApplication application(argc, argv);
    // The tray icon may keep the program alive with the window hidden; closing the window
    // ends it (see TMainForm::closeEvent).
    QApplication::setQuitOnLastWindowClosed(false);
    corvane::app::TMainForm window;
    window.show();
    return QApplication::exec();
}
