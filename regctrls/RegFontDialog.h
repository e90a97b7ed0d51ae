#pragma once
// TRegFontDialog: the font dialog whose chosen font (face, size in points, bold, italic,
// underline, strike-out, colour and character set) is kept in the registry as five values
// named RegKeyName + a suffix, in the key "\Software" + RegMainKey of the hive RegRootKey:
//
//   "_Style"   REG_SZ    "[fsBold, fsItalic, fsUnderline, fsStrikeOut]", the styles present,
//                        in that order, separated by ", "; "[]" for none
//   "_Color"   REG_SZ    a name of the colour table (ColorToString), else "$" + 8 hex digits
//   "_Name"    REG_SZ    the face name
//   "_Size"    REG_DWORD the size in points
//   "_Charset" REG_DWORD the character set, 0 to 255
//
// Contract:
// - LoadFromRegistry opens the key without creation (a missing key leaves Font as it is)
//   and applies the values in the order above, stopping at the first that is missing or
//   malformed; what was applied before stays applied. A missing "_Style" is the empty set
//   and is applied; a style is on when its name stands anywhere in the text (case
//   matters). The colour is a table name in any case, or a decimal or "$"-hexadecimal
//   32-bit number; anything else, the empty text too, stops the load. An empty face name
//   leaves the face as it is; any other is taken whole (font families here may have
//   names longer than 31 characters). A size below 1 point stops the load (no font has
//   one). The character set is the low byte of its value.
// - SaveToRegistry opens the key with creation and writes the five values in that order,
//   stopping at the first write the store refuses. It never deletes the key: the other
//   values there (the window's General options) stay. The five writes are one batch of the
//   store (registry::TWriteBatch), durable at its end, all at once.
// - Execute shows the dialog modally, initialised from Font; on OK it updates Font and
//   returns true. It neither loads nor saves.
// - An empty RegMainKey makes both registry operations do nothing. Registry failures are
//   never reported, and nothing throws out of the operations.
//
// The toolkit's font dialog offers no colour, so the dialog is the toolkit's font chooser
// (with its underline and strike-out effects) together with a colour button that opens a
// colour chooser. The character set means nothing to the toolkit; it is kept beside the
// font so that it is stored and loaded unchanged.

#include <QColor>
#include <QDialog>
#include <QFont>
#include <QPalette>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

class QFontDialog;
class QLabel;
class QPushButton;

namespace corvane::regctrls {

// A colour as the registry keeps it: 00BBGGRR for a plain colour, 800000nn for the
// desktop's colour with index nn, 1FFFFFFF for no colour at all.
using TColor = std::uint32_t;

inline constexpr TColor clBlack = 0x00000000;
inline constexpr TColor clMaroon = 0x00000080;
inline constexpr TColor clGreen = 0x00008000;
inline constexpr TColor clOlive = 0x00008080;
inline constexpr TColor clNavy = 0x00800000;
inline constexpr TColor clPurple = 0x00800080;
inline constexpr TColor clTeal = 0x00808000;
inline constexpr TColor clGray = 0x00808080;
inline constexpr TColor clSilver = 0x00C0C0C0;
inline constexpr TColor clRed = 0x000000FF;
inline constexpr TColor clLime = 0x0000FF00;
inline constexpr TColor clYellow = 0x0000FFFF;
inline constexpr TColor clBlue = 0x00FF0000;
inline constexpr TColor clFuchsia = 0x00FF00FF;
inline constexpr TColor clAqua = 0x00FFFF00;
inline constexpr TColor clWhite = 0x00FFFFFF;
inline constexpr TColor clScrollBar = 0x80000000;
inline constexpr TColor clBackground = 0x80000001;
inline constexpr TColor clActiveCaption = 0x80000002;
inline constexpr TColor clInactiveCaption = 0x80000003;
inline constexpr TColor clMenu = 0x80000004;
inline constexpr TColor clWindow = 0x80000005;
inline constexpr TColor clWindowFrame = 0x80000006;
inline constexpr TColor clMenuText = 0x80000007;
inline constexpr TColor clWindowText = 0x80000008;
inline constexpr TColor clCaptionText = 0x80000009;
inline constexpr TColor clActiveBorder = 0x8000000A;
inline constexpr TColor clInactiveBorder = 0x8000000B;
inline constexpr TColor clAppWorkSpace = 0x8000000C;
inline constexpr TColor clHighlight = 0x8000000D;
inline constexpr TColor clHighlightText = 0x8000000E;
inline constexpr TColor clBtnFace = 0x8000000F;
inline constexpr TColor clBtnShadow = 0x80000010;
inline constexpr TColor clGrayText = 0x80000011;
inline constexpr TColor clBtnText = 0x80000012;
inline constexpr TColor clInactiveCaptionText = 0x80000013;
inline constexpr TColor clBtnHighlight = 0x80000014;
inline constexpr TColor cl3DDkShadow = 0x80000015;
inline constexpr TColor cl3DLight = 0x80000016;
inline constexpr TColor clInfoText = 0x80000017;
inline constexpr TColor clInfoBk = 0x80000018;
inline constexpr TColor clNone = 0x1FFFFFFF;

// Character-set numbers as the registry keeps them.
inline constexpr std::uint8_t AnsiCharset = 0;
inline constexpr std::uint8_t DefaultCharset = 1;

// The colour's name from the table above ("clRed"), or "$" and its value in eight
// upper-case hexadecimal digits ("$00804020").
std::string ColorToString(TColor color);
// A name of the table, in any case; else a 32-bit integer, decimal (with an optional sign)
// or hexadecimal after "$". nullopt for anything else, the empty text included.
std::optional<TColor> StringToColor(std::string_view text);
// The colour on screen: a plain colour as it is; a desktop colour (top bit set) from
// Palette; clNone an invalid QColor (no colour: the owner keeps its own); any other value
// by its low 24 bits.
QColor ColorToQColor(TColor color, const QPalette& palette = QPalette());
// 00BBGGRR.
TColor QColorToColor(const QColor& color);

// "[fsBold, fsUnderline]" and so on: the styles Font has, in the order fsBold, fsItalic,
// fsUnderline, fsStrikeOut. Bold is any weight the toolkit calls bold (above medium).
std::string FontStyleText(const QFont& font);
// Sets Font's bold, italic, underline and strike-out: each on when its name stands anywhere
// in Text (case matters), off otherwise.
void ApplyFontStyleText(QFont& font, std::string_view text);
// The font's size in whole points; a size given in pixels counts at 96 pixels per inch.
std::int32_t FontPointSize(const QFont& font);

// A chosen font: face, size in points and styles in Font, with the colour and character
// set beside it.
struct TFont {
    QFont Font;
    TColor Color = clWindowText;
    std::uint8_t Charset = DefaultCharset;
};

class TRegFontDialog : public QDialog {
    Q_OBJECT

public:
    // The hive, by ordinal as a layout stores it.
    enum TRootKey : int { hkLocalMachine, hkCurrentUser, hkUsers };

    // Font starts as "Microsoft Sans Serif", 8 points, no style, clWindowText,
    // DefaultCharset.
    explicit TRegFontDialog(QWidget* parent = nullptr);

    // Stem of the five value names.
    std::string RegKeyName = "Change now!";
    // Key path below "\Software", beginning with a backslash.
    std::string RegMainKey = "\\Halden Software\\Corvane\\default";
    TRootKey RegRootKey = hkLocalMachine;

    TFont Font;
    // Size limits in points for what the user may choose; off while both are 0. With only
    // MinFontSize set, any size from it upward may be chosen.
    std::int32_t MinFontSize = 0;
    std::int32_t MaxFontSize = 0;

    // Asks the user for a colour when the colour button is clicked: the initial colour and
    // the dialog as parent in, the chosen colour out (invalid: cancelled). Empty: the
    // toolkit's colour dialog.
    std::function<QColor(const QColor& initial, QWidget* parent)> ColorPicker;

    bool Execute();
    void LoadFromRegistry() noexcept;
    void SaveToRegistry() noexcept;

    // The dialog's parts while it is open (also for tests): the font chooser, the colour
    // chosen so far, the colour button.
    QFontDialog* FontPage() const { return m_fontPage; }
    TColor ChosenColor() const { return m_chosenColor; }
    void SetChosenColor(TColor color);
    QPushButton* ColorButton() const { return m_colorButton; }
    // The note shown when OK is refused for a size outside the limits.
    QLabel* SizeLimitNote() const { return m_sizeLimitNote; }

    // Refuses a size outside the limits, naming them, and keeps the dialog open.
    void accept() override;

private:
    void ChooseColor();
    bool SizeAllowed(std::int32_t points) const;

    QFontDialog* m_fontPage = nullptr;
    QPushButton* m_colorButton = nullptr;
    QLabel* m_sizeLimitNote = nullptr;
    TColor m_chosenColor = clWindowText;
};

}  // namespace corvane::regctrls
