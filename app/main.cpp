// Corvane: a desktop mail sender.

#include <sys/prctl.h>

#include <QApplication>
#include <QFile>
#include <QStringList>
#include <chrono>
#include <csignal>
#include <cstdio>

#include "account/TlsTrust.h"
#include "app/Main.h"
#include "app/SingleInstance.h"
#include "app/Translations.h"
#include "platform/registry/SqliteStore.h"

int main(int argc, char** argv) {
    // The window may hold a password at any moment (typed, or read from the keyring): no core
    // dump of this process, and no other process of the user reading its memory.
    ::prctl(PR_SET_DUMPABLE, 0);
    // A spool or archive file that reaches the user's file size limit fails its write with
    // a reason the status bar shows, instead of closing the window and what was typed in it.
    std::signal(SIGXFSZ, SIG_IGN);
    QApplication application(argc, argv);
    corvane::account::AdoptOpenSslTrust();
    corvane::app::InstallTranslations(application, QLocale::system());

    // mailto: links and files to attach (the desktop's "Exec=corvane %U"); Qt has taken its
    // own options out of the list already. Bounded like a request to a running window, so
    // the same command line works whether or not one is running.
    const QStringList arguments =
        corvane::app::TMainForm::ResolveArguments(QCoreApplication::arguments().mid(1));
    if (!corvane::app::TSingleInstance::FitsRequest(arguments)) {
        std::fprintf(stderr, "corvane: too many or too long arguments (at most %lld, %lld bytes in all).\n",
                     static_cast<long long>(corvane::app::TSingleInstance::MaxArguments),
                     static_cast<long long>(corvane::app::TSingleInstance::MaxRequestBytes));
        return 2;
    }

    // One window per settings store: a second start brings the running window to the front,
    // hands it the links and files, and ends before it has touched the store (see
    // app/SingleInstance.h).
    const auto store = corvane::registry::TSqliteStore::DefaultFile();
    corvane::app::TSingleInstance instance(
        store.empty() ? QString() : QFile::decodeName(store.parent_path().c_str()));
    switch (instance.Start(std::chrono::seconds(10), arguments)) {
        case corvane::app::TSingleInstance::EStart::HandedOver:
            return 0;
        case corvane::app::TSingleInstance::EStart::NoAnswer:
            std::fprintf(stderr,
                         "corvane: Corvane is already running with the settings in %s and did "
                         "not answer; close it first.\n",
                         store.parent_path().c_str());
            return 1;
        case corvane::app::TSingleInstance::EStart::First:
            break;
    }

    // The tray icon may keep the program alive with the window hidden; closing the window
    // ends it (see TMainForm::closeEvent).
    QApplication::setQuitOnLastWindowClosed(false);
    corvane::app::TMainForm window;
    instance.OnShowRequest = [&window] { return window.BringToFront(); };
    instance.OnOpenRequest = [&window](const QStringList& handedOver) { window.OpenArguments(handedOver); };
    window.show();
    if (!arguments.isEmpty()) {
        // Once the window is on screen, so that a question about a link has a window to ask in.
        QMetaObject::invokeMethod(&window, [&window, arguments] { window.OpenArguments(arguments); },
                                  Qt::QueuedConnection);
    }
    return QApplication::exec();
}
