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

TEST(OptionValues, ValuesTheRequestCannotCarryAsTypedAreRefused) {
    struct Case {
        CommandKind kind;
        const char* text;
        const char* problem;  // empty for a value that goes as typed
    };
    const Case cases[] = {
        {CommandKind::SetBusOffResetTime, "65535", ""},
        {CommandKind::SetUserBaud, "65535.65535", ""},
        {CommandKind::SetUserBaud, "83.0", ""},
        {CommandKind::SetUserBaud, "83.00", ""},
        {CommandKind::SetUserBaud, "83.50", ""},
        {CommandKind::SetUserBaud, ".5", ""},
        {CommandKind::SetBusOffResetTime, "70000",
         "Bus-off time \"70000\" is too long: enter 0 to 65535 seconds. Nothing was sent."},
        {CommandKind::SetBusOffResetTime, "99999999999",
         "Bus-off time \"99999999999\" is too long: enter 0 to 65535 seconds. Nothing was sent."},
        {CommandKind::SetUserBaud, "70000",
         "Bit rate \"70000\": the part before the point must not exceed 65535. Nothing was sent."},
        {CommandKind::SetUserBaud, "1.123456",
         "Bit rate \"1.123456\": the digits after the point must not exceed 65535. Nothing was "
         "sent."},
        {CommandKind::SetUserBaud, "83.05",
         "Bit rate \"83.05\" would arrive as 83.5: the digits after the point must not start "
         "with 0. Nothing was sent."},
        {CommandKind::SetUserBaud, ".007",
         "Bit rate \".007\" would arrive as 0.7: the digits after the point must not start with "
         "0. Nothing was sent."},
    };
    for (const Case& c : cases) {
        const std::optional<std::string> expected =
            *c.problem ? std::optional<std::string>(c.problem) : std::nullopt;
        EXPECT_EQ(OptionValueProblem(c.kind, c.text), expected) << c.text;
    }
}

}  // namespace
}  // namespace b6409
