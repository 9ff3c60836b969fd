#include "sim/sim_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace b6409::sim {
namespace {

TEST(SimOptionsTest, DefaultsPlayAnScv1At115200WithFirmware105) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({}, &options, &error)) << error;
    EXPECT_EQ(options.converter.kind, ConverterKind::Scv1);
    EXPECT_EQ(options.converter.scv1Baud, 115200u);
    EXPECT_EQ(options.fwMajor, 1);
    EXPECT_EQ(options.fwMinor, 0x05);
    EXPECT_FALSE(options.faults.silent);
    EXPECT_EQ(options.faults.errorAtRequest, 0);
}

TEST(SimOptionsTest, EveryOptionReachesItsSetting) {
    SimOptions options;
    std::string error;
    ASSERT_TRUE(ParseSimOptions({"--converter", "ecv1d", "--baud=9600", "--fw", "2.1A", "--silent",
                                 "--error-at", "3:6", "--entry-pause", "150", "--non-frame",
                                 "--lower-case", "--other-node-first", "--link", "/tmp/com1"},
                                &options, &error))
        << error;
    EXPECT_EQ(options.converter.kind, ConverterKind::Ecv1d);
    EXPECT_EQ(options.converter.scv1Baud, 9600u);
    EXPECT_EQ(options.fwMajor, 0x2);
    EXPECT_EQ(options.fwMinor, 0x1A);
    EXPECT_TRUE(options.faults.silent);
    EXPECT_EQ(options.faults.errorAtRequest, 3);
    EXPECT_EQ(options.faults.errorCode, 6);
    EXPECT_EQ(options.faults.entryPauseMs, 150u);
    EXPECT_TRUE(options.faults.nonFrameReply);
    EXPECT_TRUE(options.faults.lowerCaseDigits);
    EXPECT_TRUE(options.faults.otherNodeFirst);
    EXPECT_EQ(options.linkPath, "/tmp/com1");

    SimOptions errorOnly;
    ASSERT_TRUE(ParseSimOptions({"--error-at", "2", "--can", "vcan0"}, &errorOnly, &error));
    EXPECT_EQ(errorOnly.faults.errorAtRequest, 2);
    EXPECT_EQ(errorOnly.faults.errorCode, 1) << "default code";
    EXPECT_EQ(errorOnly.canInterface, "vcan0");
}

TEST(SimOptionsTest, BadCommandLinesAreRefused) {
    const std::vector<std::vector<std::string>> bad = {
        {"--bogus"},          {"--converter", "uhv1"},
        {"--baud", "14400"},  {"--baud"},
        {"--fw", "1.5"},      {"--fw", "105"},
        {"--fw", "1.0G"},     {"--error-at", "0"},
        {"--error-at", "2:"}, {"--error-at", "2:256"},
        {"--error-at", "-1"}, {"--entry-pause", "x"},
        {"--silent=1"},       {"--can", "vcan0", "--link", "/tmp/x"},
    };
    for (const auto& args : bad) {
        SimOptions options;
        std::string error;
        EXPECT_FALSE(ParseSimOptions(args, &options, &error)) << args.front();
        EXPECT_FALSE(error.empty()) << args.front();
    }
}

}  // namespace
}  // namespace b6409::sim
