#include "regctrls/SuperComboBox.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMetaObject>
#include <QStringList>

#include "platform/registry/Registry.h"
#include "regctrls/MyReg.h"

namespace corvane::regctrls {

namespace {

registry::ERootKey HistoryHive(TSuperComboBox::TRootKey key) {
    return key == TSuperComboBox::hkLocalMachine ? registry::ERootKey::LocalMachine
                                                 : registry::ERootKey::CurrentUser;
}

std::string HistoryValueName(int index) {
    return "S" + std::to_string(index);
}

// Only a to z are upper-cased: the comparison must not depend on the locale, and "é" is not
// "É" to it.
char16_t AsciiUpper(QChar c) {
    const char16_t unit = c.unicode();
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - u'a' + u'A') : unit;
}

// Whether Entry begins with Typed, ASCII letters compared without regard to case.
bool BeginsWith(const QString& entry, const QString& typed) {
    if (entry.size() < typed.size()) {
        return false;
    }
    for (qsizetype i = 0; i < typed.size(); ++i) {
        if (AsciiUpper(entry[i]) != AsciiUpper(typed[i])) {
            return false;
        }
    }
    return true;
}

// Qt moves through the list of an editable combo box, and so chooses an entry, on these keys.
bool MovesInList(const QKeyEvent& event) {
    switch (event.key()) {
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            return true;
        default:
            return false;
    }
}

struct TKeyCode {
    int Key;
    std::uint16_t Code;
};

// Keys on the numeric keypad that have codes of their own; its Enter and its navigation keys
// (NumLock off) have the ordinary ones.
constexpr TKeyCode KeypadKeys[] = {
    {Qt::Key_Asterisk, 0x6A},  // VK_MULTIPLY
    {Qt::Key_Plus, 0x6B},      // VK_ADD
    {Qt::Key_Minus, 0x6D},     // VK_SUBTRACT
    {Qt::Key_Period, 0x6E},    // VK_DECIMAL
    {Qt::Key_Comma, 0x6E},     // VK_DECIMAL, where the keypad has a comma
    {Qt::Key_Slash, 0x6F},     // VK_DIVIDE
};

// The named keys; punctuation reports the key it is on, as on a US keyboard (VK_OEM_1 to
// VK_OEM_7, and the digit keys for the shifted symbols above them).
constexpr TKeyCode OtherKeys[] = {
    {Qt::Key_Backspace, VkBack}, {Qt::Key_Tab, 0x09},         {Qt::Key_Backtab, 0x09},
    {Qt::Key_Clear, 0x0C},       {Qt::Key_Return, 0x0D},      {Qt::Key_Enter, 0x0D},
    {Qt::Key_Shift, 0x10},       {Qt::Key_Control, 0x11},     {Qt::Key_Alt, 0x12},
    {Qt::Key_Pause, 0x13},       {Qt::Key_CapsLock, 0x14},    {Qt::Key_Escape, 0x1B},
    {Qt::Key_Space, 0x20},       {Qt::Key_PageUp, 0x21},      {Qt::Key_PageDown, 0x22},
    {Qt::Key_End, 0x23},         {Qt::Key_Home, 0x24},        {Qt::Key_Left, 0x25},
    {Qt::Key_Up, 0x26},          {Qt::Key_Right, 0x27},       {Qt::Key_Down, 0x28},
    {Qt::Key_Print, 0x2C},       {Qt::Key_Insert, 0x2D},      {Qt::Key_Delete, VkDelete},
    {Qt::Key_Help, 0x2F},        {Qt::Key_Meta, 0x5B},        {Qt::Key_Menu, 0x5D},
    {Qt::Key_NumLock, 0x90},     {Qt::Key_ScrollLock, 0x91},  {Qt::Key_Semicolon, 0xBA},
    {Qt::Key_Colon, 0xBA},       {Qt::Key_Equal, 0xBB},       {Qt::Key_Plus, 0xBB},
    {Qt::Key_Comma, 0xBC},       {Qt::Key_Less, 0xBC},        {Qt::Key_Minus, 0xBD},
    {Qt::Key_Underscore, 0xBD},  {Qt::Key_Period, 0xBE},      {Qt::Key_Greater, 0xBE},
    {Qt::Key_Slash, 0xBF},       {Qt::Key_Question, 0xBF},    {Qt::Key_QuoteLeft, 0xC0},
    {Qt::Key_AsciiTilde, 0xC0},  {Qt::Key_BracketLeft, 0xDB}, {Qt::Key_BraceLeft, 0xDB},
    {Qt::Key_Backslash, 0xDC},   {Qt::Key_Bar, 0xDC},         {Qt::Key_BracketRight, 0xDD},
    {Qt::Key_BraceRight, 0xDD},  {Qt::Key_Apostrophe, 0xDE},  {Qt::Key_QuoteDbl, 0xDE},
    {Qt::Key_Exclam, '1'},       {Qt::Key_At, '2'},           {Qt::Key_NumberSign, '3'},
    {Qt::Key_Dollar, '4'},       {Qt::Key_Percent, '5'},      {Qt::Key_AsciiCircum, '6'},
    {Qt::Key_Ampersand, '7'},    {Qt::Key_Asterisk, '8'},     {Qt::Key_ParenLeft, '9'},
    {Qt::Key_ParenRight, '0'}};

template <std::size_t N>
std::uint16_t CodeIn(const TKeyCode (&table)[N], int key) {
    for (const TKeyCode& entry : table) {
        if (entry.Key == key) {
            return entry.Code;
        }
    }
    return 0;
}

}  // namespace

std::uint16_t VirtualKeyOf(const QKeyEvent& event) {
#ifdef _WIN32
    if (event.nativeVirtualKey() != 0) {
        return static_cast<std::uint16_t>(event.nativeVirtualKey());
    }
#endif
    const int key = event.key();
    if (event.modifiers().testFlag(Qt::KeypadModifier)) {
        if (key >= Qt::Key_0 && key <= Qt::Key_9) {
            return static_cast<std::uint16_t>(0x60 + (key - Qt::Key_0));  // VK_NUMPAD0 to 9
        }
        if (const std::uint16_t code = CodeIn(KeypadKeys, key)) {
            return code;
        }
    }
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9)) {
        return static_cast<std::uint16_t>(key);  // Windows uses the same codes
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return static_cast<std::uint16_t>(0x70 + (key - Qt::Key_F1));  // VK_F1 to VK_F24
    }
    return CodeIn(OtherKeys, key);
}

// One run of an input handler of the control's own (a key, an input method's text, the
// wheel, leaving the field). The user's changes it makes are completed when it is finished:
// by then the edit field has delivered every signal of the change, so the completed text is
// the last thing the owner's handlers see. Handlers may nest (an owner's handler running a
// modal loop); each completes only the changes made while it ran.
class TSuperComboBox::TUserInput {
public:
    TUserInput(TSuperComboBox& combo, TInputKind kind)
        : m_combo(combo), m_outerKind(combo.m_inputKind), m_outerChanged(combo.m_userChanged) {
        ++m_combo.m_inputDepth;
        m_combo.m_inputKind = kind;
        m_combo.m_userChanged = false;
    }
    ~TUserInput() { Leave(); }
    TUserInput(const TUserInput&) = delete;
    TUserInput& operator=(const TUserInput&) = delete;

    void Finish() {
        const bool changed = m_combo.m_userChanged;
        Leave();
        if (changed) {
            ++m_combo.m_changeSerial;  // supersedes a completion still waiting
            m_combo.CompleteText();
        }
    }

private:
    void Leave() {
        if (m_left) {
            return;
        }
        m_left = true;
        --m_combo.m_inputDepth;
        m_combo.m_inputKind = m_outerKind;
        m_combo.m_userChanged = m_outerChanged;
    }

    TSuperComboBox& m_combo;
    TInputKind m_outerKind;
    bool m_outerChanged;
    bool m_left = false;
};

TSuperComboBox::TSuperComboBox(QWidget* parent) : QComboBox(parent) {
    setEditable(true);
    // Enter must not add the text to the list: the history changes through AddToHistory only.
    setInsertPolicy(QComboBox::NoInsert);
    AttachEditor();
    // Emitted for an entry chosen from the drop-down list, with the arrow keys or the wheel,
    // but also for the entry Qt picks when the field is left or Enter is pressed; the input
    // handlers tell these apart.
    connect(this, &QComboBox::activated, this, [this] { NoteChoice(); });
}

TSuperComboBox::TStyle TSuperComboBox::Style() const {
    return isEditable() ? TStyle::DropDown : TStyle::DropDownList;
}

void TSuperComboBox::SetStyle(TStyle style) {
    if (style == Style()) {
        return;
    }
    setEditable(style == TStyle::DropDown);
    AttachEditor();
}

// Qt makes a new edit field whenever the combo box becomes editable, with an inline completer
// of its own that would complete case-insensitively behind this control's back.
void TSuperComboBox::AttachEditor() {
    m_editor = lineEdit();
    if (m_editor == nullptr) {
        return;
    }
    setCompleter(nullptr);
    // textEdited, unlike textChanged, comes only from the user's edits.
    connect(m_editor, &QLineEdit::textEdited, this, [this] { NoteEdit(); });
}

void TSuperComboBox::NoteEdit() {
    if (m_inputDepth > 0) {
        m_userChanged = true;
    } else {
        PostCompletion();  // the context menu, a drop, a middle-click paste
    }
}

void TSuperComboBox::NoteChoice() {
    if (m_inputDepth > 0) {
        if (m_inputKind == TInputKind::EditOrChoice) {
            m_userChanged = true;
        }
        // Otherwise Qt picked the entry that equals the text on Enter or when the field was
        // left: the user chose nothing.
    } else {
        PostCompletion();  // the drop-down list
    }
}

// The change happened while another object handled its event (the list, a menu); complete
// once that event has been handled, unless the text has changed again by then.
void TSuperComboBox::PostCompletion() {
    const std::uint64_t serial = ++m_changeSerial;
    QMetaObject::invokeMethod(
        this,
        [this, serial, text = currentText()] {
            if (serial == m_changeSerial && currentText() == text) {
                CompleteText();
            }
        },
        Qt::QueuedConnection);
}

void TSuperComboBox::CompleteText() {
    QLineEdit* editor = lineEdit();
    if (editor == nullptr || !Complete || m_lastKey == VkBack || m_lastKey == VkDelete) {
        return;
    }
    const QString typed = editor->text();
    if (typed.size() < MinLengthComplete || count() == 0) {
        return;
    }
    for (int i = 0; i < count(); ++i) {
        const QString entry = itemText(i);
        if (!BeginsWith(entry, typed)) {
            continue;
        }
        // The first match decides, whatever OnComplete makes of it.
        QString completeWith = entry.mid(typed.size());
        bool doComplete = true;
        if (OnComplete) {
            OnComplete(*this, m_lastKey, completeWith, doComplete);
        }
        editor = lineEdit();  // the handler may have changed the style
        if (doComplete && editor != nullptr) {
            const QString completed = typed + completeWith;
            editor->setText(completed);
            editor->setSelection(static_cast<int>(typed.size()),
                                 static_cast<int>(completed.size() - typed.size()));
        }
        return;
    }
}

void TSuperComboBox::LoadFromRegistry() {
    if (RegKey.empty()) {
        return;
    }
    // Emptied before the key is opened, so that a missing key leaves the control empty.
    clear();
    clearEditText();
    registry::TRegistry registry(HistoryHive(RegRootKey));
    if (!registry.OpenKey(ControlKeyPath(RegKey), false)) {
        return;
    }
    QStringList history;
    for (std::int32_t i = 0; i < MaxHistoryItems; ++i) {
        const std::string text = ReadText(registry, HistoryValueName(i));
        if (text.empty()) {
            break;
        }
        history.append(QString::fromStdString(text));
    }
    registry.CloseKey();
    addItems(history);
    // Qt selects the first item of a list that was empty; the history is loaded unselected.
    setCurrentIndex(-1);
    clearEditText();
}

void TSuperComboBox::SaveToRegistry() {
    if (RegKey.empty()) {
        return;
    }
    const std::string path = ControlKeyPath(RegKey);
    // The whole save is one transaction of the store: one durable commit at the end of the
    // scope, and no other process ever sees the history half written.
    registry::TWriteBatch batch;
    registry::TRegistry registry(HistoryHive(RegRootKey));
    // Deleting the key first drops the values of a longer history stored before.
    if (registry.OpenKey(path, false)) {
        registry.CloseKey();
        registry.DeleteKey(path);
    }
    AddToHistory(currentText());
    if (registry.OpenKey(path, true)) {
        for (int i = 0; i < count(); ++i) {
            if (!registry.WriteString(HistoryValueName(i), itemText(i).toStdString())) {
                break;  // the values written so far stay
            }
        }
    }
}

void TSuperComboBox::AddToHistory(const QString& value) {
    if (value.isEmpty()) {
        return;
    }
    insertItem(0, value);
    int i = 1;
    while (i < count()) {
        if (i >= MaxHistoryItems || itemText(i) == value) {
            removeItem(i);
        } else {
            ++i;
        }
    }
    setCurrentIndex(0);
    setEditText(value);
}

bool TSuperComboBox::event(QEvent* event) {
    if (lineEdit() != m_editor) {
        AttachEditor();  // made editable through QComboBox::setEditable
    }
    return QComboBox::event(event);
}

void TSuperComboBox::keyPressEvent(QKeyEvent* event) {
    // Recorded before the edit field acts on the key, so the change the key makes sees it.
    m_lastKey = VirtualKeyOf(*event);
    TUserInput input(*this, MovesInList(*event) ? TInputKind::EditOrChoice : TInputKind::Edit);
    QComboBox::keyPressEvent(event);
    input.Finish();
}

void TSuperComboBox::inputMethodEvent(QInputMethodEvent* event) {
    TUserInput input(*this, TInputKind::Edit);
    QComboBox::inputMethodEvent(event);
    input.Finish();
}

void TSuperComboBox::wheelEvent(QWheelEvent* event) {
    TUserInput input(*this, TInputKind::EditOrChoice);
    QComboBox::wheelEvent(event);
    input.Finish();
}

// Leaving the field makes Qt pick the entry that equals the text, which is no choice.
void TSuperComboBox::focusOutEvent(QFocusEvent* event) {
    TUserInput input(*this, TInputKind::Edit);
    QComboBox::focusOutEvent(event);
    input.Finish();
}

void TSuperComboBox::showPopup() {
    // While the list is open the keys go to it; they are still key presses in this control.
    if (QAbstractItemView* list = view()) {
        list->installEventFilter(this);
    }
    QComboBox::showPopup();
}

bool TSuperComboBox::eventFilter(QObject* watched, QEvent* event) {
    // ShortcutOverride as well: the list takes Enter there, before any KeyPress is sent.
    if (watched == view() &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride)) {
        m_lastKey = VirtualKeyOf(*static_cast<QKeyEvent*>(event));
    }
    return QComboBox::eventFilter(watched, event);
}

}  // namespace corvane::regctrls
