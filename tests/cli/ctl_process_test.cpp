// b6409ctl and b6409-sim as a user runs them: separate processes on a pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using b6409::test::BinDir;
using b6409::test::Outcome;
using b6409::test::RunCtl;
using b6409::test::SimProcess;

TEST(CtlProcess, RunsOptionCommandsAgainstTheSimulator) {
    SimProcess sim("--converter scv1 --baud 9600");
    ASSERT_FALSE(sim.path().empty());
    const std::string port = "--port " + sim.path() + " ";

    Outcome info = RunCtl(port + "info");
    EXPECT_EQ(info.status, 0);
    EXPECT_EQ(info.out, "FW_Ver = v1.05\n");

    EXPECT_EQ(RunCtl(port + "--module-port 2 set-baud 83.333").out,
              "Set CAN2 User-defined Baudrate OK !\n");
    EXPECT_EQ(RunCtl(port + "--module-port 2 get-baud").out,
              "CAN2 User-defined Baudrate : 83.333 (Kbps)\n");
    EXPECT_EQ(RunCtl(port + "get-baud").out, "No CAN1 User-defined Baudrate Record !\n");
    EXPECT_EQ(RunCtl(port + "--module-port 2 set-listen-only 1").out,
              "Enable CAN2 Listen-Only Mode OK !\n");
    EXPECT_EQ(RunCtl(port + "--module-port 2 get-listen-only").out,
              "CAN2 Listen-Only Mode Enabled\n");
}

TEST(CtlProcess, ComPortsResolveThroughTheEnvironment) {
    SimProcess sim("--converter ucv1");
    ASSERT_FALSE(sim.path().empty());
    setenv("B6409_COM7", sim.path().c_str(), 1);
    const Outcome outcome = RunCtl("--device ucv1 --port COM7 info");
    unsetenv("B6409_COM7");
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.out, "FW_Ver = v1.05\n");
}

TEST(CtlProcess, ExitStatusFollowsTheOutcome) {
    SimProcess sim("--converter ecv1d --error-at 1:4");
    ASSERT_FALSE(sim.path().empty());
    const Outcome error = RunCtl("--device ecv1d --port " + sim.path() + " reset");
    EXPECT_EQ(error.status, 8);
    EXPECT_EQ(error.out, "ErrMsg= CmdNo_Err\n");

    const Outcome missing = RunCtl("--device ucv1 --port /nonexistent/tty info");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.out, "Device Open Fail !! (ErrCode:2)\n");
}

TEST(CtlProcess, ACardFailureKeepsItsMessageAndTellsWhatWasTriedOnStderr) {
    b6409::test::TempDir dir;
    const std::string command = BinDir() + "/b6409ctl --device pcm1 --can-if b6409nosuch0 info >" +
                                (dir / "out") + " 2>" + (dir / "err");
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const auto text = [&](const char* name) {
        const std::vector<uint8_t> bytes = b6409::test::TempDir::ReadBytes(dir / name);
        return std::string(bytes.begin(), bytes.end());
    };
    EXPECT_EQ(text("out"), "Init Board Error ! (ErrCode:4)\n");
    EXPECT_EQ(text("err"), "b6409ctl: SocketCAN interface b6409nosuch0: No such device\n");
}

TEST(CtlProcess, BadValuesAreRefusedWithStatusTwoAndNothingSent) {
    SimProcess sim("--converter ucv1 --silent");
    for (const char* value : {"0.5", "1.2.3", "12a"}) {
        const Outcome outcome = RunCtl("--device ucv1 --port " + sim.path() + " set-baud " + value);
        EXPECT_EQ(outcome.status, 2) << value;
        EXPECT_NE(outcome.out.find("set-baud"), std::string::npos) << outcome.out;
    }
    EXPECT_EQ(RunCtl("--help").status, 0);
}

}  // namespace

namespace {

std::string ReadFile(const std::string& path) {
    FILE* in = fopen(path.c_str(), "rb");
    std::string bytes;
    char buffer[4096];
    size_t n;
    while (in && (n = fread(buffer, 1, sizeof buffer, in)) > 0) bytes.append(buffer, n);
    if (in) fclose(in);
    return bytes;
}

TEST(CtlProcess, DownloadsAListFileAndReadsItBackIdentically) {
    SimProcess sim("--converter ucv1");
    ASSERT_FALSE(sim.path().empty());
    const std::string base = "--device ucv1 --port " + sim.path() + " --module-port 2 ";
    for (const std::string name : {"filter-list", "mapping-list"}) {
        const std::string example =
            std::string(B6409_SOURCE_DIR) + "/docs/examples/" + name + ".dat";
        const std::string kind = name == "filter-list" ? "filter" : "mapping";
        const Outcome download = RunCtl(base + "download " + example);
        EXPECT_EQ(download.status, 0) << download.out;
        EXPECT_EQ(download.out,
                  kind == "filter" ? "Set CAN2-ID Filter OK !\n" : "Set CAN2-ID Mapping OK !\n");

        char directory[] = "/tmp/b6409-read-XXXXXX";
        ASSERT_NE(mkdtemp(directory), nullptr);
        const std::string saved = std::string(directory) + "/back.dat";
        const Outcome read = RunCtl(base + "read " + kind + " --save " + saved);
        EXPECT_EQ(read.status, 0) << read.out;
        EXPECT_EQ(ReadFile(saved), ReadFile(example)) << name;
        unlink(saved.c_str());
        rmdir(directory);
        if (kind == "filter") {
            EXPECT_EQ(read.out,
                      "001\t11-bit SID\t0x123\n"
                      "002\t11-bit GID\t0x100~0x1FF\n"
                      "003\t29-bit SID\t0x18FEF100\n"
                      "004\t29-bit GID\t0x18FF0000~0x18FFFFFF\n"
                      "005\t11-bit SID\t0x7E0\n"
                      "Get CAN2-ID Filter OK !\n"
                      "File Saved OK !!\n");
        }
    }
    const Outcome empty = RunCtl("--device ucv1 --port " + sim.path() + " read mapping");
    EXPECT_EQ(empty.out, "CAN1 No Mapping ID\n");
}

TEST(CtlProcess, AFileThatIsNoListIsRefusedBeforeAnythingIsSent) {
    const Outcome missing = RunCtl("download /nonexistent/list.dat");
    EXPECT_EQ(missing.status, 2);
    EXPECT_EQ(missing.out, "File Doesn't Exist\n");
    const Outcome notAList = RunCtl("download " + std::string(B6409_SOURCE_DIR) + "/README.md");
    EXPECT_EQ(notAList.status, 2);
    EXPECT_EQ(notAList.out, "File Format Error !\n");
}

}  // namespace

namespace {

TEST(CtlProcess, ExportsAListFileAsAWorkbook) {
    char directory[] = "/tmp/b6409-export-XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    const std::string out = std::string(directory) + "/frames";
    const std::string example = std::string(B6409_SOURCE_DIR) + "/docs/examples/mapping-list.dat";
    const Outcome exported = RunCtl("--module-port 2 export " + example + " " + out);
    EXPECT_EQ(exported.status, 0);
    EXPECT_EQ(exported.out, "File Saved OK !!\n");
    const std::string bytes = ReadFile(out + ".xls");
    ASSERT_GT(bytes.size(), 512u);
    EXPECT_EQ(bytes.substr(0, 4), "\xD0\xCF\x11\xE0");  // a compound file
    unlink((out + ".xls").c_str());
    rmdir(directory);
}

}  // namespace
