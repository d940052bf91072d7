#include "Layout.h"
#include "FakePlatform.h"

#include <gtest/gtest.h>

using namespace zelvoset;
using zelvoset::testing::FakePlatform;

namespace {

std::optional<Layout> DetectWith(std::map<std::string, Probe> probes) {
    FakePlatform platform;
    platform.probes = std::move(probes);
    return DetectInstallVariant(platform);
}

} // namespace

TEST(Detection, EachMarkerAloneGivesItsLayout) {
    EXPECT_EQ(DetectWith({}), std::nullopt);
    EXPECT_EQ(DetectWith({{"SVOBJ\\*.*", Probe::Found}}), Layout::RW);
    EXPECT_EQ(DetectWith({{"CLASSIC9.ICO", Probe::Found}}), Layout::RW9);
    EXPECT_EQ(DetectWith({{"PBS.BAT", Probe::Found}}), Layout::PBS);
    EXPECT_EQ(DetectWith({{"SV\\*.*", Probe::Found}}), Layout::CP);
}

TEST(Detection, LaterMarkersWin) {
    EXPECT_EQ(DetectWith({{"SVOBJ\\*.*", Probe::Found}, {"CLASSIC9.ICO", Probe::Found}}),
              Layout::RW9);
    EXPECT_EQ(DetectWith({{"CLASSIC9.ICO", Probe::Found}, {"PBS.BAT", Probe::Found}}), Layout::PBS);
    EXPECT_EQ(DetectWith({{"PBS.BAT", Probe::Found}, {"SV\\*.*", Probe::Found}}), Layout::CP);
    EXPECT_EQ(DetectWith({{"SVOBJ\\*.*", Probe::Found},
                          {"CLASSIC9.ICO", Probe::Found},
                          {"PBS.BAT", Probe::Found},
                          {"SV\\*.*", Probe::Found}}),
              Layout::CP);
}

TEST(Detection, FailedProbeCountsAsHitAndAllProbesRun) {
    FakePlatform platform;
    platform.probes = {{"CLASSIC9.ICO", Probe::Failed}};
    EXPECT_EQ(DetectInstallVariant(platform), Layout::RW9);
    EXPECT_EQ(platform.EventsOf("probe"),
              (std::vector<std::string>{"probe SVOBJ\\*.*", "probe CLASSIC9.ICO", "probe PBS.BAT",
                                        "probe SV\\*.*"}));
}
