#include "DialogRules.h"
#include "Platform.h"

#include <gtest/gtest.h>

using namespace zelvoset;

TEST(Boxes, AQuestionClosedWithoutAnAnswerIsANo) {
    EXPECT_EQ(AnswerOf(BoxButton::Yes, kStyleQuestion), kAnswerYes);
    EXPECT_EQ(AnswerOf(BoxButton::No, kStyleQuestion), kAnswerNo);
    EXPECT_EQ(AnswerOf(BoxButton::None, kStyleQuestion), kAnswerNo);
    EXPECT_EQ(AnswerOf(BoxButton::None, kStyleError), kAnswerOk);
    EXPECT_EQ(AnswerOf(BoxButton::Ok, kStyleWarning), kAnswerOk);
    EXPECT_EQ(BoxTitle(""), "Zelvo Install");
    EXPECT_EQ(BoxTitle("File modification required"), "File modification required");
}

TEST(FileDialogFilter, PairsWithoutAPatternAreLeftOut) {
    const auto entries = ParseFilter("Company file (SYCMPF.DAT)|SYCMPF.DAT|Text|*.txt;*.doc|"
                                     "Blank| |Dangling");
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].description, "Company file (SYCMPF.DAT)");
    EXPECT_EQ(entries[0].pattern, "SYCMPF.DAT");
    EXPECT_EQ(entries[1].description, "Text");
    EXPECT_EQ(entries[1].pattern, "*.txt;*.doc");
    EXPECT_TRUE(ParseFilter("").empty());
    EXPECT_EQ(ParseFilter("|*.*").size(), 1u) << "a pattern without a description still counts";
}
