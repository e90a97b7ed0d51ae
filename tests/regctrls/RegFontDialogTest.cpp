// TRegFontDialog: the colour and style texts, the five values against a real store in a
// temporary XDG_CONFIG_HOME, and the dialog itself driven without a user.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "RegistryTestSupport.h"
#include "platform/registry/Registry.h"
#include "regctrls/MyReg.h"
#include "regctrls/RegFontDialog.h"

namespace {

namespace rc = corvane::regctrls;
using corvane::test::TRawStore;
using corvane::test::TRawValue;
using rc::TColor;

// The colour names and values as the settings file format documents them, typed out here
// on their own.
const std::vector<std::pair<std::string, TColor>> ColorTable{
    {"clBlack", 0x00000000},         {"clMaroon", 0x00000080},
    {"clGreen", 0x00008000},         {"clOlive", 0x00008080},
    {"clNavy", 0x00800000},          {"clPurple", 0x00800080},
    {"clTeal", 0x00808000},          {"clGray", 0x00808080},
    {"clSilver", 0x00C0C0C0},        {"clRed", 0x000000FF},
    {"clLime", 0x0000FF00},          {"clYellow", 0x0000FFFF},
    {"clBlue", 0x00FF0000},          {"clFuchsia", 0x00FF00FF},
    {"clAqua", 0x00FFFF00},          {"clWhite", 0x00FFFFFF},
    {"clScrollBar", 0x80000000},     {"clBackground", 0x80000001},
    {"clActiveCaption", 0x80000002}, {"clInactiveCaption", 0x80000003},
    {"clMenu", 0x80000004},          {"clWindow", 0x80000005},
    {"clWindowFrame", 0x80000006},   {"clMenuText", 0x80000007},
    {"clWindowText", 0x80000008},    {"clCaptionText", 0x80000009},
    {"clActiveBorder", 0x8000000A},  {"clInactiveBorder", 0x8000000B},
    {"clAppWorkSpace", 0x8000000C},  {"clHighlight", 0x8000000D},
    {"clHighlightText", 0x8000000E}, {"clBtnFace", 0x8000000F},
    {"clBtnShadow", 0x80000010},     {"clGrayText", 0x80000011},
    {"clBtnText", 0x80000012},       {"clInactiveCaptionText", 0x80000013},
    {"clBtnHighlight", 0x80000014},  {"cl3DDkShadow", 0x80000015},
    {"cl3DLight", 0x80000016},       {"clInfoText", 0x80000017},
    {"clInfoBk", 0x80000018},        {"clNone", 0x1FFFFFFF},
};

TEST(TColorText, EveryNamedColourIsWrittenAndReadByItsNameInAnyCase) {
    for (const auto& [name, value] : ColorTable) {
        EXPECT_EQ(rc::ColorToString(value), name);
        EXPECT_EQ(rc::StringToColor(name), value) << name;
        EXPECT_EQ(rc::StringToColor(QString::fromStdString(name).toUpper().toStdString()), value)
            << name;
        EXPECT_EQ(rc::StringToColor(QString::fromStdString(name).toLower().toStdString()), value)
            << name;
    }
    EXPECT_EQ(rc::clWindowText, 0x80000008u);
    EXPECT_EQ(rc::clNone, 0x1FFFFFFFu);
}

TEST(TColorText, OtherColoursAreDollarAndEightUpperCaseHexDigits) {
    // Blue 128, green 64, red 32.
    EXPECT_EQ(rc::ColorToString(rc::QColorToColor(QColor(32, 64, 128))), "$00804020");
    EXPECT_EQ(rc::ColorToString(0x00ABCDEF), "$00ABCDEF");
    EXPECT_EQ(rc::ColorToString(0x00000001), "$00000001");
    EXPECT_EQ(rc::ColorToString(0x80000019), "$80000019");  // a desktop colour with no name
    EXPECT_EQ(rc::ColorToString(0xFFFFFFFF), "$FFFFFFFF");
    EXPECT_EQ(rc::ColorToQColor(0x00804020), QColor(32, 64, 128));
}

TEST(TColorText, NumbersAreDecimalOrDollarHexadecimalWithinThirtyTwoBits) {
    const std::vector<std::pair<std::string, TColor>> good{
        {"$00804020", 0x00804020},  {"$ff", 0xFF}, {"$FFFFFFFF", 0xFFFFFFFF},
        {"$000000000001", 1},       {"255", 0xFF}, {"0", 0},
        {"-1", 0xFFFFFFFF},         {"+16", 16},   {"2147483647", 0x7FFFFFFF},
        {"-2147483648", 0x80000000}};
    for (const auto& [text, value] : good) {
        EXPECT_EQ(rc::StringToColor(text), value) << text;
    }
    for (const std::string text :
         {"", "$", "-", "+", "$100000000", "2147483648", "-2147483649", "12a", "$12G", "0x10", " 5",
          "5 ", "red", "clRedd", "cl Red", "$-1"}) {
        EXPECT_FALSE(rc::StringToColor(text).has_value()) << '"' << text << '"';
    }
}

QFont WithStyles(int styles) {
    QFont font(QStringLiteral("DejaVu Sans"), 10);
    font.setBold((styles & 1) != 0);
    font.setItalic((styles & 2) != 0);
    font.setUnderline((styles & 4) != 0);
    font.setStrikeOut((styles & 8) != 0);
    return font;
}

std::string ExpectedStyleText(int styles) {
    const char* names[] = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
    std::string text;
    for (int i = 0; i < 4; ++i) {
        if ((styles & (1 << i)) != 0) {
            text += (text.empty() ? "" : ", ") + std::string(names[i]);
        }
    }
    return "[" + text + "]";
}

int StylesOf(const QFont& font) {
    return (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0) | (font.underline() ? 4 : 0) |
           (font.strikeOut() ? 8 : 0);
}

TEST(TFontStyleText, EveryCombinationIsWrittenInOrderAndReadBack) {
    for (int styles = 0; styles < 16; ++styles) {
        EXPECT_EQ(rc::FontStyleText(WithStyles(styles)), ExpectedStyleText(styles));
        QFont font = WithStyles(15 - styles);  // every flag the opposite way first
        rc::ApplyFontStyleText(font, ExpectedStyleText(styles));
        EXPECT_EQ(StylesOf(font), styles) << ExpectedStyleText(styles);
    }
    // A heavier weight than bold is bold; a lighter one than bold is not.
    QFont heavy = WithStyles(0);
    heavy.setWeight(QFont::Black);
    EXPECT_EQ(rc::FontStyleText(heavy), "[fsBold]");
    heavy.setWeight(QFont::Medium);
    EXPECT_EQ(rc::FontStyleText(heavy), "[]");
}

TEST(TFontStyleText, ANameAnywhereInTheTextCountsAndCaseMatters) {
    const std::vector<std::pair<std::string, int>> cases{
        {"[fsItalic]", 2},           {"bold", 0}, {"[FSBOLD]", 0},
        {"xfsBoldx,fsStrikeOut", 9}, {"", 0},     {"fsUnderlinefsItalic", 6},
        {"[fsStrikeOut, fsBold]", 9}};
    for (const auto& [text, styles] : cases) {
        QFont font = WithStyles(15);
        rc::ApplyFontStyleText(font, text);
        EXPECT_EQ(StylesOf(font), styles) << text;
    }
}

// The window's font dialog: values "Font_..." in the key of the General options.
void MakeWindowFont(rc::TRegFontDialog& dialog) {
    dialog.RegKeyName = "Font";
    dialog.RegMainKey = "\\Halden Software\\Corvane\\Option\\General";
    dialog.RegRootKey = rc::TRegFontDialog::hkCurrentUser;
}

const std::vector<std::string> GeneralKey{"HKEY_CURRENT_USER", "Software", "Halden Software",
                                          "Corvane",           "Option",   "General"};

TRawValue Text(const std::string& text) {
    return TRawValue{1, text + '\0'};
}

TRawValue Dword(std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) {
        bytes[static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFFu);
    }
    return TRawValue{4, bytes};
}

// What a font looks like, for comparisons that say what differs.
struct TFontSeen {
    std::string Family;
    int Points = 0;
    int Styles = 0;
    TColor Color = 0;
    int Charset = 0;
    bool operator==(const TFontSeen&) const = default;
};

TFontSeen Seen(const rc::TFont& font) {
    return {font.Font.family().toStdString(), font.Font.pointSize(), StylesOf(font.Font),
            font.Color, font.Charset};
}

void PrintTo(const TFontSeen& seen, std::ostream* out) {
    *out << seen.Family << " " << seen.Points << "pt styles " << seen.Styles << " colour "
         << rc::ColorToString(seen.Color) << " charset " << seen.Charset;
}

class TRegFontDialogStore : public ::testing::Test {
protected:
    corvane::test::TScratchRegistry Scratch;

    TRawStore Raw() const { return TRawStore(Scratch.StoreFile()); }

    std::vector<std::string> ValueNames() const {
        const TRawStore raw = Raw();
        return raw.Column("SELECT name FROM vals WHERE key = " +
                          std::to_string(raw.KeyId(GeneralKey)) + " ORDER BY name");
    }

    // Replaces the font's values in the General key with Values (a missing entry: no value).
    void Store(const std::vector<std::pair<std::string, TRawValue>>& values) {
        {
            corvane::registry::TRegistry registry;
            ASSERT_TRUE(
                registry.OpenKey("Software\\Halden Software\\Corvane\\Option\\General", true));
        }
        TRawStore raw = Raw();
        raw.Column("DELETE FROM vals WHERE name LIKE 'Font\\_%' ESCAPE '\\'");
        for (const auto& [name, value] : values) {
            raw.PutValue(raw.KeyId(GeneralKey), name, value.Type, value.Data);
        }
    }

    // A dialog of the window, with a font unlike anything stored, loaded from the store.
    static TFontSeen Loaded() {
        rc::TRegFontDialog dialog;
        MakeWindowFont(dialog);
        dialog.Font = Before();
        dialog.LoadFromRegistry();
        return Seen(dialog.Font);
    }

    static rc::TFont Before() {
        rc::TFont font{WithStyles(1 | 8), rc::clGreen, 77};
        font.Font.setFamily(QStringLiteral("Before Family"));
        font.Font.setPointSize(9);
        return font;
    }
};

TEST_F(TRegFontDialogStore, DefaultsAndAFirstRunKeepTheInitialFontAndMakeNoKey) {
    rc::TRegFontDialog dialog;
    EXPECT_EQ(dialog.RegKeyName, "Change now!");
    EXPECT_EQ(dialog.RegMainKey, "\\Halden Software\\Corvane\\default");
    EXPECT_EQ(dialog.RegRootKey, rc::TRegFontDialog::hkLocalMachine);
    EXPECT_EQ(dialog.MinFontSize, 0);
    EXPECT_EQ(dialog.MaxFontSize, 0);
    const TFontSeen initial{"Microsoft Sans Serif", 8, 0, rc::clWindowText, rc::DefaultCharset};
    EXPECT_EQ(Seen(dialog.Font), initial);

    dialog.LoadFromRegistry();
    EXPECT_EQ(Seen(dialog.Font), initial);
    MakeWindowFont(dialog);
    dialog.LoadFromRegistry();
    EXPECT_EQ(Seen(dialog.Font), initial);
    EXPECT_EQ(Raw().KeyId(GeneralKey), 0);

    // Saved with its defaults, it goes to the local machine's "default" key.
    rc::TRegFontDialog defaults;
    defaults.SaveToRegistry();
    const std::vector<std::string> key{"HKEY_LOCAL_MACHINE", "Software", "Halden Software",
                                       "Corvane", "default"};
    EXPECT_EQ(Raw().Value(key, "Change now!_Style"), Text("[]"));
    EXPECT_EQ(Raw().Value(key, "Change now!_Color"), Text("clWindowText"));
    EXPECT_EQ(Raw().Value(key, "Change now!_Name"), Text("Microsoft Sans Serif"));
    EXPECT_EQ(Raw().Value(key, "Change now!_Size"), Dword(8));
    EXPECT_EQ(Raw().Value(key, "Change now!_Charset"), Dword(1));
}

TEST_F(TRegFontDialogStore, SavesFiveValuesOfExactTypesAndLeavesTheRestOfTheKey) {
    rc::TMyReg options;
    options.RegPath = "\\Software\\Halden Software\\Corvane\\Option";
    options.WriteInteger("General", "Height", 480);
    options.WriteBool("General", "WordWrap", true);
    options.WriteString("General", "BrowseDir", "/home/user");
    options.WriteInteger("General\\Below", "Kept", 1);

    rc::TRegFontDialog dialog;
    MakeWindowFont(dialog);
    dialog.Font = {WithStyles(1 | 2), rc::clRed, rc::AnsiCharset};
    dialog.Font.Font.setFamily(QStringLiteral("Arial"));
    dialog.Font.Font.setPointSize(12);
    dialog.SaveToRegistry();
    dialog.SaveToRegistry();  // saving again replaces, and keeps the rest all the same

    EXPECT_EQ(Raw().Value(GeneralKey, "Font_Style"), Text("[fsBold, fsItalic]"));
    EXPECT_EQ(Raw().Value(GeneralKey, "Font_Color"), Text("clRed"));
    EXPECT_EQ(Raw().Value(GeneralKey, "Font_Name"), Text("Arial"));
    EXPECT_EQ(Raw().Value(GeneralKey, "Font_Size"), Dword(12));
    EXPECT_EQ(Raw().Value(GeneralKey, "Font_Charset"), Dword(0));
    EXPECT_EQ(ValueNames(),
              (std::vector<std::string>{"BrowseDir", "Font_Charset", "Font_Color", "Font_Name",
                                        "Font_Size", "Font_Style", "Height", "WordWrap"}));
    EXPECT_EQ(options.ReadInteger("General", "Height", 0), 480);
    EXPECT_EQ(options.ReadString("General", "BrowseDir", ""), "/home/user");
    EXPECT_EQ(options.ReadInteger("General\\Below", "Kept", 0), 1);
}

TEST_F(TRegFontDialogStore, EveryStyleCombinationAndEveryKindOfColourRoundTrips) {
    std::vector<TColor> colours{rc::QColorToColor(QColor(32, 64, 128)), 0x00000001, 0x80000019,
                                0xFFFFFFFF};
    for (const auto& [name, value] : ColorTable) {
        colours.push_back(value);
    }
    rc::TRegFontDialog saver;
    MakeWindowFont(saver);
    for (int styles = 0; styles < 16; ++styles) {
        const TColor colour = colours[static_cast<std::size_t>(styles) % colours.size()];
        saver.Font = {WithStyles(styles), colour, static_cast<std::uint8_t>(styles * 16 + 2)};
        saver.Font.Font.setFamily(QStringLiteral("DejaVu Serif"));
        saver.Font.Font.setPointSize(7 + styles);
        saver.SaveToRegistry();
        EXPECT_EQ(Loaded(), Seen(saver.Font)) << ExpectedStyleText(styles);
    }
    for (const TColor colour : colours) {
        saver.Font.Color = colour;
        saver.SaveToRegistry();
        EXPECT_EQ(Raw().Value(GeneralKey, "Font_Color"), Text(rc::ColorToString(colour)));
        EXPECT_EQ(Loaded().Color, colour) << rc::ColorToString(colour);
    }
    // Face names are kept whole, however long.
    const QString longFace = QStringLiteral("A Font Family Whose Name Runs Past Thirty-One");
    saver.Font.Font.setFamily(longFace);
    saver.SaveToRegistry();
    EXPECT_EQ(Loaded().Family, longFace.toStdString());
}

TEST_F(TRegFontDialogStore, ALoadStopsAtTheFirstMissingOrMalformedValueKeepingWhatItApplied) {
    const std::vector<std::pair<std::string, TRawValue>> all{
        {"Font_Style", Text("[fsItalic, fsUnderline]")},
        {"Font_Color", Text("clBlue")},
        {"Font_Name", Text("DejaVu Serif")},
        {"Font_Size", Dword(14)},
        {"Font_Charset", Dword(0x1234)}};  // the low byte counts
    const TFontSeen before = Seen(Before());
    const TFontSeen full{"DejaVu Serif", 14, 2 | 4, rc::clBlue, 0x34};
    Store(all);
    EXPECT_EQ(Loaded(), full);

    const auto without = [&](const std::string& name) {
        auto values = all;
        std::erase_if(values, [&](const auto& value) { return value.first == name; });
        return values;
    };
    const auto replacing = [&](const std::string& name, const TRawValue& value) {
        auto values = all;
        for (auto& entry : values) {
            if (entry.first == name) {
                entry.second = value;
            }
        }
        return values;
    };
    const TFontSeen styleOnly{before.Family, before.Points, 2 | 4, before.Color, before.Charset};
    const TFontSeen upToFace{"DejaVu Serif", before.Points, 2 | 4, rc::clBlue, before.Charset};
    const TFontSeen upToSize{"DejaVu Serif", 14, 2 | 4, rc::clBlue, before.Charset};
    const std::vector<
        std::tuple<std::string, std::vector<std::pair<std::string, TRawValue>>, TFontSeen>>
        cases{
            {"no style: the empty set, applied",
             without("Font_Style"),
             {"DejaVu Serif", 14, 0, rc::clBlue, 0x34}},
            {"no colour", without("Font_Color"), styleOnly},
            {"empty colour", replacing("Font_Color", Text("")), styleOnly},
            {"unknown colour", replacing("Font_Color", Text("navy blue")), styleOnly},
            {"colour of another type", replacing("Font_Color", Dword(255)), styleOnly},
            {"decimal colour",
             replacing("Font_Color", Text("255")),
             {"DejaVu Serif", 14, 2 | 4, rc::clRed, 0x34}},
            {"empty face: kept, and the load goes on",
             replacing("Font_Name", Text("")),
             {before.Family, 14, 2 | 4, rc::clBlue, 0x34}},
            {"no size", without("Font_Size"), upToFace},
            {"size as text", replacing("Font_Size", Text("14")), upToFace},
            {"size of zero points", replacing("Font_Size", Dword(0)), upToFace},
            {"negative size", replacing("Font_Size", Dword(0xFFFFFFF6u)), upToFace},
            {"no character set", without("Font_Charset"), upToSize},
            {"character set as text", replacing("Font_Charset", Text("0")), upToSize},
        };
    for (const auto& [what, values, expected] : cases) {
        Store(values);
        EXPECT_EQ(Loaded(), expected) << what;
    }
}

TEST_F(TRegFontDialogStore, ASaveStopsAtTheFirstRefusedWriteAndAnEmptyKeyDoesNothing) {
    rc::TRegFontDialog dialog;
    MakeWindowFont(dialog);
    dialog.SaveToRegistry();  // makes the store, so that it can be told to refuse
    Raw().Column("DELETE FROM vals");
    Raw().Column(
        "CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.name = 'Font_Name' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");
    dialog.Font.Color = rc::clYellow;
    dialog.SaveToRegistry();
    EXPECT_EQ(ValueNames(), (std::vector<std::string>{"Font_Color", "Font_Style"}));
    EXPECT_EQ(Raw().Value(GeneralKey, "Font_Color"), Text("clYellow"));

    Raw().Column("DROP TRIGGER refuse");
    dialog.RegMainKey.clear();
    dialog.SaveToRegistry();
    dialog.Font.Color = rc::clAqua;
    dialog.LoadFromRegistry();
    EXPECT_EQ(ValueNames(), (std::vector<std::string>{"Font_Color", "Font_Style"}));
    EXPECT_EQ(dialog.Font.Color, rc::clAqua);
}

// Runs Execute while Script acts on the open dialog. A dialog still open after ten
// seconds is cancelled, so that no test can hang on it.
bool ExecuteWith(rc::TRegFontDialog& dialog, const std::function<void()>& script) {
    bool ran = false;
    QTimer::singleShot(0, &dialog, [&] {
        ran = true;
        script();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &dialog, &QDialog::reject);
    watchdog.start(10000);
    const bool accepted = dialog.Execute();
    EXPECT_TRUE(ran) << "the dialog was not shown";
    EXPECT_TRUE(watchdog.isActive()) << "the dialog had to be cancelled by the watchdog";
    return accepted;
}

QPushButton* ButtonOf(const rc::TRegFontDialog& dialog, QDialogButtonBox::StandardButton which) {
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("Buttons"));
    return buttons == nullptr ? nullptr : buttons->button(which);
}

void Click(QPushButton* button) {
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}

// A click on a check box's indicator, at its left end.
void ClickBox(QCheckBox* box) {
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier,
                      QPoint(box->height() / 2, box->height() / 2));
}

// The font chooser's check box for an effect, found by its caption ("&Underline").
QCheckBox* EffectBox(const rc::TRegFontDialog& dialog, const QString& caption) {
    for (auto* box : dialog.FontPage()->findChildren<QCheckBox*>()) {
        if (box->text().remove(QLatin1Char('&')).compare(caption, Qt::CaseInsensitive) == 0) {
            return box;
        }
    }
    return nullptr;
}

class TRegFontDialogWindow : public ::testing::Test {
protected:
    TRegFontDialogWindow() {
        dialog.Font = {QFont(QStringLiteral("DejaVu Sans Mono"), 11), rc::clWindowText, 204};
        dialog.Font.Font.setBold(true);
        dialog.ColorPicker = [this](const QColor& initial, QWidget* parent) {
            pickerCalls.emplace_back(initial, parent);
            return pickerAnswer;
        };
    }

    rc::TRegFontDialog dialog;
    QColor pickerAnswer;
    std::vector<std::pair<QColor, QWidget*>> pickerCalls;
};

TEST_F(TRegFontDialogWindow, OkTakesTheChosenFaceSizeEffectsAndColourAndKeepsTheCharset) {
    const bool accepted = ExecuteWith(dialog, [&] {
        // The dialog opens on the present font and colour.
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_TRUE(dialog.FontPage()->isVisible());
        EXPECT_EQ(dialog.FontPage()->currentFont().family(), QStringLiteral("DejaVu Sans Mono"));
        EXPECT_TRUE(dialog.FontPage()->currentFont().bold());
        EXPECT_EQ(dialog.FontPage()->currentFont().pointSize(), 11);
        EXPECT_EQ(dialog.ChosenColor(), rc::clWindowText);

        dialog.FontPage()->setCurrentFont(QFont(QStringLiteral("Lato"), 14));
        QCheckBox* underline = EffectBox(dialog, QStringLiteral("Underline"));
        QCheckBox* strikeOut = EffectBox(dialog, QStringLiteral("Strikeout"));
        ASSERT_NE(underline, nullptr);
        ASSERT_NE(strikeOut, nullptr);
        ClickBox(underline);
        ClickBox(strikeOut);
        pickerAnswer = QColor(32, 64, 128);
        Click(dialog.ColorButton());
        Click(ButtonOf(dialog, QDialogButtonBox::Ok));
    });
    EXPECT_TRUE(accepted);
    ASSERT_EQ(pickerCalls.size(), 1u);
    EXPECT_EQ(pickerCalls[0].first, dialog.palette().color(QPalette::Active, QPalette::Text));
    EXPECT_EQ(pickerCalls[0].second, &dialog);
    EXPECT_EQ(Seen(dialog.Font), (TFontSeen{"Lato", 14, 4 | 8, 0x00804020, 204}));
    EXPECT_EQ(rc::ColorToString(dialog.Font.Color), "$00804020");
}

TEST_F(TRegFontDialogWindow, CancelEscapeAndACancelledColourChangeNothing) {
    const TFontSeen before = Seen(dialog.Font);
    EXPECT_FALSE(ExecuteWith(dialog, [&] {
        dialog.FontPage()->setCurrentFont(QFont(QStringLiteral("DejaVu Serif"), 20));
        dialog.SetChosenColor(rc::clRed);
        Click(ButtonOf(dialog, QDialogButtonBox::Cancel));
    }));
    EXPECT_EQ(Seen(dialog.Font), before);

    // Escape typed in the font chooser cancels the whole dialog, and the chooser is still
    // there the next time.
    EXPECT_FALSE(ExecuteWith(dialog, [&] {
        dialog.FontPage()->setCurrentFont(QFont(QStringLiteral("DejaVu Serif"), 20));
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus != nullptr ? focus : dialog.FontPage(), Qt::Key_Escape);
    }));
    EXPECT_EQ(Seen(dialog.Font), before);
    EXPECT_TRUE(ExecuteWith(dialog, [&] {
        EXPECT_TRUE(dialog.FontPage()->isVisible());
        // A cancelled colour choice, and the shown colour taken unchanged, keep the
        // desktop colour by its name.
        pickerAnswer = QColor();
        Click(dialog.ColorButton());
        EXPECT_EQ(dialog.ChosenColor(), rc::clWindowText);
        pickerAnswer = dialog.palette().color(QPalette::Active, QPalette::Text);
        Click(dialog.ColorButton());
        EXPECT_EQ(dialog.ChosenColor(), rc::clWindowText);
        Click(ButtonOf(dialog, QDialogButtonBox::Ok));
    }));
    EXPECT_EQ(pickerCalls.size(), 2u);
    EXPECT_EQ(Seen(dialog.Font), before);
}

TEST_F(TRegFontDialogWindow, SizeLimitsRefuseOkOutsideThemAndNameThem) {
    dialog.MinFontSize = 10;
    dialog.MaxFontSize = 12;
    EXPECT_TRUE(ExecuteWith(dialog, [&] {
        EXPECT_FALSE(dialog.SizeLimitNote()->isVisible());
        for (const int refused : {20, 9}) {
            dialog.FontPage()->setCurrentFont(QFont(QStringLiteral("Lato"), refused));
            Click(ButtonOf(dialog, QDialogButtonBox::Ok));
            EXPECT_TRUE(dialog.isVisible()) << refused;
        }
        EXPECT_TRUE(dialog.SizeLimitNote()->isVisible());
        EXPECT_EQ(dialog.SizeLimitNote()->text(),
                  QStringLiteral("Size must be between 10 and 12 points."));
        dialog.FontPage()->setCurrentFont(QFont(QStringLiteral("Lato"), 12));
        Click(ButtonOf(dialog, QDialogButtonBox::Ok));
    }));
    EXPECT_EQ(dialog.Font.Font.pointSize(), 12);

    // Only a lower limit: anything from it upward.
    dialog.MaxFontSize = 0;
    EXPECT_TRUE(ExecuteWith(dialog, [&] {
        dialog.FontPage()->setCurrentFont(QFont(QStringLiteral("Lato"), 72));
        Click(ButtonOf(dialog, QDialogButtonBox::Ok));
    }));
    EXPECT_EQ(dialog.Font.Font.pointSize(), 72);
}

}  // namespace
