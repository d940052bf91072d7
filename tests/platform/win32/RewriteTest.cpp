// Line-file rewrites on real files: what Windows adds to a file beyond its bytes, and is kept.
#include "ConfigFiles.h"
#include "Files.h"
#include "PlatformTesting.h"

#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <utility>

namespace zelvoset::testing {
namespace {

class RewriteTest : public InInstallation {
protected:
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
    // Another program's write, through a handle of its own.
    void Append(const std::string& relative, const std::string& bytes) const {
        const HANDLE file = CreateFileW(System(relative).c_str(), FILE_APPEND_DATA,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
        DWORD written = 0;
        const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
        CloseHandle(file);
        ASSERT_TRUE(ok && written == bytes.size());
    }
};

// Runs `outsider` once the first file opened for input has been read to its end: another
// program writing while the core is between reading and committing.
class Interrupted : public ScriptedPlatform {
public:
    std::function<void()> outsider;
    Opened<InputFile> OpenForInput(std::string_view path) override {
        auto opened = ScriptedPlatform::OpenForInput(path);
        if (opened.file && outsider)
            opened.file =
                std::make_unique<AtEnd>(std::move(opened.file), std::exchange(outsider, {}));
        return opened;
    }

private:
    struct AtEnd : InputFile {
        AtEnd(std::unique_ptr<InputFile> file, std::function<void()> then)
            : file_(std::move(file)), then_(std::move(then)) {}
        std::optional<std::size_t> Read(char* buffer, std::size_t size) override {
            const auto got = file_->Read(buffer, size);
            if (got == 0 && then_)
                std::exchange(then_, {})();
            return got;
        }
        std::unique_ptr<InputFile> file_;
        std::function<void()> then_;
    };
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

// Another program's lines must not vanish under the replace, on either route.
TEST_F(RewriteTest, AFileChangedDuringTheRewriteIsLeftAsTheOtherProgramLeftIt) {
    for (const bool linked : {false, true}) {
        Write("SQPATH.DAT", "00SV\r\nkept\r\n");
        if (linked) {
            ASSERT_TRUE(CreateHardLinkW(Wide(Path("LINKED")).c_str(),
                                        Wide(Path("SQPATH.DAT")).c_str(), nullptr));
        }
        auto output = platform.OpenForReplace("SQPATH.DAT");
        ASSERT_TRUE(output.file && output.file->Write("kept\r\n"));
        Append("SQPATH.DAT", "APPENDED\r\n");
        EXPECT_FALSE(output.file->Commit().ok());
        EXPECT_TRUE(output.file->Overtaken());
        EXPECT_EQ(Read("SQPATH.DAT"), "00SV\r\nkept\r\nAPPENDED\r\n") << linked;
    }
    EXPECT_EQ(List(), (std::vector<std::string>{"LINKED", "SQPATH.DAT"}));

    // Between reading and committing: the pass starts again from what the other program left.
    Interrupted interrupted;
    interrupted.programDirectory = root_;
    interrupted.outsider = [this] { Append("SQPATH.DAT", "00SV\r\nappended\r\n"); };
    CleanOutSQPATH(interrupted);
    EXPECT_EQ(Read("SQPATH.DAT"), "kept\r\nAPPENDED\r\nappended\r\n");
    EXPECT_EQ(Read("LINKED"), "kept\r\nAPPENDED\r\nappended\r\n");
    EXPECT_EQ(List(), (std::vector<std::string>{"LINKED", "SQPATH.DAT"}));
}

// Left uncleaned, the file would have the scripts run over stale entries: it is rewritten in
// place, the new contents and the backup waiting in the temporary folder. Run on a real such
// folder by refusing-folder.sh.
TEST_F(RewriteTest, AFolderRefusingNewFiles) {
    const char* unix = std::getenv("ZELVOSET_REFUSING_FOLDER");
    if (!unix)
        GTEST_SKIP() << "needs a folder that refuses new files: see refusing-folder.sh";
    std::string folder = std::string("Z:") + unix;
    std::replace(folder.begin(), folder.end(), '/', '\\');
    // The names in a folder that begin with `start`.
    const auto names = [](const std::wstring& in, std::wstring_view start) {
        std::vector<std::wstring> found;
        for (const auto& entry : std::filesystem::directory_iterator(in))
            if (entry.path().filename().wstring().starts_with(start))
                found.push_back(entry.path().filename().wstring());
        return found;
    };
    platform.programDirectory = folder;
    CleanOutSQPATH(platform);
    std::ifstream cleaned(std::filesystem::path(Wide(folder + "\\SQPATH.DAT")), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(cleaned), {}), "locked\r\n");
    EXPECT_EQ(names(Wide(folder), L""), std::vector<std::wstring>{L"SQPATH.DAT"});
    EXPECT_EQ(names(win32::TempFolder(), L"~SQPATH.DAT."), std::vector<std::wstring>());
}

} // namespace
} // namespace zelvoset::testing
