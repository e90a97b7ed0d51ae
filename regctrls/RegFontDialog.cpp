#include "regctrls/RegFontDialog.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <array>
#include <cmath>
#include <limits>

#include "regctrls/MyReg.h"
#include "regctrls/RegMemo.h"

namespace corvane::regctrls {

namespace {

struct TColorName {
    std::string_view Name;
    TColor Value;
};

constexpr std::array<TColorName, 42> ColorNames{{
    {"clBlack", clBlack},
    {"clMaroon", clMaroon},
    {"clGreen", clGreen},
    {"clOlive", clOlive},
    {"clNavy", clNavy},
    {"clPurple", clPurple},
    {"clTeal", clTeal},
    {"clGray", clGray},
    {"clSilver", clSilver},
    {"clRed", clRed},
    {"clLime", clLime},
    {"clYellow", clYellow},
    {"clBlue", clBlue},
    {"clFuchsia", clFuchsia},
    {"clAqua", clAqua},
    {"clWhite", clWhite},
    {"clScrollBar", clScrollBar},
    {"clBackground", clBackground},
    {"clActiveCaption", clActiveCaption},
    {"clInactiveCaption", clInactiveCaption},
    {"clMenu", clMenu},
    {"clWindow", clWindow},
    {"clWindowFrame", clWindowFrame},
    {"clMenuText", clMenuText},
    {"clWindowText", clWindowText},
    {"clCaptionText", clCaptionText},
    {"clActiveBorder", clActiveBorder},
    {"clInactiveBorder", clInactiveBorder},
    {"clAppWorkSpace", clAppWorkSpace},
    {"clHighlight", clHighlight},
    {"clHighlightText", clHighlightText},
    {"clBtnFace", clBtnFace},
    {"clBtnShadow", clBtnShadow},
    {"clGrayText", clGrayText},
    {"clBtnText", clBtnText},
    {"clInactiveCaptionText", clInactiveCaptionText},
    {"clBtnHighlight", clBtnHighlight},
    {"cl3DDkShadow", cl3DDkShadow},
    {"cl3DLight", cl3DLight},
    {"clInfoText", clInfoText},
    {"clInfoBk", clInfoBk},
    {"clNone", clNone},
}};

// The palette entry that stands for each desktop colour index (0 scroll bar ... 24 tooltip
// background); later indexes show as text colour.
struct TPaletteEntry {
    QPalette::ColorGroup Group;
    QPalette::ColorRole Role;
};

constexpr std::array<TPaletteEntry, 25> DesktopColors{{
    {QPalette::Active, QPalette::Midlight},           // scroll bar
    {QPalette::Active, QPalette::Dark},               // desktop background
    {QPalette::Active, QPalette::Highlight},          // active caption
    {QPalette::Inactive, QPalette::Highlight},        // inactive caption
    {QPalette::Active, QPalette::Window},             // menu
    {QPalette::Active, QPalette::Base},               // window
    {QPalette::Active, QPalette::Shadow},             // window frame
    {QPalette::Active, QPalette::WindowText},         // menu text
    {QPalette::Active, QPalette::Text},               // window text
    {QPalette::Active, QPalette::HighlightedText},    // caption text
    {QPalette::Active, QPalette::Window},             // active border
    {QPalette::Inactive, QPalette::Window},           // inactive border
    {QPalette::Active, QPalette::Dark},               // application workspace
    {QPalette::Active, QPalette::Highlight},          // highlight
    {QPalette::Active, QPalette::HighlightedText},    // highlighted text
    {QPalette::Active, QPalette::Button},             // button face
    {QPalette::Active, QPalette::Dark},               // button shadow
    {QPalette::Disabled, QPalette::Text},             // grey text
    {QPalette::Active, QPalette::ButtonText},         // button text
    {QPalette::Inactive, QPalette::HighlightedText},  // inactive caption text
    {QPalette::Active, QPalette::Light},              // button highlight
    {QPalette::Active, QPalette::Shadow},             // 3-D dark shadow
    {QPalette::Active, QPalette::Midlight},           // 3-D light
    {QPalette::Active, QPalette::ToolTipText},        // tooltip text
    {QPalette::Active, QPalette::ToolTipBase},        // tooltip background
}};

constexpr std::array<std::string_view, 4> StyleNames{"fsBold", "fsItalic", "fsUnderline",
                                                     "fsStrikeOut"};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) {
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
        };
        if (lower(a[i]) != lower(b[i])) {
            return false;
        }
    }
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

std::optional<TColor> ParseHex(std::string_view digits) {
    if (digits.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : digits) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint64_t>(digit);
        if (value > std::numeric_limits<std::uint32_t>::max()) {
            return std::nullopt;
        }
    }
    return static_cast<TColor>(value);
}

std::optional<TColor> ParseDecimal(std::string_view text) {
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    constexpr std::int64_t Limit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
        if (value > Limit) {
            return std::nullopt;
        }
    }
    if (!negative && value == Limit) {
        return std::nullopt;
    }
    // The 32-bit pattern of the signed value: -1 is FFFFFFFF.
    return static_cast<TColor>(static_cast<std::uint32_t>(negative ? -value : value));
}

QIcon Swatch(const QColor& color) {
    QPixmap pixmap(16, 16);
    pixmap.fill(color.isValid() ? color : QColor(Qt::transparent));
    return QIcon(pixmap);
}

// The toolkit's font chooser, embedded in the dialog. Escape would close (hide) it alone;
// it is passed on, so that it cancels the whole dialog.
class TFontPage : public QFontDialog {
public:
    using QFontDialog::QFontDialog;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape) {
            event->ignore();
            return;
        }
        QFontDialog::keyPressEvent(event);
    }
};

}  // namespace

std::string ColorToString(TColor color) {
    for (const auto& [name, value] : ColorNames) {
        if (value == color) {
            return std::string(name);
        }
    }
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string text = "$";
    for (int shift = 28; shift >= 0; shift -= 4) {
        text += Digits[(color >> shift) & 0xFu];
    }
    return text;
}

std::optional<TColor> StringToColor(std::string_view text) {
    for (const auto& [name, value] : ColorNames) {
        if (EqualsIgnoringAsciiCase(name, text)) {
            return value;
        }
    }
    if (!text.empty() && text.front() == '$') {
        return ParseHex(text.substr(1));
    }
    return ParseDecimal(text);
}

QColor ColorToQColor(TColor color, const QPalette& palette) {
    if ((color & 0x80000000u) != 0) {
        const std::size_t index = color & 0xFFu;
        if (index < DesktopColors.size()) {
            return palette.color(DesktopColors[index].Group, DesktopColors[index].Role);
        }
        return palette.color(QPalette::Active, QPalette::Text);
    }
    if (color == clNone) {
        return {};
    }
    return QColor(static_cast<int>(color & 0xFFu), static_cast<int>((color >> 8) & 0xFFu),
                  static_cast<int>((color >> 16) & 0xFFu));
}

TColor QColorToColor(const QColor& color) {
    return static_cast<TColor>(color.red()) | (static_cast<TColor>(color.green()) << 8) |
           (static_cast<TColor>(color.blue()) << 16);
}

std::string FontStyleText(const QFont& font) {
    const std::array<bool, 4> present{font.bold(), font.italic(), font.underline(),
                                      font.strikeOut()};
    std::string text = "[";
    for (std::size_t i = 0; i < StyleNames.size(); ++i) {
        if (present[i]) {
            if (text.size() > 1) {
                text += ", ";
            }
            text += StyleNames[i];
        }
    }
    return text + "]";
}

void ApplyFontStyleText(QFont& font, std::string_view text) {
    const auto has = [&](std::size_t style) {
        return text.find(StyleNames[style]) != std::string_view::npos;
    };
    font.setBold(has(0));
    font.setItalic(has(1));
    font.setUnderline(has(2));
    font.setStrikeOut(has(3));
}

std::int32_t FontPointSize(const QFont& font) {
    if (font.pointSizeF() > 0) {
        return static_cast<std::int32_t>(std::lround(font.pointSizeF()));
    }
    return static_cast<std::int32_t>(std::lround(font.pixelSize() * 72.0 / 96.0));
}

TRegFontDialog::TRegFontDialog(QWidget* parent) : QDialog(parent) {
    Font.Font = QFont(QStringLiteral("Microsoft Sans Serif"), 8);
    setWindowTitle(tr("Font"));

    auto* fontPage = new TFontPage(this);
    fontPage->setObjectName(QStringLiteral("FontPage"));
    fontPage->setWindowFlags(Qt::Widget);
    fontPage->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_fontPage = fontPage;

    auto* colorLabel = new QLabel(tr("Colour:"), this);
    m_colorButton = new QPushButton(tr("C&hoose..."), this);
    m_colorButton->setObjectName(QStringLiteral("ColorButton"));
    m_colorButton->setAutoDefault(false);
    colorLabel->setBuddy(m_colorButton);
    connect(m_colorButton, &QPushButton::clicked, this, [this] { ChooseColor(); });

    m_sizeLimitNote = new QLabel(this);
    m_sizeLimitNote->setObjectName(QStringLiteral("SizeLimitNote"));
    m_sizeLimitNote->hide();

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("Buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(m_colorButton);
    colorRow->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_fontPage);
    layout->addLayout(colorRow);
    layout->addWidget(m_sizeLimitNote);
    layout->addWidget(buttons);

    SetChosenColor(Font.Color);
}

void TRegFontDialog::SetChosenColor(TColor color) {
    m_chosenColor = color;
    m_colorButton->setIcon(Swatch(ColorToQColor(color, palette())));
    m_colorButton->setToolTip(QString::fromStdString(ColorToString(color)));
}

void TRegFontDialog::ChooseColor() {
    const QColor current = ColorToQColor(m_chosenColor, palette());
    const QColor picked = ColorPicker ? ColorPicker(current, this)
                                      : QColorDialog::getColor(current, this, tr("Colour"));
    if (!picked.isValid()) {
        return;  // cancelled
    }
    // The colour shown, taken unchanged, keeps its name: a desktop colour stays one.
    if (current.isValid() && picked.rgb() == current.rgb()) {
        return;
    }
    SetChosenColor(QColorToColor(picked));
}

bool TRegFontDialog::SizeAllowed(std::int32_t points) const {
    if (MinFontSize == 0 && MaxFontSize == 0) {
        return true;
    }
    return points >= MinFontSize && (MaxFontSize == 0 || points <= MaxFontSize);
}

void TRegFontDialog::accept() {
    const std::int32_t points = FontPointSize(m_fontPage->currentFont());
    if (!SizeAllowed(points)) {
        m_sizeLimitNote->setText(
            MaxFontSize == 0
                ? tr("Size must be at least %1 points.").arg(MinFontSize)
                : tr("Size must be between %1 and %2 points.").arg(MinFontSize).arg(MaxFontSize));
        m_sizeLimitNote->show();
        return;
    }
    QDialog::accept();
}

bool TRegFontDialog::Execute() {
    m_fontPage->setCurrentFont(Font.Font);
    SetChosenColor(Font.Color);
    m_sizeLimitNote->hide();
    if (exec() != Accepted) {
        return false;
    }
    Font.Font = m_fontPage->currentFont();
    Font.Color = m_chosenColor;
    return true;
}

void TRegFontDialog::LoadFromRegistry() noexcept {
    if (RegMainKey.empty()) {
        return;
    }
    try {
        registry::TRegistry registry(HiveOfRootKeyOrdinal(RegRootKey));
        if (!OpenControlKeyForLoad(registry, RegMainKey)) {
            return;  // first run: the font stays as it is
        }
        // Each step applies its value at once; the first failure ends the load.
        ApplyFontStyleText(Font.Font, ReadText(registry, RegKeyName + "_Style"));

        const auto color = StringToColor(ReadText(registry, RegKeyName + "_Color"));
        if (!color) {
            return;
        }
        Font.Color = *color;

        const std::string face = ReadText(registry, RegKeyName + "_Name");
        if (!face.empty()) {
            Font.Font.setFamily(QString::fromStdString(face));
        }

        const auto size = registry.ReadInteger(RegKeyName + "_Size");
        if (!size || *size < 1) {
            return;
        }
        Font.Font.setPointSize(*size);

        const auto charset = registry.ReadInteger(RegKeyName + "_Charset");
        if (!charset) {
            return;
        }
        Font.Charset = static_cast<std::uint8_t>(*charset & 0xFF);
    } catch (...) {
        // Registry failures are silent; what was applied stays applied.
    }
}

void TRegFontDialog::SaveToRegistry() noexcept {
    if (RegMainKey.empty()) {
        return;
    }
    try {
        // The whole save is one transaction of the store: one durable commit at the end of
        // the scope, and no other process ever sees the key half written.
        registry::TWriteBatch batch;
        registry::TRegistry registry(HiveOfRootKeyOrdinal(RegRootKey));
        if (!registry.OpenKey(ControlKeyPath(RegMainKey), true)) {
            return;
        }
        // The key is not deleted first: it holds other values. The first refused write
        // ends the save.
        const bool stored =
            registry.WriteString(RegKeyName + "_Style", FontStyleText(Font.Font)) &&
            registry.WriteString(RegKeyName + "_Color", ColorToString(Font.Color)) &&
            registry.WriteString(RegKeyName + "_Name", Font.Font.family().toStdString()) &&
            registry.WriteInteger(RegKeyName + "_Size", FontPointSize(Font.Font)) &&
            registry.WriteInteger(RegKeyName + "_Charset", Font.Charset);
        static_cast<void>(stored);  // a refused write is not reported
    } catch (...) {
        // Registry failures are silent.
    }
}

}  // namespace corvane::regctrls
