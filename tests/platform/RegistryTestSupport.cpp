#include "RegistryTestSupport.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

#include "platform/registry/SqliteStore.h"

namespace corvane::test {

TDeadline After(std::chrono::milliseconds span) {
    return std::chrono::steady_clock::now() + span;
}

TScratchRegistry::TScratchRegistry() {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-registry-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "mkdtemp failed: errno " << errno;
    }
    m_folder = pattern;
    ::chmod(m_folder.c_str(), 0755);
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME")) {
        m_savedXdg = xdg;
    }
    if (const char* data = std::getenv("XDG_DATA_HOME")) {
        m_savedData = data;
    }
    ::setenv("XDG_CONFIG_HOME", m_folder.c_str(), 1);
    ::setenv("XDG_DATA_HOME", m_folder.c_str(), 1);
    registry::TSqliteStore::CloseProcess();
}

TScratchRegistry::~TScratchRegistry() {
    registry::TSqliteStore::CloseProcess();
    if (m_savedXdg) {
        ::setenv("XDG_CONFIG_HOME", m_savedXdg->c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
    if (m_savedData) {
        ::setenv("XDG_DATA_HOME", m_savedData->c_str(), 1);
    } else {
        ::unsetenv("XDG_DATA_HOME");
    }
    std::error_code error;
    std::filesystem::permissions(StoreFolder(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, error);
    std::filesystem::remove_all(m_folder, error);
}

TRawStore::TRawStore(const std::filesystem::path& file) {
    if (sqlite3_open_v2(file.c_str(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        ADD_FAILURE() << "cannot open " << file << ": " << sqlite3_errmsg(m_db);
    }
    sqlite3_busy_timeout(m_db, 5000);
}

TRawStore::~TRawStore() {
    sqlite3_close(m_db);
}

namespace {

// Runs Sql with text parameters, calling OnRow for each row; fails the test on an error.
template <class TOnRow>
void Query(sqlite3* db, const std::string& sql, const std::vector<std::string>& parameters,
           TOnRow&& onRow) {
    sqlite3_stmt* stmt = nullptr;
    int rc = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr);
    for (std::size_t i = 0; rc == SQLITE_OK && i < parameters.size(); ++i) {
        rc = sqlite3_bind_text(stmt, static_cast<int>(i + 1), parameters[i].data(),
                               static_cast<int>(parameters[i].size()), SQLITE_TRANSIENT);
    }
    while (rc == SQLITE_OK && (rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        onRow(stmt);
        rc = SQLITE_OK;
    }
    if (rc != SQLITE_DONE) {
        ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    }
    sqlite3_finalize(stmt);
}

std::string ColumnBytes(sqlite3_stmt* stmt, int column) {
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(stmt, column));
    return bytes == nullptr
               ? std::string()
               : std::string(bytes, static_cast<std::size_t>(sqlite3_column_bytes(stmt, column)));
}

}  // namespace

std::int64_t TRawStore::KeyId(const std::vector<std::string>& path) const {
    std::int64_t id = 0;
    for (const auto& name : path) {
        std::int64_t child = 0;
        Query(m_db,
              "SELECT id FROM keys WHERE ifnull(parent, 0) = " + std::to_string(id) +
                  " AND name = ?1",
              {name}, [&](sqlite3_stmt* stmt) { child = sqlite3_column_int64(stmt, 0); });
        if (child == 0) {
            return 0;
        }
        id = child;
    }
    return id;
}

std::optional<TRawValue> TRawStore::Value(const std::vector<std::string>& path,
                                          const std::string& name) const {
    std::optional<TRawValue> value;
    const std::int64_t key = KeyId(path);
    if (key != 0) {
        Query(m_db,
              "SELECT type, data FROM vals WHERE key = " + std::to_string(key) + " AND name = ?1",
              {name}, [&](sqlite3_stmt* stmt) {
                  value = TRawValue{sqlite3_column_int64(stmt, 0), ColumnBytes(stmt, 1)};
              });
    }
    return value;
}

void TRawStore::PutValue(std::int64_t key, const std::string& name, std::int64_t type,
                         const std::string& data) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(m_db,
                       "INSERT OR REPLACE INTO vals(key, name, type, data) VALUES (?, ?, ?, ?)", -1,
                       &stmt, nullptr);
    sqlite3_bind_int64(stmt, 1, key);
    sqlite3_bind_text(stmt, 2, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(stmt, 3, type);
    sqlite3_bind_blob(stmt, 4, data.empty() ? "" : data.data(), static_cast<int>(data.size()),
                      SQLITE_TRANSIENT);
    if (sqlite3_step(stmt) != SQLITE_DONE) {
        ADD_FAILURE() << "cannot store " << name << ": " << sqlite3_errmsg(m_db);
    }
    sqlite3_finalize(stmt);
}

std::vector<std::string> TRawStore::Column(const std::string& sql) const {
    std::vector<std::string> column;
    Query(m_db, sql, {}, [&](sqlite3_stmt* stmt) { column.push_back(ColumnBytes(stmt, 0)); });
    return column;
}

std::int64_t TRawStore::Number(const std::string& sql) const {
    std::int64_t number = -1;
    Query(m_db, sql, {}, [&](sqlite3_stmt* stmt) { number = sqlite3_column_int64(stmt, 0); });
    return number;
}

TChildProcess::TChildProcess(const std::function<int(int reportFd)>& body) {
    registry::TSqliteStore::CloseProcess();
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    m_pid = ::fork();
    if (m_pid == 0) {
        ::close(fds[0]);
        int code = 100;
        try {
            code = body(fds[1]);
        } catch (...) {
            code = 101;
        }
        registry::TSqliteStore::CloseProcess();
        ::_exit(code);
    }
    ::close(fds[1]);
    m_readFd = fds[0];
    if (m_pid < 0) {
        ADD_FAILURE() << "fork failed";
    }
}

TChildProcess::~TChildProcess() {
    if (m_pid > 0) {
        Kill();
        ::waitpid(m_pid, nullptr, 0);
    }
    if (m_readFd >= 0) {
        ::close(m_readFd);
    }
}

const std::string& TChildProcess::ReadAtLeast(std::size_t count, TDeadline deadline) {
    while (m_readFd >= 0 && m_output.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        pollfd wait{m_readFd, POLLIN, 0};
        if (::poll(&wait, 1, static_cast<int>(left.count())) <= 0) {
            continue;  // interrupted or timed out: the loop looks at the clock again
        }
        char buffer[4096];
        const ssize_t got = ::read(m_readFd, buffer, sizeof buffer);
        if (got <= 0) {
            ::close(m_readFd);  // the child has ended (or closed its end)
            m_readFd = -1;
            break;
        }
        m_output.append(buffer, static_cast<std::size_t>(got));
    }
    return m_output;
}

void TChildProcess::Kill() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
    }
}

int TChildProcess::Wait(TDeadline deadline) {
    ReadAtLeast(std::string::npos, deadline);
    if (m_pid <= 0) {
        return -1;
    }
    if (m_readFd >= 0) {
        ADD_FAILURE() << "child " << m_pid << " did not end in time; killed";
        Kill();
    }
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool GiveUpRoot() {
    if (::geteuid() != 0) {
        return true;
    }
    constexpr gid_t Nobody = 65534;
    return ::setgroups(0, nullptr) == 0 && ::setgid(Nobody) == 0 && ::setuid(Nobody) == 0;
}

void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

}  // namespace corvane::test
