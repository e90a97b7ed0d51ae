#pragma once
// TRegMemo: a multi-line text editor whose lines are kept in the registry, one REG_SZ value
// per line, RegKeyName + "0", RegKeyName + "1" ... (plain concatenation: stem "Sig1" gives
// "Sig10", "Sig11" ... "Sig110"), with the number of lines in the REG_DWORD "Total", in the
// key "\Software" + RegMainKey of the hive RegRootKey. Nothing else lives in that key.
//
// Contract:
// - Two views of the text. The lines the memo reports (Lines(), what a send takes): a final
//   line break adds no empty line, and while the memo wraps (WordWrap()) every display line
//   counts as a line of its own, as laid out at the memo's present width. A memo that has
//   never been laid out at a width (never shown) wraps nothing. The lines the user wrote
//   (LogicalLines(), what the store keeps): the document's paragraphs, each split at its
//   line separators (U+2028), whatever the wrapping and the width, with the same final line
//   break rule. Without wrapping both are the same.
// - LoadFromRegistry empties the memo first, then reads exactly "Total" lines, each a
//   paragraph; a missing line value, or one that is not text, gives an empty line.
//   RegMaxLines does not limit the load. A missing key or "Total" loads nothing. Of a
//   "Total" beyond MaxLoadedLines (a damaged value, or a draft longer than that) the first
//   MaxLoadedLines lines are read as above and the rest only up to the first line value
//   that is missing or not text, so that a damaged "Total" cannot freeze the program while
//   a save's every line still comes back.
// - SaveToRegistry deletes the key with its subkeys, makes it anew and writes "Total" and
//   the first min(logical lines, RegMaxLines) logical lines, so that a load gives back the
//   paragraphs as they were typed, not the breaks the wrapping made. Every write is tried on
//   its own: a refused "Total" or line does not stop the writes after it. Lines beyond
//   RegMaxLines are not stored, so they are gone after the next load; with RegMaxLines
//   AllLines nothing is ever cut (the window's message text and signatures). The save is
//   one batch of the store (registry::TWriteBatch): it becomes durable at its end, all at
//   once.
// - An empty RegMainKey makes both operations do nothing. Registry failures are never
//   reported, and nothing throws out of the operations.
// - Text is stored as UTF-8.
//
// Also here, shared with the list box and the font dialog: the hive of their RegRootKey and
// the opening of a control's key for a load and for a save.

#include <QPlainTextEdit>
#include <QStringList>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/Registry.h"

namespace corvane::regctrls {

class TRegMemo : public QPlainTextEdit {
    Q_OBJECT

public:
    // The hive, by ordinal as a layout stores it.
    enum TRootKey : int { hkLocalMachine, hkCurrentUser, hkUsers };

    // Most lines a load reads whatever "Total" says; beyond them, only lines that are there.
    static constexpr std::int32_t MaxLoadedLines = 65536;
    // A RegMaxLines that stores every line.
    static constexpr std::int32_t AllLines = std::numeric_limits<std::int32_t>::max();

    explicit TRegMemo(QWidget* parent = nullptr);

    // Stem of the line values' names.
    std::string RegKeyName = "change now!";
    // Key path below "\Software", beginning with a backslash.
    std::string RegMainKey = "\\Halden Software\\Corvane\\default";
    // Most lines a save stores (logical lines); AllLines: all of them.
    std::int32_t RegMaxLines = 200;
    TRootKey RegRootKey = hkLocalMachine;

    void LoadFromRegistry() noexcept;
    void SaveToRegistry() noexcept;

    // The lines as the memo reports them (see the contract), in UTF-8; DisplayLines() is
    // the same as the toolkit's strings.
    std::vector<std::string> Lines() const;
    QStringList DisplayLines() const;
    // The lines as the user wrote them (see the contract), as the toolkit's strings: what a
    // save stores.
    QStringList LogicalLines() const;
    // Replaces the whole text with Lines, one paragraph each; LogicalLines() reports them
    // back unchanged (empty last lines included) unless one holds a line break or separator,
    // and so does Lines() while none of them wraps.
    void SetLines(const std::vector<std::string>& lines);

    // Whether long lines wrap at the memo's width (on by default, as in every plain-text
    // editor of the toolkit).
    bool WordWrap() const { return lineWrapMode() != NoWrap; }
    void SetWordWrap(bool wrap);
};

// The hive that a TRegMemo, TRegListBox or TRegFontDialog RegRootKey ordinal selects:
// 0 HKEY_LOCAL_MACHINE, 1 HKEY_CURRENT_USER, 2 HKEY_USERS; any other ordinal (a damaged
// layout) selects HKEY_CURRENT_USER, as TMyReg does.
registry::ERootKey HiveOfRootKeyOrdinal(int ordinal);

// Opens the control key "\Software" + MainKey for a load: without creation, so a missing
// key is not made, and with full access.
bool OpenControlKeyForLoad(registry::TRegistry& registry, std::string_view mainKey);
// Opens it for a save that replaces the key: an existing key is deleted first with all its
// subkeys, depth first; then the key is made anew.
bool OpenControlKeyForSave(registry::TRegistry& registry, std::string_view mainKey);

}  // namespace corvane::regctrls
