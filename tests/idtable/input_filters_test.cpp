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

}  // namespace
}  // namespace b6409
