// Every picture of resources/, one function each.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>


namespace art {

// Where the window puts the pictures on the "Send Mail" page (pixels of its panel).
namespace place {
inline constexpr QRect Letter{3, 2, 618, 236};
inline constexpr QRect Frame{480, 23, 120, 77};
inline constexpr QRect Stamp{487, 30, 107, 63};
inline constexpr QRect Seal{437, 37, 173, 73};
inline constexpr QRect Clip{21, 146, 42, 21};
inline constexpr int LabelX = 26;
inline constexpr int FieldX = 69;
inline constexpr int LabelY[6] = {26, 48, 79, 101, 123, 199};  // From, Smtp, To, Cc, Bcc, Subject
}  // namespace place

// Hot spot of the busy cursor's frames.
inline constexpr QPoint CursorHotSpot{16, 16};
inline constexpr int CursorFrames = 10;

QImage Letter();            // 618 x 236
QImage Frame();             // 120 x 77
QImage Stamp();             // 107 x 63
QImage Seal();              // 173 x 73, ink on transparent
QImage SealOnWhite();       // the same with hard edges on white, for a 24-bit BMP
QImage Clip();              // 42 x 21, transparent
QImage AppIcon(int size);   // 16, 22, 24 or 32
QImage TrayDefaultIcon();   // 16
QImage BlankIcon();         // 16, every pixel transparent
QImage FlashIcon();         // 16
QImage About();             // 200 x 280
QImage CursorFrame(int i);  // 32 x 32, i in [0, CursorFrames)

}  // namespace art
