// TRegMemo and TRegListBox against a real store in a temporary XDG_CONFIG_HOME; what lands
// in the file is checked with a connection of the test's own.

#include <gtest/gtest.h>

#include <QFontDatabase>
#include <QFontMetricsF>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "RegistryTestSupport.h"
#include "platform/registry/Registry.h"
#include "regctrls/MyReg.h"
#include "regctrls/RegListBox.h"
#include "regctrls/RegMemo.h"

namespace {

namespace rc = corvane::regctrls;
using corvane::test::TRawStore;
using corvane::test::TRawValue;
using namespace std::string_literals;

using TLines = std::vector<std::string>;

std::vector<std::string> CorvaneKey(const std::string& leaf,
                                    const std::string& hive = "HKEY_CURRENT_USER") {
    return {hive, "Software", "Halden Software", "Corvane", leaf};
}

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

TLines Numbered(const std::string& stem, int count) {
    TLines lines;
    for (int i = 0; i < count; ++i) {
        lines.push_back(stem + std::to_string(i));
    }
    return lines;
}

class Store : public ::testing::Test {
protected:
    corvane::test::TScratchRegistry Scratch;

    TRawStore Raw() const { return TRawStore(Scratch.StoreFile()); }

    // The names of the values in the key at Path, sorted; empty when there is no such key.
    std::vector<std::string> ValueNames(const std::vector<std::string>& path) const {
        const TRawStore raw = Raw();
        const std::int64_t key = raw.KeyId(path);
        if (key == 0) {
            return {};
        }
        return raw.Column("SELECT name FROM vals WHERE key = " + std::to_string(key) +
                          " ORDER BY name");
    }

    // Writes the values straight into the store, making the key with TRegistry.
    void Put(const std::vector<std::string>& path,
             const std::vector<std::pair<std::string, TRawValue>>& values) {
        std::string joined;
        for (std::size_t i = 2; i < path.size(); ++i) {
            joined += "\\" + path[i];
        }
        corvane::registry::TRegistry registry(corvane::registry::ERootKey::CurrentUser);
        ASSERT_TRUE(registry.OpenKey("Software" + joined, true));
        registry.CloseKey();
        TRawStore raw = Raw();
        const std::int64_t key = raw.KeyId(path);
        ASSERT_NE(key, 0);
        for (const auto& [name, value] : values) {
            raw.PutValue(key, name, value.Type, value.Data);
        }
    }

    // From now on the store refuses to store a value of any of these names (whatever the
    // key), as a store that fails a single write would.
    void RefuseWritesOf(const std::vector<std::string>& names) {
        std::string list;
        for (const auto& name : names) {
            list += (list.empty() ? "'" : ", '") + name + "'";
        }
        Raw().Column("CREATE TRIGGER refuse BEFORE INSERT ON vals WHEN NEW.name IN (" + list +
                     ") BEGIN SELECT RAISE(ABORT, 'refused'); END");
    }
};

// A memo set up as the window's message memo: every line is kept.
void MakeMessages(rc::TRegMemo& memo) {
    memo.RegKeyName = "Messages";
    memo.RegMainKey = "\\Halden Software\\Corvane\\Messages";
    memo.RegMaxLines = rc::TRegMemo::AllLines;
    memo.RegRootKey = rc::TRegMemo::hkCurrentUser;
}

// The same key with a limit of 100 lines, as the message memo once had.
void MakeLimitedMessages(rc::TRegMemo& memo) {
    MakeMessages(memo);
    memo.RegMaxLines = 100;
}

TLines Reloaded(void (*setUp)(rc::TRegMemo&)) {
    rc::TRegMemo memo;
    setUp(memo);
    memo.SetLines({"stale content"});
    memo.LoadFromRegistry();
    return memo.Lines();
}

using TRegMemoStore = Store;

TEST_F(TRegMemoStore, DefaultsGoToTheLocalMachineAndEachRootKeyOrdinalSelectsItsHive) {
    rc::TRegMemo memo;
    EXPECT_EQ(memo.RegKeyName, "change now!");
    EXPECT_EQ(memo.RegMainKey, "\\Halden Software\\Corvane\\default");
    EXPECT_EQ(memo.RegMaxLines, 200);
    EXPECT_EQ(memo.RegRootKey, rc::TRegMemo::hkLocalMachine);
    memo.SetLines({"x"});
    memo.SaveToRegistry();
    EXPECT_EQ(Raw().Value(CorvaneKey("default", "HKEY_LOCAL_MACHINE"), "change now!0"), Text("x"));

    // Layouts keep the ordinal: 0 local machine, 1 current user, 2 users; anything else
    // falls back to the current user.
    const std::vector<std::pair<int, std::string>> hives{
        {1, "HKEY_CURRENT_USER"}, {2, "HKEY_USERS"}, {7, "HKEY_CURRENT_USER"}};
    for (const auto& [ordinal, hive] : hives) {
        memo.RegRootKey = static_cast<rc::TRegMemo::TRootKey>(ordinal);
        memo.RegMainKey = "\\Halden Software\\Corvane\\Hive" + std::to_string(ordinal);
        memo.SaveToRegistry();
        EXPECT_EQ(Raw().Value(CorvaneKey("Hive" + std::to_string(ordinal), hive), "Total"),
                  Dword(1))
            << ordinal;
    }
    rc::TRegListBox list;
    list.RegRootKey = static_cast<rc::TRegListBox::TRootKey>(2);
    list.SetItems({"entry"});
    list.SaveToRegistry();
    EXPECT_EQ(Raw().Value(CorvaneKey("default", "HKEY_USERS"), "change now!0"), Text("entry"));
}

TEST_F(TRegMemoStore, LinesIncludingEmptyOnesRoundTripAsTotalAndOneTextEach) {
    rc::TRegMemo memo;
    MakeMessages(memo);
    memo.SetLines({"one", "", "three"});
    memo.SaveToRegistry();
    const auto key = CorvaneKey("Messages");
    EXPECT_EQ(ValueNames(key), (TLines{"Messages0", "Messages1", "Messages2", "Total"}));
    EXPECT_EQ(Raw().Value(key, "Total"), Dword(3));
    EXPECT_EQ(Raw().Value(key, "Messages0"), Text("one"));
    EXPECT_EQ(Raw().Value(key, "Messages1"), (TRawValue{1, "\0"s}));
    EXPECT_EQ(Raw().Value(key, "Messages2"), Text("three"));
    EXPECT_EQ(Reloaded(MakeMessages), (TLines{"one", "", "three"}));

    // Empty lines at either end, and text beyond ASCII, come back as they were.
    const TLines edges{"", "", "caf\xC3\xA9 \xE2\x82\xAC", "\tindented", "", ""};
    memo.SetLines(edges);
    EXPECT_EQ(memo.Lines(), edges);
    memo.SaveToRegistry();
    EXPECT_EQ(Raw().Value(key, "Total"), Dword(6));
    EXPECT_EQ(Raw().Value(key, "Messages2"), Text("caf\xC3\xA9 \xE2\x82\xAC"));
    EXPECT_EQ(Reloaded(MakeMessages), edges);

    // The names are the stem and the index run together: Sig1's eleventh line is "Sig110".
    rc::TRegMemo signature;
    signature.RegKeyName = "Sig1";
    signature.RegMainKey = "\\Halden Software\\Corvane\\Sig\\Sig1";
    signature.RegRootKey = rc::TRegMemo::hkCurrentUser;
    signature.SetLines(Numbered("line ", 12));
    signature.SaveToRegistry();
    const std::vector<std::string> sigKey{"HKEY_CURRENT_USER", "Software", "Halden Software",
                                          "Corvane",           "Sig",      "Sig1"};
    EXPECT_EQ(Raw().Value(sigKey, "Sig110"), Text("line 10"));
    EXPECT_EQ(Raw().Value(sigKey, "Sig111"), Text("line 11"));
    EXPECT_EQ(ValueNames(sigKey).size(), 13u);
}

TEST_F(TRegMemoStore, AFinalLineBreakAddsNoLineAndAnEmptyMemoStoresTotalZeroAlone) {
    rc::TRegMemo memo;
    MakeMessages(memo);
    memo.setPlainText("first\nsecond\n");
    EXPECT_EQ(memo.Lines(), (TLines{"first", "second"}));
    memo.setPlainText("first\nsecond\n\n");
    EXPECT_EQ(memo.Lines(), (TLines{"first", "second", ""}));
    memo.SaveToRegistry();
    EXPECT_EQ(Raw().Value(CorvaneKey("Messages"), "Total"), Dword(3));

    memo.clear();
    EXPECT_TRUE(memo.Lines().empty());
    memo.SaveToRegistry();
    EXPECT_EQ(ValueNames(CorvaneKey("Messages")), (TLines{"Total"}));
    EXPECT_EQ(Raw().Value(CorvaneKey("Messages"), "Total"), Dword(0));
    EXPECT_TRUE(Reloaded(MakeMessages).empty());
}

TEST_F(TRegMemoStore, SaveReplacesTheKeyWithItsSubkeysAndStrayValues) {
    Put(CorvaneKey("Messages"), {{"Messages7", Text("old line")}, {"Other", Dword(5)}});
    Put({"HKEY_CURRENT_USER", "Software", "Halden Software", "Corvane", "Messages", "Sub",
         "Deeper"},
        {{"Kept", Text("no")}});
    Put(CorvaneKey("Neighbour"), {{"Stays", Text("yes")}});

    rc::TRegMemo memo;
    MakeMessages(memo);
    memo.SetLines({"a", "b"});
    memo.SaveToRegistry();

    EXPECT_EQ(ValueNames(CorvaneKey("Messages")), (TLines{"Messages0", "Messages1", "Total"}));
    const TRawStore raw = Raw();
    EXPECT_EQ(raw.KeyId({"HKEY_CURRENT_USER", "Software", "Halden Software", "Corvane", "Messages",
                         "Sub"}),
              0);
    EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE name = 'Kept'"), 0);
    EXPECT_EQ(raw.Value(CorvaneKey("Neighbour"), "Stays"), Text("yes"));
}

TEST_F(TRegMemoStore, LoadReadsExactlyTotalLinesAndMissingOrForeignValuesAreEmptyLines) {
    const auto key = CorvaneKey("Messages");
    // "Total" 3, but only lines 0 and 2.
    Put(key, {{"Total", Dword(3)}, {"Messages0", Text("zero")}, {"Messages2", Text("two")}});
    EXPECT_EQ(Reloaded(MakeMessages), (TLines{"zero", "", "two"}));

    // "Total" beyond the lines present: the rest are empty lines.
    Put(key, {{"Total", Dword(5)}});
    EXPECT_EQ(Reloaded(MakeMessages), (TLines{"zero", "", "two", "", ""}));

    // Values beyond "Total" are not read; a line of another type is an empty line.
    Put(key, {{"Total", Dword(2)}, {"Messages0", Dword(9)}, {"Messages1", Text("one")}});
    EXPECT_EQ(Reloaded(MakeMessages), (TLines{"", "one"}));

    // No "Total", a "Total" of another type, or a negative one: no lines at all.
    Raw().Column("DELETE FROM vals WHERE name = 'Total'");
    EXPECT_TRUE(Reloaded(MakeMessages).empty());
    Put(key, {{"Total", Text("2")}});
    EXPECT_TRUE(Reloaded(MakeMessages).empty());
    Put(key, {{"Total", Dword(0xFFFFFFFFu)}});
    EXPECT_TRUE(Reloaded(MakeMessages).empty());

    // A missing key empties the memo, and the load makes no key.
    rc::TRegMemo memo;
    MakeMessages(memo);
    memo.RegMainKey = "\\Halden Software\\Corvane\\Missing";
    memo.SetLines({"before"});
    memo.LoadFromRegistry();
    EXPECT_TRUE(memo.Lines().empty());
    EXPECT_EQ(Raw().KeyId(CorvaneKey("Missing")), 0);
}

TEST_F(TRegMemoStore, RegMaxLinesLimitsTheSaveButNotTheLoad) {
    rc::TRegMemo memo;
    MakeLimitedMessages(memo);
    memo.SetLines(Numbered("line ", 150));
    memo.SaveToRegistry();
    const auto key = CorvaneKey("Messages");
    EXPECT_EQ(Raw().Value(key, "Total"), Dword(100));
    EXPECT_EQ(Raw().Value(key, "Messages99"), Text("line 99"));
    EXPECT_FALSE(Raw().Value(key, "Messages100").has_value());
    EXPECT_EQ(Reloaded(MakeLimitedMessages), Numbered("line ", 100));

    // A stored memo longer than RegMaxLines loads whole.
    std::vector<std::pair<std::string, TRawValue>> stored{{"Total", Dword(150)}};
    for (int i = 0; i < 150; ++i) {
        stored.emplace_back("Messages" + std::to_string(i), Text("line " + std::to_string(i)));
    }
    Put(key, stored);
    EXPECT_EQ(Reloaded(MakeLimitedMessages), Numbered("line ", 150));

    // No room at all (or a nonsensical negative limit) stores "Total" 0 and no line.
    for (const std::int32_t limit : {0, -3}) {
        memo.RegMaxLines = limit;
        memo.SaveToRegistry();
        EXPECT_EQ(ValueNames(key), (TLines{"Total"})) << limit;
        EXPECT_EQ(Raw().Value(key, "Total"), Dword(0)) << limit;
    }
}

// A "Total" beyond MaxLoadedLines is believed only as far as the lines are there: the first
// MaxLoadedLines load as ever (a missing one is an empty line), the rest up to the first
// line that is missing or not text. So a damaged "Total" cannot freeze the program, and a
// draft saved whole (RegMaxLines AllLines) longer than MaxLoadedLines still loads whole.
TEST_F(TRegMemoStore, ADamagedHugeTotalLoadsOnlyTheLinesThatAreThereBeyondMaxLoadedLines) {
    Put(CorvaneKey("Messages"), {{"Total", Dword(0x7FFFFFFFu)},
                                 {"Messages0", Text("first")},
                                 {"Messages65535", Text("last of the bound")},
                                 {"Messages65536", Text("beyond")},
                                 {"Messages65537", Dword(1)},
                                 {"Messages65538", Text("after a foreign value")}});
    const TLines lines = Reloaded(MakeMessages);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(rc::TRegMemo::MaxLoadedLines) + 1);
    EXPECT_EQ(lines.front(), "first");
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[static_cast<std::size_t>(rc::TRegMemo::MaxLoadedLines) - 1], "last of the bound");
    EXPECT_EQ(lines.back(), "beyond");
}

TEST_F(TRegMemoStore, EveryWriteIsTriedOnItsOwnAndAKeyThatCannotOpenStoresNothing) {
    rc::TRegMemo memo;
    MakeMessages(memo);
    memo.SetLines({"zero", "one", "two"});
    memo.SaveToRegistry();  // makes the store, so that it can be told to refuse
    RefuseWritesOf({"Total", "Messages1"});
    memo.SetLines({"new zero", "new one", "new two", "new three"});
    memo.SaveToRegistry();
    const auto key = CorvaneKey("Messages");
    EXPECT_EQ(ValueNames(key), (TLines{"Messages0", "Messages2", "Messages3"}));
    EXPECT_EQ(Raw().Value(key, "Messages3"), Text("new three"));

    // A key path that names no key (an empty component): nothing is stored, nothing thrown,
    // and a load empties the memo.
    memo.RegMainKey = "\\Halden Software\\\\Corvane";
    const std::int64_t before = Raw().Number("SELECT count(*) FROM vals");
    memo.SaveToRegistry();
    memo.LoadFromRegistry();
    EXPECT_TRUE(memo.Lines().empty());
    EXPECT_EQ(Raw().Number("SELECT count(*) FROM vals"), before);

    // An empty RegMainKey does nothing at all, not even emptying the memo.
    memo.RegMainKey.clear();
    memo.SetLines({"kept"});
    memo.LoadFromRegistry();
    memo.SaveToRegistry();
    EXPECT_EQ(memo.Lines(), (TLines{"kept"}));
    EXPECT_EQ(Raw().Number("SELECT count(*) FROM vals"), before);
}

// A memo shown at a width that holds about 34 characters of a fixed-pitch font, so that
// three nine-letter words and their spaces fit on a display line and a fourth does not.
class TRegMemoWrap : public Store {
protected:
    void SetUp() override {
        QFont fixed("DejaVu Sans Mono");
        fixed.setStyleHint(QFont::TypeWriter);
        fixed.setPointSize(10);
        memo.setFont(fixed);
        memo.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        MakeMessages(memo);
        const QFontMetricsF metrics(fixed);
        charWidth = metrics.horizontalAdvance(QLatin1Char('x'));
        ASSERT_DOUBLE_EQ(metrics.horizontalAdvance(QStringLiteral("iiiiiiiiii")),
                         metrics.horizontalAdvance(QStringLiteral("WWWWWWWWWW")))
            << "the font is not of fixed pitch";
        const int margins = static_cast<int>(2 * memo.document()->documentMargin()) +
                            2 * memo.frameWidth() + memo.verticalScrollBar()->sizeHint().width();
        memo.resize(static_cast<int>(34 * charWidth) + margins, 300);
        memo.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&memo));
        const double fits =
            (memo.viewport()->width() - 2 * memo.document()->documentMargin()) / charWidth;
        ASSERT_GT(fits, 30.5);
        ASSERT_LT(fits, 38.5);
    }

    rc::TRegMemo memo;
    double charWidth = 0;
};

// Words "word1xxxx" ... of nine characters each.
std::string Words(int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) {
        text += (text.empty() ? "" : " ") + ("word" + std::to_string(i) + "xxxx").substr(0, 9);
    }
    return text;
}

// A wrapping memo reports (and a send takes) its display lines, but stores the lines the
// user wrote: a paragraph comes back after a load as one paragraph, with no break where the
// wrapping put one, at whatever width the memo has then.
TEST_F(TRegMemoWrap, AWrappedMemoReportsDisplayLinesButStoresTheLinesAsWritten) {
    EXPECT_TRUE(memo.WordWrap());
    memo.setPlainText(QString::fromStdString(Words(1, 7) + "\nshort\n\n" + Words(8, 13) + "\n"));
    // A wrapped line keeps the blank it was broken at, so the display lines of a paragraph
    // put together give the paragraph back.
    const TLines display{Words(1, 3) + " ",  Words(4, 6) + " ", Words(7, 7), "short", "",
                         Words(8, 10) + " ", Words(11, 13)};
    EXPECT_EQ(memo.Lines(), display);
    const TLines written{Words(1, 7), "short", "", Words(8, 13)};
    EXPECT_EQ(memo.LogicalLines(), (QStringList{QString::fromStdString(written[0]), "short", "",
                                                QString::fromStdString(written[3])}));

    memo.SaveToRegistry();
    const auto key = CorvaneKey("Messages");
    EXPECT_EQ(ValueNames(key), (TLines{"Messages0", "Messages1", "Messages2", "Messages3", "Total"}));
    EXPECT_EQ(Raw().Value(key, "Total"), Dword(4));
    EXPECT_EQ(Raw().Value(key, "Messages0"), Text(Words(1, 7)));
    EXPECT_EQ(Raw().Value(key, "Messages3"), Text(Words(8, 13)));

    // The load gives the paragraphs back, wrapped again at the width of the memo.
    memo.LoadFromRegistry();
    EXPECT_EQ(memo.document()->blockCount(), 4);
    EXPECT_EQ(memo.Lines(), display);
    EXPECT_EQ(Reloaded(MakeMessages), written) << "a memo never shown wraps nothing";

    // A line separator (Shift+Return) ends a line as written as a line break does.
    memo.setPlainText(QString::fromStdString(Words(1, 5)) + QChar(QChar::LineSeparator) +
                      QStringLiteral("right"));
    memo.SaveToRegistry();
    EXPECT_EQ(Reloaded(MakeMessages), (TLines{Words(1, 5), "right"}));

    // Paragraphs far below the visible part (the editor lays those out only when asked)
    // wrap all the same when reported, and are stored as written: more of them than the
    // 100 lines of old, and more display lines still.
    std::string many;
    TLines manyDisplay, manyWritten;
    for (int i = 0; i < 120; ++i) {
        many += Words(1, 7) + "\n";
        manyDisplay.insert(manyDisplay.end(), {Words(1, 3) + " ", Words(4, 6) + " ", Words(7, 7)});
        manyWritten.push_back(Words(1, 7));
    }
    memo.setPlainText(QString::fromStdString(many));
    EXPECT_EQ(memo.Lines(), manyDisplay);
    memo.SaveToRegistry();
    EXPECT_EQ(Raw().Value(key, "Total"), Dword(120));
    memo.LoadFromRegistry();
    EXPECT_EQ(memo.Lines(), manyDisplay);
    EXPECT_EQ(Reloaded(MakeMessages), manyWritten);

    // RegMaxLines counts the lines as written.
    memo.setPlainText(QString::fromStdString(Words(1, 7) + "\n" + Words(8, 13) + "\nthird"));
    memo.RegMaxLines = 2;
    memo.SaveToRegistry();
    EXPECT_EQ(ValueNames(key), (TLines{"Messages0", "Messages1", "Total"}));
    EXPECT_EQ(Raw().Value(key, "Total"), Dword(2));
    EXPECT_EQ(Raw().Value(key, "Messages1"), Text(Words(8, 13)));
}

TEST_F(TRegMemoWrap, UnwrappedLinesAreTheParagraphsAndWrappingFollowsTheWidth) {
    const std::string text = Words(1, 7) + "\nshort";
    memo.setPlainText(QString::fromStdString(text));
    memo.SetWordWrap(false);
    EXPECT_FALSE(memo.WordWrap());
    EXPECT_EQ(memo.Lines(), (TLines{Words(1, 7), "short"}));
    memo.SaveToRegistry();
    EXPECT_EQ(Raw().Value(CorvaneKey("Messages"), "Total"), Dword(2));
    EXPECT_EQ(Raw().Value(CorvaneKey("Messages"), "Messages0"), Text(Words(1, 7)));

    memo.SetWordWrap(true);
    EXPECT_EQ(memo.Lines().size(), 4u);
    // Twenty characters wider: five words to a display line.
    memo.resize(memo.width() + static_cast<int>(20 * charWidth), memo.height());
    EXPECT_EQ(memo.Lines(), (TLines{Words(1, 5) + " ", Words(6, 7), "short"}));
    // A line separator inside a paragraph breaks it as a line break does.
    memo.setPlainText(QStringLiteral("left") + QChar(QChar::LineSeparator) +
                      QStringLiteral("right"));
    EXPECT_EQ(memo.Lines(), (TLines{"left", "right"}));
    memo.SetWordWrap(false);
    EXPECT_EQ(memo.Lines(), (TLines{"left", "right"}));
}

TEST(TRegMemoUnshown, AMemoNeverLaidOutAtAWidthWrapsNothing) {
    rc::TRegMemo memo;
    memo.resize(100, 100);
    const std::string line = std::string(50, 'a') + " " + std::string(50, 'b');
    memo.setPlainText(QString::fromStdString(line));
    EXPECT_TRUE(memo.WordWrap());
    EXPECT_EQ(memo.Lines(), (TLines{line}));
}

// The window's attachment list.
void MakeAttachment(rc::TRegListBox& list) {
    list.RegKeyName = "file";
    list.RegMainKey = "\\Halden Software\\Corvane\\Attachment";
    list.RegRootKey = rc::TRegListBox::hkCurrentUser;
}

TLines ReloadedList(std::int32_t maxItems = 8) {
    rc::TRegListBox list;
    MakeAttachment(list);
    list.RegMaxItems = maxItems;
    list.SetItems({"stale entry"});
    list.LoadFromRegistry();
    return list.Items();
}

using TRegListBoxStore = Store;

TEST_F(TRegListBoxStore, SavesEveryEntryWithoutACountAndLoadsAtMostRegMaxItems) {
    rc::TRegListBox list;
    EXPECT_EQ(list.RegKeyName, "change now!");
    EXPECT_EQ(list.RegMainKey, "\\Halden Software\\Corvane\\default");
    EXPECT_EQ(list.RegMaxItems, 8);
    EXPECT_EQ(list.RegRootKey, rc::TRegListBox::hkLocalMachine);
    MakeAttachment(list);
    const TLines files = Numbered("/home/user/file ", 10);
    list.SetItems(files);
    list.SaveToRegistry();

    const auto key = CorvaneKey("Attachment");
    TLines names = Numbered("file", 10);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(ValueNames(key), names);
    EXPECT_EQ(Raw().Value(key, "file9"), Text("/home/user/file 9"));

    EXPECT_EQ(ReloadedList(), TLines(files.begin(), files.begin() + 8));
    EXPECT_EQ(ReloadedList(20), files);
    EXPECT_TRUE(ReloadedList(0).empty());
}

TEST_F(TRegListBoxStore, LoadStopsAtTheFirstMissingEmptyOrForeignValue) {
    const auto key = CorvaneKey("Attachment");
    Put(key, {{"file0", Text("a")}, {"file1", Text("b")}, {"file3", Text("d")}});
    EXPECT_EQ(ReloadedList(), (TLines{"a", "b"}));
    Put(key, {{"file1", Text("")}, {"file2", Text("c")}});
    EXPECT_EQ(ReloadedList(), (TLines{"a"}));
    Put(key, {{"file0", Dword(1)}});
    EXPECT_TRUE(ReloadedList().empty());

    // A missing key empties the list and makes no key.
    rc::TRegListBox list;
    MakeAttachment(list);
    list.RegMainKey = "\\Halden Software\\Corvane\\Nowhere";
    list.SetItems({"before"});
    list.LoadFromRegistry();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(Raw().KeyId(CorvaneKey("Nowhere")), 0);
}

TEST_F(TRegListBoxStore, SaveReplacesTheKeyAndTriesEveryWriteOnItsOwn) {
    rc::TRegListBox list;
    MakeAttachment(list);
    list.SetItems(Numbered("old ", 5));
    list.SaveToRegistry();
    list.SetItems({"new 0", "new 1"});
    list.SaveToRegistry();
    const auto key = CorvaneKey("Attachment");
    EXPECT_EQ(ValueNames(key), (TLines{"file0", "file1"}));
    EXPECT_EQ(ReloadedList(), (TLines{"new 0", "new 1"}));

    RefuseWritesOf({"file1"});
    list.SetItems({"x", "y", "z"});
    list.SaveToRegistry();
    EXPECT_EQ(ValueNames(key), (TLines{"file0", "file2"}));
    EXPECT_EQ(Raw().Value(key, "file2"), Text("z"));
    EXPECT_EQ(ReloadedList(), (TLines{"x"}));

    // An empty list leaves an empty key.
    list.clear();
    list.SaveToRegistry();
    EXPECT_NE(Raw().KeyId(key), 0);
    EXPECT_TRUE(ValueNames(key).empty());
}

TEST(TRegListBoxSelection, ControlClicksSelectSeveralEntries) {
    rc::TRegListBox list;
    list.SetItems({"a", "b", "c"});
    list.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&list));
    for (const int row : {0, 2}) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier,
                          list.visualItemRect(list.item(row)).center());
    }
    EXPECT_TRUE(list.item(0)->isSelected());
    EXPECT_FALSE(list.item(1)->isSelected());
    EXPECT_TRUE(list.item(2)->isSelected());
}

}  // namespace
