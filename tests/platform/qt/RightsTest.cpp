// Whether an ordinary user may change the installation's files, as root made them: root passes
// every permission, so the questions are asked by a child that has become nobody.
#include "PlatformTesting.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zelvoset::testing {
namespace {

using RightsTest = InTempDir;

// Caught: a file the user may not write taken for one they may (its name's letter case not
// resolved first), a read-only file or one of their own taken for refused; a folder that lets
// them delete nothing, or a sticky one that keeps them from another's files, missed; a pattern
// that matches nothing taken for refused.
TEST_F(RightsTest, AskedAsAnOrdinaryUserOfARootOwnedInstallation) {
    ASSERT_EQ(chmod(root_.c_str(), 0755), 0);
    Write("SQPATH.DAT", "00SV\r\n");
    Write("SQMENU.DAT", "TB\r\n");
    MakeReadOnly("SQMENU.DAT");
    Write("RW.BAT", "RUNW\r\n");
    ASSERT_EQ(chown(Path("RW.BAT").c_str(), kNobody, kNobody), 0);
    Write("SVOBJ/A.gnt", "gnt");
    const auto ask = [&] {
        return InChild([&] {
            if (!BecomeNobody())
                return 99;
            QtPlatform platform;
            return (platform.MayChange(Path("sqpath.dat"), Change::Rewrite) ? 1 : 0) |
                   (platform.MayChange(Path("SQMENU.DAT"), Change::Rewrite) ? 2 : 0) |
                   (platform.MayChange(Path("RW.BAT"), Change::Rewrite) ? 4 : 0) |
                   (platform.MayChange(Path("SVOBJ/*.gnt"), Change::Remove) ? 8 : 0) |
                   (platform.MayChange(Path("SVOBJ/*.lbr"), Change::Remove) ? 16 : 0);
        });
    };
    EXPECT_EQ(ask(), 2 | 4 | 16);
    // A folder all may write, but sticky: only their own files are theirs to delete.
    ASSERT_EQ(chmod(Path("SVOBJ").c_str(), 01777), 0);
    EXPECT_EQ(ask(), 2 | 4 | 16);
    ASSERT_EQ(chown(Path("SVOBJ/A.gnt").c_str(), kNobody, kNobody), 0);
    EXPECT_EQ(ask(), 2 | 4 | 8 | 16);
}

} // namespace
} // namespace zelvoset::testing
