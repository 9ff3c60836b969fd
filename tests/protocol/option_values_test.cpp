#include "protocol/option_values.h"

#include <gtest/gtest.h>

namespace b6409 {
namespace {

TEST(UserBaud, PacksIntegerAndFractionDigits) {
    EXPECT_EQ(PackUserBaud("83.333"), (333u << 16) | 83u);
    EXPECT_EQ(PackUserBaud("125"), 125u);
    EXPECT_EQ(PackUserBaud("83.05"), (5u << 16) | 83u);  // the fraction's leading zero is lost
    EXPECT_EQ(PackUserBaud(".5"), 5u << 16);
    EXPECT_EQ(PackUserBaud(""), 0u);
    EXPECT_EQ(PackUserBaud("12a"), 12u);  // reading stops at the first non-digit
    EXPECT_EQ(PackUserBaud("70000.70000"), ((70000u & 0xFFFF) << 16) | (70000u & 0xFFFF));
}

TEST(OptionValues, SecondsAndListenOnlyAreWholeDecimalNumbers) {
    EXPECT_EQ(OptionRequestValue(CommandKind::SetBusOffResetTime, "30"), 30u);
    EXPECT_EQ(OptionRequestValue(CommandKind::SetBusOffResetTime, "99999999"), 99999999u);
    EXPECT_EQ(OptionRequestValue(CommandKind::SetBusOffResetTime, "abc"), 0u);
    EXPECT_EQ(OptionRequestValue(CommandKind::SetListenOnlyCan2, "1"), 1u);
    EXPECT_EQ(OptionRequestValue(CommandKind::SetListenOnlyCan1, "0"), 0u);
    EXPECT_EQ(OptionRequestValue(CommandKind::GetUserBaud, "83.333"), 0u);
    EXPECT_EQ(ReadUnsignedDecimal("99999999999"), 0xFFFFFFFFu);
}

}  // namespace
}  // namespace b6409
