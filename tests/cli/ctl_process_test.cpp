// b6409ctl and b6409-sim as a user runs them: separate processes on a pseudo-terminal.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "files/data_file.h"
#include "link/serial/line_protocol.h"
#include "support/fake_link.h"
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

// Values and list rows the request would change are refused before the interface opens; the
// trace shows the module heard only the one command it could take.
TEST(CtlProcess, WhatTheModuleCannotTakeAsItStandsIsRefusedWithStatusTwoAndNothingSent) {
    b6409::test::TempDir dir;
    const auto listFile = [&](const std::string& name, const char* type, const char* id) {
        b6409::IdTable table;
        table.AppendEntry({b6409::IdKind::Sid11, 0x123, 0});
        table.AppendRow("002", type, id);
        b6409::test::TempDir::WriteBytes(dir / name,
                                         b6409::EncodeDataFile(b6409::IdListMode::Filter, table));
        return dir / name;
    };
    SimProcess sim("--converter ucv1 --trace");
    ASSERT_FALSE(sim.path().empty());
    const std::string base = "--device ucv1 --port " + sim.path() + " ";
    const std::pair<std::string, std::string> cases[] = {
        {"set-busoff 70000",
         "Bus-off time \"70000\" is too long: enter 0 to 65535 seconds. Nothing was sent.\n"},
        {"set-baud 70000",
         "Bit rate \"70000\": the part before the point must not exceed 65535. Nothing was "
         "sent.\n"},
        {"set-baud 1.123456",
         "Bit rate \"1.123456\": the digits after the point must not exceed 65535. Nothing was "
         "sent.\n"},
        {"set-baud 83.05",
         "Bit rate \"83.05\" would arrive as 83.5: the digits after the point must not start "
         "with 0. Nothing was sent.\n"},
        {"download " + listFile("type.dat", "bogus", "0x123"),
         "Row 002: \"bogus\" is no type of a filter list. Nothing was sent.\n"},
        {"download " + listFile("id.dat", "11-bit SID", "hello"),
         "Row 002: \"hello\" is no 11-bit ID. Nothing was sent.\n"},
        {"download " + listFile("range.dat", "11-bit GID", "0x200~0x100"),
         "Row 002: the range \"0x200~0x100\" must start below its end. Nothing was sent.\n"},
    };
    for (const auto& [arguments, message] : cases) {
        const Outcome outcome = RunCtl(base + arguments);
        EXPECT_EQ(outcome.status, 2) << arguments;
        EXPECT_EQ(outcome.out, message);
    }
    EXPECT_EQ(RunCtl(base + "set-baud 83.0").status, 0);
    sim.process().Signal(SIGTERM);
    std::string request = b6409::FormatFrameText(b6409::test::Request(0x105, 83));
    request.back() = '\n';
    EXPECT_EQ(sim.process().ReadAll(), sim.path() + "\n" + request);
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

namespace {

// What would hang b6409ctl, or be lost or change hands by its export, is refused or kept.
TEST(CtlProcess, ListAndWorkbookFilesAreTakenOnlyAsTheyStand) {
    using b6409::test::TempDir;
    TempDir dir;
    const std::string example = std::string(B6409_SOURCE_DIR) + "/docs/examples/filter-list.dat";
    mkfifo((dir / "fifo.dat").c_str(), 0644);
    mkfifo((dir / "fifo.xls").c_str(), 0644);
    b6409::IdTable big;
    for (uint32_t i = 0; i < 70000; ++i) big.AppendEntry({b6409::IdKind::Gid29, 2 * i, 2 * i + 1});
    TempDir::WriteBytes(dir / "big.dat", b6409::EncodeDataFile(b6409::IdListMode::Filter, big));
    const std::vector<uint8_t> old = {'o', 'l', 'd'};
    for (const char* name : {"old.xls", "real.xls", "report.xls"})
        TempDir::WriteBytes(dir / name, old);
    // Another user's private workbook, reached through a link (our own when not root).
    const passwd* nobody = geteuid() == 0 ? getpwnam("nobody") : nullptr;
    const uid_t owner = nobody ? nobody->pw_uid : geteuid();
    ASSERT_EQ(chown((dir / "real.xls").c_str(), owner, uid_t(-1)), 0);
    chmod((dir / "real.xls").c_str(), 0600);
    symlink("real.xls", (dir / "link.xls").c_str());

    const auto notAFile = [](const std::string& path) {
        return "\"" + path + "\" is not a regular file !\nPlease choose another file !\n";
    };
    const struct {
        std::string arguments;
        int status;
        std::string out;
    } cases[] = {
        {"export " + (dir / "fifo.dat") + " " + (dir / "new.xls"), 2, notAFile(dir / "fifo.dat")},
        {"download " + (dir / "fifo.dat"), 2, notAFile(dir / "fifo.dat")},
        {"export " + example + " " + (dir / "fifo.xls"), 2, notAFile(dir / "fifo.xls")},
        {"export " + (dir / "big.dat") + " " + (dir / "old.xls"), 2,
         "\"" + (dir / "old.xls") +
             "\" cannot hold 70000 rows !\nA sheet takes at most 65533; please split the list !\n"},
        {"export " + example + " " + (dir / "link.xls"), 0, "File Saved OK !!\n"},
        // A connection string's separator in the name must not reach another workbook.
        {"export " + example + " " + (dir / "report;V=2.xls"), 0, "File Saved OK !!\n"},
        {"export " + example + " " + (dir / "say\"hi.xls"), 2,
         "Cannot use the workbook path '" + (dir / "say\"hi.xls") +
             "': a workbook path cannot hold a double quote (\").\n"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = RunCtl(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.arguments;
        EXPECT_EQ(outcome.out, c.out) << c.arguments;
    }
    EXPECT_EQ(TempDir::ReadBytes(dir / "old.xls"), old);
    EXPECT_EQ(TempDir::ReadBytes(dir / "report.xls"), old);
    EXPECT_GT(std::filesystem::file_size(dir / "report;V=2.xls"), 512u);
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.xls"));
    struct stat real {};
    ASSERT_EQ(stat((dir / "real.xls").c_str(), &real), 0);
    EXPECT_GT(real.st_size, 512);
    EXPECT_EQ(real.st_uid, owner);
    EXPECT_EQ(real.st_mode & 07777, 0600u);
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.insert(entry.path().filename().string());
    EXPECT_EQ(names,
              (std::set<std::string>{"fifo.dat", "fifo.xls", "big.dat", "old.xls", "real.xls",
                                     "link.xls", "report.xls", "report;V=2.xls"}));
}

}  // namespace

namespace {

// --json: what the plain run prints, as one object a script can read.
TEST(CtlProcess, JsonGivesEachReadingCommandsValueAndMessagesAsOneObject) {
    SimProcess sim("--converter ucv1");
    ASSERT_FALSE(sim.path().empty());
    const std::string port = "--device ucv1 --port " + sim.path() + " ";
    ASSERT_EQ(RunCtl(port + "--module-port 2 set-baud 83.333").status, 0);
    ASSERT_EQ(
        RunCtl(port + "download " + B6409_SOURCE_DIR + "/docs/examples/filter-list.dat").status, 0);
    const struct {
        std::string arguments;
        int status;
        std::string out;
    } cases[] = {
        {port + "--json info", 0,
         R"j({"command":"info","modulePort":1,"firmware":"v1.05","status":0,)j"
         R"j("messages":["FW_Ver = v1.05"]})j"},
        {port + "--json --module-port 2 get-baud", 0,
         R"j({"command":"get-baud","modulePort":2,"userBaud":"83.333","status":0,)j"
         R"j("messages":["CAN2 User-defined Baudrate : 83.333 (Kbps)"]})j"},
        {port + "--json get-baud", 0,
         R"j({"command":"get-baud","modulePort":1,"userBaud":null,"status":0,)j"
         R"j("messages":["No CAN1 User-defined Baudrate Record !"]})j"},
        {port + "--json get-busoff", 0,
         R"j({"command":"get-busoff","modulePort":1,"busOffSeconds":0,"status":0,)j"
         R"j("messages":["Bus-Off Auto Reset Time = 0 (Sec) [Function Disabled]"]})j"},
        {port + "--json --module-port 2 get-listen-only", 0,
         R"j({"command":"get-listen-only","modulePort":2,"listenOnly":false,"status":0,)j"
         R"j("messages":["CAN2 Listen-Only Mode Disabled"]})j"},
        {port + "--json read filter", 0,
         R"j({"command":"read","modulePort":1,"list":"filter","rows":[)j"
         R"j(["001","11-bit SID","0x123"],["002","11-bit GID","0x100~0x1FF"],)j"
         R"j(["003","29-bit SID","0x18FEF100"],["004","29-bit GID","0x18FF0000~0x18FFFFFF"],)j"
         R"j(["005","11-bit SID","0x7E0"]],"status":0,"messages":["Get CAN1-ID Filter OK !"]})j"},
        {"--device ucv1 --port /nonexistent/tty --json info", 1,
         R"j({"command":"info","modulePort":1,"status":1,)j"
         R"j("messages":["Device Open Fail !! (ErrCode:2)"]})j"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = RunCtl(c.arguments);
        EXPECT_EQ(outcome.status, c.status) << c.arguments;
        EXPECT_EQ(outcome.out, c.out + "\n") << c.arguments;
    }
    EXPECT_EQ(RunCtl(port + "--json reset").status, 2);
}

}  // namespace
