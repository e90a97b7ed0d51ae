// The embedded artwork: every picture the window shows loads, at the size its place needs.

#include "desktop/Resources.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>

namespace corvane::desktop {
namespace {

QImage Load(const char* path) {
    EnsureResources();
    QImage image(QString::fromLatin1(path));
    EXPECT_FALSE(image.isNull()) << path;
    return image;
}

TEST(Resources, PicturesHaveTheSizesOfTheirPlaces) {
    EXPECT_EQ(Load(":/pictures/letter").size(), QSize(618, 236));
    EXPECT_EQ(Load(":/pictures/stamp").size(), QSize(107, 63));
    EXPECT_EQ(Load(":/pictures/frame").size(), QSize(120, 77));
    EXPECT_EQ(Load(":/pictures/seal").size(), QSize(173, 73));
    EXPECT_EQ(Load(":/pictures/about").size(), QSize(200, 280));  // through the JPEG plugin
    const QImage clip = Load(":/pictures/clip");
    EXPECT_LE(clip.width(), 42);
    EXPECT_LE(clip.height(), 21);
}

TEST(Resources, IconsAndTheBlankIcon) {
    EXPECT_EQ(Load(":/icons/corvane-16").size(), QSize(16, 16));
    EXPECT_EQ(Load(":/icons/corvane-32").size(), QSize(32, 32));
    EXPECT_EQ(Load(":/icons/tray-default").size(), QSize(16, 16));
    const QImage blank = Load(":/icons/blank").convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(blank.size(), QSize(16, 16));
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            ASSERT_EQ(qAlpha(blank.pixel(x, y)), 0) << x << "," << y;
        }
    }
    // The postmark is ink on nothing: its corners are see-through.
    EXPECT_EQ(qAlpha(Load(":/pictures/seal").convertToFormat(QImage::Format_ARGB32).pixel(0, 0)), 0);
}

TEST(Resources, CursorFramesAndSounds) {
    for (int frame = 0; frame < 10; ++frame) {
        EXPECT_EQ(Load(QString::asprintf(":/cursor/busy-%02d", frame).toLatin1().constData()).size(),
                  QSize(32, 32));
    }
    for (const char* sound : {":/sounds/DOORCLOSE", ":/sounds/ERROR", ":/sounds/SUCCESSFUL", ":/sounds/YOUARE"}) {
        QFile file(QString::fromLatin1(sound));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << sound;
        EXPECT_EQ(file.read(4), QByteArray("RIFF")) << sound;
    }
}

}  // namespace
}  // namespace corvane::desktop
