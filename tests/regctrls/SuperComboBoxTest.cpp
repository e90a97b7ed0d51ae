// TSuperComboBox: the history against a real store in a temporary XDG_CONFIG_HOME, and the
// type-ahead completion driven by simulated keys, clicks, the clipboard and an input method.
// A completion that waits for its event to be handled runs when the posted events are sent.

#include "regctrls/SuperComboBox.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>

#include "RegistryTestSupport.h"
#include "platform/registry/Registry.h"

namespace corvane::regctrls {
namespace {

namespace reg = corvane::registry;
using namespace std::string_literals;
using TValues = std::vector<std::pair<std::string, std::string>>;

const std::string HistoryPath = "Software\\Halden Software\\Corvane\\History";

class SuperComboBox : public ::testing::Test {
protected:
    SuperComboBox() {
        Combo->RegKey = "\\Halden Software\\Corvane\\History";
        Combo->OnComplete = [this](TSuperComboBox& sender, std::uint16_t key, QString& with,
                                   bool&) {
            EXPECT_EQ(&sender, Combo);
            Calls.push_back({key, with.toStdString()});
        };
        Window.show();
        Window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&Window));
        Combo->setFocus();
    }

    void Fill(const QStringList& items) {
        Combo->addItems(items);
        Combo->setCurrentIndex(-1);
        Combo->setEditText("");
    }
    std::string Items() const {
        QStringList items;
        for (int i = 0; i < Combo->count(); ++i) {
            items.append(Combo->itemText(i));
        }
        return items.join(',').toStdString();
    }
    // The edit field's text with the selected part in brackets: "jo[hnson]".
    std::string Shown() const {
        const QLineEdit* editor = Combo->lineEdit();
        if (editor == nullptr || !editor->hasSelectedText()) {
            return Combo->currentText().toStdString();
        }
        const QString text = editor->text();
        const int start = editor->selectionStart();
        const int length = static_cast<int>(editor->selectedText().size());
        return (text.left(start) + '[' + text.mid(start, length) + ']' + text.mid(start + length))
            .toStdString();
    }
    void ChooseWithMouse(int row) {
        Combo->showPopup();
        QAbstractItemView* list = Combo->view();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(row, 0)).center());
        QCoreApplication::sendPostedEvents();
    }

    // S0 = Text0, S1 = Text1, ...
    static TValues Numbered(const std::string& text, int count) {
        TValues values;
        for (int i = 0; i < count; ++i) {
            values.emplace_back("S" + std::to_string(i), text + std::to_string(i));
        }
        return values;
    }
    static void Store(const TValues& texts, reg::ERootKey root = reg::ERootKey::LocalMachine) {
        reg::TRegistry registry(root);
        ASSERT_TRUE(registry.OpenKey(HistoryPath, true));
        for (const auto& [name, text] : texts) {
            ASSERT_TRUE(registry.WriteString(name, text));
        }
    }
    // Every value of the history key in the store, in order: "name=bytes" for a REG_SZ.
    std::vector<std::string> Stored() const {
        corvane::test::TRawStore raw(Scratch.StoreFile());
        const std::int64_t key =
            raw.KeyId({"HKEY_LOCAL_MACHINE", "Software", "Halden Software", "Corvane", "History"});
        return raw.Column(
            "SELECT name || '=' || CASE type WHEN 1 THEN CAST(data AS TEXT) ELSE 'type ' || "
            "type END FROM vals WHERE key = " +
            std::to_string(key) + " ORDER BY length(name), name");
    }

    struct TCall {
        std::uint16_t Key;
        std::string CompleteWith;
        bool operator==(const TCall&) const = default;
    };
    corvane::test::TScratchRegistry Scratch;
    std::vector<TCall> Calls;  // outlives the window, whose closing may still complete
    QWidget Window;
    TSuperComboBox* Combo = new TSuperComboBox(&Window);
    QLineEdit* Other = new QLineEdit(&Window);
};

TEST(SuperComboBoxDefaults, AreThoseOfTheProperties) {
    const TSuperComboBox combo;
    EXPECT_TRUE(combo.Complete);
    EXPECT_EQ(combo.MinLengthComplete, 0);
    EXPECT_EQ(combo.MaxHistoryItems, 8);
    EXPECT_EQ(combo.RegKey, "\\Halden Software\\Corvane\\default");
    EXPECT_EQ(combo.RegRootKey, TSuperComboBox::hkLocalMachine);
    static_assert(TSuperComboBox::hkCurrentUser == 0 && TSuperComboBox::hkLocalMachine == 1);
    EXPECT_EQ(combo.Style(), TSuperComboBox::TStyle::DropDown);
    EXPECT_EQ(combo.LastKey(), 0);
}

TEST_F(SuperComboBox, LoadStopsAtAGapAnEmptyOrForeignValueAndMaxHistoryItems) {
    Store({{"S0", "alpha"}, {"S1", "beta"}, {"S3", "delta"}});
    Fill({"old"});
    Combo->setEditText("typed");
    Combo->LoadFromRegistry();
    EXPECT_EQ(Items(), "alpha,beta");
    EXPECT_EQ(Shown(), "");
    EXPECT_EQ(Combo->currentIndex(), -1);
    Store({{"S2", ""}});
    Combo->LoadFromRegistry();
    EXPECT_EQ(Items(), "alpha,beta");
    {
        reg::TRegistry registry(reg::ERootKey::LocalMachine);
        ASSERT_TRUE(registry.OpenKey(HistoryPath, false) && registry.WriteInteger("S2", 7));
    }
    Combo->LoadFromRegistry();
    EXPECT_EQ(Items(), "alpha,beta");

    Store(Numbered("v", 25));
    Combo->MaxHistoryItems = 20;
    Combo->LoadFromRegistry();
    EXPECT_EQ(Combo->count(), 20);
    EXPECT_EQ(Combo->itemText(19), "v19");

    // Only the chosen hive is read; a key it lacks leaves the control empty.
    Store({{"S0", "user's"}}, reg::ERootKey::CurrentUser);
    Combo->RegRootKey = TSuperComboBox::hkCurrentUser;
    Combo->LoadFromRegistry();
    EXPECT_EQ(Items(), "user's");
    Combo->RegKey = "\\Halden Software\\Corvane\\Missing";
    Combo->LoadFromRegistry();
    EXPECT_EQ(Items(), "");
    EXPECT_TRUE(Calls.empty());
}

TEST_F(SuperComboBox, SaveReplacesTheStoredHistoryWithTheCurrentTextOnTop) {
    // The Subject field keeps 15; a longer stored history and a subkey go.
    Store(Numbered("subject ", 17));
    reg::TRegistry registry(reg::ERootKey::LocalMachine);
    ASSERT_TRUE(registry.OpenKey(HistoryPath + "\\Sub", true));
    registry.CloseKey();
    Combo->MaxHistoryItems = 15;
    Combo->LoadFromRegistry();
    Combo->setEditText(QString::fromUtf8("caf\u00e9"));
    Combo->SaveToRegistry();

    std::vector<std::string> expected{"S0=caf\xC3\xA9\0"s};  // REG_SZ: UTF-8 and a NUL
    for (int i = 1; i < 15; ++i) {
        expected.push_back("S" + std::to_string(i) + "=subject " + std::to_string(i - 1) + '\0');
    }
    EXPECT_EQ(Stored(), expected);
    EXPECT_FALSE(registry.KeyExists(HistoryPath + "\\Sub"));

    // An empty text adds nothing; an empty RegKey stores nothing at all.
    Combo->setEditText("");
    Combo->SaveToRegistry();
    EXPECT_EQ(Stored(), expected);
    Combo->RegKey.clear();
    Combo->setEditText("not stored");
    Combo->SaveToRegistry();
    Combo->LoadFromRegistry();
    EXPECT_EQ(Stored(), expected);
    EXPECT_EQ(Shown(), "not stored");
    EXPECT_EQ(Combo->count(), 15);
}

TEST_F(SuperComboBox, AddToHistoryPutsTheValueOnTopOnceAndKeepsMaxHistoryItems) {
    Fill({"alpha", "beta", "gamma"});
    Combo->AddToHistory("beta");
    EXPECT_EQ(Items(), "beta,alpha,gamma");
    EXPECT_EQ(Shown(), "beta");
    Combo->AddToHistory("Alpha");  // differs in case only: both stay
    Combo->AddToHistory("");
    EXPECT_EQ(Items(), "Alpha,beta,alpha,gamma");
    EXPECT_EQ(Shown(), "Alpha");
    Combo->MaxHistoryItems = 3;
    Combo->AddToHistory("gamma");
    EXPECT_EQ(Items(), "gamma,Alpha,beta");
    Combo->MaxHistoryItems = 0;
    Combo->AddToHistory("al");  // would complete to "alpha" if it counted as typing
    EXPECT_EQ(Items(), "al");
    EXPECT_EQ(Shown(), "al");
    EXPECT_TRUE(Calls.empty());
}

TEST_F(SuperComboBox, TypingCompletesAndBackspaceOrDeleteDoNot) {
    Fill({"Johnson"});
    std::vector<std::string> seen;  // the owner's handler runs before the completion
    const QObject connection;       // ends the connection before "seen" goes
    QObject::connect(Combo, &QComboBox::editTextChanged, &connection,
                     [&](const QString& text) { seen.push_back(text.toStdString()); });
    QTest::keyClicks(Combo, "jo");
    EXPECT_EQ(Shown(), "jo[hnson]");
    QTest::keyClick(Combo, Qt::Key_H);
    EXPECT_EQ(Shown(), "joh[nson]");
    EXPECT_EQ(seen, (std::vector<std::string>{"j", "johnson", "jo", "johnson", "joh", "johnson"}));
    EXPECT_EQ(Calls, (std::vector<TCall>{{'J', "ohnson"}, {'O', "hnson"}, {'H', "nson"}}));

    QTest::keyClick(Combo, Qt::Key_Backspace);
    EXPECT_EQ(Shown(), "joh");
    QTest::keyClick(Combo, Qt::Key_Backspace);
    QTest::keyClick(Combo, Qt::Key_N);
    EXPECT_EQ(Shown(), "jon");  // no entry begins so
    QTest::keyClick(Combo, Qt::Key_Left);
    QTest::keyClick(Combo, Qt::Key_Delete);
    EXPECT_EQ(Shown(), "jo");
    EXPECT_EQ(Combo->LastKey(), VkDelete);
    EXPECT_EQ(Calls.size(), 3u);
}

TEST_F(SuperComboBox, CutPasteAndInputMethodsComplete) {
    Fill({"mailhost", "smtp.example"});
    Combo->setEditText("abc");
    QTest::keyClick(Combo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Combo, Qt::Key_X, Qt::ControlModifier);  // empty text: all of entry 0
    EXPECT_EQ(QApplication::clipboard()->text(), "abc");
    EXPECT_EQ(Shown(), "[mailhost]");
    EXPECT_EQ(Combo->LastKey(), 'X');
    QApplication::clipboard()->setText("SMT");
    QTest::keyClick(Combo, Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(Shown(), "SMT[p.example]");

    // What the context menu's Paste does, outside any key press: completed once that event
    // is over, unless the program has set another text by then.
    Combo->setEditText("");
    QApplication::clipboard()->setText("mai");
    Combo->lineEdit()->paste();
    EXPECT_EQ(Shown(), "mai");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Shown(), "mai[lhost]");
    Combo->setEditText("");
    Combo->lineEdit()->paste();
    Combo->setEditText("set");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Shown(), "set");

    Combo->setEditText("");
    QInputMethodEvent commit;
    commit.setCommitString("sm");
    QApplication::sendEvent(Combo, &commit);
    EXPECT_EQ(Shown(), "sm[tp.example]");
}

TEST_F(SuperComboBox, ChoosingFromTheListCompletesButEnterAndLeavingDoNot) {
    Fill({"mailhost", "mail"});
    ChooseWithMouse(1);
    EXPECT_EQ(Shown(), "mail[host]");
    QTest::keyClick(Combo, Qt::Key_Backspace);
    ChooseWithMouse(1);  // the last key was Backspace
    EXPECT_EQ(Shown(), "mail");
    // Keys pressed in the open list are key presses in the control: Backspace is forgotten.
    Combo->showPopup();
    QTest::keyClick(Combo->view(), Qt::Key_Return);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Combo->LastKey(), 13);
    EXPECT_EQ(Shown(), "mail[host]");
    Combo->setCurrentIndex(0);
    QTest::keyClick(Combo, Qt::Key_Down);  // the arrow keys choose too
    EXPECT_EQ(Shown(), "mail[host]");
    const std::size_t calls = Calls.size();

    // On Enter and on leaving the field Qt selects the entry equal to the text ("mail" while
    // "mailhost" is current); nobody chose it, so nothing completes. Enter adds no entry.
    Combo->setCurrentIndex(0);
    Combo->setEditText("mail");
    QTest::keyClick(Combo, Qt::Key_End);
    QTest::keyClick(Combo, Qt::Key_Return);
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Combo->currentIndex(), 1);
    EXPECT_EQ(Shown(), "mail");
    Combo->setCurrentIndex(0);
    Combo->setEditText("mail");
    Other->setFocus();
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Combo->currentIndex(), 1);
    EXPECT_EQ(Shown(), "mail");
    Combo->setFocus();
    Combo->setEditText("new entry");
    QTest::keyClick(Combo, Qt::Key_Return);
    EXPECT_EQ(Items(), "mailhost,mail");
    EXPECT_EQ(Calls.size(), calls);
}

TEST_F(SuperComboBox, OnCompleteChangesOrRefusesAndNoLaterEntryIsTried) {
    Fill({"johnson", "jones"});
    Combo->OnComplete = [&](TSuperComboBox&, std::uint16_t key, QString& with, bool& doIt) {
        Calls.push_back({key, with.toStdString()});
        doIt = false;
    };
    QTest::keyClicks(Combo, "jo");
    EXPECT_EQ(Shown(), "jo");
    EXPECT_EQ(Calls, (std::vector<TCall>{{'J', "ohnson"}, {'O', "hnson"}}));

    Combo->OnComplete = [](TSuperComboBox&, std::uint16_t, QString& with, bool&) { with = "hn"; };
    QTest::keyClick(Combo, Qt::Key_Backspace);
    QTest::keyClick(Combo, Qt::Key_O);
    EXPECT_EQ(Shown(), "jo[hn]");
}

TEST_F(SuperComboBox, MatchingUpperCasesAsciiOnlyAndTheFirstLongEnoughEntryWins) {
    const QString eacute = QString::fromUtf8("\u00e9"), Eacute = QString::fromUtf8("\u00c9");
    Fill({"jo", "Joan", "johnson", Eacute + "mile", eacute + "cole"});
    QTest::keyClicks(Combo, "jo");
    EXPECT_EQ(Shown(), "jo");  // "jo" itself, nothing to append
    QTest::keyClick(Combo, Qt::Key_A);
    EXPECT_EQ(Shown(), "joa[n]");  // "jo" is too short; the typed case stays
    Combo->setEditText("");
    QTest::keyClicks(Combo, "JOH");
    EXPECT_EQ(Shown(), "JOH[nson]");

    const auto typeAccent = [&](const QString& letter) {
        Combo->setEditText("");
        QTest::sendKeyEvent(QTest::Click, Combo, Qt::Key_Eacute, letter, {});
    };
    typeAccent(eacute);  // skips "Émile": "é" is no "É" to the comparison
    EXPECT_EQ(Shown(), "\u00e9[cole]");
    typeAccent(Eacute);
    EXPECT_EQ(Shown(), "\u00c9[mile]");
    Combo->removeItem(3);
    typeAccent(Eacute);
    EXPECT_EQ(Shown(), "\u00c9");
}

TEST_F(SuperComboBox, NothingCompletesWhenOffTooShortEmptyOrSetByTheProgram) {
    Fill({"johnson"});
    Combo->Complete = false;  // Qt's own completer is off as well
    QTest::keyClicks(Combo, "jo");
    EXPECT_EQ(Shown(), "jo");
    Combo->Complete = true;
    Combo->MinLengthComplete = 3;
    Combo->setEditText("");
    QTest::keyClicks(Combo, "joh");
    EXPECT_EQ(Shown(), "joh[nson]");
    EXPECT_EQ(Calls.size(), 1u);

    Combo->MinLengthComplete = 0;
    Combo->setEditText("jo");
    Combo->setCurrentText("j");
    Combo->lineEdit()->setText("jo");
    Combo->setCurrentIndex(0);
    Combo->AddToHistory("jo");
    QCoreApplication::sendPostedEvents();
    EXPECT_EQ(Shown(), "jo");
    Combo->LoadFromRegistry();  // no stored history: the list is now empty
    QTest::keyClicks(Combo, "jo");
    EXPECT_EQ(Shown(), "jo");
    EXPECT_EQ(Calls.size(), 1u);
}

TEST_F(SuperComboBox, DropDownListStyleNeverCompletesAndTheEditableStyleComesBack) {
    Combo->SetStyle(TSuperComboBox::TStyle::DropDownList);
    EXPECT_EQ(Combo->lineEdit(), nullptr);
    Fill({"mailhost", "mail"});
    QTest::keyClick(Combo, Qt::Key_Down);
    QTest::keyClick(Combo, Qt::Key_Down);
    ChooseWithMouse(1);
    EXPECT_EQ(Shown(), "mail");
    EXPECT_TRUE(Calls.empty());

    // A new edit field, made by SetStyle or by Qt's setEditable, completes with no completer
    // of Qt's.
    for (const bool throughQt : {false, true}) {
        Combo->SetStyle(TSuperComboBox::TStyle::DropDownList);
        if (throughQt) {
            Combo->setEditable(true);
        } else {
            Combo->SetStyle(TSuperComboBox::TStyle::DropDown);
        }
        Combo->setEditText("");
        Combo->Complete = false;
        QTest::keyClicks(Combo, "ma");
        EXPECT_EQ(Shown(), "ma") << throughQt;
        Combo->Complete = true;
        QTest::keyClick(Combo, Qt::Key_I);
        EXPECT_EQ(Shown(), "mai[lhost]") << throughQt;
    }
}

TEST(SuperComboBoxKeys, VirtualKeyCodesAreWindowsOnes) {
    const auto code = [](Qt::Key key, Qt::KeyboardModifiers modifiers = {}) {
        return VirtualKeyOf(QKeyEvent(QEvent::KeyPress, key, modifiers));
    };
    EXPECT_EQ(code(Qt::Key_Delete, Qt::KeypadModifier), 46);
    EXPECT_EQ(code(Qt::Key_7, Qt::KeypadModifier), 0x67);
    EXPECT_EQ(code(Qt::Key_F12), 0x7B);
    EXPECT_EQ(code(Qt::Key_At), '2');
}

}  // namespace
}  // namespace corvane::regctrls
