#include "platform/registry/SqliteStore.h"

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <system_error>
#include <thread>
#include <utility>

namespace corvane::registry {

namespace {

constexpr int BusyTimeoutMs = 5000;
constexpr int SchemaVersion = 1;

// The five hive roots are made together with the tables, so that every path has a root.
constexpr const char* SchemaSql = R"sql(
CREATE TABLE keys (
  id     INTEGER PRIMARY KEY,
  parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name   TEXT NOT NULL COLLATE NOCASE
);
CREATE UNIQUE INDEX keys_child ON keys(ifnull(parent, 0), name);
CREATE TABLE vals (
  key  INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL COLLATE NOCASE,
  type INTEGER NOT NULL,
  data BLOB NOT NULL,
  PRIMARY KEY (key, name)
);
INSERT INTO keys(parent, name) VALUES (NULL, 'HKEY_CLASSES_ROOT'), (NULL, 'HKEY_CURRENT_USER'),
  (NULL, 'HKEY_LOCAL_MACHINE'), (NULL, 'HKEY_USERS'), (NULL, 'HKEY_CURRENT_CONFIG');
PRAGMA user_version = 1;
)sql";

std::atomic<std::uint64_t> g_nextSerial{1};
std::mutex g_processMutex;
std::unique_ptr<TSqliteStore> g_process;

// One prepared statement, kept for the life of the connection.
class TStatement {
public:
    TStatement() = default;
    ~TStatement() { sqlite3_finalize(m_stmt); }
    TStatement(const TStatement&) = delete;
    TStatement& operator=(const TStatement&) = delete;

    bool Prepare(sqlite3* db, const char* sql) {
        return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &m_stmt, nullptr) ==
               SQLITE_OK;
    }
    sqlite3_stmt* Get() const { return m_stmt; }

private:
    sqlite3_stmt* m_stmt = nullptr;
};

// One use of a prepared statement: binds, steps, and resets it at the end of the scope so
// that no statement keeps a read transaction open between calls.
class TUse {
public:
    explicit TUse(const TStatement& statement) : m_stmt(statement.Get()) {}
    ~TUse() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
    TUse(const TUse&) = delete;
    TUse& operator=(const TUse&) = delete;

    TUse& Int(int index, std::int64_t value) {
        sqlite3_bind_int64(m_stmt, index, value);
        return *this;
    }
    // A parent of 0 is stored as NULL (a hive root).
    TUse& Parent(int index, TKeyId parent) {
        if (parent == 0) {
            sqlite3_bind_null(m_stmt, index);
        } else {
            sqlite3_bind_int64(m_stmt, index, parent);
        }
        return *this;
    }
    TUse& Text(int index, std::string_view text) {
        sqlite3_bind_text(m_stmt, index, text.empty() ? "" : text.data(),
                          static_cast<int>(text.size()), SQLITE_TRANSIENT);
        return *this;
    }
    // A blob of zero bytes must not be bound from a null pointer: that would bind NULL.
    TUse& Blob(int index, std::string_view bytes) {
        sqlite3_bind_blob(m_stmt, index, bytes.empty() ? "" : bytes.data(),
                          static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        return *this;
    }
    int Step() { return sqlite3_step(m_stmt); }
    std::int64_t ColumnInt(int column) const { return sqlite3_column_int64(m_stmt, column); }
    std::string ColumnBytes(int column) const {
        const void* bytes = sqlite3_column_blob(m_stmt, column);
        const int size = sqlite3_column_bytes(m_stmt, column);
        return bytes == nullptr
                   ? std::string()
                   : std::string(static_cast<const char*>(bytes), static_cast<std::size_t>(size));
    }

private:
    sqlite3_stmt* m_stmt;
};

bool IsDamage(int rc) {
    const int primary = rc & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

// mkdir for every missing folder along Folder, private to the user (0700) as XDG base
// directories are meant to be.
bool EnsureFolder(const std::filesystem::path& folder) {
    std::filesystem::path partial;
    for (const auto& part : folder) {
        partial /= part;
        if (::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
    }
    struct stat info {};
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// The store holds the user's drafts, addresses and servers: readable by the user alone,
// whatever the umask. A missing store file is made 0600 before SQLite opens it, and SQLite
// gives the -wal and -shm files it makes the permissions of the database file. An existing
// store and its companions (say from a program that left them 0644) lose their group and
// other bits. A file that is not the user's own (chmod refuses) is left as it is.
void KeepPrivate(const std::string& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);  // 0600 even under a umask that takes the owner's bits
        ::close(fd);
    }
    for (const std::string& path : {file, file + "-wal", file + "-shm"}) {
        struct stat info {};
        if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & 077) != 0) {
            ::chmod(path.c_str(), info.st_mode & 0700);
        }
    }
}

bool Exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

// Renames without ever replacing an existing file.
bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // The file system cannot rename without replacing: a hard link refuses an existing
    // target just as well.
    if (::link(from.c_str(), to.c_str()) != 0) {
        return false;
    }
    return ::unlink(from.c_str()) == 0;
}

// False for a file that can be read and does not begin with SQLite's header: it is no
// database, and goes aside before SQLite opens it (and rewrites its -shm companion). A
// missing, empty or unreadable file is left to SQLite.
bool MayBeDatabase(const std::string& path) {
    static constexpr char Header[] = "SQLite format 3";  // 16 bytes with its NUL
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return true;
    }
    char start[sizeof Header] = {};
    const ssize_t got = ::read(fd, start, sizeof start);
    ::close(fd);
    return got <= 0 || (got == sizeof start && std::memcmp(start, Header, sizeof Header) == 0);
}

// "file:" URI of Path for sqlite3_open_v2 with SQLITE_OPEN_URI.
std::string FileUri(const std::string& path) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '%' || c == '?' || c == '#' || byte < 0x20 || byte >= 0x7f) {
            uri += '%';
            uri += Hex[byte >> 4];
            uri += Hex[byte & 0x0f];
        } else {
            uri += c;
        }
    }
    return uri;
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    std::array<char, 16384> buffer{};
    passwd entry{};
    passwd* result = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
        result != nullptr && result->pw_dir != nullptr) {
        return result->pw_dir;
    }
    return {};
}

}  // namespace

struct TSqliteStore::TStatements {
    TStatement Begin, Commit, Rollback;
    TStatement SaveBatch, ReleaseBatch, UndoBatch, SaveWrite, ReleaseWrite, UndoWrite;
    TStatement FindChild, InsertKey, KeyAlive, Children, DeleteVals, DeleteKey;
    TStatement GetValue, SetValue;

    bool Prepare(sqlite3* db) {
        return Begin.Prepare(db, "BEGIN IMMEDIATE") && Commit.Prepare(db, "COMMIT") &&
               Rollback.Prepare(db, "ROLLBACK") && SaveBatch.Prepare(db, "SAVEPOINT batch") &&
               ReleaseBatch.Prepare(db, "RELEASE batch") &&
               UndoBatch.Prepare(db, "ROLLBACK TO batch") && SaveWrite.Prepare(db, "SAVEPOINT write") &&
               ReleaseWrite.Prepare(db, "RELEASE write") &&
               UndoWrite.Prepare(db, "ROLLBACK TO write") &&
               FindChild.Prepare(db,
                                 "SELECT id, name FROM keys WHERE ifnull(parent, 0) = ?1 AND "
                                 "name = ?2") &&
               InsertKey.Prepare(db, "INSERT INTO keys(parent, name) VALUES (?1, ?2)") &&
               KeyAlive.Prepare(db,
                                "SELECT 1 FROM keys WHERE id = ?1 AND ifnull(parent, 0) = ?2 "
                                "AND name = ?3") &&
               Children.Prepare(db,
                                "SELECT id, name FROM keys WHERE ifnull(parent, 0) = ?1 "
                                "ORDER BY name") &&
               DeleteVals.Prepare(db, "DELETE FROM vals WHERE key = ?1") &&
               DeleteKey.Prepare(db, "DELETE FROM keys WHERE id = ?1") &&
               GetValue.Prepare(db,
                                "SELECT v.type, v.data FROM vals v JOIN keys k ON k.id = v.key "
                                "WHERE k.id = ?1 AND ifnull(k.parent, 0) = ?2 AND k.name = ?3 "
                                "AND v.name = ?4") &&
               SetValue.Prepare(db,
                                "INSERT INTO vals(key, name, type, data) VALUES (?1, ?2, ?3, ?4) "
                                "ON CONFLICT(key, name) DO UPDATE SET type = excluded.type, "
                                "data = excluded.data");
    }
};

TSqliteStore::TSqliteStore(std::filesystem::path file)
    : m_file(std::move(file)), m_serial(g_nextSerial.fetch_add(1)) {
    Open();
}

TSqliteStore::~TSqliteStore() {
    CloseDb();
}

std::filesystem::path TSqliteStore::DefaultFile() {
    std::filesystem::path base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        base = xdg;
    } else if (const std::string home = HomeFolder(); !home.empty()) {
        base = std::filesystem::path(home) / ".config";
    } else {
        return {};
    }
    return base / "corvane" / "registry.db";
}

TSqliteStore& TSqliteStore::Process() {
    std::lock_guard lock(g_processMutex);
    if (!g_process) {
        g_process = std::make_unique<TSqliteStore>(DefaultFile());
    }
    return *g_process;
}

void TSqliteStore::CloseProcess() {
    std::lock_guard lock(g_processMutex);
    g_process.reset();
}

void TSqliteStore::Open() {
    if (m_file.empty() || !EnsureFolder(m_file.parent_path())) {
        return;
    }
    KeepPrivate(m_file.string());  // before anything is read, and so before a move aside
    EHealth health = MayBeDatabase(m_file.string()) ? OpenAndCheck(false) : EHealth::Damaged;
    if (health == EHealth::Damaged) {
        CloseDb();
        std::optional<std::filesystem::path> aside = MoveAside();
        if (!aside) {
            return;
        }
        m_setAsideAs = std::move(*aside);
        KeepPrivate(m_file.string());  // the fresh file: 0600 from the start
        health = OpenAndCheck(false);
    }
    if (health == EHealth::Failed &&
        ((m_failure & 0xff) == SQLITE_CANTOPEN || (m_failure & 0xff) == SQLITE_READONLY)) {
        // A WAL store in a folder the user cannot write: without -wal and -shm files SQLite
        // can read it only as an immutable file, and nobody can write it there anyway.
        CloseDb();
        health = OpenAndCheck(true);
    }
    if (health != EHealth::Sound) {
        CloseDb();
        return;
    }

    const bool writable = sqlite3_db_readonly(m_db, "main") == 0 && !m_newerFormat;
    if (writable && Configure()) {
        m_mode = EStoreMode::Writable;
    } else {
        Exec("PRAGMA query_only = ON");
        m_mode = EStoreMode::ReadOnly;
    }
    m_statements = std::make_unique<TStatements>();
    if (!m_statements->Prepare(m_db)) {
        // Tables missing, say in an empty file nobody may write: nothing to read.
        CloseDb();
        m_mode = EStoreMode::Unavailable;
    }
}

TSqliteStore::EHealth TSqliteStore::OpenAndCheck(bool immutable) {
    const std::string uri = FileUri(m_file.string()) + (immutable ? "?immutable=1" : "");
    const int flags =
        SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX |
        (immutable ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    if (sqlite3_open_v2(uri.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        CloseDb();
        return EHealth::Failed;
    }
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, BusyTimeoutMs);
    // Until the file has proven sound, closing must not checkpoint into it.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
    return Check();
}

// SQLite's integrity check, then whether the tables are ours: version 1 with both tables, or
// an empty file still to be made a store. A newer version is left as it is. The full check,
// not the quick one: an index that disagrees with its table passes quick_check, and then
// every write fails for good. A settings store is small, so the full check costs well under
// a millisecond.
TSqliteStore::EHealth TSqliteStore::Check() {
    auto query = [this](const char* sql, auto&& onRow) -> int {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(m_db, sql, -1, &stmt, nullptr);
        while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
            onRow(stmt);
            rc = SQLITE_OK;
        }
        sqlite3_finalize(stmt);
        return rc == SQLITE_DONE ? SQLITE_OK : rc;
    };

    // The version lives in the file's header: it can be read even when the schema cannot.
    std::int64_t version = 0, ours = 0, objects = 0;
    int rc = query("PRAGMA user_version",
                   [&](sqlite3_stmt* stmt) { version = sqlite3_column_int64(stmt, 0); });
    bool damaged = false;
    if (rc == SQLITE_OK) {
        rc = query("PRAGMA integrity_check", [&](sqlite3_stmt* stmt) {
            const auto* text = sqlite3_column_text(stmt, 0);
            damaged = damaged || text == nullptr ||
                      std::string_view(reinterpret_cast<const char*>(text)) != "ok";
        });
    }
    // Damage reported is damage, even when the check then gives up (it may run out of
    // memory on the sizes a damaged page claims).
    if (damaged) {
        return EHealth::Damaged;
    }
    if (rc != SQLITE_OK) {
        m_failure = rc;
        // A plain SQLITE_ERROR here is a schema SQLite cannot read (a collation or function
        // it does not know), SQLITE_NOMEM a damaged record claiming more than any memory
        // holds: no store of ours either way, unless a newer program wrote it.
        const int primary = rc & 0xff;
        const bool unreadable =
            (primary == SQLITE_ERROR || primary == SQLITE_NOMEM) && version <= SchemaVersion;
        return IsDamage(rc) || unreadable ? EHealth::Damaged : EHealth::Failed;
    }

    // The version again, in the same statement as the tables: one snapshot. Another process
    // may make the schema between two statements, and a version 0 read before it with the
    // tables read after it would look like someone else's database.
    rc = query(
        "SELECT (SELECT user_version FROM pragma_user_version), count(*), "
        "count(CASE WHEN type = 'table' AND name IN ('keys', 'vals') THEN 1 END) FROM sqlite_schema",
        [&](sqlite3_stmt* stmt) {
            version = sqlite3_column_int64(stmt, 0);
            objects = sqlite3_column_int64(stmt, 1);
            ours = sqlite3_column_int64(stmt, 2);
        });
    if (rc != SQLITE_OK) {
        m_failure = rc;
        return IsDamage(rc) ? EHealth::Damaged : EHealth::Failed;
    }
    m_newerFormat = version > SchemaVersion;
    if (version == SchemaVersion && ours == 2) {
        // Tables of our names may still lack a column or a key the statements rely on;
        // with foreign keys on, as they will run, a reference to a key that is not unique
        // fails too.
        TStatements probe;
        return Exec("PRAGMA foreign_keys = ON") && probe.Prepare(m_db) ? EHealth::Sound
                                                                        : EHealth::Damaged;
    }
    if ((version == 0 && objects == 0) || m_newerFormat) {
        return EHealth::Sound;
    }
    return EHealth::Damaged;  // a database of something else
}

// WAL with full syncs, foreign keys, and the schema in a file that has none yet. Two
// processes may start on a new file at once: the schema is made inside the write lock, by
// whichever gets it first.
bool TSqliteStore::Configure() {
    if (!SwitchToWal() || !Exec("PRAGMA synchronous = FULL") || !Exec("PRAGMA foreign_keys = ON") ||
        !Exec("BEGIN IMMEDIATE")) {
        return false;
    }
    sqlite3_stmt* stmt = nullptr;
    std::int64_t version = -1, objects = -1;
    if (sqlite3_prepare_v2(m_db,
                           "SELECT (SELECT user_version FROM pragma_user_version), "
                           "(SELECT count(*) FROM sqlite_schema)",
                           -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW) {
        version = sqlite3_column_int64(stmt, 0);
        objects = sqlite3_column_int64(stmt, 1);
    }
    sqlite3_finalize(stmt);
    const bool made = version == SchemaVersion || (version == 0 && objects == 0 && Exec(SchemaSql));
    if (!made || !Exec("COMMIT")) {
        Exec("ROLLBACK");
        return false;
    }
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 0, nullptr);
    return true;
}

// Switching to WAL needs the file to itself and does not wait for it (SQLite's busy handler
// is not asked), so a second process starting at the same moment makes it fail: try again
// for as long as the busy timeout. A file system without WAL support keeps its rollback
// journal, which is just as atomic.
bool TSqliteStore::SwitchToWal() {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(BusyTimeoutMs);
    for (;;) {
        sqlite3_stmt* stmt = nullptr;
        int rc = sqlite3_prepare_v2(m_db, "PRAGMA journal_mode = WAL", -1, &stmt, nullptr);
        if (rc == SQLITE_OK) {
            rc = sqlite3_step(stmt);
        }
        sqlite3_finalize(stmt);
        if (rc == SQLITE_ROW) {
            return true;
        }
        if ((rc & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

// registry.db -> registry.db.corrupt-20240518T101500Z, its companions alongside; a second
// damaged file in the same second gets "-2" and so on. The companions go first: a -wal left
// beside a fresh registry.db would be replayed into it.
std::optional<std::filesystem::path> TSqliteStore::MoveAside() {
    const std::string file = m_file.string();
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    std::array<char, 32> stamp{};
    std::strftime(stamp.data(), stamp.size(), "%Y%m%dT%H%M%SZ", &utc);
    const std::string base = file + ".corrupt-" + stamp.data();

    for (int attempt = 1; attempt <= 100; ++attempt) {
        const std::string target = attempt == 1 ? base : base + "-" + std::to_string(attempt);
        if (Exists(target) || Exists(target + "-wal") || Exists(target + "-shm")) {
            continue;
        }
        for (const char* suffix : {"-wal", "-shm"}) {
            if (Exists(file + suffix) && !RenameNoReplace(file + suffix, target + suffix)) {
                return std::nullopt;
            }
        }
        if (!RenameNoReplace(file, target)) {
            return std::nullopt;
        }
        return std::filesystem::path(target);
    }
    return std::nullopt;
}

void TSqliteStore::CloseDb() {
    m_statements.reset();
    if (m_db != nullptr) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
}

bool TSqliteStore::Exec(const char* sql) {
    return sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// Runs Body inside BEGIN IMMEDIATE ... COMMIT; rolls back when Body fails or throws. Inside
// a batch whose transaction is open, Body runs in a savepoint of it instead.
template <class TBody>
bool TSqliteStore::Write(TBody&& body) {
    if (m_mode != EStoreMode::Writable) {
        return false;
    }
    if (!m_batches.empty() && m_batches.front()) {
        return WriteInBatch(std::forward<TBody>(body));
    }
    {
        TUse begin(m_statements->Begin);
        if (begin.Step() != SQLITE_DONE) {
            return false;  // the lock stayed taken for the whole busy timeout
        }
    }
    struct TRollbackUnlessCommitted {
        TSqliteStore& Store;
        ~TRollbackUnlessCommitted() {
            if (sqlite3_get_autocommit(Store.m_db) == 0) {
                TUse rollback(Store.m_statements->Rollback);
                rollback.Step();
            }
        }
    } guard{*this};
    if (!body()) {
        return false;
    }
    TUse commit(m_statements->Commit);
    return commit.Step() == SQLITE_DONE;
}

// One write of a batch: Body in the savepoint "write", undone alone when it fails or throws.
// Once SQLite has ended the batch's transaction by itself (it does so on some I/O errors),
// nothing more is written: a write must not start a transaction of its own behind the
// batch's back.
template <class TBody>
bool TSqliteStore::WriteInBatch(TBody&& body) {
    if (m_batchLost || sqlite3_get_autocommit(m_db) != 0) {
        m_batchLost = true;
        return false;
    }
    {
        TUse save(m_statements->SaveWrite);
        if (save.Step() != SQLITE_DONE) {
            return false;
        }
    }
    struct TUndoUnlessReleased {
        TSqliteStore& Store;
        bool Released = false;
        ~TUndoUnlessReleased() {
            if (Released) {
                return;
            }
            if (sqlite3_get_autocommit(Store.m_db) != 0) {
                Store.m_batchLost = true;
                return;
            }
            TUse undo(Store.m_statements->UndoWrite);
            undo.Step();
            TUse release(Store.m_statements->ReleaseWrite);
            release.Step();
        }
    } guard{*this};
    if (!body()) {
        return false;
    }
    TUse release(m_statements->ReleaseWrite);
    guard.Released = release.Step() == SQLITE_DONE;
    return guard.Released;
}

void TSqliteStore::BeginBatch() {
    m_mutex.lock();
    bool made = false;
    try {
        if (m_mode == EStoreMode::Writable) {
            if (m_batches.empty()) {
                m_batchLost = false;
                TUse begin(m_statements->Begin);
                made = begin.Step() == SQLITE_DONE;
            } else if (m_batches.front() && !m_batchLost && sqlite3_get_autocommit(m_db) == 0) {
                TUse save(m_statements->SaveBatch);
                made = save.Step() == SQLITE_DONE;
            }
        }
        m_batches.push_back(made);
    } catch (...) {
        // Only the level's bookkeeping could not be kept: nothing was begun.
        if (made) {
            TUse rollback(m_statements->Rollback);
            rollback.Step();
        }
        m_mutex.unlock();
        throw;
    }
}

bool TSqliteStore::EndBatch(bool commit) {
    // A thread without a batch of its own waits here for the one that has, and finds none.
    std::lock_guard lock(m_mutex);
    if (m_batches.empty()) {
        return false;
    }
    const bool made = m_batches.back();
    m_batches.pop_back();
    const bool outermost = m_batches.empty();
    bool kept = true;
    if (made) {
        const bool open = sqlite3_get_autocommit(m_db) == 0;
        m_batchLost = m_batchLost || !open;
        if (outermost) {
            if (commit && !m_batchLost) {
                TUse finish(m_statements->Commit);
                kept = finish.Step() == SQLITE_DONE;
            } else {
                kept = !commit;
            }
            if (sqlite3_get_autocommit(m_db) == 0) {  // not committed: undo it all
                TUse rollback(m_statements->Rollback);
                rollback.Step();
                kept = kept && !commit;
            }
        } else if (!m_batchLost) {
            if (!commit) {
                TUse undo(m_statements->UndoBatch);
                undo.Step();
            }
            TUse release(m_statements->ReleaseBatch);
            kept = release.Step() == SQLITE_DONE || !commit;
        } else {
            kept = !commit;
        }
    }
    m_mutex.unlock();  // the hold BeginBatch took; the guard above returns its own
    return kept;
}

std::optional<TStoreKey> TSqliteStore::Child(TKeyId parent, std::string_view name) {
    TUse find(m_statements->FindChild);
    find.Int(1, parent).Text(2, name);
    if (find.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return TStoreKey{find.ColumnInt(0), parent, find.ColumnBytes(1)};
}

std::optional<TStoreKey> TSqliteStore::FindLocked(ERootKey root,
                                                  const std::vector<std::string>& path) {
    if (m_mode == EStoreMode::Unavailable) {
        return std::nullopt;
    }
    std::optional<TStoreKey> key = Child(0, RootKeyName(root));
    for (std::size_t i = 0; key && i < path.size(); ++i) {
        key = Child(key->Id, path[i]);
    }
    return key;
}

std::optional<TStoreKey> TSqliteStore::FindKey(ERootKey root,
                                               const std::vector<std::string>& path) {
    std::lock_guard lock(m_mutex);
    return FindLocked(root, path);
}

std::optional<TStoreKey> TSqliteStore::CreateKey(ERootKey root,
                                                 const std::vector<std::string>& path) {
    std::lock_guard lock(m_mutex);
    if (auto existing = FindLocked(root, path)) {
        return existing;
    }
    std::optional<TStoreKey> key;
    const bool made = Write([&] {
        // Walk again inside the write lock: another process may have made part of the path.
        TKeyId parent = 0;
        for (std::size_t i = 0; i <= path.size(); ++i) {
            const std::string_view name =
                i == 0 ? RootKeyName(root) : std::string_view(path[i - 1]);
            key = Child(parent, name);
            if (!key) {
                TUse insert(m_statements->InsertKey);
                insert.Parent(1, parent).Text(2, name);
                if (insert.Step() != SQLITE_DONE) {
                    return false;
                }
                key = TStoreKey{sqlite3_last_insert_rowid(m_db), parent, std::string(name)};
            }
            parent = key->Id;
        }
        return true;
    });
    return made ? key : std::nullopt;
}

bool TSqliteStore::Alive(const TStoreKey& key) {
    TUse alive(m_statements->KeyAlive);
    alive.Int(1, key.Id).Int(2, key.Parent).Text(3, key.Name);
    return alive.Step() == SQLITE_ROW;
}

std::optional<std::vector<std::string>> TSqliteStore::SubkeyNames(const TStoreKey& key) {
    std::lock_guard lock(m_mutex);
    if (m_mode == EStoreMode::Unavailable || !Alive(key)) {
        return std::nullopt;
    }
    std::vector<std::string> names;
    TUse children(m_statements->Children);
    children.Int(1, key.Id);
    int rc;
    while ((rc = children.Step()) == SQLITE_ROW) {
        names.push_back(children.ColumnBytes(1));
    }
    if (rc != SQLITE_DONE) {
        return std::nullopt;
    }
    return names;
}

// The subkeys from the last (by name) to the first, each with its own subkeys first, then
// the key's values and the key. Foreign-key cascades would do the same, but this way the
// order is ours and a store opened without foreign keys is cleaned up just as well.
bool TSqliteStore::DeleteDepthFirst(TKeyId id) {
    std::vector<TKeyId> children;
    {
        TUse list(m_statements->Children);
        list.Int(1, id);
        int rc;
        while ((rc = list.Step()) == SQLITE_ROW) {
            children.push_back(list.ColumnInt(0));
        }
        if (rc != SQLITE_DONE) {
            return false;
        }
    }
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
        if (!DeleteDepthFirst(*child)) {
            return false;
        }
    }
    TUse values(m_statements->DeleteVals);
    values.Int(1, id);
    TUse key(m_statements->DeleteKey);
    key.Int(1, id);
    return values.Step() == SQLITE_DONE && key.Step() == SQLITE_DONE;
}

bool TSqliteStore::DeleteTree(const TStoreKey& key) {
    std::lock_guard lock(m_mutex);
    if (key.Parent == 0) {
        return false;
    }
    return Write([&] { return Alive(key) && DeleteDepthFirst(key.Id); });
}

std::optional<TRegValue> TSqliteStore::GetValue(const TStoreKey& key, std::string_view name) {
    std::lock_guard lock(m_mutex);
    if (m_mode == EStoreMode::Unavailable) {
        return std::nullopt;
    }
    TUse get(m_statements->GetValue);
    get.Int(1, key.Id).Int(2, key.Parent).Text(3, key.Name).Text(4, name);
    if (get.Step() != SQLITE_ROW) {
        return std::nullopt;
    }
    return TRegValue{static_cast<ERegDataType>(static_cast<std::uint32_t>(get.ColumnInt(0))),
                     get.ColumnBytes(1)};
}

bool TSqliteStore::SetValue(const TStoreKey& key, std::string_view name, ERegDataType type,
                            std::string_view data) {
    std::lock_guard lock(m_mutex);
    return Write([&] {
        if (!Alive(key)) {
            return false;
        }
        TUse set(m_statements->SetValue);
        set.Int(1, key.Id).Text(2, name).Int(3, static_cast<std::uint32_t>(type)).Blob(4, data);
        return set.Step() == SQLITE_DONE;
    });
}

}  // namespace corvane::registry
