// The registry accessor and its SQLite store, against real database files in a temporary
// XDG_CONFIG_HOME; what lands in the file is checked with a connection of the test's own.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "RegistryTestSupport.h"
#include "platform/registry/Registry.h"
#include "platform/registry/SqliteStore.h"

namespace {

namespace reg = corvane::registry;
using corvane::test::After;
using corvane::test::TChildProcess;
using corvane::test::TRawStore;
using corvane::test::TRawValue;
using namespace std::chrono_literals;
using namespace std::string_literals;

const std::vector<std::string> Hkcu{"HKEY_CURRENT_USER"};

std::vector<std::string> Under(std::vector<std::string> path,
                               const std::vector<std::string>& more) {
    path.insert(path.end(), more.begin(), more.end());
    return path;
}

std::vector<std::string> FolderEntries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class TRegistry : public ::testing::Test {
protected:
    corvane::test::TScratchRegistry Scratch;
    TRawStore Raw() const { return TRawStore(Scratch.StoreFile()); }
};

class TSqliteStore : public TRegistry {};

TEST_F(TSqliteStore, MakesItsFolderAndTheDocumentedSchemaOnFirstUse) {
    ASSERT_FALSE(std::filesystem::exists(Scratch.StoreFolder()));
    reg::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("\\Software\\First", true));
    EXPECT_EQ(reg::TSqliteStore::Process().File(), Scratch.StoreFile());

    struct stat folder {};
    ASSERT_EQ(::stat(Scratch.StoreFolder().c_str(), &folder), 0);
    EXPECT_EQ(folder.st_mode & 0777, 0700u);

    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Number("PRAGMA user_version"), 1);
    EXPECT_EQ(raw.Column("PRAGMA journal_mode"), std::vector<std::string>{"wal"});
    EXPECT_EQ(raw.Column("SELECT name FROM sqlite_schema WHERE name NOT LIKE 'sqlite_%' "
                         "ORDER BY name"),
              (std::vector<std::string>{"keys", "keys_child", "vals"}));
    EXPECT_EQ(raw.Column("SELECT name FROM keys WHERE parent IS NULL ORDER BY name"),
              (std::vector<std::string>{"HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG",
                                        "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"}));
    EXPECT_NE(raw.KeyId(Under(Hkcu, {"Software", "First"})), 0);
}

TEST_F(TSqliteStore, FindsItsFileLikeOtherDesktopPrograms) {
    const char* savedHome = std::getenv("HOME");
    const std::string home = savedHome != nullptr ? savedHome : "";
    ::setenv("HOME", "/home/someone", 1);

    EXPECT_EQ(reg::TSqliteStore::DefaultFile(), Scratch.Folder() / "corvane/registry.db");
    ::setenv("XDG_CONFIG_HOME", "relative/config", 1);  // not absolute: ignored
    EXPECT_EQ(reg::TSqliteStore::DefaultFile(), "/home/someone/.config/corvane/registry.db");
    ::unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(reg::TSqliteStore::DefaultFile(), "/home/someone/.config/corvane/registry.db");

    ::setenv("HOME", home.c_str(), 1);
}

TEST_F(TRegistry, KeepsTheBytesWindowsKeeps) {
    reg::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Bytes", true));
    ASSERT_TRUE(registry.WriteString("Text", "abc\xE9"));
    ASSERT_TRUE(registry.WriteString("Empty", ""));
    ASSERT_TRUE(registry.WriteInteger("Negative", -2));
    ASSERT_TRUE(registry.WriteInteger("Order", 0x01020304));
    ASSERT_TRUE(registry.WriteString("", "default value"));
    ASSERT_TRUE(registry.WriteString("Changes", "text first"));
    ASSERT_TRUE(registry.WriteInteger("Changes", 7));

    const TRawStore raw = Raw();
    const auto key = Under(Hkcu, {"Software", "Bytes"});
    EXPECT_EQ(raw.Value(key, "Text"), (TRawValue{1, "abc\xE9\0"s}));
    EXPECT_EQ(raw.Value(key, "Empty"), (TRawValue{1, "\0"s}));
    EXPECT_EQ(raw.Value(key, "Negative"), (TRawValue{4, "\xFE\xFF\xFF\xFF"s}));
    EXPECT_EQ(raw.Value(key, "Order"), (TRawValue{4, "\x04\x03\x02\x01"s}));
    EXPECT_EQ(raw.Value(key, ""), (TRawValue{1, "default value\0"s}));
    EXPECT_EQ(raw.Value(key, "Changes"), (TRawValue{4, "\x07\0\0\0"s}));
    EXPECT_EQ(registry.ReadInteger("Order"), 0x01020304);
    EXPECT_EQ(registry.ReadString("Missing"), std::nullopt);
    EXPECT_EQ(registry.ReadInteger("Text"), std::nullopt);
}

TEST_F(TRegistry, HandsOverValuesOtherProgramsWroteAsWindowsWould) {
    reg::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Foreign", true));
    TRawStore raw = Raw();
    const std::int64_t key = raw.KeyId(Under(Hkcu, {"Software", "Foreign"}));
    raw.PutValue(key, "Expand", 2, "%HOME%\\mail\0"s);
    raw.PutValue(key, "NoNul", 1, "plain");
    raw.PutValue(key, "TwoTexts", 1, "first\0second\0"s);
    raw.PutValue(key, "Nothing", 1, "");
    raw.PutValue(key, "Binary", 3, "\x01\x02"s);
    raw.PutValue(key, "Short", 4, "\x05\x00"s);
    raw.PutValue(key, "Long", 4, "\x05\0\0\0\0\0\0\0"s);
    raw.PutValue(key, "Multi", 7, "a\0b\0\0"s);

    EXPECT_EQ(registry.ReadString("Expand"), "%HOME%\\mail");
    EXPECT_EQ(registry.ReadString("NoNul"), "plain");
    EXPECT_EQ(registry.ReadString("TwoTexts"), "first");
    EXPECT_EQ(registry.ReadString("Nothing"), "");
    EXPECT_EQ(registry.ReadString("Binary"), "");
    EXPECT_EQ(registry.ReadInteger("Short"), std::nullopt);
    EXPECT_EQ(registry.ReadInteger("Long"), std::nullopt);

    const auto info = registry.GetDataInfo("Multi");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(static_cast<std::uint32_t>(info->Type), 7u);
    EXPECT_EQ(info->Size, 5u);
    EXPECT_EQ(registry.ReadValue("Multi")->Data, "a\0b\0\0"s);
    EXPECT_FALSE(registry.ValueExists("Absent"));
}

TEST_F(TRegistry, NamesIgnoreAsciiCaseAndKeepTheCaseTheyWereMadeWith) {
    reg::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\MixedCase\\Sub", true));
    ASSERT_TRUE(registry.WriteString("Value", "first"));
    ASSERT_TRUE(registry.OpenKey("SOFTWARE\\mixedcase\\SUB", true));
    ASSERT_TRUE(registry.WriteString("VALUE", "second"));
    EXPECT_EQ(registry.ReadString("vAlUe"), "second");
    EXPECT_TRUE(registry.KeyExists("software\\MIXEDCASE\\sub"));

    // Only ASCII letters fold: "Ä" and "ä" are different names.
    ASSERT_TRUE(registry.OpenKey("Software\\\xC3\x84", true));
    ASSERT_TRUE(registry.OpenKey("Software\\\xC3\xA4", true));

    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Column("SELECT name FROM keys WHERE parent = (SELECT id FROM keys WHERE "
                         "name = 'Software') ORDER BY name"),
              (std::vector<std::string>{"MixedCase", "\xC3\x84", "\xC3\xA4"}));
    EXPECT_EQ(raw.Column("SELECT name FROM keys WHERE name = 'sub'"),
              std::vector<std::string>{"Sub"});
    EXPECT_EQ(raw.Column("SELECT name || '=' || CAST(data AS TEXT) FROM vals"),
              std::vector<std::string>{"Value=second"s + '\0'});
}

TEST_F(TRegistry, OpensFromTheHiveRootByThePathRules) {
    reg::TRegistry registry;
    EXPECT_FALSE(registry.OpenKey("\\Software\\Missing\\Deeper", false));
    EXPECT_FALSE(registry.HasOpenKey());
    ASSERT_TRUE(registry.OpenKey("\\Software\\Made\\Along\\The\\Way", true));
    EXPECT_EQ(registry.CurrentPath(), "Software\\Made\\Along\\The\\Way");
    ASSERT_TRUE(registry.WriteInteger("Depth", 5));

    // With or without the leading backslash, with a trailing one: the same key, even while
    // another key is open.
    ASSERT_TRUE(registry.OpenKey("Software\\Made", false));
    ASSERT_TRUE(registry.OpenKey("Software\\Made\\Along\\The\\Way\\", false));
    EXPECT_EQ(registry.ReadInteger("Depth"), 5);
    EXPECT_FALSE(registry.OpenKey("Software\\\\Made", true));
    EXPECT_FALSE(registry.OpenKey("Software\\" + std::string(256, 'k'), true));
    EXPECT_TRUE(registry.OpenKey("Software\\" + std::string(255, 'k'), true));

    // The empty path is the hive root; it opens, and never creates anything.
    const std::int64_t keysBefore = Raw().Number("SELECT count(*) FROM keys");
    ASSERT_TRUE(registry.OpenKey("", true));
    EXPECT_EQ(registry.GetKeyNames(), std::vector<std::string>{"Software"});
    ASSERT_TRUE(registry.OpenKey("\\", true));
    EXPECT_EQ(Raw().Number("SELECT count(*) FROM keys"), keysBefore);

    // Hives are separate trees.
    registry.SetRootKey(reg::ERootKey::LocalMachine);
    EXPECT_FALSE(registry.HasOpenKey());
    EXPECT_FALSE(registry.KeyExists("Software\\Made"));
    ASSERT_TRUE(registry.OpenKey("Software\\Made", true));
    EXPECT_EQ(registry.ReadInteger("Depth"), std::nullopt);
    EXPECT_NE(Raw().KeyId({"HKEY_LOCAL_MACHINE", "Software", "Made"}), 0);

    // Reading only: values come, writes do not go.
    registry.SetRootKey(reg::ERootKey::CurrentUser);
    ASSERT_TRUE(registry.OpenKeyReadOnly("Software\\Made\\Along\\The\\Way"));
    EXPECT_EQ(registry.ReadInteger("Depth"), 5);
    EXPECT_FALSE(registry.WriteInteger("Depth", 6));
    EXPECT_EQ(registry.ReadInteger("Depth"), 5);
}

TEST_F(TRegistry, DeletesAKeyWithEverythingBelowItAndNothingElse) {
    reg::TRegistry registry;
    for (const char* path : {"Software\\T\\A\\B\\C", "Software\\T\\A\\B\\D", "Software\\T\\A\\E",
                             "Software\\T\\A2", "Software\\T\\AB"}) {
        ASSERT_TRUE(registry.OpenKey(path, true));
        ASSERT_TRUE(registry.WriteString("Where", path));
        ASSERT_TRUE(registry.WriteString("", "default"));
    }
    ASSERT_TRUE(registry.OpenKey("Software\\T", false));
    EXPECT_EQ(registry.GetKeyNames(), (std::vector<std::string>{"A", "A2", "AB"}));
    ASSERT_TRUE(registry.OpenKey("Software\\T\\A", false));
    EXPECT_EQ(registry.GetKeyNames(), (std::vector<std::string>{"B", "E"}));

    EXPECT_FALSE(registry.DeleteKey(""));
    EXPECT_FALSE(registry.DeleteKey("Software\\T\\Missing"));
    const std::int64_t keysBefore = Raw().Number("SELECT count(*) FROM keys");
    ASSERT_TRUE(registry.DeleteKey("software\\t\\a"));

    EXPECT_FALSE(registry.KeyExists("Software\\T\\A"));
    EXPECT_FALSE(registry.KeyExists("Software\\T\\A\\B\\C"));
    EXPECT_FALSE(registry.WriteString("Where", "into the deleted key"));
    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Number("SELECT count(*) FROM keys"), keysBefore - 5);
    EXPECT_EQ(raw.Column("SELECT CAST(data AS TEXT) FROM vals WHERE name = 'Where' ORDER BY 1"),
              (std::vector<std::string>{"Software\\T\\A2\0"s, "Software\\T\\AB\0"s}));
    EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE key NOT IN (SELECT id FROM keys)"), 0);
    EXPECT_EQ(raw.Number("SELECT count(*) FROM keys WHERE parent IS NOT NULL AND parent NOT IN "
                         "(SELECT id FROM keys)"),
              0);
}

TEST_F(TRegistry, AKeyDeletedByAnotherAccessorTakesNoValueAndNoSuccessorsValues) {
    reg::TRegistry holder, other;
    ASSERT_TRUE(holder.OpenKey("Software\\Shared\\Last", true));
    const std::int64_t id = Raw().KeyId(Under(Hkcu, {"Software", "Shared", "Last"}));
    ASSERT_TRUE(other.DeleteKey("Software\\Shared\\Last"));
    ASSERT_TRUE(other.OpenKey("Software\\Shared\\Successor", true));
    ASSERT_TRUE(other.WriteString("Owner", "successor"));

    EXPECT_FALSE(holder.WriteString("Owner", "holder"));
    EXPECT_EQ(holder.ReadString("Owner"), std::nullopt);
    EXPECT_EQ(holder.GetKeyNames(), std::nullopt);
    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Value(Under(Hkcu, {"Software", "Shared", "Successor"}), "Owner"),
              (TRawValue{1, "successor\0"s}));
    // SQLite hands the freed row id to the next key; this is the case that matters.
    EXPECT_EQ(raw.KeyId(Under(Hkcu, {"Software", "Shared", "Successor"})), id);
}

TEST_F(TSqliteStore, DamagedFilesAreKeptAsideAndFreshStoresStarted) {
    std::filesystem::create_directories(Scratch.StoreFolder());
    std::string garbage;
    for (int i = 0; i < 300; ++i) {
        garbage += "this is not a database, line " + std::to_string(i) + "\n";
    }
    corvane::test::WriteWholeFile(Scratch.StoreFile(), garbage);
    corvane::test::WriteWholeFile(Scratch.StoreFile().string() + "-wal", "wal bytes");
    corvane::test::WriteWholeFile(Scratch.StoreFile().string() + "-shm", "shm bytes");

    {
        reg::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("Software\\Fresh", true));
        ASSERT_TRUE(registry.WriteString("Kept", "in the damaged copy"));
    }
    const std::regex asideName(R"(registry\.db\.corrupt-\d{8}T\d{6}Z(-\d+)?)");
    auto asides = [&] {
        std::vector<std::string> mains;
        for (const auto& name : FolderEntries(Scratch.StoreFolder())) {
            if (std::regex_match(name, asideName)) {
                mains.push_back(name);
            }
        }
        return mains;
    };
    ASSERT_EQ(asides().size(), 1u);
    const auto first = Scratch.StoreFolder() / asides()[0];
    // The store says which file it set aside, to this process alone: a store opened on the
    // fresh file afterwards found nothing to report.
    EXPECT_EQ(reg::TSqliteStore::Process().SetAsideAs(), first);
    EXPECT_EQ(reg::DamagedStoreKeptAs(), first.string());
    reg::TSqliteStore::CloseProcess();
    EXPECT_EQ(reg::DamagedStoreKeptAs(), "");
    EXPECT_TRUE(corvane::test::ReadWholeFile(first) == garbage);
    EXPECT_EQ(corvane::test::ReadWholeFile(first.string() + "-wal"), "wal bytes");
    EXPECT_EQ(corvane::test::ReadWholeFile(first.string() + "-shm"), "shm bytes");
    EXPECT_EQ(Raw().Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});

    // A store with a sound header and a damaged page is caught by the quick check.
    reg::TSqliteStore::CloseProcess();
    std::string damaged = corvane::test::ReadWholeFile(Scratch.StoreFile());
    const std::size_t pageSize = 4096;
    ASSERT_GE(damaged.size(), 3 * pageSize);
    std::fill_n(damaged.begin() + pageSize, 64, '\xFF');
    corvane::test::WriteWholeFile(Scratch.StoreFile(), damaged);
    {
        reg::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("Software\\Fresh", true));
        EXPECT_EQ(registry.ReadString("Kept"), std::nullopt);
        EXPECT_EQ(reg::TSqliteStore::Process().Mode(), reg::EStoreMode::Writable);
    }
    const auto both = asides();
    ASSERT_EQ(both.size(), 2u);
    const auto second = Scratch.StoreFolder() / (both[0] == first.filename() ? both[1] : both[0]);
    EXPECT_EQ(reg::DamagedStoreKeptAs(), second.string());
    EXPECT_TRUE(corvane::test::ReadWholeFile(second) == damaged);
    EXPECT_TRUE(corvane::test::ReadWholeFile(first) == garbage);
}

// The store holds the user's drafts and servers: under the usual umask 022 its file and the
// -wal and -shm beside it are the user's alone (0600), whether the store is new, was left
// readable by others (by an older program, say), or is a fresh one beside a damaged one set
// aside (which goes aside private too). The modes are looked at while the store is open,
// when SQLite's -wal and -shm exist.
TEST_F(TSqliteStore, TheStoreAndItsCompanionsAreTheUsersAloneWhateverTheUmask) {
    struct TUmask {
        mode_t Saved = ::umask(022);
        ~TUmask() { ::umask(Saved); }
    } umask022;
    const std::string file = Scratch.StoreFile().string();
    auto modes = [&](const std::vector<std::string>& paths) {
        std::vector<std::string> seen;
        for (const auto& path : paths) {
            struct stat info {};
            seen.push_back(::stat(path.c_str(), &info) == 0
                               ? std::to_string(info.st_mode & 07777)
                               : "missing");
        }
        return seen;
    };
    const std::vector<std::string> three{file, file + "-wal", file + "-shm"};
    const std::vector<std::string> private3(3, std::to_string(0600));

    struct TCase {
        const char* Name;
        std::function<void()> Before;  // what the folder holds before the store is opened
    };
    std::optional<TRawStore> other;  // a second connection, keeping -wal and -shm in place
    const std::vector<TCase> cases{
        {"a first start", [] {}},
        {"a store, -wal and -shm left readable by others",
         [&] {
             {
                 reg::TRegistry registry;
                 ASSERT_TRUE(registry.OpenKey("Software\\Before", true));
             }
             other.emplace(Scratch.StoreFile());
             other->Number("SELECT count(*) FROM keys");  // maps the -shm
             reg::TSqliteStore::CloseProcess();
             for (const auto& path : three) {
                 ASSERT_EQ(::chmod(path.c_str(), 0644), 0) << path;
             }
         }},
        {"a damaged store readable by others",
         [&] {
             ASSERT_EQ(::mkdir(Scratch.StoreFolder().c_str(), 0700), 0);
             corvane::test::WriteWholeFile(Scratch.StoreFile(), std::string(5000, 'x'));
             EXPECT_EQ(modes({file}), std::vector<std::string>{std::to_string(0644)});
         }},
    };
    for (const auto& step : cases) {
        SCOPED_TRACE(step.Name);
        reg::TSqliteStore::CloseProcess();
        other.reset();
        std::filesystem::remove_all(Scratch.StoreFolder());
        step.Before();
        std::string aside;
        {
            reg::TRegistry registry;
            ASSERT_TRUE(registry.OpenKey("Software\\Private", true));
            ASSERT_TRUE(registry.WriteString("Draft", "for my eyes only"));
            aside = reg::DamagedStoreKeptAs();
            EXPECT_EQ(modes(three), private3);
        }
        if (!aside.empty()) {
            EXPECT_EQ(modes({aside}), std::vector<std::string>{std::to_string(0600)});
        }
        struct stat folder {};
        ASSERT_EQ(::stat(Scratch.StoreFolder().c_str(), &folder), 0);
        EXPECT_EQ(folder.st_mode & 0777, 0700u);
    }
}

// The store is made read-only for the user, in a folder the user may or may not write; a
// child process that is not root (file permissions do not bind root) looks at it.
TEST_F(TSqliteStore, StoreTheUserCannotWriteIsReadAsItIsAndNeverWritten) {
    {
        reg::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("Software\\Kept", true));
        ASSERT_TRUE(registry.WriteString("Name", "kept"));
        ASSERT_TRUE(registry.WriteInteger("Count", 7));
    }
    reg::TSqliteStore::CloseProcess();
    ASSERT_EQ(::chmod(Scratch.StoreFile().c_str(), 0444), 0);
    const std::string before = corvane::test::ReadWholeFile(Scratch.StoreFile());

    // The unwritable folder first: no -shm file is there yet that SQLite could share.
    for (const auto& [folderMode, folder] :
         {std::pair<mode_t, const char*>{0555, "unwritable folder"}, {0777, "writable folder"}}) {
        SCOPED_TRACE(folder);
        ASSERT_EQ(::chmod(Scratch.StoreFolder().c_str(), folderMode), 0);
        TChildProcess child([](int report) {
            if (!corvane::test::GiveUpRoot()) {
                return 2;
            }
            reg::TRegistry registry;
            std::string seen = reg::TSqliteStore::Process().Mode() == reg::EStoreMode::ReadOnly
                                   ? "read-only"
                                   : "other";
            seen += registry.OpenKeyReadOnly("Software\\Kept") ? " opened" : " closed";
            seen += " " + registry.ReadString("Name").value_or("-");
            seen += " " + std::to_string(registry.ReadInteger("Count").value_or(-1));
            seen += registry.WriteString("Name", "changed") ? " wrote" : " unwritten";
            seen += registry.KeyExists("software\\kept") ? " exists" : " missing";
            seen += registry.OpenKey("Software\\Kept", false) ? " full-access" : " refused";
            seen += registry.OpenKey("Software\\New", true) ? " created" : " not-created";
            seen += registry.DeleteKey("Software\\Kept") ? " deleted" : " not-deleted";
            return ::write(report, seen.data(), seen.size()) == static_cast<ssize_t>(seen.size())
                       ? 0
                       : 3;
        });
        EXPECT_EQ(child.Wait(After(20s)), 0);
        EXPECT_EQ(child.Output(),
                  "read-only opened kept 7 unwritten exists refused not-created not-deleted");
        EXPECT_TRUE(corvane::test::ReadWholeFile(Scratch.StoreFile()) == before);
    }
    ASSERT_EQ(::chmod(Scratch.StoreFolder().c_str(), 0700), 0);
    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Value(Under(Hkcu, {"Software", "Kept"}), "Name"), (TRawValue{1, "kept\0"s}));
    EXPECT_EQ(raw.KeyId(Under(Hkcu, {"Software", "New"})), 0);
}

TEST_F(TSqliteStore, TwoProcessesWritingAtOnceLoseNoValue) {
    constexpr int Count = 1000;
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    // Both start on a store that does not exist yet, at the same moment.
    auto writer = [&](char prefix) {
        return [prefix, go](int report) {
            ::close(go[1]);
            char ignored;
            (void)!::read(go[0], &ignored, 1);  // returns at end of file: the start signal
            reg::TRegistry registry;
            int failures = 0;
            for (int i = 0; i < Count; ++i) {
                const std::string name = prefix + std::to_string(i);
                const bool stored = registry.OpenKey("Software\\Concurrent", true) &&
                                    (prefix == 'S' ? registry.WriteString(name, name)
                                                   : registry.WriteInteger(name, i));
                failures += stored ? 0 : 1;
            }
            const std::string line = std::to_string(failures);
            (void)!::write(report, line.data(), line.size());
            return 0;
        };
    };
    TChildProcess strings(writer('S'));
    TChildProcess integers(writer('I'));
    ::close(go[0]);
    ::close(go[1]);
    EXPECT_EQ(strings.Wait(After(120s)), 0);
    EXPECT_EQ(integers.Wait(After(120s)), 0);
    EXPECT_EQ(strings.Output(), "0");
    EXPECT_EQ(integers.Output(), "0");

    const TRawStore raw = Raw();
    const auto key = Under(Hkcu, {"Software", "Concurrent"});
    EXPECT_EQ(raw.Number("SELECT count(*) FROM vals"), 2 * Count);
    int wrong = 0;
    for (int i = 0; i < Count; ++i) {
        const std::string text = "S" + std::to_string(i);
        const auto bits = static_cast<std::uint32_t>(i);
        const std::string dword{static_cast<char>(bits & 0xff), static_cast<char>(bits >> 8), 0, 0};
        wrong += raw.Value(key, text) == TRawValue{1, text + '\0'} ? 0 : 1;
        wrong += raw.Value(key, "I" + std::to_string(i)) == TRawValue{4, dword} ? 0 : 1;
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(raw.Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

// Value n of the killed writer: its own number, then filler that depends on it, in a length
// that varies, so that a value torn between two writes cannot pass for either.
std::string Payload(std::int64_t n) {
    std::string text = "n=" + std::to_string(n) + ";";
    const std::size_t length = 1000 + static_cast<std::size_t>(n * 7919 % 9000);
    for (std::size_t i = 0; text.size() < length; ++i) {
        text += static_cast<char>('a' + (n + static_cast<std::int64_t>(i)) % 26);
    }
    return text;
}

TEST_F(TSqliteStore, WriterKilledAtRandomMomentsLeavesEveryCommittedValueWhole) {
    constexpr int Rounds = 50;
    constexpr std::int64_t Slots = 8;
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::array<std::int64_t, Slots> committed;  // the newest generation reported per slot
    committed.fill(-1);
    std::int64_t next = 0;
    const auto key = Under(Hkcu, {"Software", "Killed"});

    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TChildProcess writer([start = next](int report) {
            reg::TRegistry registry;
            for (std::int64_t n = start;; ++n) {
                if (!registry.OpenKey("Software\\Killed", true) ||
                    !registry.WriteString("V" + std::to_string(n % Slots), Payload(n))) {
                    return 4;
                }
                if (::write(report, &n, sizeof n) != sizeof n) {  // committed
                    return 5;
                }
            }
        });
        ASSERT_GE(writer.ReadAtLeast(sizeof(std::int64_t), After(20s)).size(),
                  sizeof(std::int64_t));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        writer.Kill();
        ASSERT_EQ(writer.Wait(After(20s)), -SIGKILL);

        const std::string& reports = writer.Output();
        for (std::size_t at = 0; at + sizeof(std::int64_t) <= reports.size();
             at += sizeof(std::int64_t)) {
            std::int64_t n;
            std::memcpy(&n, reports.data() + at, sizeof n);
            committed[static_cast<std::size_t>(n % Slots)] = n;
        }

        const TRawStore raw = Raw();
        ASSERT_EQ(raw.Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
        for (std::int64_t slot = 0; slot < Slots; ++slot) {
            if (committed[static_cast<std::size_t>(slot)] < 0) {
                continue;
            }
            const auto value = raw.Value(key, "V" + std::to_string(slot));
            ASSERT_TRUE(value.has_value()) << "slot " << slot;
            ASSERT_EQ(value->Data.rfind("n=", 0), 0u) << "slot " << slot << " is torn";
            const std::int64_t n = std::stoll(value->Data.substr(2));
            EXPECT_EQ(value->Data, Payload(n) + '\0') << "slot " << slot << " is torn";
            EXPECT_EQ(n % Slots, slot);
            EXPECT_GE(n, committed[static_cast<std::size_t>(slot)]) << "a committed value is lost";
            next = std::max(next, n + 1);
        }
    }

    // The store's own code finds the file sound: nothing is put aside, every value reads.
    const TRawStore raw = Raw();
    reg::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Killed", false));
    for (std::int64_t slot = 0; slot < Slots; ++slot) {
        const auto stored = raw.Value(key, "V" + std::to_string(slot));
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(registry.ReadString("V" + std::to_string(slot)),
                  stored->Data.substr(0, stored->Data.size() - 1));
    }
    EXPECT_EQ(FolderEntries(Scratch.StoreFolder())[0], "registry.db");
    for (const auto& name : FolderEntries(Scratch.StoreFolder())) {
        EXPECT_EQ(name.find("corrupt"), std::string::npos) << name;
    }
}

// ---- batches: many writes, one transaction

// Values Name0 .. Name<count-1> of the key, as the raw connection sees them ("" when missing).
std::vector<std::string> RawTexts(const TRawStore& raw, const std::vector<std::string>& key,
                                  const std::string& stem, int count) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        const auto value = raw.Value(key, stem + std::to_string(i));
        texts.push_back(value ? value->Data.substr(0, value->Data.find('\0')) : "");
    }
    return texts;
}

std::vector<std::string> Texts(const std::string& text, int count) {
    std::vector<std::string> texts;
    for (int i = 0; i < count; ++i) {
        texts.push_back(text + std::to_string(i));
    }
    return texts;
}

// Deletes the key, makes it again and writes Count values, as a memo's save does.
bool ReplaceKey(const std::string& path, const std::string& text, int count) {
    reg::TRegistry registry;
    if (registry.KeyExists(path) && !registry.DeleteKey(path)) {
        return false;
    }
    if (!registry.OpenKey(path, true)) {
        return false;
    }
    bool stored = true;
    for (int i = 0; i < count; ++i) {
        stored = registry.WriteString("Line" + std::to_string(i), text + std::to_string(i)) && stored;
    }
    return stored;
}

TEST_F(TRegistry, ABatchLandsWholeAtItsCommitAndIsSeenByNobodyBefore) {
    const auto key = Under(Hkcu, {"Software", "Batch"});
    ASSERT_TRUE(ReplaceKey("Software\\Batch", "old", 5));
    {
        reg::TWriteBatch batch;
        ASSERT_TRUE(ReplaceKey("Software\\Batch", "new", 3));
        reg::TRegistry reader;
        ASSERT_TRUE(reader.OpenKeyReadOnly("Software\\Batch"));
        EXPECT_EQ(reader.ReadString("Line2"), "new2");  // the batch reads its own writes
        EXPECT_EQ(reader.ReadString("Line4"), std::nullopt);
        // Another connection still sees the store as it was.
        EXPECT_EQ(RawTexts(Raw(), key, "Line", 5), Texts("old", 5));
        EXPECT_TRUE(batch.Commit());
    }
    EXPECT_EQ(RawTexts(Raw(), key, "Line", 5),
              (std::vector<std::string>{"new0", "new1", "new2", "", ""}));
    EXPECT_EQ(Raw().Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

TEST_F(TRegistry, ABatchRolledBackLeavesNoPartialWrite) {
    const auto key = Under(Hkcu, {"Software", "Batch"});
    ASSERT_TRUE(ReplaceKey("Software\\Batch", "old", 5));
    const std::int64_t id = Raw().KeyId(key);
    {
        reg::TWriteBatch batch;
        ASSERT_TRUE(ReplaceKey("Software\\Batch", "new", 3));
        reg::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("Software\\Batch\\Below", true));
        batch.Rollback();
        EXPECT_FALSE(batch.Commit());  // already ended
    }
    EXPECT_EQ(RawTexts(Raw(), key, "Line", 5), Texts("old", 5));
    EXPECT_EQ(Raw().KeyId(key), id);
    EXPECT_EQ(Raw().KeyId(Under(key, {"Below"})), 0);
    // The store goes on writing one value at a time afterwards.
    reg::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Batch", false));
    EXPECT_TRUE(registry.WriteString("Line0", "after"));
    EXPECT_EQ(RawTexts(Raw(), key, "Line", 1), std::vector<std::string>{"after"});
}

TEST_F(TRegistry, ABatchLeftWithoutCommitOrRollbackCommits) {
    const auto key = Under(Hkcu, {"Software", "Batch"});
    {
        reg::TWriteBatch batch;
        ASSERT_TRUE(ReplaceKey("Software\\Batch", "kept", 2));
    }
    EXPECT_EQ(RawTexts(Raw(), key, "Line", 2), Texts("kept", 2));
}

TEST_F(TRegistry, EachWriteOfABatchSucceedsOrFailsOnItsOwn) {
    const auto key = Under(Hkcu, {"Software", "Batch"});
    reg::TRegistry holder, other;
    ASSERT_TRUE(holder.OpenKey("Software\\Batch\\Gone", true));
    {
        reg::TWriteBatch batch;
        ASSERT_TRUE(other.OpenKey("Software\\Batch", true));
        EXPECT_TRUE(other.WriteString("Before", "1"));
        ASSERT_TRUE(other.DeleteKey("Software\\Batch\\Gone"));
        EXPECT_FALSE(holder.WriteString("Lost", "x"));  // its key is gone
        EXPECT_TRUE(other.WriteString("After", "2"));
        EXPECT_TRUE(batch.Commit());
    }
    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Value(key, "Before"), (TRawValue{1, "1\0"s}));
    EXPECT_EQ(raw.Value(key, "After"), (TRawValue{1, "2\0"s}));
    EXPECT_EQ(raw.KeyId(Under(key, {"Gone"})), 0);
    EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE name = 'Lost'"), 0);
}

TEST_F(TRegistry, AnInnerBatchRolledBackUndoesOnlyItsOwnWrites) {
    const auto key = Under(Hkcu, {"Software", "Batch"});
    {
        reg::TWriteBatch outer;
        reg::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("Software\\Batch", true));
        ASSERT_TRUE(registry.WriteString("Outer1", "a"));
        {
            reg::TWriteBatch inner;
            ASSERT_TRUE(registry.WriteString("Inner", "b"));
            ASSERT_TRUE(registry.WriteString("Outer1", "changed"));
            inner.Rollback();
        }
        {
            reg::TWriteBatch inner;
            ASSERT_TRUE(registry.WriteString("Kept", "c"));
            EXPECT_TRUE(inner.Commit());
        }
        EXPECT_EQ(Raw().KeyId(key), 0);  // nothing is durable before the outermost commit
        ASSERT_TRUE(registry.WriteString("Outer2", "d"));
        EXPECT_TRUE(outer.Commit());
    }
    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Value(key, "Outer1"), (TRawValue{1, "a\0"s}));
    EXPECT_EQ(raw.Value(key, "Inner"), std::nullopt);
    EXPECT_EQ(raw.Value(key, "Kept"), (TRawValue{1, "c\0"s}));
    EXPECT_EQ(raw.Value(key, "Outer2"), (TRawValue{1, "d\0"s}));
}

TEST_F(TRegistry, AnotherThreadWaitsForAnOpenBatch) {
    const auto key = Under(Hkcu, {"Software", "Batch"});
    std::atomic<bool> written{false};
    std::thread other;
    {
        reg::TWriteBatch batch;
        ASSERT_TRUE(ReplaceKey("Software\\Batch", "mine", 2));
        other = std::thread([&written] {
            reg::TRegistry registry;
            written = registry.OpenKey("Software\\Batch", true) &&
                      registry.WriteString("Theirs", "t");
        });
        std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(written.load());  // it cannot get between the batch's writes
        EXPECT_TRUE(batch.Commit());
    }
    other.join();
    EXPECT_TRUE(written.load());
    EXPECT_EQ(RawTexts(Raw(), key, "Line", 2), Texts("mine", 2));
    EXPECT_EQ(Raw().Value(key, "Theirs"), (TRawValue{1, "t\0"s}));
}

TEST_F(TRegistry, ABatchInAStoreTheUserCannotWriteStoresNothingAndSaysSo) {
    ASSERT_TRUE(ReplaceKey("Software\\Batch", "old", 1));
    reg::TSqliteStore::CloseProcess();
    ASSERT_EQ(::chmod(Scratch.StoreFile().c_str(), 0444), 0);
    ASSERT_EQ(::chmod(Scratch.StoreFolder().c_str(), 0777), 0);
    TChildProcess child([](int report) {
        if (!corvane::test::GiveUpRoot()) {
            return 3;
        }
        reg::TWriteBatch batch;
        reg::TRegistry registry;
        const bool opened = registry.OpenKey("Software\\Batch", false);
        const bool read = reg::TRegistry().KeyExists("Software\\Batch");
        const std::string line = std::to_string(opened) + std::to_string(read) +
                                 std::to_string(batch.Commit());
        (void)!::write(report, line.data(), line.size());
        return 0;
    });
    EXPECT_EQ(child.Wait(After(20s)), 0);
    EXPECT_EQ(child.Output(), "011");  // no key opens for writing; reads work; nothing to lose
    ASSERT_EQ(::chmod(Scratch.StoreFolder().c_str(), 0700), 0);
    ASSERT_EQ(::chmod(Scratch.StoreFile().c_str(), 0644), 0);
    EXPECT_EQ(RawTexts(Raw(), Under(Hkcu, {"Software", "Batch"}), "Line", 1),
              std::vector<std::string>{"old0"});
}

TEST_F(TSqliteStore, WriterKilledInsideABatchLeavesTheValuesOfBefore) {
    constexpr int Rounds = 10;
    constexpr int Lines = 40;
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("random seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const auto key = Under(Hkcu, {"Software", "Killed"});
    ASSERT_TRUE(ReplaceKey("Software\\Killed", "old", Lines));

    for (int round = 0; round < Rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        // The child replaces the key again and again inside one batch that it never ends,
        // reporting each replacement.
        TChildProcess writer([](int report) {
            reg::TWriteBatch batch;
            for (std::int64_t n = 0;; ++n) {
                if (!ReplaceKey("Software\\Killed", "new" + std::to_string(n) + "-", Lines)) {
                    return 4;
                }
                if (::write(report, &n, sizeof n) != sizeof n) {
                    return 5;
                }
            }
        });
        ASSERT_GE(writer.ReadAtLeast(sizeof(std::int64_t), After(20s)).size(),
                  sizeof(std::int64_t));
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
        writer.Kill();
        ASSERT_EQ(writer.Wait(After(20s)), -SIGKILL);

        const TRawStore raw = Raw();
        ASSERT_EQ(raw.Column("PRAGMA integrity_check"), std::vector<std::string>{"ok"});
        EXPECT_EQ(RawTexts(raw, key, "Line", Lines), Texts("old", Lines));
    }

    // A child that ends its batch stores the whole replacement.
    TChildProcess writer([](int) {
        reg::TWriteBatch batch;
        return ReplaceKey("Software\\Killed", "done", Lines) && batch.Commit() ? 0 : 4;
    });
    EXPECT_EQ(writer.Wait(After(20s)), 0);
    EXPECT_EQ(RawTexts(Raw(), key, "Line", Lines), Texts("done", Lines));
    for (const auto& name : FolderEntries(Scratch.StoreFolder())) {
        EXPECT_EQ(name.find("corrupt"), std::string::npos) << name;
    }
}

}  // namespace
