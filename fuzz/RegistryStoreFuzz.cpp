// A store file made of any bytes: written as registry.db in a scratch XDG_CONFIG_HOME, then
// opened, walked, written and read back through TRegistry as the program does at start-up.
// The seeds are real store files (make-registry-seeds.sh); most mutations damage them, which
// the store must survive by moving the file aside.
//
// Properties:
// - opening never destroys anything: a file moved aside holds exactly the bytes given;
// - the store is always writable afterwards (our own folder is): a damaged file is replaced
//   by a fresh store, a sound one is used; only a newer format is left alone;
// - every read agrees with the value's bytes (ReadString stops at the first NUL, ReadInteger
//   only for a 4-byte REG_DWORD, GetDataInfo gives the type and size);
// - a write that reports success reads back exactly, and a deleted key is gone.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "platform/registry/Registry.h"
#include "platform/registry/SqliteStore.h"

namespace {

namespace fs = std::filesystem;
namespace registry = corvane::registry;
using corvane::fuzz::Shown;

// The names the program's settings use, and a few that test the edges of the key rules.
constexpr std::string_view ValueNames[] = {"",    "Host",      "Port",      "S0",    "S1",
                                           "Top", "Font_Name", "Font_Size", "Line0", "Count"};
constexpr std::size_t MaxKeysWalked = 64;

// XDG_CONFIG_HOME for every run of this process; in memory where possible, so that the
// store's full syncs cost nothing.
const fs::path& ConfigHome() {
    static const fs::path home = [] {
        const fs::path folder = corvane::fuzz::ScratchFolder();
        ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
        std::atexit([] { registry::TSqliteStore::CloseProcess(); });
        return folder;
    }();
    return home;
}

std::string ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A file whose header says a newer program wrote it is left as it is: read-only, or not
// used at all when this program cannot even read its schema. SQLite reads the bytes of a
// header cut short as zeros.
bool NewerFormat(std::string_view bytes) {
    constexpr std::size_t VersionOffset = 60;  // user_version, 4 bytes big-endian
    if (!bytes.starts_with(std::string_view("SQLite format 3\0", 16))) {
        return false;
    }
    std::uint32_t version = 0;
    for (std::size_t i = VersionOffset; i < VersionOffset + 4; ++i) {
        version = version << 8 | (i < bytes.size() ? static_cast<unsigned char>(bytes[i]) : 0u);
    }
    return static_cast<std::int32_t>(version) > 1;
}

void CheckValueReads(const registry::TRegistry& reg, std::string_view name) {
    const auto value = reg.ReadValue(name);
    const auto info = reg.GetDataInfo(name);
    const auto text = reg.ReadString(name);
    const auto number = reg.ReadInteger(name);
    FUZZ_CHECK(value.has_value() == info.has_value() && value.has_value() == text.has_value(),
               Shown(name));
    if (!value) {
        FUZZ_CHECK(!number, Shown(name));
        return;
    }
    FUZZ_CHECK(info->Type == value->Type && info->Size == value->Data.size(), Shown(name));
    const bool isText = value->Type == registry::ERegDataType::String ||
                        value->Type == registry::ERegDataType::ExpandString;
    FUZZ_CHECK(*text == (isText ? value->Data.substr(0, value->Data.find('\0')) : std::string()),
               Shown(name));
    const bool isNumber = value->Type == registry::ERegDataType::DWord && value->Data.size() == 4;
    FUZZ_CHECK(number.has_value() == isNumber, Shown(name));
    if (isNumber) {
        std::uint32_t bits = 0;
        for (int i = 3; i >= 0; --i) {
            bits = bits << 8 | static_cast<unsigned char>(value->Data[static_cast<std::size_t>(i)]);
        }
        std::int32_t expected = 0;
        std::memcpy(&expected, &bits, sizeof expected);
        FUZZ_CHECK(*number == expected, Shown(name));
    }
}

// Every key below the hive root, breadth first, with the values the program would read.
void WalkKeys(registry::TRegistry& reg) {
    std::vector<std::string> pending{""};
    for (std::size_t walked = 0; walked < pending.size() && walked < MaxKeysWalked; ++walked) {
        const std::string path = pending[walked];
        if (!reg.OpenKeyReadOnly(path)) {
            continue;  // a name the accessor cannot address (a backslash, too long)
        }
        for (const auto name : ValueNames) {
            CheckValueReads(reg, name);
        }
        if (const auto names = reg.GetKeyNames()) {
            for (const auto& name : *names) {
                pending.push_back(path.empty() ? name : path + "\\" + name);
            }
        }
    }
    reg.CloseKey();
}

void CheckWritesReadBack(registry::TRegistry& reg, bool writable) {
    const std::string path = "Software\\Halden Software\\Corvane\\Fuzz";
    if (!reg.OpenKey(path, true)) {
        FUZZ_CHECK(!writable, "a writable store refused to create a key");
        return;
    }
    const std::string text("line\r\n\x01 text\0tail", 18);
    if (reg.WriteString("Host", text)) {
        FUZZ_CHECK(reg.ReadString("host") == text.substr(0, text.find('\0')), "REG_SZ read back");
    } else {
        FUZZ_CHECK(!writable, "a writable store refused a REG_SZ");
    }
    if (reg.WriteInteger("Top", -2)) {
        FUZZ_CHECK(reg.ReadInteger("TOP") == -2, "REG_DWORD read back");
    }
    reg.CloseKey();
    if (reg.DeleteKey(path)) {
        FUZZ_CHECK(!reg.KeyExists(path), "a deleted key is still there");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes = corvane::fuzz::AsText(data, size);
    registry::TSqliteStore::CloseProcess();
    const fs::path folder = ConfigHome() / "corvane";
    fs::remove_all(folder);
    fs::create_directory(folder);
    ::chmod(folder.c_str(), 0700);
    {
        std::ofstream out(folder / "registry.db", std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    const auto mode = registry::TSqliteStore::Process().Mode();
    FUZZ_CHECK(mode == registry::EStoreMode::Writable || NewerFormat(bytes),
               "a store of our own format, or none, was not made usable");
    {
        registry::TRegistry reg;
        WalkKeys(reg);
        CheckWritesReadBack(reg, mode == registry::EStoreMode::Writable);
    }
    registry::TSqliteStore::CloseProcess();

    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.starts_with("registry.db.corrupt-") && !name.ends_with("-wal") &&
            !name.ends_with("-shm")) {
            FUZZ_CHECK(ReadWhole(entry.path()) == bytes,
                       "the file moved aside is not the one given");
        }
    }
    return 0;
}
