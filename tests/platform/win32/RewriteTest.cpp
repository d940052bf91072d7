// Line-file rewrites on real files: what Windows adds to a file beyond its bytes, and is kept.
#include "PlatformTesting.h"
#include "Rewrites.h"

namespace zelvoset::testing {
namespace {

class RewriteTest : public InTempDir {
protected:
    void SetUp() override {
        InTempDir::SetUp();
        platform.programDirectory = root_;
    }
    // Rewrites a file through the platform alone, as the core does, with `bytes` as new contents.
    Status Replace(const std::string& relative, const std::string& bytes) {
        auto input = platform.OpenForInput(Path(relative));
        auto output = platform.OpenForReplace(Path(relative));
        if (!input.file || !output.file)
            return Status::Fail(input.error + output.error);
        char buffer[4096];
        while (input.file->Read(buffer, sizeof buffer).value_or(0) > 0) {
        }
        if (!output.file->Write(bytes))
            return Status::Fail("write");
        return output.file->Commit();
    }
    ScriptedPlatform platform;
};

TEST_F(RewriteTest, ReadOnlyIsHonouredAlsoForAnAdministrator) {
    Write("SQPATH.DAT", "00SV\r\nkept\n");
    Write("SQMENU.DAT", "TB\r\nmenu\n");
    SetAttributes("SQPATH.DAT", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\n");
    EXPECT_EQ(Attributes("SQPATH.DAT"), DWORD(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n"); // the next pass still runs

    EXPECT_EQ(platform.OpenForReplace("SQPATH.DAT").error, "The file is read-only.");
    EXPECT_EQ(List(), (std::vector<std::string>{"SQMENU.DAT", "SQPATH.DAT"}));
}

TEST_F(RewriteTest, AttributesAndOtherLinksAreKept) {
    Write("paths.dat", "old\r\n");
    SetAttributes("paths.dat", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    ASSERT_TRUE(Replace("PATHS.DAT", "new\r\n").ok());
    EXPECT_EQ(Read("paths.dat"), "new\r\n");
    const DWORD kept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    EXPECT_EQ(Attributes("paths.dat") & kept, kept);
    EXPECT_EQ(List(), (std::vector<std::string>{"paths.dat"})); // its own name, no leftovers

    // A file with another link is rewritten in place: both names show the new contents.
    Write("SQMENU.DAT", "TB\r\nmenu\r\n");
    ASSERT_TRUE(
        CreateHardLinkW(Wide(Path("MENU.LNK")).c_str(), Wide(Path("SQMENU.DAT")).c_str(), nullptr));
    Write("SQPATH.DAT", "00SV\r\n");
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read("SQMENU.DAT"), "menu\r\n");
    EXPECT_EQ(Read("MENU.LNK"), "menu\r\n");
    EXPECT_EQ(List(),
              (std::vector<std::string>{"MENU.LNK", "SQMENU.DAT", "SQPATH.DAT", "paths.dat"}));
}

TEST_F(RewriteTest, FoldersDeeperThanTheClassicLimit) {
    std::string deep = "DEEP";
    while (deep.size() < MAX_PATH)
        deep += "\\FOLDER" + std::to_string(deep.size());
    MakeDir(deep);
    Write(deep + "\\SQPATH.DAT", "00SV\r\nlong\r\n");
    platform.programDirectory = Path(deep);
    CleanOutSQPATH(platform);
    EXPECT_EQ(Read(deep + "\\SQPATH.DAT"), "long\r\n");
}

} // namespace
} // namespace zelvoset::testing
