#pragma once
// TSuperComboBox: an editable drop-down combo box whose list is a history of the values the
// user committed in it, most recent first, kept in the registry between runs, and which
// completes the user's typing from that history (type-ahead).
//
// History. LoadFromRegistry replaces the list with the REG_SZ values "S0", "S1", ... of the
// key "\Software" + RegKey in the hive RegRootKey, at most MaxHistoryItems of them, up to the
// first missing or empty value (a value of another type reads as empty and ends the list
// too), and empties the edit field; a key that does not open leaves the control empty.
// SaveToRegistry puts the current text on top of the list (AddToHistory), deletes the key
// with its subkeys and writes the whole list again as "S0" to "Sn", stopping at the first
// write that fails, all in one batch of the store (registry::TWriteBatch: durable at its
// end, all at once). Nothing else is stored; no failure is ever reported. Texts are stored as
// UTF-8. An empty RegKey turns loading and saving off.
//
// Completion. After every change of the text that the user makes (typing, deleting, pasting,
// cutting, undoing, an input method's commit, choosing an entry from the drop-down list or
// with the arrow keys or the wheel), once the change's own signals (editTextChanged and so
// on) have been delivered, the control looks for the first entry, from the top, whose
// beginning equals the whole text when ASCII letters are compared without regard to case
// (other characters compare exactly). If there is one, the rest of that entry is appended and
// selected, so that typing on replaces it. OnComplete may change the appended text or refuse
// the completion; either way no later entry is tried. Nothing is completed when Complete is
// off, when the text is shorter than MinLengthComplete, when the list is empty, when the last
// key pressed was Backspace or Delete, or in the drop-down-list style. Text the program sets
// (setEditText, setCurrentText, setCurrentIndex, AddToHistory, LoadFromRegistry, the
// completion itself) is never completed, and neither is the text Qt itself picks from the
// list when the edit field is left or Enter is pressed.
//
// Qt's own inline completer is switched off and Enter adds nothing to the list: the history
// changes only through AddToHistory and LoadFromRegistry.
//
// Used from the user-interface thread only.

#include <QComboBox>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

class QKeyEvent;
class QLineEdit;

namespace corvane::regctrls {

// Windows virtual-key codes that the control's behaviour names (VK_BACK, VK_DELETE).
inline constexpr std::uint16_t VkBack = 8;
inline constexpr std::uint16_t VkDelete = 46;

// The Windows virtual-key code of a key press: letters and digits as their upper-case ASCII
// code, the named keys (Backspace 8, Tab 9, Enter 13, ..., Delete 46, F1 112, ...), the keypad,
// and punctuation as a US keyboard reports it; 0 for a key Windows has no code for.
std::uint16_t VirtualKeyOf(const QKeyEvent& event);

class TSuperComboBox : public QComboBox {
    Q_OBJECT

public:
    // The hive of the history, in this control's own order.
    enum TRootKey { hkCurrentUser, hkLocalMachine };

    enum class TStyle {
        DropDown,      // an edit field with a drop-down list: completes
        DropDownList,  // a choice from the list only: never completes
    };

    // Sender, LastKey, the text about to be appended, whether to append it; the handler may
    // change both of the last two.
    using TOnComplete = std::function<void(TSuperComboBox& sender, std::uint16_t key,
                                           QString& completeWith, bool& doComplete)>;

    explicit TSuperComboBox(QWidget* parent = nullptr);

    // Type-ahead completion on or off.
    bool Complete = true;
    // The least length of the text before completion is tried.
    std::uint16_t MinLengthComplete = 0;
    TOnComplete OnComplete;
    // The most entries the history keeps and loads.
    std::int32_t MaxHistoryItems = 8;
    // The key below "\Software", beginning with a backslash.
    std::string RegKey = "\\Halden Software\\Corvane\\default";
    TRootKey RegRootKey = hkLocalMachine;

    TStyle Style() const;
    void SetStyle(TStyle style);

    // The virtual-key code of the most recent key press in the control (its edit field or
    // its open drop-down list), 0 before the first.
    std::uint16_t LastKey() const { return m_lastKey; }

    void LoadFromRegistry();
    void SaveToRegistry();
    // Puts Value on top of the list, drops its older copies (exact, case-sensitive
    // comparison) and the entries beyond MaxHistoryItems, and shows Value in the edit field.
    // An empty Value changes nothing.
    void AddToHistory(const QString& value);

    // Also watches the list for key presses, which count as key presses in the control.
    void showPopup() override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // What an input handler of the control's own may lead to.
    enum class TInputKind {
        Edit,          // edits count; an entry Qt picks from the list does not
        EditOrChoice,  // edits and entries picked from the list count
    };
    class TUserInput;

    void AttachEditor();
    void NoteEdit();
    void NoteChoice();
    void PostCompletion();
    void CompleteText();

    std::uint16_t m_lastKey = 0;
    QPointer<QLineEdit> m_editor;  // the edit field whose signals are connected
    // While one of the input handlers below runs: what counts, and whether something did.
    int m_inputDepth = 0;
    TInputKind m_inputKind = TInputKind::Edit;
    bool m_userChanged = false;
    // A change made outside those handlers (the context menu, a drop, the drop-down list)
    // is completed once its event has been handled, if nothing changed the text meanwhile.
    std::uint64_t m_changeSerial = 0;
};

}  // namespace corvane::regctrls
