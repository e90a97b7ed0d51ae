#pragma once
// The settings store on Linux: the registry's keys and values in one SQLite database per
// user, $XDG_CONFIG_HOME/corvane/registry.db (~/.config/corvane/registry.db when the variable
// is unset or not an absolute path). Table `keys` holds the tree (a hive root has no
// parent), table `vals` the values with exactly the bytes Windows would keep (REG_SZ with
// its NUL byte, REG_DWORD little-endian); names compare without regard to ASCII case and keep
// the case they were created with. PRAGMA user_version is 1.
//
// TSqliteStore is one connection to such a file. A process uses one, Process(), opened on
// first use and kept until the process ends; the accessor TRegistry opens and closes keys
// on it logically. Contract:
// - Opening never destroys anything. A file that is not a sound store (SQLite's
//   integrity_check fails, it is not a database, its schema cannot be read, or it holds
//   tables of something else, ours without the columns and keys we use included) is
//   renamed aside with its -wal and -shm companions as registry.db.corrupt-<UTC time> and
//   a fresh store is started; SetAsideAs() then names the file set aside. A missing folder
//   is created (mode 0700). A file of a newer format is left as it is.
// - The store is the user's alone: a missing file is created 0600 whatever the umask (its
//   -wal and -shm files get the same mode from SQLite), and an existing store, -wal or -shm
//   of the user's that others may read or write loses those bits when it is opened.
// - A file the user cannot write is opened ReadOnly: reads work, every write fails. A store
//   that cannot be opened at all is Unavailable: every access fails. Neither reports more.
// - Every write is one BEGIN IMMEDIATE transaction, committed durably (WAL, synchronous=FULL)
//   before the call returns true; a second process waits for the write lock at most 5 s.
//   Between BeginBatch and EndBatch the writes instead join one such transaction (a batch):
//   each still succeeds or fails on its own (a failed one leaves no trace), and all become
//   durable together at the end, or none does. See BeginBatch.
// - Keys are named by TStoreKey; an access to a key that another process deleted meanwhile
//   fails, also when SQLite has given its row id to a new key since.
// - The methods may be called from any thread; each holds the store's lock while it runs.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/RegistryTypes.h"

struct sqlite3;

namespace corvane::registry {

using TKeyId = std::int64_t;

// A key as found in the store: its row, and the parent row and name it had then.
struct TStoreKey {
    TKeyId Id = 0;
    TKeyId Parent = 0;  // 0 for a hive root
    std::string Name;   // as stored, in the case it was created with
};

enum class EStoreMode {
    Unavailable,  // no database could be opened or used: every access fails
    ReadOnly,     // the user cannot write the file (or it is of a newer format): reads only
    Writable,
};

class TSqliteStore {
public:
    // Opens File, creating, checking and if need be replacing it as the contract says.
    explicit TSqliteStore(std::filesystem::path file);
    ~TSqliteStore();
    TSqliteStore(const TSqliteStore&) = delete;
    TSqliteStore& operator=(const TSqliteStore&) = delete;

    // $XDG_CONFIG_HOME/corvane/registry.db, or below $HOME/.config, or below the home folder
    // of the password database; empty when there is no home at all.
    static std::filesystem::path DefaultFile();
    // The process's store at DefaultFile(), opened on the first call.
    static TSqliteStore& Process();
    // Closes the process's store; the next Process() opens DefaultFile() again. For tests
    // (another XDG_CONFIG_HOME) and before fork(), which must not carry a connection over.
    // No reference from an earlier Process() may be used after it.
    static void CloseProcess();

    EStoreMode Mode() const { return m_mode; }
    // The file a damaged store was renamed to when this object opened it (the -wal and -shm
    // went alongside, with the same name and their suffixes); empty when it found none.
    const std::filesystem::path& SetAsideAs() const { return m_setAsideAs; }
    const std::filesystem::path& File() const { return m_file; }
    // Distinct for every store object made in this process, so a key found in a store
    // that has been closed since is never looked up in its successor.
    std::uint64_t Serial() const { return m_serial; }

    // Path holds the components below the hive root (none: the root itself). Names compare
    // without regard to ASCII case.
    std::optional<TStoreKey> FindKey(ERootKey root, const std::vector<std::string>& path);
    // Finds the key, or makes every missing key along Path in one transaction.
    std::optional<TStoreKey> CreateKey(ERootKey root, const std::vector<std::string>& path);
    // The names of Key's subkeys in the order RegEnumKeyEx would give them (by name,
    // ignoring ASCII case); nullopt when Key no longer exists.
    std::optional<std::vector<std::string>> SubkeyNames(const TStoreKey& key);
    // Deletes Key with all its subkeys and values, depth first, in one transaction. A hive
    // root cannot be deleted.
    bool DeleteTree(const TStoreKey& key);

    // Name "" is the key's default value.
    std::optional<TRegValue> GetValue(const TStoreKey& key, std::string_view name);
    // Stores or replaces the value, whatever its previous type; an existing value keeps the
    // case of its name.
    bool SetValue(const TStoreKey& key, std::string_view name, ERegDataType type,
                  std::string_view data);

    // Opens a batch: the writes that follow, up to the matching EndBatch, run in one BEGIN
    // IMMEDIATE transaction, which takes the write lock at once (waiting for it as a write
    // does). Until EndBatch the calling thread holds the store's lock, so other threads'
    // accesses wait; other processes see none of the batch's writes before it ends, and a
    // process killed meanwhile leaves the store as it was before the batch. Batches nest:
    // an inner one is a savepoint of the outer one. When the transaction cannot be begun
    // (a store that is not writable, the lock held elsewhere for the whole timeout), the
    // writes of the batch run one by one as outside a batch. CloseProcess must not run
    // while a batch of the process's store is open.
    void BeginBatch();
    // Ends the innermost batch. With Commit, its writes are kept: the outermost batch
    // commits them durably and reports whether that worked (false: none of them is
    // stored). Without Commit, the batch's writes are undone. Always returns the lock.
    bool EndBatch(bool commit);

private:
    enum class EHealth { Sound, Damaged, Failed };
    struct TStatements;

    void Open();
    EHealth OpenAndCheck(bool immutable);
    EHealth Check();
    bool Configure();
    bool SwitchToWal();
    // Renames the damaged file and its companions aside; the new name, or nullopt.
    std::optional<std::filesystem::path> MoveAside();
    void CloseDb();

    bool Exec(const char* sql);
    std::optional<TStoreKey> Child(TKeyId parent, std::string_view name);
    std::optional<TStoreKey> FindLocked(ERootKey root, const std::vector<std::string>& path);
    bool Alive(const TStoreKey& key);
    bool DeleteDepthFirst(TKeyId id);
    template <class TBody>
    bool Write(TBody&& body);
    template <class TBody>
    bool WriteInBatch(TBody&& body);

    std::filesystem::path m_file;
    std::filesystem::path m_setAsideAs;
    std::uint64_t m_serial;
    EStoreMode m_mode = EStoreMode::Unavailable;
    bool m_newerFormat = false;  // user_version above ours: never written
    int m_failure = 0;           // SQLite's code when the check could not read the file
    sqlite3* m_db = nullptr;
    std::unique_ptr<TStatements> m_statements;
    // Recursive: a batch holds it from BeginBatch to EndBatch, across the calls between.
    std::recursive_mutex m_mutex;
    // The open batches: one entry per level, whether that level's transaction or savepoint
    // was made (false: its writes run one by one).
    std::vector<bool> m_batches;
    bool m_batchLost = false;  // SQLite ended the batch's transaction itself (an I/O error)
};

}  // namespace corvane::registry
