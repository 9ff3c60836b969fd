#include "idtable/input_filters.h"

#include <gtest/gtest.h>

namespace b6409 {
namespace {

TEST(OptionValueFilter, AcceptsDecimalsWithOneDotAndNoLeadingZero) {
    for (const char* good : {"83.333", "125", ".5", "", "100", "10.05", "00000000", "1."})
        EXPECT_TRUE(OptionValueFilterAccepts(good)) << good;
    for (const char* bad : {"0.5", "1.2.3", "12a", "0", "-1", " 1", "1e3", "0000000"})
        EXPECT_FALSE(OptionValueFilterAccepts(bad)) << bad;
}

TEST(HexFilter, FollowsTheWidthRules) {
    struct Case {
        const char* text;
        bool accepted11;
        bool accepted29;
    };
    const Case cases[] = {
        {"", true, true},          {"7FF", true, true},
        {"8FF", false, true},      {"FF", true, true},
        {"FFF", false, true},      {"aff", false, true},  // lower case sorts after '7' as well
        {"0ABCDEF1", true, false}, {"ABCDEF1", true, true},
        {"1FFFFFFF", true, true},  {"2FFFFFFF", true, false},
        {"00000000", true, false},  // the field, not the rule, lets it stand
        {"abcdef", true, true},    {"12G", false, false},
        {"x12", false, false},     {"1 2", false, false},
        {"-12", false, false},     {"0x1", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HexFilterAccepts(c.text, IdWidth::Bits11), c.accepted11) << c.text;
        EXPECT_EQ(HexFilterAccepts(c.text, IdWidth::Bits29), c.accepted29) << c.text;
    }
}

}  // namespace
}  // namespace b6409
