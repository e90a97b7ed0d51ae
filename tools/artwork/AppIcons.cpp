#include "AppIcons.h"

#include "Canvas.h"
#include "Motifs.h"
#include "Pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QSvgGenerator>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace art {

namespace {

// The large drawing is made in a square of this many units.
constexpr qreal kUnits = 256;

// A soft shadow under r: stacked translucent rounded rectangles (plain fills, so the SVG
// needs no filter).
void Shadow(QPainter& p, const QRectF& r, qreal spread, int alpha)
{
    p.save();
    p.setPen(Qt::NoPen);
    const int steps = 6;
    for (int i = steps; i >= 1; --i) {
        const qreal g = spread * i / steps;
        p.setBrush(QColor(0x3A, 0x2A, 0x10, alpha / steps));
        p.drawRoundedRect(r.adjusted(-g, -g, g, g), g + 1, g + 1);
    }
    p.restore();
}

// The stamp's picture, sky, sun, hills and the bird with its letter, inside r. Unlike the
// window's stamp it cuts the hills with paths instead of clipping: Qt's SVG generator
// writes no clip paths.
void IconVignette(QPainter& p, const QRectF& r)
{
    p.save();
    p.setPen(Qt::NoPen);
    auto at = [&r](qreal u, qreal v) { return QPointF(r.left() + u * r.width(), r.top() + v * r.height()); };

    QLinearGradient sky(r.topLeft(), r.bottomLeft());
    sky.setColorAt(0.0, pal::Sky);
    sky.setColorAt(1.0, pal::Horizon);
    p.fillRect(r, sky);

    const qreal sunR = r.width() * 0.13;
    p.setBrush(Mix(pal::Sun, pal::PaperLight, 0.15));
    p.drawEllipse(at(0.76, 0.60), sunR, sunR);

    QPainterPath frame;
    frame.addRect(r);
    auto ridge = [&](qreal base, qreal amp, qreal phase, const QColor& c) {
        QPainterPath hill;
        hill.moveTo(at(-0.05, 1.1));
        const int steps = 24;
        for (int i = 0; i <= steps; ++i) {
            const qreal u = -0.05 + 1.1 * i / steps;
            hill.lineTo(at(u, base - amp * std::sin(u * 2.4 * M_PI + phase)));
        }
        hill.lineTo(at(1.05, 1.1));
        hill.closeSubpath();
        p.setBrush(c);
        p.drawPath(hill.intersected(frame));
    };
    ridge(0.78, 0.06, 0.8, Mix(pal::Ink, pal::InkSoft, 0.35));
    ridge(0.92, 0.05, 3.6, pal::InkDark);

    // The bird spans about 102 x 76 of its own units, wings and letter included.
    p.translate(at(0.47, 0.46));
    const qreal scale = r.width() / 118.0;
    p.scale(scale, scale);
    p.rotate(-9);
    DrawBird(p, pal::InkDark, Mix(pal::InkDark, pal::InkSoft, 0.45), true, 0, true);
    p.restore();
}

// A portrait stamp w x h with its perforation, red field and picture, at the origin.
void IconStamp(QPainter& p, qreal w, qreal h)
{
    p.save();
    p.setPen(Qt::NoPen);
    const QPainterPath outline = PerforatedOutline(w, h, 11, 3.6);
    p.setBrush(pal::PaperLight);
    p.drawPath(outline);
    p.strokePath(outline, QPen(pal::PaperEdge, 1.2));
    const qreal m = 9;
    const QRectF design(m, m, w - 2 * m, h - 2 * m);
    p.setBrush(pal::Red);
    p.drawRect(design);
    const QRectF picture = design.adjusted(6, 6, -6, -6);
    IconVignette(p, picture);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(pal::PaperLight, 2));
    p.drawRect(picture.adjusted(-2, -2, 2, 2));
    p.restore();
}

// The whole drawing in kUnits x kUnits: an air-mail envelope seen from the back, and the
// stamp with the bird stuck over its upper right corner.
void DrawLargeIcon(QPainter& p)
{
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF envelope(14, 86, 210, 136);
    Shadow(p, envelope.translated(3, 5), 8, 90);
    const qreal line = 6;
    DrawEnvelope(p, envelope, pal::PaperLight, pal::InkDark, line, Mix(pal::PaperLight, pal::PaperEdge, 0.35));
    DrawAirmailBand(p, envelope.adjusted(line / 2, line / 2, -line / 2, -line / 2), 12, 44);
    p.setPen(QPen(pal::InkDark, line, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRect(envelope);

    const qreal w = 112, h = 130;
    p.save();
    p.translate(186, 96);
    p.rotate(7);
    p.translate(-w / 2, -h / 2);
    Shadow(p, QRectF(2, 4, w, h), 6, 80);
    IconStamp(p, w, h);
    p.restore();
}

}  // namespace

QImage HicolorIcon(int size)
{
    if (size <= 32)
        return AppIcon(size);
    QImage image = NewImage(size, size);
    QPainter p(&image);
    p.scale(size / kUnits, size / kUnits);
    DrawLargeIcon(p);
    return image;
}

void SaveIconSvg(const QString& path, const QString& title)
{
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(kUnits, kUnits));
    svg.setViewBox(QRectF(0, 0, kUnits, kUnits));
    svg.setTitle(title);
    svg.setDescription(QStringLiteral("An air-mail envelope with a stamp showing a corvid carrying a letter."));
    QPainter p;
    if (!p.begin(&svg)) {
        std::fprintf(stderr, "corvane-artwork: cannot write %s\n", qPrintable(path));
        std::exit(1);
    }
    DrawLargeIcon(p);
    p.end();
}

}  // namespace art
