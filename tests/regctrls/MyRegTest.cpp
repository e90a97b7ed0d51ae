// TMyReg and the controls' registry conventions, against a real store in a temporary
// XDG_CONFIG_HOME; what lands in the file is checked with a connection of the test's own.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <limits>

#include <gtest/gtest.h>

#include "RegistryTestSupport.h"
#include "platform/registry/Registry.h"
#include "platform/registry/SqliteStore.h"
#include "regctrls/MyReg.h"

namespace {

namespace reg = corvane::registry;
namespace rc = corvane::regctrls;
using corvane::test::After;
using corvane::test::TChildProcess;
using corvane::test::TRawStore;
using corvane::test::TRawValue;
using namespace std::chrono_literals;
using namespace std::string_literals;

std::vector<std::string> Path(std::initializer_list<std::string> parts) {
    std::vector<std::string> path{"HKEY_CURRENT_USER", "Software"};
    path.insert(path.end(), parts);
    return path;
}

class TMyReg : public ::testing::Test {
protected:
    corvane::test::TScratchRegistry Scratch;
    TRawStore Raw() const { return TRawStore(Scratch.StoreFile()); }
    // Makes the store file, so that a raw connection can look before TMyReg writes.
    void MakeStore() const {
        reg::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("Software", true));
    }
};

TEST_F(TMyReg, FirstReadGivesTheDefaultAndLeavesTheEmptySectionKey) {
    rc::TMyReg myReg;
    EXPECT_EQ(myReg.RegPath, "\\Software\\Halden Software\\Corvane");
    EXPECT_EQ(myReg.RegRootKey, rc::kHKEY_CURRENT_USER);
    EXPECT_TRUE(myReg.CanCreate);
    myReg.RegPath = "\\Software\\Halden Software\\Corvane\\Option";

    EXPECT_EQ(myReg.ReadInteger("General", "Height", 480), 480);
    EXPECT_EQ(myReg.ReadString("Save", "From", ""), "");
    EXPECT_TRUE(myReg.ReadBool("Clear", "Subject", true));
    EXPECT_FALSE(myReg.ReadBool("Clear", "Subject", false));

    const TRawStore raw = Raw();
    for (const char* section : {"General", "Save", "Clear"}) {
        const std::int64_t key = raw.KeyId(Path({"Halden Software", "Corvane", "Option", section}));
        EXPECT_NE(key, 0) << section;
        EXPECT_EQ(raw.Number("SELECT count(*) FROM vals WHERE key = " + std::to_string(key)), 0)
            << section;
    }
    EXPECT_EQ(raw.Number("SELECT count(*) FROM vals"), 0);
}

TEST_F(TMyReg, RegPathGainsItsTrailingBackslashOnceAndAddressesTheSameKeys) {
    rc::TMyReg without, with;
    without.RegPath = "\\Software\\Test";
    with.RegPath = "\\Software\\Test\\";
    without.WriteString("General", "Name", "value");
    EXPECT_EQ(without.RegPath, "\\Software\\Test\\");
    EXPECT_EQ(with.ReadString("General", "Name", "default"), "value");
    EXPECT_EQ(with.RegPath, "\\Software\\Test\\");

    // The section follows RegPath directly: it may reach deeper, or be empty.
    with.WriteInteger("General\\Deeper", "Level", 2);
    with.WriteString("", "Top", "at RegPath");
    // An empty RegPath stays empty, and the section alone is the path.
    rc::TMyReg bare;
    bare.RegPath.clear();
    bare.WriteString("Software\\Test\\General", "Name", "again");
    EXPECT_EQ(bare.RegPath, "");

    const TRawStore raw = Raw();
    EXPECT_EQ(raw.Value(Path({"Test", "General"}), "Name"), (TRawValue{1, "again\0"s}));
    EXPECT_EQ(raw.Value(Path({"Test", "General", "Deeper"}), "Level"),
              (TRawValue{4, "\x02\0\0\0"s}));
    EXPECT_EQ(raw.Value(Path({"Test"}), "Top"), (TRawValue{1, "at RegPath\0"s}));
}

TEST_F(TMyReg, TextRoundTripsAndNeitherTheEmptyTextNorAForeignTypeReadsAsTheDefault) {
    rc::TMyReg myReg;
    myReg.WriteString("Save", "Empty", "");
    myReg.WriteString("Save", "Latin", "caf\xE9 \x80");
    myReg.WriteString("Save", "Changed", "old");
    myReg.WriteString("Save", "Changed", "new");

    EXPECT_EQ(myReg.ReadString("Save", "Empty", "default"), "");
    EXPECT_EQ(myReg.ReadString("Save", "Latin", "default"), "caf\xE9 \x80");
    EXPECT_EQ(myReg.ReadString("Save", "Changed", "default"), "new");
    EXPECT_EQ(myReg.ReadString("Save", "Missing", "default"), "default");
    EXPECT_EQ(myReg.ReadString("Elsewhere", "Empty", "default"), "default");

    TRawStore raw = Raw();
    const auto key = Path({"Halden Software", "Corvane", "Save"});
    EXPECT_EQ(raw.Value(key, "Empty"), (TRawValue{1, "\0"s}));
    EXPECT_EQ(raw.Value(key, "Latin"), (TRawValue{1, "caf\xE9 \x80\0"s}));

    // REG_EXPAND_SZ comes back unexpanded; a value of another type exists, so it is no
    // default that comes back, but the empty text.
    raw.PutValue(raw.KeyId(key), "Expand", 2, "%HOME%\\mail\0"s);
    myReg.WriteInteger("Save", "Number", 42);
    EXPECT_EQ(myReg.ReadString("Save", "Expand", "default"), "%HOME%\\mail");
    EXPECT_EQ(myReg.ReadString("Save", "Number", "default"), "");
}

TEST_F(TMyReg, IntegersAndBooleansAreDwordsAndOtherTypesReadAsTheDefault) {
    rc::TMyReg myReg;
    constexpr auto Min = std::numeric_limits<std::int32_t>::min();
    constexpr auto Max = std::numeric_limits<std::int32_t>::max();
    myReg.WriteInteger("General", "Left", -5);
    myReg.WriteInteger("General", "Min", Min);
    myReg.WriteInteger("General", "Max", Max);
    myReg.WriteBool("General", "True", true);
    myReg.WriteBool("General", "False", false);
    myReg.WriteString("General", "Retyped", "text first");
    myReg.WriteBool("General", "Retyped", true);

    EXPECT_EQ(myReg.ReadInteger("General", "Left", 0), -5);
    EXPECT_EQ(myReg.ReadInteger("General", "Min", 0), Min);
    EXPECT_EQ(myReg.ReadInteger("General", "Max", 0), Max);
    EXPECT_TRUE(myReg.ReadBool("General", "True", false));
    EXPECT_FALSE(myReg.ReadBool("General", "False", true));
    EXPECT_EQ(myReg.ReadInteger("General", "True", 0), 1);

    TRawStore raw = Raw();
    const auto key = Path({"Halden Software", "Corvane", "General"});
    EXPECT_EQ(raw.Value(key, "Left"), (TRawValue{4, "\xFB\xFF\xFF\xFF"s}));
    EXPECT_EQ(raw.Value(key, "Min"), (TRawValue{4, "\0\0\0\x80"s}));
    EXPECT_EQ(raw.Value(key, "True"), (TRawValue{4, "\x01\0\0\0"s}));
    EXPECT_EQ(raw.Value(key, "False"), (TRawValue{4, "\0\0\0\0"s}));
    EXPECT_EQ(raw.Value(key, "Retyped"), (TRawValue{4, "\x01\0\0\0"s}));

    const std::int64_t id = raw.KeyId(key);
    raw.PutValue(id, "Two", 4, "\x02\0\0\0"s);
    raw.PutValue(id, "TextOne", 1, "1\0"s);
    raw.PutValue(id, "TextFive", 1, "5\0"s);
    EXPECT_TRUE(myReg.ReadBool("General", "Two", false));
    EXPECT_TRUE(myReg.ReadBool("General", "TextOne", true));
    EXPECT_FALSE(myReg.ReadBool("General", "TextOne", false));
    EXPECT_EQ(myReg.ReadInteger("General", "TextFive", 9), 9);
}

TEST_F(TMyReg, CanCreateOffNeitherCreatesNorStoresInAMissingSection) {
    MakeStore();
    rc::TMyReg reader;
    reader.CanCreate = false;
    const std::int64_t keysBefore = Raw().Number("SELECT count(*) FROM keys");

    reader.WriteInteger("Missing", "Count", 5);
    reader.WriteString("Missing", "Name", "x");
    EXPECT_EQ(reader.ReadInteger("Missing", "Count", -1), -1);
    EXPECT_EQ(reader.ReadString("Missing", "Name", "default"), "default");
    EXPECT_EQ(Raw().Number("SELECT count(*) FROM keys"), keysBefore);
    EXPECT_EQ(Raw().Number("SELECT count(*) FROM vals"), 0);
    EXPECT_EQ(reader.RegPath, "\\Software\\Halden Software\\Corvane\\");

    // A section that exists opens without creation, for reading and writing alike.
    rc::TMyReg maker;
    maker.WriteInteger("Present", "Count", 1);
    reader.WriteInteger("Present", "Count", 2);
    EXPECT_EQ(reader.ReadInteger("Present", "Count", -1), 2);
}

TEST_F(TMyReg, HKeysOrdinalSelectsTheHiveAndAnyOtherOrdinalTheCurrentUser) {
    const std::vector<std::pair<int, const char*>> cases{
        {0, "HKEY_CLASSES_ROOT"},  {1, "HKEY_CURRENT_USER"},   {2, "HKEY_LOCAL_MACHINE"},
        {3, "HKEY_USERS"},         {4, "HKEY_CURRENT_CONFIG"}, {5, "HKEY_CURRENT_USER"},
        {-1, "HKEY_CURRENT_USER"}, {1000, "HKEY_CURRENT_USER"}};
    for (const auto& [ordinal, hive] : cases) {
        rc::TMyReg myReg;
        myReg.RegRootKey = static_cast<rc::HKeys>(ordinal);
        myReg.RegPath = "\\Software\\Hive";
        myReg.WriteInteger("Section", "Ordinal" + std::to_string(ordinal), ordinal);
        EXPECT_EQ(myReg.ReadInteger("Section", "Ordinal" + std::to_string(ordinal), -99), ordinal);
    }
    const TRawStore raw = Raw();
    for (const auto& [ordinal, hive] : cases) {
        EXPECT_TRUE(
            raw.Value({hive, "Software", "Hive", "Section"}, "Ordinal" + std::to_string(ordinal))
                .has_value())
            << ordinal << " in " << hive;
    }
    EXPECT_EQ(raw.Number("SELECT count(*) FROM vals"), static_cast<std::int64_t>(cases.size()));
}

TEST_F(TMyReg, FailuresGiveDefaultsAndStoreNothing) {
    rc::TMyReg myReg;
    myReg.WriteString("General", "Name", "stored");
    // A section that names no key (an empty path component).
    EXPECT_EQ(myReg.ReadString("Gen\\\\eral", "Name", "default"), "default");
    myReg.WriteString("Gen\\\\eral", "Name", "lost");

    // A store the user cannot write: no key opens with full access, so even a stored value
    // reads as the default, and nothing is written.
    reg::TSqliteStore::CloseProcess();
    ASSERT_EQ(::chmod(Scratch.StoreFile().c_str(), 0444), 0);
    ASSERT_EQ(::chmod(Scratch.StoreFolder().c_str(), 0555), 0);
    const std::string before = corvane::test::ReadWholeFile(Scratch.StoreFile());
    TChildProcess child([](int report) {
        if (!corvane::test::GiveUpRoot()) {
            return 2;
        }
        rc::TMyReg readOnly;
        readOnly.WriteString("General", "Name", "changed");
        readOnly.WriteInteger("Other", "Count", 3);
        const std::string seen = readOnly.ReadString("General", "Name", "default") + " " +
                                 std::to_string(readOnly.ReadInteger("Other", "Count", -1));
        return ::write(report, seen.data(), seen.size()) == static_cast<ssize_t>(seen.size()) ? 0
                                                                                              : 3;
    });
    EXPECT_EQ(child.Wait(After(20s)), 0);
    EXPECT_EQ(child.Output(), "default -1");
    EXPECT_TRUE(corvane::test::ReadWholeFile(Scratch.StoreFile()) == before);
    ASSERT_EQ(::chmod(Scratch.StoreFolder().c_str(), 0700), 0);
    EXPECT_EQ(Raw().Number("SELECT count(*) FROM vals"), 1);
    EXPECT_EQ(Raw().Number("SELECT count(*) FROM keys WHERE name IN ('Gen', 'eral')"), 0);

    // No store at all: its folder cannot be made below a plain file.
    reg::TSqliteStore::CloseProcess();
    corvane::test::WriteWholeFile(Scratch.Folder() / "plain-file", "");
    ::setenv("XDG_CONFIG_HOME", (Scratch.Folder() / "plain-file").c_str(), 1);
    EXPECT_EQ(myReg.ReadString("General", "Name", "default"), "default");
    EXPECT_EQ(myReg.ReadInteger("General", "Count", 7), 7);
    myReg.WriteBool("General", "Flag", true);
    EXPECT_TRUE(myReg.ReadBool("General", "Flag", true));
    EXPECT_FALSE(myReg.ReadBool("General", "Flag", false));
    EXPECT_EQ(reg::TSqliteStore::Process().Mode(), reg::EStoreMode::Unavailable);
}

TEST_F(TMyReg, DamagedStoreIsKeptAsideAndTheProgramGoesOnWithDefaults) {
    std::filesystem::create_directories(Scratch.StoreFolder());
    const std::string garbage = "garbage where the store should be";
    corvane::test::WriteWholeFile(Scratch.StoreFile(), garbage);
    rc::TMyReg myReg;
    EXPECT_EQ(myReg.ReadInteger("General", "Height", 480), 480);
    myReg.WriteInteger("General", "Height", 600);
    EXPECT_EQ(myReg.ReadInteger("General", "Height", 480), 600);

    int kept = 0;
    for (const auto& entry : std::filesystem::directory_iterator(Scratch.StoreFolder())) {
        if (entry.path().filename().string().starts_with("registry.db.corrupt-")) {
            EXPECT_EQ(corvane::test::ReadWholeFile(entry.path()), garbage);
            ++kept;
        }
    }
    EXPECT_EQ(kept, 1);
}

TEST(TRegistryConventions, ControlKeysFollowSoftwareAndMissingTextsReadAsEmpty) {
    corvane::test::TScratchRegistry scratch;
    EXPECT_EQ(rc::ControlKeyPath("\\Halden Software\\Corvane\\SendTo"),
              "\\Software\\Halden Software\\Corvane\\SendTo");

    reg::TRegistry registry;
    EXPECT_EQ(rc::ReadText(registry, "S0"), "");  // no key open
    ASSERT_TRUE(registry.OpenKey(rc::ControlKeyPath("\\Halden Software\\Corvane\\SendTo"), true));
    ASSERT_TRUE(registry.WriteString("S0", "first"));
    ASSERT_TRUE(registry.WriteInteger("S1", 1));
    EXPECT_EQ(rc::ReadText(registry, "S0"), "first");
    EXPECT_EQ(rc::ReadText(registry, "S1"), "");
    EXPECT_EQ(rc::ReadText(registry, "S2"), "");
    EXPECT_EQ(
        TRawStore(scratch.StoreFile())
            .Value({"HKEY_CURRENT_USER", "Software", "Halden Software", "Corvane", "SendTo"}, "S0"),
        (TRawValue{1, "first\0"s}));
}

}  // namespace
