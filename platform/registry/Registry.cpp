#include "platform/registry/Registry.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace corvane::registry {

namespace {

// Windows refuses key names longer than this.
constexpr std::size_t MaxKeyNameLength = 255;

}  // namespace

std::string_view RootKeyName(ERootKey root) {
    switch (root) {
        case ERootKey::ClassesRoot:
            return "HKEY_CLASSES_ROOT";
        case ERootKey::CurrentUser:
            return "HKEY_CURRENT_USER";
        case ERootKey::LocalMachine:
            return "HKEY_LOCAL_MACHINE";
        case ERootKey::Users:
            return "HKEY_USERS";
        case ERootKey::CurrentConfig:
            return "HKEY_CURRENT_CONFIG";
    }
    return "HKEY_CURRENT_USER";
}

std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path) {
    if (!path.empty() && path.front() == '\\') {
        path.remove_prefix(1);
    }
    if (!path.empty() && path.back() == '\\') {
        path.remove_suffix(1);
    }
    std::vector<std::string> parts;
    if (path.empty()) {
        return parts;
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find('\\', start);
        const std::string_view part =
            path.substr(start, end == std::string_view::npos ? end : end - start);
        if (part.empty() || part.size() > MaxKeyNameLength) {
            return std::nullopt;
        }
        parts.emplace_back(part);
        if (end == std::string_view::npos) {
            return parts;
        }
        start = end + 1;
    }
}

void TRegistry::SetRootKey(ERootKey root) {
    if (root != m_rootKey) {
        CloseKey();
        m_rootKey = root;
    }
}

std::optional<std::string> TRegistry::ReadString(std::string_view name) const {
    const auto value = ReadValue(name);
    if (!value) {
        return std::nullopt;
    }
    if (value->Type != ERegDataType::String && value->Type != ERegDataType::ExpandString) {
        return std::string();
    }
    return value->Data.substr(0, value->Data.find('\0'));
}

std::optional<std::int32_t> TRegistry::ReadInteger(std::string_view name) const {
    const auto value = ReadValue(name);
    if (!value || value->Type != ERegDataType::DWord || value->Data.size() != 4) {
        return std::nullopt;
    }
    std::uint32_t bits = 0;
    for (std::size_t i = 4; i-- > 0;) {
        bits = (bits << 8) | static_cast<unsigned char>(value->Data[i]);
    }
    return static_cast<std::int32_t>(bits);
}

bool TRegistry::WriteString(std::string_view name, std::string_view value) {
    std::string data(value);
    data.push_back('\0');
    return WriteValue(name, ERegDataType::String, data);
}

bool TRegistry::WriteInteger(std::string_view name, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    std::string data(4, '\0');
    for (std::size_t i = 0; i < 4; ++i) {
        data[i] = static_cast<char>((bits >> (8 * i)) & 0xffu);
    }
    return WriteValue(name, ERegDataType::DWord, data);
}

#ifdef _WIN32
// ---- Windows: the system registry, ANSI functions ----

std::string DamagedStoreKeptAs() {
    return {};  // the system registry is never set aside
}

TWriteBatch::TWriteBatch() = default;
TWriteBatch::~TWriteBatch() = default;
bool TWriteBatch::Commit() {
    m_open = false;
    return true;
}
void TWriteBatch::Rollback() {
    m_open = false;
}

namespace {

HKEY Hive(ERootKey root) {
    switch (root) {
        case ERootKey::ClassesRoot:
            return HKEY_CLASSES_ROOT;
        case ERootKey::CurrentUser:
            return HKEY_CURRENT_USER;
        case ERootKey::LocalMachine:
            return HKEY_LOCAL_MACHINE;
        case ERootKey::Users:
            return HKEY_USERS;
        case ERootKey::CurrentConfig:
            return HKEY_CURRENT_CONFIG;
    }
    return HKEY_CURRENT_USER;
}

std::string Join(const std::vector<std::string>& parts) {
    std::string joined;
    for (const auto& part : parts) {
        if (!joined.empty()) {
            joined += '\\';
        }
        joined += part;
    }
    return joined;
}

// The subkeys from the last index to the first, each depth first, then the key itself:
// RegDeleteKeyA deletes only a key without subkeys.
bool DeleteTreeAt(HKEY parent, const std::string& name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        return false;
    }
    DWORD count = 0, longest = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        std::string buffer(longest + 1, '\0');
        for (DWORD index = count; index-- > 0;) {
            DWORD length = longest + 1;
            if (RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr,
                              nullptr) == ERROR_SUCCESS) {
                DeleteTreeAt(key, std::string(buffer.data(), length));
            }
        }
    }
    RegCloseKey(key);
    return RegDeleteKeyA(parent, name.c_str()) == ERROR_SUCCESS;
}

}  // namespace

bool TRegistry::OpenKey(std::string_view path, bool canCreate) {
    CloseKey();
    const auto parts = SplitKeyPath(path);
    if (!parts) {
        return false;
    }
    const std::string joined = Join(*parts);
    HKEY key = nullptr;
    LONG status;
    if (canCreate && !parts->empty()) {
        DWORD disposition = 0;
        status =
            RegCreateKeyExA(Hive(m_rootKey), joined.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, &disposition);
    } else {
        status = RegOpenKeyExA(Hive(m_rootKey), joined.c_str(), 0, KEY_ALL_ACCESS, &key);
    }
    if (status != ERROR_SUCCESS) {
        return false;
    }
    m_key = key;
    m_writable = true;
    m_currentPath = joined;
    return true;
}

bool TRegistry::OpenKeyReadOnly(std::string_view path) {
    CloseKey();
    const auto parts = SplitKeyPath(path);
    HKEY key = nullptr;
    if (!parts ||
        RegOpenKeyExA(Hive(m_rootKey), Join(*parts).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    m_key = key;
    m_writable = false;
    m_currentPath = Join(*parts);
    return true;
}

bool TRegistry::HasOpenKey() const {
    return m_key != nullptr;
}

void TRegistry::CloseKey() {
    if (m_key != nullptr) {
        RegCloseKey(static_cast<HKEY>(m_key));
        m_key = nullptr;
    }
    m_writable = false;
    m_currentPath.clear();
}

bool TRegistry::KeyExists(std::string_view path) const {
    const auto parts = SplitKeyPath(path);
    HKEY key = nullptr;
    if (!parts ||
        RegOpenKeyExA(Hive(m_rootKey), Join(*parts).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

bool TRegistry::DeleteKey(std::string_view path) {
    const auto parts = SplitKeyPath(path);
    return parts && !parts->empty() && DeleteTreeAt(Hive(m_rootKey), Join(*parts));
}

std::optional<std::vector<std::string>> TRegistry::GetKeyNames() const {
    const auto key = static_cast<HKEY>(m_key);
    DWORD count = 0, longest = 0;
    if (key == nullptr ||
        RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &count, &longest, nullptr, nullptr,
                         nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    std::string buffer(longest + 1, '\0');
    for (DWORD index = 0; index < count; ++index) {
        DWORD length = longest + 1;
        if (RegEnumKeyExA(key, index, buffer.data(), &length, nullptr, nullptr, nullptr, nullptr) ==
            ERROR_SUCCESS) {
            names.emplace_back(buffer.data(), length);
        }
    }
    return names;
}

std::optional<TRegDataInfo> TRegistry::GetDataInfo(std::string_view name) const {
    DWORD type = 0, size = 0;
    if (m_key == nullptr || RegQueryValueExA(static_cast<HKEY>(m_key), std::string(name).c_str(),
                                             nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return TRegDataInfo{static_cast<ERegDataType>(type), static_cast<std::uint32_t>(size)};
}

std::optional<TRegValue> TRegistry::ReadValue(std::string_view name) const {
    const std::string valueName(name);
    for (int attempt = 0; attempt < 4; ++attempt) {  // the value may grow between the calls
        const auto info = GetDataInfo(name);
        if (!info) {
            return std::nullopt;
        }
        std::string data(info->Size, '\0');
        DWORD type = 0, size = info->Size;
        const LONG status = RegQueryValueExA(static_cast<HKEY>(m_key), valueName.c_str(), nullptr,
                                             &type, reinterpret_cast<BYTE*>(data.data()), &size);
        if (status == ERROR_SUCCESS) {
            data.resize(size);
            return TRegValue{static_cast<ERegDataType>(type), std::move(data)};
        }
        if (status != ERROR_MORE_DATA) {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

bool TRegistry::WriteValue(std::string_view name, ERegDataType type, std::string_view data) {
    return m_key != nullptr && m_writable &&
           RegSetValueExA(static_cast<HKEY>(m_key), std::string(name).c_str(), 0,
                          static_cast<DWORD>(type), reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

#else
// ---- Linux: the process's SQLite store ----

namespace {

// The process's store, when it is still the one the open key was found in.
TSqliteStore* StoreOf(std::uint64_t serial) {
    TSqliteStore& store = TSqliteStore::Process();
    return store.Serial() == serial ? &store : nullptr;
}

}  // namespace

std::string DamagedStoreKeptAs() {
    return TSqliteStore::Process().SetAsideAs().string();
}

TWriteBatch::TWriteBatch() : m_store(&TSqliteStore::Process()) {
    m_store->BeginBatch();
}

TWriteBatch::~TWriteBatch() {
    if (m_open) {
        m_store->EndBatch(true);
    }
}

bool TWriteBatch::Commit() {
    if (!m_open) {
        return false;
    }
    m_open = false;
    return m_store->EndBatch(true);
}

void TWriteBatch::Rollback() {
    if (m_open) {
        m_open = false;
        m_store->EndBatch(false);
    }
}

bool TRegistry::OpenKey(std::string_view path, bool canCreate) {
    CloseKey();
    const auto parts = SplitKeyPath(path);
    if (!parts) {
        return false;
    }
    TSqliteStore& store = TSqliteStore::Process();
    if (store.Mode() != EStoreMode::Writable) {
        return false;  // full access cannot be granted
    }
    m_key = canCreate && !parts->empty() ? store.CreateKey(m_rootKey, *parts)
                                         : store.FindKey(m_rootKey, *parts);
    if (!m_key) {
        return false;
    }
    m_storeSerial = store.Serial();
    m_writable = true;
    m_currentPath = path.substr(!path.empty() && path.front() == '\\' ? 1 : 0);
    return true;
}

bool TRegistry::OpenKeyReadOnly(std::string_view path) {
    CloseKey();
    const auto parts = SplitKeyPath(path);
    if (!parts) {
        return false;
    }
    TSqliteStore& store = TSqliteStore::Process();
    m_key = store.FindKey(m_rootKey, *parts);
    if (!m_key) {
        return false;
    }
    m_storeSerial = store.Serial();
    m_currentPath = path.substr(!path.empty() && path.front() == '\\' ? 1 : 0);
    return true;
}

bool TRegistry::HasOpenKey() const {
    return m_key.has_value();
}

void TRegistry::CloseKey() {
    m_key.reset();
    m_writable = false;
    m_currentPath.clear();
}

bool TRegistry::KeyExists(std::string_view path) const {
    const auto parts = SplitKeyPath(path);
    return parts && TSqliteStore::Process().FindKey(m_rootKey, *parts).has_value();
}

bool TRegistry::DeleteKey(std::string_view path) {
    const auto parts = SplitKeyPath(path);
    if (!parts || parts->empty()) {
        return false;
    }
    TSqliteStore& store = TSqliteStore::Process();
    const auto key = store.FindKey(m_rootKey, *parts);
    return key && store.DeleteTree(*key);
}

std::optional<std::vector<std::string>> TRegistry::GetKeyNames() const {
    TSqliteStore* store = m_key ? StoreOf(m_storeSerial) : nullptr;
    return store != nullptr ? store->SubkeyNames(*m_key) : std::nullopt;
}

std::optional<TRegDataInfo> TRegistry::GetDataInfo(std::string_view name) const {
    const auto value = ReadValue(name);
    if (!value) {
        return std::nullopt;
    }
    return TRegDataInfo{value->Type, static_cast<std::uint32_t>(value->Data.size())};
}

std::optional<TRegValue> TRegistry::ReadValue(std::string_view name) const {
    TSqliteStore* store = m_key ? StoreOf(m_storeSerial) : nullptr;
    return store != nullptr ? store->GetValue(*m_key, name) : std::nullopt;
}

bool TRegistry::WriteValue(std::string_view name, ERegDataType type, std::string_view data) {
    TSqliteStore* store = m_key && m_writable ? StoreOf(m_storeSerial) : nullptr;
    return store != nullptr && store->SetValue(*m_key, name, type, data);
}

#endif

}  // namespace corvane::registry
