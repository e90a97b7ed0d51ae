// Shared ground for every picture: the palette, the fonts, text as outlines, deterministic
// noise, and images that save the same bytes on every run.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainterPath>
#include <QPointF>
#include <QRawFont>
#include <QString>

#include <cstdint>

namespace art {

// The palette. Warm paper, deep blue ink, one red accent; everything else is a shade of these.
namespace pal {
inline const QColor Paper{0xF6, 0xEE, 0xDA};       // letter paper
inline const QColor PaperLight{0xFB, 0xF7, 0xEC};  // stamp paper, envelope faces
inline const QColor PaperEdge{0xD8, 0xC9, 0xA4};   // the cut edge of a sheet
inline const QColor Rule{0xB9, 0xC6, 0xDD};        // faint ruled lines
inline const QColor Ink{0x1F, 0x3A, 0x6E};         // deep blue ink
inline const QColor InkDark{0x14, 0x26, 0x4A};     // outlines, the bird
inline const QColor InkSoft{0x5A, 0x72, 0x9E};     // far hills, secondary text
inline const QColor Sky{0xCC, 0xDA, 0xEA};         // top of the stamp's sky
inline const QColor Horizon{0xF5, 0xE7, 0xC8};     // warm light near the horizon
inline const QColor Red{0xB5, 0x3A, 0x2E};         // the stamp's accent
inline const QColor RedDark{0x87, 0x2A, 0x21};
inline const QColor Sun{0xE2, 0xA9, 0x4B};         // ochre sun, flash glow
inline const QColor Postmark{0x1C, 0x2A, 0x52};    // cancellation ink
inline const QColor Steel{0x5B, 0x66, 0x7A};       // paper clip wire
inline const QColor SteelLight{0xE6, 0xEB, 0xF2};
inline const QColor SteelMid{0x9A, 0xA6, 0xB8};
}  // namespace pal

// Fonts are read straight from their files (no font matching), so the outlines never depend
// on the machine's font configuration. Every text is drawn as a path.
enum class Face { Sans, SansBold, SerifBold, Title, TitleRoman };
QRawFont Font(Face face, qreal pixelSize);
bool LoadFonts(QString* error);  // checks the files exist; names the missing package

// Text as a filled outline with its baseline at y = 0 and its pen start at x = 0.
// tracking adds that many pixels after every character.
QPainterPath TextPath(const QRawFont& font, const QString& text, qreal tracking = 0);
// The same, centred horizontally on cx with its baseline at y.
QPainterPath TextPathCentred(const QRawFont& font, const QString& text, qreal cx, qreal y,
                             qreal tracking = 0);
qreal TextAdvance(const QRawFont& font, const QString& text, qreal tracking = 0);

// Noise from a hash of the coordinates: the same input gives the same value everywhere.
double Hash01(int x, int y, std::uint32_t seed);
double ValueNoise(double x, double y, std::uint32_t seed);  // smooth, in [0, 1)

// An image with fixed resolution fields (96 dpi), cleared to transparent or to a colour.
QImage NewImage(int w, int h, QImage::Format format = QImage::Format_ARGB32_Premultiplied);
QImage NewImage(int w, int h, const QColor& fill);

// Saving: fixed format, fixed quality, fixed resolution fields; aborts on failure.
void SavePng(const QImage& image, const QString& path);
void SaveBmp(const QImage& image, const QString& path);  // 24-bit, no alpha
void SaveJpeg(const QImage& image, const QString& path, int quality);

// A picture scaled up by a whole factor with hard pixel edges, to look at closely.
QImage Enlarged(const QImage& image, int factor);

// Mixes two colours: t = 0 gives a, t = 1 gives b.
QColor Mix(const QColor& a, const QColor& b, double t);
QColor WithAlpha(QColor c, int alpha);

}  // namespace art
