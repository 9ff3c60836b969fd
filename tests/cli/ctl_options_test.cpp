#include "cli/ctl_options.h"

#include <gtest/gtest.h>

namespace b6409 {
namespace {

CtlParseResult Parse(std::vector<std::string> arguments) {
    return ParseCtlArguments(arguments);
}

TEST(CtlOptions, DefaultsAreTheDialogsStartState) {
    const auto parsed = Parse({"info"});
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    const LinkSettings& settings = parsed.invocation->settings;
    EXPECT_EQ(settings.deviceKind, DeviceKind::Scv1);
    EXPECT_EQ(settings.devicePortIndex, 0);
    EXPECT_EQ(settings.canPortIndex, 0);
    EXPECT_EQ(settings.modulePortIndex, 0);
    EXPECT_EQ(parsed.invocation->commandKind, CommandKind::GetModuleInfo);
    EXPECT_EQ(parsed.invocation->pacing, Pacing::Fixed);
    EXPECT_EQ(Parse({"--pacing", "reply", "info"}).invocation->pacing, Pacing::Reply);
    EXPECT_EQ(Parse({"--pacing=fixed", "info"}).invocation->pacing, Pacing::Fixed);
}

TEST(CtlOptions, CommandsPickTheirExchange) {
    const std::pair<std::vector<std::string>, CommandKind> cases[] = {
        {{"reset"}, CommandKind::ResetModule},
        {{"set-baud", "83.333"}, CommandKind::SetUserBaud},
        {{"get-baud"}, CommandKind::GetUserBaud},
        {{"set-busoff", "30"}, CommandKind::SetBusOffResetTime},
        {{"get-busoff"}, CommandKind::GetBusOffResetTime},
        {{"set-listen-only", "1"}, CommandKind::SetListenOnlyCan1},
        {{"--module-port", "2", "set-listen-only", "1"}, CommandKind::SetListenOnlyCan2},
        {{"get-listen-only", "--module-port=2"}, CommandKind::GetListenOnlyCan2},
        {{"get-listen-only"}, CommandKind::GetListenOnlyCan1},
    };
    for (const auto& [arguments, kind] : cases) {
        const auto parsed = Parse(arguments);
        ASSERT_TRUE(parsed.invocation) << parsed.error;
        EXPECT_EQ(parsed.invocation->commandKind, kind) << arguments[0];
    }
    EXPECT_EQ(Parse({"set-baud", "83.333"}).invocation->valueText, "83.333");
}

TEST(CtlOptions, PortsBoardsAndDevices) {
    auto parsed = Parse({"--device", "pcc4", "--board", "15", "--can-port", "4", "info"});
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_EQ(parsed.invocation->settings.deviceKind, DeviceKind::Pcc4);
    EXPECT_EQ(parsed.invocation->settings.Derive().boardNumber, 15);
    EXPECT_EQ(parsed.invocation->settings.Derive().canPortNumber, 4);

    parsed = Parse({"--device", "uhv2", "--port", "COM256", "info"});
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_EQ(parsed.invocation->settings.Derive().devicePortNumber, 256);

    parsed = Parse({"--port", "/dev/ttyUSB0", "info"});
    ASSERT_TRUE(parsed.invocation) << parsed.error;
    EXPECT_EQ(parsed.invocation->portPath, "/dev/ttyUSB0");
    EXPECT_EQ(parsed.invocation->settings.Derive().devicePortNumber, 1);
}

TEST(CtlOptions, RefusesWhatTheDialogWouldRefuse) {
    const std::vector<std::vector<std::string>> bad = {
        {"set-baud", "0.5"},
        {"set-baud", "1.2.3"},
        {"set-baud", "12a"},
        {"set-baud", "123456789"},
        {"set-baud", ""},
        {"set-busoff", "-1"},
        {"set-busoff", "ten"},
        {"set-listen-only", "2"},
        {"set-baud"},
        {"info", "extra"},
        {"frobnicate"},
        {},
        {"--device", "xyz", "info"},
        {"--board", "3", "info"},
        {"--device", "pcc2", "--board", "16", "info"},
        {"--device", "pcc2", "--can-port", "3", "info"},
        {"--device", "pcm1", "--port", "COM1", "info"},
        {"--device", "uhv1", "--port", "/dev/ttyUSB0", "info"},
        {"--port", "COM0", "info"},
        {"--port", "COM257", "info"},
        {"--module-port", "3", "info"},
        {"--bogus", "1", "info"},
        {"--pacing", "fast", "info"},
        {"--pacing", "Reply", "info"},
        {"info", "--port"},
    };
    for (const auto& arguments : bad) {
        const auto parsed = Parse(arguments);
        EXPECT_FALSE(parsed.invocation) << (arguments.empty() ? "(none)" : arguments.back());
        EXPECT_FALSE(parsed.error.empty());
    }
}

TEST(CtlOptions, HelpNeedsNoCommand) {
    const auto parsed = Parse({"--help"});
    ASSERT_TRUE(parsed.invocation);
    EXPECT_TRUE(parsed.invocation->help);
    EXPECT_NE(CtlUsage().find("set-listen-only"), std::string::npos);
}

}  // namespace
}  // namespace b6409
