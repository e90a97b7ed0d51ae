#include "Canvas.h"

#include <QFile>
#include <QImageWriter>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace art {

namespace {

struct FontFile {
    Face face;
    const char* path;
    const char* package;
};

// Debian's paths; the packages are listed in tools/debian-packages.txt.
const FontFile kFontFiles[] = {
    {Face::Sans, "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "fonts-dejavu-core"},
    {Face::SansBold, "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", "fonts-dejavu-core"},
    {Face::SerifBold, "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf", "fonts-dejavu-core"},
    {Face::Title, "/usr/share/fonts/opentype/urw-base35/P052-BoldItalic.otf", "fonts-urw-base35"},
    {Face::TitleRoman, "/usr/share/fonts/opentype/urw-base35/P052-Bold.otf", "fonts-urw-base35"},
};

const char* FontPath(Face face)
{
    for (const FontFile& f : kFontFiles)
        if (f.face == face)
            return f.path;
    std::abort();
}

std::uint32_t Mix32(std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352dU;
    x ^= x >> 15;
    x *= 0x846ca68bU;
    x ^= x >> 16;
    return x;
}

void Fail(const QString& what)
{
    std::fprintf(stderr, "corvane-artwork: %s\n", qPrintable(what));
    std::exit(1);
}

QImage WithResolution(QImage image)
{
    // 96 dots per inch, whatever the platform reports.
    image.setDotsPerMeterX(3780);
    image.setDotsPerMeterY(3780);
    return image;
}

void Write(const QImage& image, const QString& path, const char* format, int quality)
{
    QImageWriter writer(path, format);
    if (quality >= 0)
        writer.setQuality(quality);
    if (!writer.write(WithResolution(image)))
        Fail(QStringLiteral("cannot write %1: %2").arg(path, writer.errorString()));
}

}  // namespace

bool LoadFonts(QString* error)
{
    for (const FontFile& f : kFontFiles) {
        if (!QFile::exists(QString::fromLatin1(f.path))) {
            *error = QStringLiteral("font %1 is missing: install the Debian package %2")
                         .arg(QString::fromLatin1(f.path), QString::fromLatin1(f.package));
            return false;
        }
        QRawFont probe(QString::fromLatin1(f.path), 12.0, QFont::PreferNoHinting);
        if (!probe.isValid()) {
            *error = QStringLiteral("font %1 cannot be read").arg(QString::fromLatin1(f.path));
            return false;
        }
    }
    return true;
}

QRawFont Font(Face face, qreal pixelSize)
{
    QRawFont font(QString::fromLatin1(FontPath(face)), pixelSize, QFont::PreferNoHinting);
    if (!font.isValid())
        Fail(QStringLiteral("font %1 cannot be read").arg(QString::fromLatin1(FontPath(face))));
    return font;
}

QPainterPath TextPath(const QRawFont& font, const QString& text, qreal tracking)
{
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    qreal x = 0;
    for (qsizetype i = 0; i < glyphs.size(); ++i) {
        QPainterPath glyph = font.pathForGlyph(glyphs[i]);
        glyph.translate(x, 0);
        path.addPath(glyph);
        x += advances[i].x() + tracking;
    }
    path.setFillRule(Qt::WindingFill);
    return path;
}

qreal TextAdvance(const QRawFont& font, const QString& text, qreal tracking)
{
    const QList<quint32> glyphs = font.glyphIndexesForString(text);
    const QList<QPointF> advances = font.advancesForGlyphIndexes(glyphs, QRawFont::KernedAdvances);
    qreal x = 0;
    for (const QPointF& a : advances)
        x += a.x() + tracking;
    return glyphs.isEmpty() ? 0 : x - tracking;
}

QPainterPath TextPathCentred(const QRawFont& font, const QString& text, qreal cx, qreal y,
                             qreal tracking)
{
    QPainterPath path = TextPath(font, text, tracking);
    path.translate(cx - TextAdvance(font, text, tracking) / 2, y);
    return path;
}

double Hash01(int x, int y, std::uint32_t seed)
{
    const std::uint32_t h =
        Mix32(static_cast<std::uint32_t>(x) * 0x9E3779B1U ^ Mix32(static_cast<std::uint32_t>(y) + seed * 0x85EBCA6BU));
    return h / 4294967296.0;
}

double ValueNoise(double x, double y, std::uint32_t seed)
{
    const double fx = std::floor(x), fy = std::floor(y);
    const int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    double tx = x - fx, ty = y - fy;
    tx = tx * tx * (3 - 2 * tx);
    ty = ty * ty * (3 - 2 * ty);
    const double a = Hash01(ix, iy, seed), b = Hash01(ix + 1, iy, seed);
    const double c = Hash01(ix, iy + 1, seed), d = Hash01(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

QImage NewImage(int w, int h, QImage::Format format)
{
    QImage image(w, h, format);
    image.fill(Qt::transparent);
    return WithResolution(image);
}

QImage NewImage(int w, int h, const QColor& fill)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(fill);
    return WithResolution(image);
}

void SavePng(const QImage& image, const QString& path)
{
    Write(image.convertToFormat(QImage::Format_ARGB32), path, "png", -1);
}

void SaveBmp(const QImage& image, const QString& path)
{
    Write(image.convertToFormat(QImage::Format_RGB32), path, "bmp", -1);
}

void SaveJpeg(const QImage& image, const QString& path, int quality)
{
    Write(image.convertToFormat(QImage::Format_RGB32), path, "jpeg", quality);
}

QImage Enlarged(const QImage& image, int factor)
{
    return WithResolution(image.scaled(image.width() * factor, image.height() * factor,
                                       Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

QColor Mix(const QColor& a, const QColor& b, double t)
{
    auto lerp = [t](int u, int v) { return static_cast<int>(std::lround(u + (v - u) * t)); };
    return QColor(lerp(a.red(), b.red()), lerp(a.green(), b.green()), lerp(a.blue(), b.blue()),
                  lerp(a.alpha(), b.alpha()));
}

QColor WithAlpha(QColor c, int alpha)
{
    c.setAlpha(alpha);
    return c;
}

}  // namespace art
