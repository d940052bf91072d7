#include "Location.h"

#include <gtest/gtest.h>

using namespace zelvoset;

namespace {

bool Exact(std::string_view a, std::string_view b) {
    return a == b;
}

} // namespace

TEST(Location, AFolderCountsOnlyStrictlyBelowTheBase) {
    EXPECT_EQ(FolderBelow("/inst/DATA/CO2", "/inst", '/', Exact), "DATA/CO2");
    EXPECT_EQ(FolderBelow("/inst/DATA/CO2", "/inst/", '/', Exact), "DATA/CO2");
    EXPECT_EQ(FolderBelow("C:\\DATA", "C:\\", '\\', Exact), "DATA") << "a root as the base";
    EXPECT_EQ(FolderBelow("/inst", "/inst", '/', Exact), std::nullopt) << "the base itself";
    // Caught: the base itself, given with its separator, counted as below it (C:\SYCMPF.DAT).
    EXPECT_EQ(FolderBelow("C:\\", "C:\\", '\\', Exact), std::nullopt);
    EXPECT_EQ(FolderBelow("/inst2/CO1", "/inst", '/', Exact), std::nullopt) << "a sibling";
    EXPECT_EQ(FolderBelow("/INST/CO1", "/inst", '/', Exact), std::nullopt);
    EXPECT_EQ(FolderBelow("/other", "/inst", '/', Exact), std::nullopt);

    EXPECT_TRUE(IsPlainFileName("sycmpf.dat"));
    for (const char* name : {"", ".", "..", "*.DAT", "SYCMPF.DA?"})
        EXPECT_FALSE(IsPlainFileName(name)) << name;
}
