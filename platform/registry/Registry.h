#pragma once
// TRegistry, the registry accessor: a selected hive and at most one open key, whose values
// can be queried, read and written. On Linux the keys live in the process's settings store
// (TSqliteStore::Process()); a WIN32 build calls the Windows registry's ANSI functions.
//
// Contract:
// - Every path is taken from the root of the selected hive, whether or not it begins with a
//   backslash (one leading backslash is dropped) and whether or not a key is open; a
//   trailing backslash is ignored. The empty path names the hive root, which is always
//   opened without creation. A path with an empty component ("A\\\\B") or a component
//   longer than 255 characters names no key.
// - OpenKey asks for full access, as KEY_ALL_ACCESS does: in a store the user cannot write
//   it fails, also for a key that exists. OpenKeyReadOnly and KeyExists only read.
// - Key and value names compare without regard to ASCII case; a key or value keeps the case
//   it was created with.
// - Nothing throws: opens, writes and deletes report false, reads nullopt. A write that
//   returned true is durable (inside a TWriteBatch: once the batch has committed). Nothing
//   is cached, so what another process writes is seen at once; an access to an open key
//   that has been deleted meanwhile fails.
// - One object is used by one thread at a time.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/RegistryTypes.h"
#ifndef _WIN32
#include "platform/registry/SqliteStore.h"
#endif

namespace corvane::registry {

class TRegistry {
public:
    // HKEY_CURRENT_USER, no key open.
    TRegistry() = default;
    explicit TRegistry(ERootKey root) : m_rootKey(root) {}
    ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    ERootKey RootKey() const { return m_rootKey; }
    // Selecting another hive closes the open key.
    void SetRootKey(ERootKey root);

    // Closes the open key, then opens Path with full access; with CanCreate every missing
    // key along the path is made (RegCreateKeyEx), otherwise the key must exist
    // (RegOpenKeyEx).
    bool OpenKey(std::string_view path, bool canCreate);
    // Closes the open key, then opens an existing key for reading only.
    bool OpenKeyReadOnly(std::string_view path);
    bool HasOpenKey() const;
    // The open key's path as it was given, without the leading backslash; empty when none.
    const std::string& CurrentPath() const { return m_currentPath; }
    void CloseKey();

    bool KeyExists(std::string_view path) const;
    // Deletes the key at Path with all its subkeys, depth first. The hive root cannot be
    // deleted. Needs a store the user can write.
    bool DeleteKey(std::string_view path);
    // The open key's subkeys, in the order the registry enumerates them (by name).
    std::optional<std::vector<std::string>> GetKeyNames() const;

    // Values of the open key; the name "" is the key's default value.
    std::optional<TRegDataInfo> GetDataInfo(std::string_view name) const;
    bool ValueExists(std::string_view name) const { return GetDataInfo(name).has_value(); }
    std::optional<TRegValue> ReadValue(std::string_view name) const;
    // REG_SZ and REG_EXPAND_SZ: the text up to the first NUL byte (the whole data when it
    // has none); REG_EXPAND_SZ is not expanded. A value of any other type reads as the
    // empty text. nullopt when there is no such value (or no open key).
    std::optional<std::string> ReadString(std::string_view name) const;
    // A REG_DWORD of exactly 4 bytes, as a signed 32-bit value; nullopt for anything else.
    std::optional<std::int32_t> ReadInteger(std::string_view name) const;

    // Replaces the value whatever its previous type. Needs a key opened with OpenKey.
    bool WriteValue(std::string_view name, ERegDataType type, std::string_view data);
    // REG_SZ: the text's bytes and one NUL byte.
    bool WriteString(std::string_view name, std::string_view value);
    // REG_DWORD: 4 bytes, little-endian.
    bool WriteInteger(std::string_view name, std::int32_t value);

private:
    ERootKey m_rootKey = ERootKey::CurrentUser;
    std::string m_currentPath;
    bool m_writable = false;  // opened with full access
#ifdef _WIN32
    void* m_key = nullptr;  // the open HKEY
#else
    std::optional<TStoreKey> m_key;
    std::uint64_t m_storeSerial = 0;  // the store object the key was found in
#endif
};

// Groups the writes this thread makes through any TRegistry while the object lives (values
// written, keys made and deleted) into one transaction of the process's store, so that a save
// of many values costs one durable commit instead of one per value, and lands whole or not at
// all: another process sees none of them before the commit, and a process killed before it
// leaves every value as it was. Inside, each write still succeeds or fails on its own and
// reports so (a failed one is undone alone); reads see the batch's own writes. A write that
// returned true is durable once Commit has returned true, or once the object has gone
// without Commit or Rollback (it commits then). Batches nest: an inner one is part of the
// outer one, and only the outermost commit makes anything durable; an inner Rollback undoes
// only the inner batch's writes. While a batch is open, other threads' store accesses wait.
// On WIN32 builds the writes go to the registry one by one as ever; Commit returns true.
class TWriteBatch {
public:
    TWriteBatch();
    ~TWriteBatch();
    TWriteBatch(const TWriteBatch&) = delete;
    TWriteBatch& operator=(const TWriteBatch&) = delete;

    // Ends the batch keeping its writes; false when the outermost commit failed, and then
    // none of the batch's writes is stored.
    bool Commit();
    // Ends the batch undoing its writes.
    void Rollback();

private:
    bool m_open = true;
#ifndef _WIN32
    TSqliteStore* m_store;
#endif
};

// What opening the process's settings store found (opening it now if need be): the path a
// damaged store was set aside as before a fresh, empty store was started in its place; empty
// when the store was sound or new. Only the process that set the file aside hears of it, so
// a program that reports it once at its start reports it once. Always empty on WIN32 builds.
std::string DamagedStoreKeptAs();

// The components of a registry path below the hive root, by the rules of the contract
// above; nullopt when the path names no key.
std::optional<std::vector<std::string>> SplitKeyPath(std::string_view path);

}  // namespace corvane::registry
