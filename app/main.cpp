// Corvane: a desktop mail sender.

#include <QApplication>

#include "app/Main.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    // The tray icon may keep the program alive with the window hidden; closing the window
    // ends it (see TMainForm::closeEvent).
    QApplication::setQuitOnLastWindowClosed(false);
    corvane::app::TMainForm window;
    window.show();
    return QApplication::exec();
}
