#include "Detection.h"
#include "FakePlatform.h"

#include <gtest/gtest.h>

using namespace zelvoset;
using zelvoset::testing::FakePlatform;

namespace {

std::string DetectWith(std::map<std::string, Probe> probes) {
    FakePlatform platform;
    platform.probes = std::move(probes);
    return DetectInstallVariant(platform);
}

} // namespace

TEST(Detection, EachMarkerAloneGivesItsLayout) {
    EXPECT_EQ(DetectWith({}), "");
    EXPECT_EQ(DetectWith({{"SVOBJ\\*.*", Probe::Found}}), "RW");
    EXPECT_EQ(DetectWith({{"CLASSIC9.ICO", Probe::Found}}), "RW9");
    EXPECT_EQ(DetectWith({{"PBS.BAT", Probe::Found}}), "PBS");
    EXPECT_EQ(DetectWith({{"SV\\*.*", Probe::Found}}), "CP");
}

TEST(Detection, LaterMarkersWin) {
    EXPECT_EQ(DetectWith({{"SVOBJ\\*.*", Probe::Found}, {"CLASSIC9.ICO", Probe::Found}}), "RW9");
    EXPECT_EQ(DetectWith({{"CLASSIC9.ICO", Probe::Found}, {"PBS.BAT", Probe::Found}}), "PBS");
    EXPECT_EQ(DetectWith({{"PBS.BAT", Probe::Found}, {"SV\\*.*", Probe::Found}}), "CP");
    EXPECT_EQ(DetectWith({{"SVOBJ\\*.*", Probe::Found},
                          {"CLASSIC9.ICO", Probe::Found},
                          {"PBS.BAT", Probe::Found},
                          {"SV\\*.*", Probe::Found}}),
              "CP");
}

TEST(Detection, FailedProbeCountsAsHitAndAllProbesRun) {
    FakePlatform platform;
    platform.probes = {{"CLASSIC9.ICO", Probe::Failed}};
    EXPECT_EQ(DetectInstallVariant(platform), "RW9");
    EXPECT_EQ(platform.EventsOf("probe"),
              (std::vector<std::string>{"probe SVOBJ\\*.*", "probe CLASSIC9.ICO", "probe PBS.BAT",
                                        "probe SV\\*.*"}));
}
