#pragma once
// Fixtures for tests of the settings store: a throw-away store in a temporary
// XDG_CONFIG_HOME, a plain SQLite connection for looking at the rows themselves, and child
// processes (fork) for a second writer, a killed writer and a user without write access.

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

#include "TempFolder.h"  // ReadWholeFile

namespace corvane::test {

using TDeadline = std::chrono::steady_clock::time_point;
TDeadline After(std::chrono::milliseconds span);

// XDG_CONFIG_HOME and XDG_DATA_HOME (where sent mail is kept) point at a fresh folder (mode
// 0755, so a child that gave up root can reach it) while the object lives; the process's store is closed on entry and on exit, so
// that the next use opens the store there.
class TScratchRegistry {
public:
    TScratchRegistry();
    ~TScratchRegistry();
    TScratchRegistry(const TScratchRegistry&) = delete;
    TScratchRegistry& operator=(const TScratchRegistry&) = delete;

    const std::filesystem::path& Folder() const { return m_folder; }
    std::filesystem::path StoreFolder() const { return m_folder / "corvane"; }
    std::filesystem::path StoreFile() const { return StoreFolder() / "registry.db"; }

private:
    std::filesystem::path m_folder;
    std::optional<std::string> m_savedXdg;
    std::optional<std::string> m_savedData;
};

// A value's row: its type number and its bytes.
struct TRawValue {
    std::int64_t Type = 0;
    std::string Data;
    bool operator==(const TRawValue&) const = default;
};

// A connection of its own to a store file, bypassing the store's code. Errors fail the
// running test.
class TRawStore {
public:
    explicit TRawStore(const std::filesystem::path& file);
    ~TRawStore();
    TRawStore(const TRawStore&) = delete;
    TRawStore& operator=(const TRawStore&) = delete;

    // The row id of the key at Path (hive root name first); 0 when there is none.
    std::int64_t KeyId(const std::vector<std::string>& path) const;
    std::optional<TRawValue> Value(const std::vector<std::string>& path,
                                   const std::string& name) const;
    void PutValue(std::int64_t key, const std::string& name, std::int64_t type,
                  const std::string& data);
    // The first column of every row, as text ("" for NULL).
    std::vector<std::string> Column(const std::string& sql) const;
    std::int64_t Number(const std::string& sql) const;

private:
    sqlite3* m_db = nullptr;
};

// A forked child process that runs Body(ReportFd) and ends with _exit(Body's result); what
// it writes to ReportFd arrives in the parent. The process's store is closed before the
// fork: a connection must not be carried into a child. A child still running when the
// object goes is killed and reaped.
class TChildProcess {
public:
    explicit TChildProcess(const std::function<int(int reportFd)>& body);
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Reads until at least Count bytes have come in all, the child closes its end, or the
    // deadline passes; returns everything read so far.
    const std::string& ReadAtLeast(std::size_t count, TDeadline deadline);
    void Kill();
    // Reads to the end, kills the child if the deadline passes first, reaps it. The exit
    // code, or minus the signal that ended it.
    int Wait(TDeadline deadline);
    const std::string& Output() const { return m_output; }

private:
    pid_t m_pid = -1;
    int m_readFd = -1;
    std::string m_output;
};

// In a child process running as root: become "nobody", so that file permissions apply.
// Does nothing for any other user. False when it failed.
bool GiveUpRoot();

void WriteWholeFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace corvane::test
