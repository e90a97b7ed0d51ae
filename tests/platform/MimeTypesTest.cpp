#include "platform/mimetypes/MimeTypes.h"

#include <gtest/gtest.h>

#include "TempFolder.h"

namespace corvane::mimetypes {
namespace {

class MimeTypesFiles : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::string& content) {
        return m_folder.WriteFile(name, content).string();
    }

private:
    test::TTempFolder m_folder;
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
