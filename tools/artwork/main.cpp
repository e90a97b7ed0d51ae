// corvane-artwork: draws Corvane's pictures, icons and cursor frames into a folder, the
// contact sheet of them all, and the application icon for the desktop's hicolor icon theme.
//
//   corvane-artwork RESOURCE_DIR SHEET_PNG HICOLOR_DIR
//
// HICOLOR_DIR receives <size>x<size>/apps/org.example.Corvane.png for every size of the
// theme and scalable/apps/org.example.Corvane.svg.
//
// The same build gives the same bytes on every run: no clock, no unseeded randomness, fonts
// read from fixed files, fixed resolution fields in every file.

#include "AppIcons.h"
#include "Canvas.h"
#include "ContactSheet.h"
#include "Pictures.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

#include <cstdio>

using namespace art;

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: corvane-artwork RESOURCE_DIR SHEET_PNG HICOLOR_DIR\n");
        return 2;
    }
    // No display needed; the fonts come from files, not from the platform.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    QString error;
    if (!LoadFonts(&error)) {
        std::fprintf(stderr, "corvane-artwork: %s\n", qPrintable(error));
        return 1;
    }

    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "corvane-artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    auto at = [&out](const char* name) { return out.filePath(QString::fromLatin1(name)); };

    SaveBmp(Letter(), at("letter.bmp"));
    SaveBmp(Frame(), at("frame.bmp"));
    SaveBmp(Stamp(), at("stamp.bmp"));
    SavePng(Seal(), at("seal.png"));
    SaveBmp(SealOnWhite(), at("seal.bmp"));
    SavePng(Clip(), at("clip.png"));
    SavePng(AppIcon(16), at("corvane-16.png"));
    SavePng(AppIcon(32), at("corvane-32.png"));
    SavePng(TrayDefaultIcon(), at("tray-default-16.png"));
    SavePng(BlankIcon(), at("blank-16.png"));
    SavePng(FlashIcon(), at("flash-16.png"));
    SaveJpeg(About(), at("about.jpg"), 92);
    for (int i = 0; i < CursorFrames; ++i)
        SavePng(CursorFrame(i), out.filePath(QStringLiteral("busy-%1.png").arg(i, 2, 10, QLatin1Char('0'))));

    // The icon's name is the program's application id, as the menu entry names it.
    const QString iconName = QStringLiteral("org.example.Corvane");
    const QDir hicolor(QString::fromLocal8Bit(argv[3]));
    for (int size : HicolorSizes) {
        const QString apps = QStringLiteral("%1x%1/apps").arg(size);
        if (!hicolor.mkpath(apps)) {
            std::fprintf(stderr, "corvane-artwork: cannot create %s/%s\n", argv[3], qPrintable(apps));
            return 1;
        }
        SavePng(HicolorIcon(size), hicolor.filePath(apps + QLatin1Char('/') + iconName + QStringLiteral(".png")));
    }
    if (!hicolor.mkpath(QStringLiteral("scalable/apps"))) {
        std::fprintf(stderr, "corvane-artwork: cannot create %s/scalable/apps\n", argv[3]);
        return 1;
    }
    SaveIconSvg(hicolor.filePath(QStringLiteral("scalable/apps/") + iconName + QStringLiteral(".svg")),
                QStringLiteral("Corvane"));

    const QString sheet = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(QFileInfo(sheet).absolutePath());
    SavePng(ContactSheet(), sheet);
    return 0;
}
