#include "Wildcard.h"

#include <gtest/gtest.h>

using zelvoset::WildcardMatch;

TEST(Wildcard, StarDotStarMatchesEveryNameAlsoWithoutDot) {
    EXPECT_TRUE(WildcardMatch("*.*", "README"));
    EXPECT_TRUE(WildcardMatch("*.*", "prog.gnt"));
    EXPECT_TRUE(WildcardMatch("*.*", "a.b.c"));
    EXPECT_TRUE(WildcardMatch("*", "anything.at.all"));
}

TEST(Wildcard, LettersMatchWithoutRegardToCase) {
    EXPECT_TRUE(WildcardMatch("*.gnt", "MAIN.GNT"));
    EXPECT_TRUE(WildcardMatch("*.GNT", "main.gnt"));
    EXPECT_TRUE(WildcardMatch("SQPATH.DAT", "sqpath.dat"));
    EXPECT_FALSE(WildcardMatch("*.gnt", "main.gnt.bak"));
    EXPECT_FALSE(WildcardMatch("*.gnt", "main.int"));
    // Only letters fold: other bytes must match exactly.
    EXPECT_FALSE(WildcardMatch("A\xE9", "a\xC9"));
}

TEST(Wildcard, QuestionMarkFollowsDosRules) {
    EXPECT_TRUE(WildcardMatch("A?.TXT", "AB.TXT"));
    EXPECT_TRUE(WildcardMatch("A?.TXT", "A.TXT")); // may match nothing before a dot
    EXPECT_TRUE(WildcardMatch("FOO?", "FOO"));     // ... or at the end
    EXPECT_TRUE(WildcardMatch("FOO??", "foo"));    // a whole run of them, too
    EXPECT_TRUE(WildcardMatch("A??.TXT", "A.TXT"));
    EXPECT_FALSE(WildcardMatch("?OO", "OO")); // but not elsewhere
    EXPECT_FALSE(WildcardMatch("A?.TXT", "ABC.TXT"));
}

TEST(Wildcard, TrailingDotMatchesNameWithoutExtension) {
    EXPECT_TRUE(WildcardMatch("FOO.", "foo"));
    EXPECT_FALSE(WildcardMatch("FOO.", "foo.bar"));
    EXPECT_TRUE(WildcardMatch("CO*.*", "COMPANY"));
}

TEST(Wildcard, ManyStarsStayFast) {
    const std::string name(4000, 'a');
    EXPECT_FALSE(WildcardMatch("*a*a*a*a*a*a*a*a*a*a*b", name));
    EXPECT_TRUE(WildcardMatch("*a*a*a*a*a*a*a*a*a*a*", name));
}
