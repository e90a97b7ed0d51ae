#pragma once
// TRegListBox: a list box whose entries are kept in the registry, one REG_SZ value per entry
// in list order, RegKeyName + "0", RegKeyName + "1" ..., with no count value, in the key
// "\Software" + RegMainKey of the hive RegRootKey. Several entries can be selected at once
// (Shift and Ctrl extend the selection).
//
// Contract (the memo's rules of RegMemo.h, with these differences):
// - LoadFromRegistry removes every entry first, then reads values 0, 1, 2 ... at most
//   RegMaxItems of them, stopping at the first that is empty or missing (a value that is
//   not text reads as empty).
// - SaveToRegistry deletes the key with its subkeys, makes it anew and writes every entry,
//   however many; RegMaxItems limits loads only, so a list longer than RegMaxItems is
//   stored whole and comes back cut to its first RegMaxItems entries. Each write is tried
//   on its own. An empty entry is stored as it is, and a load stops there. The save is one
//   batch of the store (registry::TWriteBatch), durable at its end, all at once.
// - An empty RegMainKey makes both operations do nothing; registry failures are never
//   reported, and nothing throws out of the operations. Text is stored as UTF-8.

#include <QListWidget>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::regctrls {

class TRegListBox : public QListWidget {
    Q_OBJECT

public:
    // The hive, by ordinal as a layout stores it.
    enum TRootKey : int { hkLocalMachine, hkCurrentUser, hkUsers };

    explicit TRegListBox(QWidget* parent = nullptr);

    // Stem of the entry values' names.
    std::string RegKeyName = "change now!";
    // Key path below "\Software", beginning with a backslash.
    std::string RegMainKey = "\\Halden Software\\Corvane\\default";
    // Most entries a load reads.
    std::int32_t RegMaxItems = 8;
    TRootKey RegRootKey = hkLocalMachine;

    void LoadFromRegistry() noexcept;
    void SaveToRegistry() noexcept;

    // The entries in list order, in UTF-8.
    std::vector<std::string> Items() const;
    void SetItems(const std::vector<std::string>& items);
    void AddItem(std::string_view item);
};

}  // namespace corvane::regctrls
