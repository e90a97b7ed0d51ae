#include "ContactSheet.h"

#include "AppIcons.h"
#include "Canvas.h"
#include "Pictures.h"

#include <QPainter>

#include <algorithm>
#include <vector>

namespace art {

namespace {

const QColor kSheet{0xE4, 0xE2, 0xDD};   // neutral ground of the sheet
const QColor kPanel{0xEF, 0xEF, 0xEF};   // the window's face colour, for the mock-up
const QColor kLabel{0x33, 0x33, 0x3A};
const QColor kNote{0x6A, 0x6A, 0x72};

struct Tile {
    QImage image;
    QString name;  // first caption line
    QString note;  // second caption line
    bool checker;  // show transparency
};

void Checker(QPainter& p, const QRect& r)
{
    p.save();
    p.setClipRect(r);
    const int cell = 6;
    for (int y = r.top(); y <= r.bottom(); y += cell)
        for (int x = r.left(); x <= r.right(); x += cell)
            p.fillRect(QRect(x, y, cell, cell), ((x - r.left()) / cell + (y - r.top()) / cell) % 2 ? QColor(0xFF, 0xFF, 0xFF)
                                                                                            : QColor(0xD6, 0xD6, 0xD6));
    p.restore();
}

void Text(QPainter& p, const QString& s, qreal x, qreal y, qreal size, const QColor& c, bool bold = false)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    QPainterPath t = TextPath(Font(bold ? Face::SansBold : Face::Sans, size), s);
    t.translate(x, y);
    p.drawPath(t);
    p.restore();
}

// Lays tiles out left to right, each with its caption under it; returns the height used.
int Row(QPainter& p, int x0, int y0, const std::vector<Tile>& tiles, int gap = 26)
{
    int x = x0, tallest = 0;
    for (const Tile& t : tiles)
        tallest = std::max(tallest, t.image.height());
    for (const Tile& t : tiles) {
        const QRect r(x, y0 + tallest - t.image.height(), t.image.width(), t.image.height());
        if (t.checker)
            Checker(p, r);
        p.drawImage(r.topLeft(), t.image);
        Text(p, t.name, x, y0 + tallest + 15, 11, kLabel, true);
        Text(p, t.note, x, y0 + tallest + 29, 10, kNote);
        const qreal captionWidth = std::max(TextAdvance(Font(Face::SansBold, 11), t.name), TextAdvance(Font(Face::Sans, 10), t.note));
        x += std::max(t.image.width(), static_cast<int>(captionWidth) + 4) + gap;
    }
    return tallest + 36;
}

// The "Send Mail" page's upper part with sketched fields, at 1:1.
QImage MockUp(bool sealShown)
{
    QImage panel = NewImage(624, 242, kPanel);
    QPainter p(&panel);
    p.drawImage(place::Letter.topLeft(), Letter());

    const char* captions[6] = {"From:", "Smtp:", "To:", "Cc:", "Bcc:", "Subject:"};
    const int fieldY[6] = {24, 46, 77, 99, 121, 196};
    for (int i = 0; i < 6; ++i) {
        p.setRenderHint(QPainter::Antialiasing);
        Text(p, QString::fromLatin1(captions[i]), place::LabelX, place::LabelY[i] + 10, 11, QColor(0x10, 0x10, 0x10));
        p.setRenderHint(QPainter::Antialiasing, false);
        const int width = i == 5 ? 530 : 326;
        p.setPen(QColor(0x9A, 0x9A, 0xA0));
        p.setBrush(Qt::white);
        p.drawRect(QRect(place::FieldX, fieldY[i], width - 1, 20));
        p.fillRect(QRect(place::FieldX + width - 18, fieldY[i] + 1, 17, 19), QColor(0xE6, 0xE6, 0xE8));
    }
    p.setPen(QColor(0x9A, 0x9A, 0xA0));
    p.drawRect(QRect(place::FieldX, 144, 529, 49));

    p.drawImage(place::Clip.topLeft(), Clip());
    p.drawImage(place::Frame.topLeft(), Frame());
    p.drawImage(place::Stamp.topLeft(), Stamp());
    if (sealShown)
        p.drawImage(place::Seal.topLeft(), Seal());
    return panel;
}

}  // namespace

QImage ContactSheet()
{
    const int width = 1120;
    QImage sheet = NewImage(width, 2400, kSheet);
    QPainter p(&sheet);
    p.setRenderHint(QPainter::Antialiasing);

    Text(p, QStringLiteral("Corvane artwork"), 24, 40, 24, pal::InkDark, true);
    Text(p, QStringLiteral("Every picture of resources/, drawn by tools/artwork (run tools/make-resources.sh). "
                           "1:1 unless marked; the chequer shows transparency."),
         24, 62, 11, kNote);

    int y = 86;
    Text(p, QStringLiteral("Send Mail page, pictures where the window puts them (fields sketched)"), 24, y + 12, 12, kLabel, true);
    Text(p, QStringLiteral("About page"), 24 + 624 + 40, y + 12, 12, kLabel, true);
    y += 22;
    p.drawImage(QPoint(24, y), MockUp(false));
    p.drawImage(QPoint(24 + 624 + 40, y), About());
    Text(p, QStringLiteral("about.jpg  200 x 280"), 24 + 624 + 40, y + 280 + 16, 10, kNote);
    Text(p, QStringLiteral("idle: letter.bmp, frame.bmp, stamp.bmp, clip.png"), 24, y + 242 + 16, 10, kNote);
    y += 242 + 30;
    p.drawImage(QPoint(24, y), MockUp(true).copy(0, 0, 624, 120));
    Text(p, QStringLiteral("after a successful send: seal.png over the stamp"), 24, y + 120 + 16, 10, kNote);
    y += 120 + 44;

    Text(p, QStringLiteral("Pictures"), 24, y + 12, 12, kLabel, true);
    y += 24;
    y += Row(p, 24, y,
             {{Frame(), "frame.bmp", "120 x 77", false},
              {Stamp(), "stamp.bmp", "107 x 63", false},
              {Enlarged(Stamp(), 2), "stamp.bmp", "x2", false},
              {Seal(), "seal.png", "173 x 73, alpha", true},
              {SealOnWhite(), "seal.bmp", "173 x 73, white is transparent", false}});
    y += 14;
    y += Row(p, 24, y,
             {{Enlarged(Frame(), 2), "frame.bmp", "x2", false},
              {Enlarged(Seal(), 2), "seal.png", "x2", true},
              {Clip(), "clip.png", "42 x 21", true},
              {Enlarged(Clip(), 4), "clip.png", "x4", true}});
    y += 14;

    Text(p, QStringLiteral("Icons"), 24, y + 12, 12, kLabel, true);
    y += 24;
    y += Row(p, 24, y,
             {{AppIcon(16), "corvane-16.png", "16 x 16", true},
              {Enlarged(AppIcon(16), 6), "corvane-16.png", "x6", true},
              {AppIcon(32), "corvane-32.png", "32 x 32", true},
              {Enlarged(AppIcon(32), 3), "corvane-32.png", "x3", true},
              {TrayDefaultIcon(), "tray-default-16.png", "16 x 16", true},
              {Enlarged(TrayDefaultIcon(), 6), "tray-default-16.png", "x6", true},
              {FlashIcon(), "flash-16.png", "16 x 16", true},
              {Enlarged(FlashIcon(), 6), "flash-16.png", "x6", true},
              {Enlarged(BlankIcon(), 6), "blank-16.png", "x6, empty", true}},
             18);
    y += 14;

    Text(p, QStringLiteral("Application icon for the desktop's hicolor theme (packaging/icons/hicolor)"), 24, y + 12, 12,
         kLabel, true);
    y += 24;
    std::vector<Tile> themed;
    for (int size : HicolorSizes)
        themed.push_back({HicolorIcon(size), QStringLiteral("%1 x %1").arg(size), QString(), true});
    y += Row(p, 24, y, themed, 22);
    y += 14;

    Text(p, QStringLiteral("Busy cursor, hot spot at (16, 16)"), 24, y + 12, 12, kLabel, true);
    y += 24;
    std::vector<Tile> small, large;
    for (int i = 0; i < CursorFrames; ++i) {
        const QString name = QStringLiteral("busy-%1").arg(i, 2, 10, QLatin1Char('0'));
        small.push_back({CursorFrame(i), name, QString(), true});
        QImage big = Enlarged(CursorFrame(i), 3);
        {
            QPainter mark(&big);
            mark.setPen(QPen(QColor(0xD0, 0x20, 0x20, 160), 1));
            const int c = CursorHotSpot.x() * 3 + 1;
            mark.drawLine(c - 4, c, c + 4, c);
            mark.drawLine(c, c - 4, c, c + 4);
        }
        large.push_back({big, name, QStringLiteral("x3"), true});
    }
    y += Row(p, 24, y, small, 40);
    y += 8;
    y += Row(p, 24, y, large, 14);
    p.end();
    return sheet.copy(0, 0, width, y + 16);
}

}  // namespace art
