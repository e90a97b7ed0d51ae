#include "platform/mimetypes/MimeTypes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace corvane::mimetypes {
namespace {

namespace fs = std::filesystem;

class MimeTypesFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& content) {
        const fs::path path = fs::temp_directory_path() /
                              (name + "-" + std::to_string(::getpid()) + "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::ofstream(path) << content;
        m_files.push_back(path);
        return path.string();
    }
    ~MimeTypesFiles() override {
        for (const auto& file : m_files) {
            fs::remove(file);
        }
    }

private:
    std::vector<fs::path> m_files;
};

TEST_F(MimeTypesFiles, ExtensionsMatchWithoutRegardToCase) {
    const TMimeTypes table({Write("system", "# comment line\n"
                                            "text/plain\t\ttxt text  # trailing comment\n"
                                            "image/JPEG jpg jpeg\n"
                                            "application/x-nothing\n")});
    EXPECT_EQ(table.ForFile("/home/me/notes.TXT"), "text/plain");
    EXPECT_EQ(table.ForFile("photo.Jpeg"), "image/JPEG");  // the type is kept as written
    EXPECT_EQ(table.ForExtension(".text"), "text/plain");
    EXPECT_EQ(table.ForFile("archive.tar.txt"), "text/plain");  // the last extension counts
}

TEST_F(MimeTypesFiles, UnknownMissingOrNoExtensionIsOctetStream) {
    const TMimeTypes table({Write("system", "text/plain txt\n")});
    for (const char* name : {"file.unknownext", "README", "/etc.d/README", "trailingdot.", "comment"}) {
        EXPECT_EQ(table.ForFile(name), DefaultMimeType) << name;
    }
    const TMimeTypes none({"/nonexistent/mime.types"});
    EXPECT_EQ(none.ForFile("a.txt"), DefaultMimeType);
}

TEST_F(MimeTypesFiles, LaterFilesOverrideEarlierOnes) {
    const TMimeTypes table({Write("system", "text/plain txt\nimage/png png\n"),
                            Write("user", "text/x-mine TXT\n")});
    EXPECT_EQ(table.ForFile("a.txt"), "text/x-mine");
    EXPECT_EQ(table.ForFile("a.png"), "image/png");
}

TEST(SystemMimeTypes, DebianTableKnowsCommonTypes) {
    // media-types is a dependency of the project, so /etc/mime.types is there.
    EXPECT_EQ(TMimeTypes::System().ForFile("x.pdf"), "application/pdf");
    EXPECT_EQ(TMimeTypes::System().ForFile("x.PNG"), "image/png");
}

}  // namespace
}  // namespace corvane::mimetypes
