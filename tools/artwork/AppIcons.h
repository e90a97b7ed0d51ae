// The application icon for the desktop's icon theme: the sizes of the hicolor theme as PNG,
// and the same drawing as an SVG for the theme's scalable folder.
#pragma once

#include <QImage>
#include <QString>

#include <array>

namespace art {

// The sizes a desktop looks for under hicolor/<size>x<size>/apps/.
inline constexpr std::array<int, 8> HicolorSizes{16, 22, 24, 32, 48, 64, 128, 256};

// 16 to 32 pixels: the window's icon drawn on the pixel grid; 48 and more: the large drawing.
QImage HicolorIcon(int size);

// The large drawing as SVG (256 units square), written through Qt's SVG generator.
void SaveIconSvg(const QString& path, const QString& title);

}  // namespace art
