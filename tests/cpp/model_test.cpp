#include <gtest/gtest.h>

#include "model/case.hpp"

namespace velquin::sim {
namespace {

TEST(Identifiers, TrailingBlanksAndCaseDoNotMatter) {
    EXPECT_TRUE(same_identifier("1 ", "1"));
    EXPECT_TRUE(same_identifier("ab", "AB "));
    EXPECT_FALSE(same_identifier(" 1", "1"));
    EXPECT_FALSE(same_identifier("1", "2"));
    EXPECT_EQ(normalize_identifier("T1  "), "T1");
    EXPECT_EQ(normalize_identifier(" 1"), " 1");
}

TEST(CaseEquality, ComparesEveryElement) {
    Case a;
    a.buses.push_back(Bus{.number = 101, .name = "ONE"});
    Case b = a;
    EXPECT_EQ(a, b);
    b.buses[0].vm = 1.01;
    EXPECT_NE(a, b);
}

}  // namespace
}  // namespace velquin::sim
