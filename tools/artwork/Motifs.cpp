#include "Motifs.h"

#include "Canvas.h"

#include <QLinearGradient>
#include <QRadialGradient>
#include <QtMath>

#include <algorithm>
#include <cmath>

namespace art {

QImage PaperTexture(int w, int h, int ox, int oy, std::uint32_t seed)
{
    QImage image = NewImage(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int sx = x + ox, sy = y + oy;
            // A broad mottle, a finer cloud and single-pixel grain, all small.
            const double mottle = ValueNoise(sx / 46.0, sy / 46.0, seed) - 0.5;
            const double cloud = ValueNoise(sx / 9.0, sy / 7.0, seed + 1) - 0.5;
            const double grain = Hash01(sx, sy, seed + 2) - 0.5;
            // Faint horizontal fibres: short streaks of slightly lighter paper.
            const double fibre = ValueNoise(sx / 23.0, sy / 1.3, seed + 3) > 0.86 ? 1.6 : 0.0;
            const double d = mottle * 5.0 + cloud * 2.2 + grain * 2.6 + fibre;
            auto ch = [d](int base, double weight) {
                return std::clamp(static_cast<int>(std::lround(base + d * weight)), 0, 255);
            };
            line[x] = qRgb(ch(pal::Paper.red(), 1.0), ch(pal::Paper.green(), 1.0), ch(pal::Paper.blue(), 1.15));
        }
    }
    return image;
}

namespace {

QPainterPath BirdBody()
{
    QPainterPath b;
    b.moveTo(44, 0.5);                          // beak tip
    b.cubicTo(39, -4, 35, -6, 30, -6.8);        // upper mandible
    b.cubicTo(27, -10.8, 19, -11.2, 14.5, -7.2);  // crown
    b.cubicTo(8, -4.5, -4, -4.6, -16, -3.6);     // back
    b.lineTo(-35, -8.8);                         // tail, upper edge
    b.cubicTo(-39.5, -5, -40, 4.5, -36, 9);      // tail tip, a rounded fan
    b.lineTo(-16, 5.2);                          // tail, lower edge
    b.cubicTo(-5, 11, 8, 11, 17, 6.2);           // belly
    b.cubicTo(23, 4, 28, 3.2, 32, 2.8);          // throat
    b.cubicTo(37, 2.8, 41, 2.2, 44, 0.5);        // lower mandible
    b.closeSubpath();
    return b;
}

// A wing raised up and back from its root on the back, ending in five spread primaries.
QPainterPath BirdWing()
{
    QPainterPath w;
    w.moveTo(13, -5);
    w.cubicTo(15, -17, 10, -28, 2, -35);  // leading edge to the wrist
    const QPointF fingers[] = {{-4, -51},  {-5.5, -41.5}, {-11, -50.5}, {-11, -40.5}, {-17.5, -48.5},
                               {-16, -38.5}, {-23.5, -44.5}, {-20.5, -35.5}, {-28.5, -38.5}};
    for (const QPointF& f : fingers)
        w.lineTo(f);
    w.cubicTo(-22, -27, -16, -14, -9, -4);  // trailing edge back to the body
    w.closeSubpath();
    return w;
}

}  // namespace

void DrawBird(QPainter& p, const QColor& body, const QColor& farWing, bool withLetter, qreal wingLift,
              bool withEye)
{
    p.save();
    p.setPen(Qt::NoPen);
    const QPainterPath wing = BirdWing();

    // Far wing: behind the body, swept a little further back.
    QTransform far;
    far.translate(2, -3);
    far.rotate(-14 - wingLift * 0.6);
    far.translate(-2, 3);
    p.setBrush(farWing);
    p.drawPath(far.map(wing));

    if (withLetter) {
        // The letter hangs from the beak, one corner held.
        p.save();
        p.translate(41.5, 1.5);
        p.rotate(24);
        DrawEnvelope(p, QRectF(-4, -1.5, 22, 14.5), pal::PaperLight, pal::InkDark, 1.5, Mix(pal::PaperLight, pal::Paper, 0.9));
        p.fillRect(QRectF(11.5, 0.8, 4.6, 5.2), pal::Red);
        p.restore();
        p.setPen(Qt::NoPen);
    }

    p.setBrush(body);
    p.drawPath(BirdBody());

    QTransform near;
    near.translate(2, -3);
    near.rotate(-wingLift);
    near.translate(-2, 3);
    p.drawPath(near.map(wing));

    if (withEye) {
        p.setBrush(pal::PaperLight);
        p.drawEllipse(QPointF(27.2, -4.6), 1.35, 1.35);
    }
    p.restore();
}

void DrawVignette(QPainter& p, const QRectF& r)
{
    p.save();
    p.setClipRect(r);
    p.setPen(Qt::NoPen);
    auto at = [&r](qreal u, qreal v) { return QPointF(r.left() + u * r.width(), r.top() + v * r.height()); };

    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0.0, pal::Sky);
    sky.setColorAt(0.55, Mix(pal::Sky, pal::Horizon, 0.7));
    sky.setColorAt(1.0, pal::Horizon);
    p.fillRect(r, sky);

    // The sun low on the right, with a soft glow.
    const QPointF sun = at(0.80, 0.64);
    const qreal sunR = r.height() * 0.20;
    QRadialGradient glow(sun, sunR * 2.6);
    glow.setColorAt(0.0, WithAlpha(pal::Sun, 120));
    glow.setColorAt(1.0, WithAlpha(pal::Sun, 0));
    p.setBrush(glow);
    p.drawEllipse(sun, sunR * 2.6, sunR * 2.6);
    p.setBrush(Mix(pal::Sun, pal::PaperLight, 0.15));
    p.drawEllipse(sun, sunR, sunR);

    // A few soft clouds.
    auto cloud = [&](qreal u, qreal v, qreal size) {
        const qreal s = size * r.height();
        p.setBrush(Mix(pal::Sky, pal::PaperLight, 0.7));
        p.drawEllipse(at(u, v), s * 1.6, s * 0.45);
        p.drawEllipse(at(u, v) + QPointF(-s * 0.5, -s * 0.3), s * 0.7, s * 0.5);
        p.drawEllipse(at(u, v) + QPointF(s * 0.4, -s * 0.35), s * 0.8, s * 0.6);
    };
    cloud(0.20, 0.22, 0.07);
    cloud(0.78, 0.14, 0.05);

    // Three ridges of hills, lighter with distance.
    auto ridge = [&](qreal base, qreal amp, qreal phase, qreal waves, const QColor& c) {
        QPainterPath hill;
        hill.moveTo(at(0, 1.05));
        const int steps = 48;
        for (int i = 0; i <= steps; ++i) {
            const qreal u = qreal(i) / steps;
            const qreal v = base - amp * (0.6 * std::sin(u * waves * M_PI + phase) +
                                          0.4 * std::sin(u * waves * 2.3 * M_PI + phase * 1.7));
            hill.lineTo(at(u, v));
        }
        hill.lineTo(at(1, 1.05));
        hill.closeSubpath();
        p.setBrush(c);
        p.drawPath(hill);
    };
    ridge(0.74, 0.09, 0.6, 2.2, Mix(pal::InkSoft, pal::Sky, 0.45));
    ridge(0.84, 0.08, 2.1, 1.6, Mix(pal::Ink, pal::InkSoft, 0.35));
    ridge(0.95, 0.06, 4.0, 1.2, pal::InkDark);

    // The bird with its letter, climbing to the right.
    p.save();
    const bool tall = r.height() > r.width() * 0.6;
    p.translate(at(tall ? 0.44 : 0.40, tall ? 0.40 : 0.47));
    const qreal scale = std::min(r.width() / 122.0, r.height() / 70.0);
    p.scale(scale, scale);
    p.rotate(-9);
    DrawBird(p, pal::InkDark, Mix(pal::InkDark, pal::InkSoft, 0.45), true, 0, scale > 0.6);
    p.restore();

    p.restore();
}

QPainterPath PerforatedOutline(qreal w, qreal h, qreal pitch, qreal radius)
{
    QPainterPath paper;
    paper.addRect(QRectF(0, 0, w, h));
    QPainterPath holes;
    const int nx = std::max(1, static_cast<int>(std::lround(w / pitch)));
    const int ny = std::max(1, static_cast<int>(std::lround(h / pitch)));
    for (int i = 0; i <= nx; ++i) {
        const qreal x = w * i / nx;
        holes.addEllipse(QPointF(x, 0), radius, radius);
        holes.addEllipse(QPointF(x, h), radius, radius);
    }
    for (int j = 1; j < ny; ++j) {
        const qreal y = h * j / ny;
        holes.addEllipse(QPointF(0, y), radius, radius);
        holes.addEllipse(QPointF(w, y), radius, radius);
    }
    return paper.subtracted(holes);
}

void DrawStamp(QPainter& p, qreal w, qreal h, qreal k, bool portrait)
{
    p.save();
    p.setPen(Qt::NoPen);

    // The paper with its perforation.
    const QPainterPath outline = PerforatedOutline(w, h, 5.3 * k, 1.85 * k);
    p.setBrush(pal::PaperLight);
    p.drawPath(outline);
    p.strokePath(outline, QPen(WithAlpha(pal::PaperEdge, 150), 0.7 * k));

    // The printed design: a red field, the picture, the name and the value.
    const qreal m = 5.0 * k;
    const QRectF design(m, m, w - 2 * m, h - 2 * m);
    p.setBrush(pal::Red);
    p.drawRect(design);

    const qreal band = (portrait ? 19.0 : 14.0) * k;
    const qreal side = 3.0 * k;
    const QRectF picture(design.left() + side, design.top() + side, design.width() - 2 * side,
                         design.height() - side - band);
    DrawVignette(p, picture);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pal::PaperLight, 0.9 * k));
    p.drawRect(picture.adjusted(-1.1 * k, -1.1 * k, 1.1 * k, 1.1 * k));
    p.setPen(Qt::NoPen);

    p.setBrush(pal::PaperLight);
    const qreal baseline = design.bottom() - band / 2 + 3.6 * k * (portrait ? 1.35 : 1.0);
    if (portrait) {
        const QRawFont name = Font(Face::SansBold, 10.0 * k);
        p.drawPath(TextPathCentred(name, QStringLiteral("CORVANE"), design.center().x(), baseline, 2.2 * k));
        // The value sits in the picture's upper left corner, on a red tab.
        const QRawFont value = Font(Face::SerifBold, 13.0 * k);
        const QRectF tab(picture.left(), picture.top(), 21 * k, 16 * k);
        p.setBrush(pal::Red);
        p.drawRect(tab);
        p.setBrush(pal::PaperLight);
        p.drawPath(TextPathCentred(value, QStringLiteral("50"), tab.center().x() - 0.5 * k, tab.bottom() - 3.6 * k));
    } else {
        const QRawFont name = Font(Face::SansBold, 7.6 * k);
        QPainterPath text = TextPath(name, QStringLiteral("CORVANE"), 1.35 * k);
        text.translate(design.left() + 3.2 * k, baseline);
        p.drawPath(text);
        const QRawFont value = Font(Face::SerifBold, 10.5 * k);
        const QString v = QStringLiteral("50");
        QPainterPath num = TextPath(value, v);
        num.translate(design.right() - 3.0 * k - TextAdvance(value, v), baseline + 0.6 * k);
        p.drawPath(num);
    }
    p.restore();
}

namespace {

// Glyphs set along a circle: above the centre they read clockwise with their tops outward,
// below it anticlockwise with their tops inward.
void TextOnCircle(QPainter& p, const QRawFont& font, const QString& text, QPointF c, qreal baselineRadius,
                  bool top, qreal tracking)
{
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    qreal total = 0;
    for (const QPointF& a : advances)
        total += a.x() + tracking;
    total -= tracking;
    qreal s = 0;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        const qreal adv = advances[i].x();
        const qreal mid = (s + adv / 2) / baselineRadius;
        const qreal half = total / 2 / baselineRadius;
        const qreal theta = top ? -M_PI / 2 - half + mid : M_PI / 2 + half - mid;
        QTransform t;
        t.translate(c.x() + baselineRadius * std::cos(theta), c.y() + baselineRadius * std::sin(theta));
        t.rotate(qRadiansToDegrees(top ? theta + M_PI / 2 : theta - M_PI / 2));
        t.translate(-adv / 2, 0);
        QPainterPath g = font.pathForGlyph(glyphs[i]);
        g.setFillRule(Qt::WindingFill);
        p.drawPath(t.map(g));
        s += adv + tracking;
    }
}

}  // namespace

void DrawPostmark(QPainter& p, const QColor& ink)
{
    p.save();
    const QPointF c(37, 36.5);
    const qreal outer = 33.0, inner = 23.6;

    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(ink, 2.3));
    p.drawEllipse(c, outer, outer);
    p.setPen(QPen(ink, 1.1));
    p.drawEllipse(c, inner, inner);

    p.setPen(Qt::NoPen);
    p.setBrush(ink);
    const QRawFont ring = Font(Face::SansBold, 7.0);
    TextOnCircle(p, ring, QStringLiteral("CORVANE"), c, inner + 2.2, true, 1.3);
    TextOnCircle(p, ring, QStringLiteral("AIR MAIL"), c, outer - 2.9, false, 1.1);
    // Small stars where the two texts part.
    const QRawFont starFont = Font(Face::Sans, 6.0);
    const QString star = QString(QChar(0x2605));
    for (int side = -1; side <= 1; side += 2) {
        QPainterPath s = TextPath(starFont, star);
        const QRectF b = s.boundingRect();
        s.translate(c.x() + side * (inner + outer) / 2 - b.center().x(), c.y() - b.center().y());
        p.drawPath(s);
    }

    // The middle: the word and two rules, as a date line would sit.
    const QRawFont word = Font(Face::SansBold, 10.5);
    p.drawPath(TextPathCentred(word, QStringLiteral("SENT"), c.x(), c.y() + 3.9, 0.8));
    p.setPen(QPen(ink, 1.2, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(c.x() - 14.5, c.y() - 8.0), QPointF(c.x() + 14.5, c.y() - 8.0));
    p.drawLine(QPointF(c.x() - 14.5, c.y() + 8.6), QPointF(c.x() + 14.5, c.y() + 8.6));

    // The cancellation: six wavy lines running across the stamp.
    p.setPen(QPen(ink, 2.1, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 6; ++i) {
        const qreal y0 = 11.0 + i * 10.2;
        const qreal x0 = 75.0 + (i == 0 || i == 5 ? 3.0 : 0.0);
        const qreal x1 = 169.0 - (i % 2) * 1.5;
        QPainterPath wave;
        const int steps = 90;
        for (int s = 0; s <= steps; ++s) {
            const qreal x = x0 + (x1 - x0) * s / steps;
            const qreal y = y0 + 3.3 * std::sin(2 * M_PI * (x - 75.0) / 27.0);
            if (s == 0)
                wave.moveTo(x, y);
            else
                wave.lineTo(x, y);
        }
        p.drawPath(wave);
    }
    p.restore();
}

QImage PostmarkImage(int w, int h)
{
    QImage image = NewImage(w, h);
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        DrawPostmark(p, pal::Postmark);
    }
    // Uneven inking: the pad pressed harder in some places than others, and a few flecks
    // took no ink at all. Works on premultiplied pixels, so scale all four channels.
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            double f = 0.80 + 0.20 * ValueNoise(x / 11.0, y / 9.0, 31);
            f *= 0.93 + 0.07 * ValueNoise(x / 3.0, y / 3.0, 32);
            if (Hash01(x, y, 33) > 0.985)
                f *= 0.35;
            const QRgb px = line[x];
            auto sc = [f](int v) { return std::clamp(static_cast<int>(std::lround(v * f)), 0, 255); };
            line[x] = qRgba(sc(qRed(px)), sc(qGreen(px)), sc(qBlue(px)), sc(qAlpha(px)));
        }
    }
    return image;
}

void DrawEnvelope(QPainter& p, const QRectF& r, const QColor& face, const QColor& line, qreal lineWidth,
                  const QColor& flapShade)
{
    p.save();
    QPen pen(line, lineWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    p.setPen(Qt::NoPen);
    p.setBrush(face);
    p.drawRect(r);

    // The closed flap, a shade darker, from the top corners down to the middle.
    const QPointF tip(r.center().x(), r.top() + r.height() * 0.58);
    QPolygonF flap;
    flap << r.topLeft() << r.topRight() << tip;
    p.setBrush(flapShade);
    p.drawPolygon(flap);

    p.setBrush(Qt::NoBrush);
    p.setPen(pen);
    QPainterPath folds;
    folds.moveTo(r.topLeft());
    folds.lineTo(tip);
    folds.lineTo(r.topRight());
    p.drawPath(folds);
    p.drawRect(r);
    p.restore();
}

QPainterPath PaperClipPath()
{
    // One wire: the inner tongue, a small turn at the right, the long run back, the turn at
    // the left, the long run out, the wide turn at the right, and the outer tongue.
    QPainterPath w;
    w.moveTo(11, 4);
    w.lineTo(29, 4);
    w.arcTo(QRectF(26, 4, 6, 6), 90, -180);
    w.lineTo(6, 10);
    w.arcTo(QRectF(1.5, 1, 9, 9), 270, -180);
    w.lineTo(33, 1);
    w.arcTo(QRectF(27, 1, 12, 12), 90, -180);
    w.lineTo(13, 13);
    return w;
}

void DrawAirmailBand(QPainter& p, const QRectF& outer, qreal width, qreal period)
{
    // Each stripe is cut to the band as a path (not by clipping), so its slanted edges keep
    // their antialiasing.
    p.save();
    QPainterPath ring;
    ring.addRect(outer);
    ring.addRect(outer.adjusted(width, width, -width, -width));
    ring.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    const qreal span = outer.width() + outer.height();
    const qreal stripe = period * 0.32;
    const QColor colours[2] = {Mix(pal::Red, pal::Paper, 0.08), Mix(pal::Ink, pal::Paper, 0.08)};
    QPainterPath stripes[2];
    int n = 0;
    for (qreal c = outer.left() - outer.height() - period; c < outer.left() + span; c += period / 2, ++n) {
        QPolygonF s;
        s << QPointF(c, outer.top() - 1) << QPointF(c + stripe, outer.top() - 1)
          << QPointF(c + stripe - outer.height() - 2, outer.bottom() + 1) << QPointF(c - outer.height() - 2, outer.bottom() + 1);
        stripes[n % 2].addPolygon(s);
        stripes[n % 2].closeSubpath();
    }
    for (int i = 0; i < 2; ++i) {
        p.setBrush(colours[i]);
        p.drawPath(ring.intersected(stripes[i]));
    }
    p.restore();
}

}  // namespace art
