#include "Pictures.h"

#include "Canvas.h"
#include "Motifs.h"

#include <QPainter>
#include <QtMath>

#include <cmath>
#include <vector>

namespace art {

namespace {

// Where a point of the window's panel lies on the letter.
constexpr QPoint kLetterOrigin = place::Letter.topLeft();

QImage Painted(QImage image)
{
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

// A soft shadow under a rectangle: stacked translucent rounded rectangles.
void SoftShadow(QPainter& p, const QRectF& r, qreal spread, int alpha)
{
    p.save();
    p.setPen(Qt::NoPen);
    const int steps = 5;
    for (int i = steps; i >= 1; --i) {
        const qreal g = spread * i / steps;
        p.setBrush(QColor(0x3A, 0x2A, 0x10, alpha / steps));
        p.drawRoundedRect(r.adjusted(-g, -g, g, g), g + 0.5, g + 0.5);
    }
    p.restore();
}

}  // namespace

QImage Letter()
{
    const int w = place::Letter.width(), h = place::Letter.height();
    QImage image = Painted(PaperTexture(w, h));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Ruled lines, one under each caption's row and two through the attachment rows. Near
    // the stamp they stop short of its frame.
    const QRect frame = place::Frame.translated(-kLetterOrigin);
    p.setPen(QPen(WithAlpha(pal::Rule, 200), 1.0, Qt::SolidLine, Qt::FlatCap));
    std::vector<int> rows;
    for (int y : place::LabelY)
        rows.push_back(y - kLetterOrigin.y() + 14);
    rows.push_back(rows[4] + 22);
    rows.push_back(rows[4] + 44);
    for (int y : rows) {
        const bool besideFrame = y >= frame.top() - 2 && y <= frame.bottom() + 2;
        const qreal right = besideFrame ? frame.left() - 9 : w - 15;
        p.drawLine(QPointF(15, y + 0.5), QPointF(right, y + 0.5));
    }
    // A faint red margin rule between the captions' column and the sheet's edge.
    p.setPen(QPen(WithAlpha(pal::Red, 70), 1.0));
    p.drawLine(QPointF(place::LabelX - kLetterOrigin.x() - 9.5, 14), QPointF(place::LabelX - kLetterOrigin.x() - 9.5, h - 14));

    // The air-mail border and the sheet's cut edge.
    DrawAirmailBand(p, QRectF(3, 3, w - 6, h - 6), 5, 22);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(WithAlpha(pal::PaperEdge, 255), 1.0));
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
    p.setPen(QPen(WithAlpha(pal::PaperEdge, 90), 1.0));
    p.drawLine(QPointF(1.5, h - 1.5), QPointF(w - 1.5, h - 1.5));
    p.drawLine(QPointF(w - 1.5, 1.5), QPointF(w - 1.5, h - 1.5));
    return image;
}

QImage Frame()
{
    const QRect f = place::Frame;
    QImage image = Painted(PaperTexture(f.width(), f.height(), f.left() - kLetterOrigin.x(), f.top() - kLetterOrigin.y()));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // The stamp's shadow, falling a little to the lower right. Only its rim shows: past the
    // stamp's edge and in the bites of the perforation.
    const QRectF stamp = QRectF(place::Stamp.translated(-f.topLeft()));
    p.save();
    QPainterPath outside;
    outside.addRect(QRectF(0, 0, f.width(), f.height()));
    outside.addRect(stamp.adjusted(2.5, 2.5, -2.5, -2.5));
    outside.setFillRule(Qt::OddEvenFill);
    p.setClipPath(outside);
    SoftShadow(p, stamp.translated(1.0, 1.4), 2.0, 70);
    p.restore();

    // A printed box for the stamp: a dashed rule with solid corners.
    const QRectF box(2.5, 2.5, f.width() - 5, f.height() - 5);
    QPen dash(WithAlpha(pal::InkSoft, 190), 1.0, Qt::CustomDashLine, Qt::FlatCap);
    dash.setDashPattern({3.0, 2.0});
    p.setPen(dash);
    p.setBrush(Qt::NoBrush);
    p.drawRect(box);
    p.setPen(QPen(pal::Ink, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    const qreal arm = 8;
    const QPointF corners[4] = {box.topLeft(), box.topRight(), box.bottomRight(), box.bottomLeft()};
    const QPointF dirs[4] = {{1, 1}, {-1, 1}, {-1, -1}, {1, -1}};
    for (int i = 0; i < 4; ++i) {
        const QPointF c = corners[i] + QPointF(dirs[i].x() * 0.5, dirs[i].y() * 0.5);
        QPolygonF l;
        l << c + QPointF(dirs[i].x() * arm, 0) << c << c + QPointF(0, dirs[i].y() * arm);
        p.drawPolyline(l);
    }
    return image;
}

QImage Stamp()
{
    const QRect s = place::Stamp.translated(-place::Frame.topLeft());
    QImage image = Frame().copy(s);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    DrawStamp(p, s.width(), s.height(), 1.0, false);
    return image;
}

QImage Seal()
{
    return PostmarkImage(place::Seal.width(), place::Seal.height());
}

QImage SealOnWhite()
{
    const QImage ink = Seal().convertToFormat(QImage::Format_ARGB32);
    QImage image = NewImage(ink.width(), ink.height(), Qt::white);
    image = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < ink.height(); ++y)
        for (int x = 0; x < ink.width(); ++x)
            if (qAlpha(ink.pixel(x, y)) >= 110)
                image.setPixel(x, y, pal::Postmark.rgb());
    return image;
}

QImage Clip()
{
    QImage image = NewImage(place::Clip.width(), place::Clip.height());
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(21, 10.5);
    p.rotate(-9);
    p.translate(-20, -7);
    const QPainterPath wire = PaperClipPath();
    auto stroke = [&p, &wire](const QColor& c, qreal width, QPointF offset) {
        p.strokePath(wire.translated(offset), QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    };
    stroke(QColor(0x30, 0x24, 0x10, 55), 2.4, {0.7, 1.3});  // shadow on the paper
    stroke(pal::Steel, 2.4, {0, 0});
    stroke(pal::SteelMid, 1.3, {0, 0});
    stroke(pal::SteelLight, 0.7, {-0.25, -0.35});
    return image;
}

namespace {

// The 16-pixel envelope, drawn pixel by pixel so its lines stay sharp.
void Envelope16(QPainter& p, const QColor& face, const QColor& flap)
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(QRect(0, 3, 16, 10), face);
    QPolygon shade;
    shade << QPoint(1, 4) << QPoint(14, 4) << QPoint(8, 9) << QPoint(7, 9);
    p.setPen(Qt::NoPen);
    p.setBrush(flap);
    p.drawPolygon(shade);
    p.setPen(pal::InkDark);
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRect(0, 3, 15, 9));
    p.drawLine(QPoint(1, 4), QPoint(7, 9));
    p.drawLine(QPoint(8, 9), QPoint(14, 4));
    p.fillRect(QRect(10, 5, 4, 4), pal::Red);
    p.restore();
}

}  // namespace

namespace {

// Where the envelope, its stamp and the stamp's picture lie in the icons of 22 pixels and
// more, each a whole pixel so the lines stay sharp.
struct GridIconLayout {
    int size;
    QRect envelope;
    QRect stamp;
    QRect picture;
};
constexpr GridIconLayout kGridIcons[] = {
    {22, {1, 5, 19, 13}, {14, 7, 6, 7}, {16, 9, 2, 2}},
    {24, {1, 5, 21, 14}, {15, 7, 6, 7}, {17, 9, 2, 2}},
    {32, {1, 7, 29, 19}, {21, 10, 8, 9}, {23, 12, 4, 3}},
};

void GridIcon(QPainter& p, const GridIconLayout& l)
{
    const QColor shade = Mix(pal::PaperLight, pal::PaperEdge, 0.35);
    const QRect& e = l.envelope;
    DrawEnvelope(p, QRectF(e.x() + 0.5, e.y() + 0.5, e.width(), e.height()), pal::PaperLight, pal::InkDark, 1.0, shade);
    // The outline once more without antialiasing, for sharp corners.
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(pal::InkDark);
    p.setBrush(Qt::NoBrush);
    p.drawRect(e);
    // The stamp in the upper right corner: red, with every other edge pixel bitten out.
    const QRect& stamp = l.stamp;
    for (int y = stamp.top(); y <= stamp.bottom(); ++y)
        for (int x = stamp.left(); x <= stamp.right(); ++x) {
            const bool edgeX = x == stamp.left() || x == stamp.right();
            const bool edgeY = y == stamp.top() || y == stamp.bottom();
            const bool bitten = (edgeY && (x - stamp.left()) % 2 == 1) || (edgeX && (y - stamp.top()) % 2 == 1);
            if (!bitten)
                p.fillRect(QRect(x, y, 1, 1), pal::Red);
        }
    p.fillRect(l.picture, Mix(pal::Red, pal::PaperLight, 0.55));  // its picture
}

}  // namespace

QImage AppIcon(int size)
{
    QImage image = NewImage(size, size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    for (const GridIconLayout& layout : kGridIcons)
        if (layout.size == size) {
            GridIcon(p, layout);
            return image;
        }
    Envelope16(p, pal::PaperLight, Mix(pal::PaperLight, pal::PaperEdge, 0.35));
    return image;
}

QImage TrayDefaultIcon()
{
    // A stamp in pixels: cream paper with every other edge pixel bitten out, a red field and
    // a small envelope printed on it.
    QImage image = NewImage(16, 16);
    QPainter p(&image);
    p.fillRect(QRect(1, 1, 14, 14), pal::PaperLight);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    for (int i = 2; i <= 13; i += 2) {
        p.fillRect(QRect(i, 1, 1, 1), Qt::transparent);
        p.fillRect(QRect(i, 14, 1, 1), Qt::transparent);
        p.fillRect(QRect(1, i, 1, 1), Qt::transparent);
        p.fillRect(QRect(14, i, 1, 1), Qt::transparent);
    }
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.fillRect(QRect(3, 3, 10, 10), pal::Red);
    p.fillRect(QRect(4, 5, 8, 6), pal::PaperLight);
    const QPoint flap[] = {{4, 5}, {5, 6}, {6, 7}, {7, 8}, {8, 8}, {9, 7}, {10, 6}, {11, 5}};
    for (const QPoint& q : flap)
        p.fillRect(QRect(q, QSize(1, 1)), pal::RedDark);
    return image;
}

QImage BlankIcon()
{
    return NewImage(16, 16);
}

QImage FlashIcon()
{
    QImage image = NewImage(16, 16);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    Envelope16(p, pal::Sun, Mix(pal::Sun, pal::PaperLight, 0.45));
    return image;
}

QImage About()
{
    const int w = 200, h = 280;
    QImage image = Painted(PaperTexture(w, h, 0, 0, 11));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    DrawAirmailBand(p, QRectF(3, 3, w - 6, h - 6), 6, 24);
    p.setPen(QPen(WithAlpha(pal::Ink, 110), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(12.5, 12.5, w - 25, h - 25));

    // A large stamp, set on the sheet a little askew, with its postmark.
    const qreal sw = 128, sh = 156;
    p.save();
    p.translate(100, 100);
    p.rotate(-4);
    p.translate(-sw / 2, -sh / 2);
    SoftShadow(p, QRectF(1.5, 2.5, sw, sh), 3.0, 110);
    DrawStamp(p, sw, sh, 1.2, true);
    p.restore();

    p.save();
    p.translate(46, 176);
    p.rotate(-8);
    p.scale(0.8, 0.8);
    p.translate(-37, -36.5);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QPointF(0, 0), Seal());
    p.restore();

    // The name, with a red stroke beneath it.
    p.setPen(Qt::NoPen);
    p.setBrush(pal::InkDark);
    const QRawFont title = Font(Face::Title, 38);
    p.drawPath(TextPathCentred(title, QStringLiteral("Corvane"), w / 2.0 + 2, 236));
    QPainterPath swash;
    swash.moveTo(56, 245);
    swash.cubicTo(80, 240.5, 120, 240.5, 148, 243.5);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pal::Red, 1.8, Qt::SolidLine, Qt::RoundCap));
    p.drawPath(swash);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::InkSoft);
    const QRawFont sub = Font(Face::Sans, 9.5);
    p.drawPath(TextPathCentred(sub, QStringLiteral("MAIL SENDER"), w / 2.0, 260, 2.0));
    return image;
}

QImage CursorFrame(int i)
{
    QImage image = NewImage(32, 32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal phase = 2 * M_PI * i / CursorFrames;
    const qreal lift = -8 + 47 * std::sin(phase);  // degrees; wings up when positive
    const int bob = static_cast<int>(std::lround(-1.2 * std::sin(phase - 1.2)));  // whole pixels

    const QRectF body(8.5, 13.5 + bob, 15, 10);
    QPainterPath wing;  // right wing, root at the origin, reaching outward and a little up
    wing.moveTo(0, -1);
    wing.cubicTo(2, -5, 7, -7.5, 12.5, -7);      // leading edge to the tip
    wing.cubicTo(12.5, -5, 11, -3.6, 9.5, -3.4);  // three feathers on the trailing edge
    wing.cubicTo(10, -1.6, 8.5, -0.4, 6.8, -0.6);
    wing.cubicTo(7, 1.2, 5, 2.2, 3.5, 1.8);
    wing.cubicTo(2, 2.8, 0.5, 2.5, 0, 2);
    wing.closeSubpath();

    p.setPen(QPen(pal::InkDark, 1.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    for (int side = -1; side <= 1; side += 2) {
        p.save();
        p.translate(side < 0 ? body.left() + 2 : body.right() - 2, body.top() + 2);
        p.scale(side, 1);
        p.rotate(-lift);
        p.drawPath(wing);
        p.restore();
    }
    DrawEnvelope(p, body, pal::PaperLight, pal::InkDark, 1.0, Mix(pal::PaperLight, pal::PaperEdge, 0.35));
    p.fillRect(QRectF(19, 15 + bob, 3, 3), pal::Red);
    return image;
}

}  // namespace art
