#include "regctrls/RegListBox.h"

#include "regctrls/MyReg.h"
#include "regctrls/RegMemo.h"

namespace corvane::regctrls {

TRegListBox::TRegListBox(QWidget* parent) : QListWidget(parent) {
    setSelectionMode(ExtendedSelection);
}

std::vector<std::string> TRegListBox::Items() const {
    std::vector<std::string> items;
    items.reserve(static_cast<std::size_t>(count()));
    for (int row = 0; row < count(); ++row) {
        items.push_back(item(row)->text().toStdString());
    }
    return items;
}

void TRegListBox::SetItems(const std::vector<std::string>& items) {
    clear();
    for (const std::string& entry : items) {
        AddItem(entry);
    }
}

void TRegListBox::AddItem(std::string_view item) {
    addItem(QString::fromUtf8(item.data(), static_cast<qsizetype>(item.size())));
}

void TRegListBox::LoadFromRegistry() noexcept {
    if (RegMainKey.empty()) {
        return;
    }
    try {
        clear();  // before the key is opened: a missing key leaves the list empty
        registry::TRegistry registry(HiveOfRootKeyOrdinal(RegRootKey));
        if (!OpenControlKeyForLoad(registry, RegMainKey)) {
            return;
        }
        for (std::int32_t i = 0; i < RegMaxItems; ++i) {
            const std::string entry = ReadText(registry, RegKeyName + std::to_string(i));
            if (entry.empty()) {
                break;
            }
            AddItem(entry);
        }
    } catch (...) {
        // Registry failures are silent; the list keeps what it holds.
    }
}

void TRegListBox::SaveToRegistry() noexcept {
    if (RegMainKey.empty()) {
        return;
    }
    try {
        const std::vector<std::string> items = Items();
        // The whole save is one transaction of the store: one durable commit at the end of
        // the scope, and no other process ever sees the key half written.
        registry::TWriteBatch batch;
        registry::TRegistry registry(HiveOfRootKeyOrdinal(RegRootKey));
        if (!OpenControlKeyForSave(registry, RegMainKey)) {
            return;
        }
        for (std::size_t i = 0; i < items.size(); ++i) {
            try {
                registry.WriteString(RegKeyName + std::to_string(i), items[i]);
            } catch (...) {
                // An entry that cannot be stored is skipped; the next one is tried.
            }
        }
    } catch (...) {
        // Registry failures are silent.
    }
}

}  // namespace corvane::regctrls
