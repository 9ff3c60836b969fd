// How each kind of failure reaches the user, end to end on the simulator: the exact message,
// no crash, and the port closed afterwards so that another program can take it and the next
// command works. One test per failure.
#include <errno.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "files/data_file.h"
#include "idtable/list_transfer.h"
#include "link/serial/line_protocol.h"
#include "support/fake_link.h"
#include "support/serial_sim_fixture.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace b6409 {
namespace {

using test::Outcome;

using test::Request;

// The frame text the converter receives for a request, CR stripped.
std::string LineOf(const CanFrame& frame) {
    std::string line = FormatFrameText(frame);
    line.pop_back();
    return line;
}

std::vector<std::string> Lines(const std::vector<CanFrame>& frames) {
    std::vector<std::string> lines;
    for (const CanFrame& frame : frames) lines.push_back(LineOf(frame));
    return lines;
}

std::vector<std::string> RowTexts(const IdTable& table) {
    std::vector<std::string> rows;
    for (const IdRow& row : table.Rows())
        rows.push_back(row.number + " " + row.type + " " + row.id);
    return rows;
}

// A filter list of every kind, as the module stores it: frames 1 (single), 2-3 (range),
// 4 (single), 5-6 (range), 7 (single) of a read, then the end frame.
std::vector<sim::ListEntry> FilterOfEveryKind() {
    return {{0x11, 0x123, 0xFFFFFFFF},
            {0x12, 0x100, 0x1FF},
            {0x13, 0x18FEF100, 0xFFFFFFFF},
            {0x14, 0x18FF0000, 0x18FFFFFF},
            {0x11, 0x7E0, 0xFFFFFFFF}};
}

const std::vector<std::string> kFilterOfEveryKindRows = {
    "001 11-bit SID 0x123", "002 11-bit GID 0x100~0x1FF", "003 29-bit SID 0x18FEF100",
    "004 29-bit GID 0x18FF0000~0x18FFFFFF", "005 11-bit SID 0x7E0"};

class FaultMatrix : public SerialSimulatorTest {
  protected:
    // Lists go to and come from module port 1, through the SCV-1 on the simulator's terminal.
    CommandResult Download(IdListMode mode, const IdTable& table) {
        return DownloadList(mode, table, LinkSettings{},
                            {{*links, sink, clock}, progress, pump, {}});
    }
    CommandResult Read(IdListMode mode, IdTable& table) {
        return ReadList(mode, table, LinkSettings{}, {*links, sink, clock});
    }

    void PresetFilter(const std::vector<sim::ListEntry>& entries) {
        sim::ModuleState state = module->Snapshot();
        state.ports[0].filter = entries;
        module->SetState(state);
    }

    // Takes the port as another program would, without discarding what waits on it, and reads
    // lines until one starts with prefix. False when the port is held or no such line comes.
    bool DrainPortUntil(const std::string& prefix) {
        const int fd = open(converter->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0) return false;
        bool found = false;
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::string line;
            pollfd waiter{fd, POLLIN, 0};
            while (!found && poll(&waiter, 1, 10000) > 0) {
                char c;
                const ssize_t n = read(fd, &c, 1);
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                if (n != 1) break;
                if (c != '\r') {
                    line += c;
                    continue;
                }
                found = line.rfind(prefix, 0) == 0;
                line.clear();
            }
            flock(fd, LOCK_UN);
        }
        close(fd);
        return found;
    }

    NullProgress progress;
    NullPump pump;
};

// 1. Nothing ever comes back: every kind of command ends in the timeout, sends its request
// once and nothing after it.
TEST_F(FaultMatrix, ASilentModuleEndsInConfigCommandTimeout) {
    sim::FaultPlan silent;
    silent.silent = true;
    Start({}, silent);

    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Config Command Timeout"});
    // The wait after the send, then twelve empty polls.
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>(13, 100));
    EXPECT_TRUE(PortIsFree());

    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x10, 0});
    table.AppendEntry({IdKind::Sid11, 0x20, 0});
    EXPECT_EQ(Download(IdListMode::Filter, table), CommandResult::LinkFailed);
    IdTable read;
    EXPECT_EQ(Read(IdListMode::Filter, read), CommandResult::LinkFailed);
    EXPECT_EQ(read.RowCount(), 0u);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>(3, "Config Command Timeout"));
    // The download stopped at its begin step.
    EXPECT_EQ(Lines(module->RequestsSeen()),
              Lines({Request(0x001), Request(0x101), Request(0x103)}));
    EXPECT_TRUE(PortIsFree());

    module->SetFaults({});
    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
}

// 2. An SCV-1 set to 230400, a rate the search does not know: all eight trials fail their
// handshake and the last remembered code, 1, is shown.
TEST_F(FaultMatrix, AnScv1AtARateOffTheListIsNeverFound) {
    Start({sim::ConverterKind::Scv1, 230400});

    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Device Open Fail !! (ErrCode:1)"});
    // A pause after each failed trial, no request sent.
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>(8, 100));
    std::vector<sim::ReceivedLine> trials;
    for (uint32_t baud : kScv1BaudRates) trials.push_back({"S", baud});
    EXPECT_EQ(converter->LinesSeen(), trials);
    EXPECT_EQ(module->Snapshot().requestsSeen, 0);

    // The port is free, and the converter does answer at its own rate.
    ASSERT_TRUE(PortIsFree());
    const std::string path = converter->SlavePath();
    TermiosSerPort other([path](uint16_t) { return path; });
    ASSERT_EQ(other.OpenPort(1, 230400, 8, 0, 0), 0);
    EXPECT_TRUE(SerialHandshake(other, 1));
    EncodeFrameText(other, 1, Request(0x001));
    const CanFrame reply = DecodeFrameText(other, 1);
    other.ClosePort(1);
    EXPECT_EQ(reply.id, 0x401u);
    EXPECT_EQ(reply.data[0], 0x05);
    EXPECT_EQ(reply.data[1], 0x01);
}

// 3. Lines that are no frames, or frames made of noise, read by the decoding rules: any first
// character but t, T, e or E gives the all-zero frame (error code 0, read as 8); a digit above
// '9' counts as its value less 7, low four bits; only the first 30 characters of a line are
// read; positions past what arrived read as 0.
TEST_F(FaultMatrix, GarbageRepliesAreReadByTheDecodingRules) {
    Start();
    struct Garbage {
        const char* what;
        std::string text;
        CommandResult result;
        std::string message;
    };
    const std::string kOtherDevBaud = "ErrMsg= CAN_OtherDevBaud_Err";
    const std::vector<Garbage> cases = {
        {"a question mark", "?\r", CommandResult::ModuleError, kOtherDevBaud},
        {"binary junk", std::string("\0\x01\xFE\xFF\x7F\x80\x1B", 7) + "\r",
         CommandResult::ModuleError, kOtherDevBaud},
        {"an over-long line of 40 characters", std::string(40, 'x') + "\r",
         CommandResult::ModuleError, kOtherDevBaud},
        // 'E' makes it a 29-bit remote frame: no data, so error code 0.
        {"a converter's ERROR line", "ERROR\r", CommandResult::ModuleError, kOtherDevBaud},
        // Identifier Z,I,P = 3,2,9: not 0x401; byte 0 from G,Z = 0x03.
        {"letters after a t", "tZIP8GZIP\r", CommandResult::ModuleError, "ErrMsg= CAN_FIDRec_Err"},
        // The reply fits in the first 30 characters; the rest of the line is never read.
        {"a good reply run on to 40 characters",
         "t40180501000000000000" + std::string(19, 'x') + "\r", CommandResult::Ok,
         "FW_Ver = v1.05"},
        // No CR: the read gives up after 3 s with what came; the missing digits read as 0.
        {"a reply cut off after byte 0", "t401805", CommandResult::Ok, "FW_Ver = v0.05"},
    };
    for (const Garbage& garbage : cases) {
        SCOPED_TRACE(garbage.what);
        sim::FaultPlan faults;
        faults.replyText = garbage.text;
        module->SetFaults(faults);
        sink.shown.clear();
        EXPECT_EQ(Run(CommandKind::GetModuleInfo), garbage.result);
        EXPECT_EQ(sink.Texts(), std::vector<std::string>{garbage.message});
        EXPECT_TRUE(PortIsFree());
    }

    module->SetFaults({});
    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
}

// 4. A reply line announcing more than 8 bytes is read as its first 8.
TEST_F(FaultMatrix, ADlcDigitAboveEightIsReadAsEightBytes) {
    sim::FaultPlan dlcF;
    dlcF.replyDlcDigit = 'F';
    Start({}, dlcF);
    // The line really announces and carries 15 bytes: 36 characters, more than a read takes.
    const std::vector<sim::TimedText> line = converter->HandleLine(LineOf(Request(0x001)), 115200);
    ASSERT_EQ(line.size(), 1u);
    EXPECT_EQ(line[0].text, "t401F0501000000000000" + std::string(14, 'E') + "\r");

    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
    EXPECT_EQ(Run(CommandKind::SetUserBaud, "83.333"), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Set CAN1 User-defined Baudrate OK !");
    EXPECT_EQ(Run(CommandKind::GetUserBaud), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "CAN1 User-defined Baudrate : 83.333 (Kbps)");
    EXPECT_EQ(Run(CommandKind::GetBusOffResetTime), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Bus-Off Auto Reset Time = 0 (Sec) [Function Disabled]");
    EXPECT_TRUE(PortIsFree());

    // With 'C' (12 bytes) each entry line fills the 30-character read exactly, CR included, so
    // a list read takes every entry and still sees the end frame.
    sim::FaultPlan dlcC;
    dlcC.replyDlcDigit = 'C';
    module->SetFaults(dlcC);
    PresetFilter(FilterOfEveryKind());
    IdTable table;
    EXPECT_EQ(Read(IdListMode::Filter, table), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Get CAN1-ID Filter OK !");
    EXPECT_EQ(RowTexts(table), kFilterOfEveryKindRows);

    // With 'F' every entry line is longer than a read: its tail is dropped up to its CR, so it
    // is not taken for a frame of its own and the list still comes whole.
    module->SetFaults(dlcF);
    IdTable longLines;
    EXPECT_EQ(Read(IdListMode::Filter, longLines), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Get CAN1-ID Filter OK !");
    EXPECT_EQ(RowTexts(longLines), kFilterOfEveryKindRows);
    EXPECT_TRUE(PortIsFree());
}

// 5. The first frame after the request decides: another node's frame (byte 0 = 2) is taken as
// the module's error reply, for a single command, a list read and a download alike.
TEST_F(FaultMatrix, AnotherNodesFrameBeforeTheReplyIsReadAsAnError) {
    sim::FaultPlan otherNode;
    otherNode.otherNodeFirst = true;
    Start({}, otherNode);
    PresetFilter(FilterOfEveryKind());

    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::ModuleError);
    IdTable read;
    EXPECT_EQ(Read(IdListMode::Filter, read), CommandResult::ModuleError);
    EXPECT_EQ(read.RowCount(), 0u);
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x10, 0});
    EXPECT_EQ(Download(IdListMode::Filter, table), CommandResult::ModuleError);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>(3, "ErrMsg= Parameter_Format_Err"));
    EXPECT_EQ(Lines(module->RequestsSeen()),
              Lines({Request(0x001), Request(0x103), Request(0x101)}));
    EXPECT_EQ(module->Snapshot().ports[0].filter, FilterOfEveryKind());
    EXPECT_TRUE(PortIsFree());

    // The module's own replies, left on the port, are not taken for the next command's.
    module->SetFaults({});
    EXPECT_EQ(Run(CommandKind::ResetModule), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "B-6409 Module Reset OK !");
}

// 6. The module refuses row 3 of 5: the begin step and rows 1 to 3 went out, nothing after,
// and the list the module had stays in force.
TEST_F(FaultMatrix, AModuleErrorAtARowStopsTheDownloadThere) {
    Start();
    const std::vector<sim::ListEntry> before = {{0x11, 0x555, 0xFFFFFFFF}};
    PresetFilter(before);
    IdTable table;
    table.AppendEntry({IdKind::Sid11, 0x100, 0});
    table.AppendEntry({IdKind::Gid11, 0x200, 0x2FF});
    table.AppendEntry({IdKind::Sid29, 0x18FEF100, 0});
    table.AppendEntry({IdKind::Gid29, 0x18FF0000, 0x18FFFFFF});
    table.AppendEntry({IdKind::Sid11, 0x7E0, 0});
    sim::FaultPlan faults;
    faults.errorAtRequest = 4;  // begin, row 1, row 2, row 3
    faults.errorCode = 3;
    module->SetFaults(faults);

    EXPECT_EQ(Download(IdListMode::Filter, table), CommandResult::ModuleError);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"ErrMsg= CAN_FIDRec_Err"});
    EXPECT_EQ(Lines(module->RequestsSeen()),
              Lines({Request(0x101), Request(0x111, 0x100, 0xFFFFFFFF),
                     Request(0x112, 0x200, 0x2FF), Request(0x113, 0x18FEF100, 0xFFFFFFFF)}));
    EXPECT_EQ(module->Snapshot().ports[0].filter, before);
    EXPECT_TRUE(PortIsFree());

    module->SetFaults({});
    EXPECT_EQ(Download(IdListMode::Filter, table), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Set CAN1-ID Filter OK !");
    const std::vector<sim::ListEntry> after = {{0x11, 0x100, 0xFFFFFFFF},
                                               {0x12, 0x200, 0x2FF},
                                               {0x13, 0x18FEF100, 0xFFFFFFFF},
                                               {0x14, 0x18FF0000, 0x18FFFFFF},
                                               {0x11, 0x7E0, 0xFFFFFFFF}};
    EXPECT_EQ(module->Snapshot().ports[0].filter, after);
}

// 7. The module pauses 3 s before frame 6 of a read, the second half of the 29-bit range:
// far past the allowance of empty polls. The three rows that came stay; the lone first half
// makes none.
TEST_F(FaultMatrix, APauseLongerThanThePollAllowanceEndsAReadButKeepsItsRows) {
    Start();
    PresetFilter(FilterOfEveryKind());
    sim::FaultPlan pause;
    pause.pauseBeforeFrame = 6;
    pause.pauseBeforeFrameMs = 3000;
    module->SetFaults(pause);

    IdTable table;
    EXPECT_EQ(Read(IdListMode::Filter, table), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Config Command Timeout"});
    EXPECT_EQ(RowTexts(table), std::vector<std::string>(kFilterOfEveryKindRows.begin(),
                                                        kFilterOfEveryKindRows.begin() + 3));

    // The port was let go: another program takes it and finds the rest of the list, down to
    // the end frame, arriving after the utility gave up.
    EXPECT_TRUE(DrainPortUntil("t5031"));

    module->SetFaults({});
    EXPECT_EQ(Read(IdListMode::Filter, table), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "Get CAN1-ID Filter OK !");
    EXPECT_EQ(RowTexts(table), kFilterOfEveryKindRows);
}

// 8. Another program holds the port: every trial of the SCV-1 search fails to open it, in the
// utility and in b6409ctl alike, and the holder keeps it.
TEST_F(FaultMatrix, APortHeldByAnotherProgramFailsToOpen) {
    Start();
    const std::string path = converter->SlavePath();
    test::ChildProcess holder(test::BinDir() + "/b6409_port_holder", {"b6409_port_holder", path},
                              test::CurrentEnvironment());
    ASSERT_EQ(holder.WaitForLine("held"), "held");

    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::LinkFailed);
    EXPECT_EQ(sink.Texts(), std::vector<std::string>{"Device Open Fail !! (ErrCode:4)"});
    EXPECT_EQ(clock.sleeps, std::vector<unsigned>(8, 100));
    const Outcome ctl = test::RunCtl("--port " + path + " info");
    EXPECT_EQ(ctl.status, 1);
    EXPECT_EQ(ctl.out, "Device Open Fail !! (ErrCode:4)\n");
    EXPECT_TRUE(converter->LinesSeen().empty()) << "nothing reached the converter";
    EXPECT_FALSE(PortIsFree()) << "the holder lost the port";

    holder.CloseInput();
    EXPECT_EQ(holder.Wait(), 0);
    EXPECT_TRUE(PortIsFree());
    EXPECT_EQ(Run(CommandKind::GetModuleInfo), CommandResult::Ok);
    EXPECT_EQ(sink.Last(), "FW_Ver = v1.05");
}

// 9. b6409-sim is killed with SIGKILL while b6409ctl downloads 40 rows: the terminal hangs up
// while b6409ctl polls for the reply to row 20 (the simulator holds that reply back for 1 s, so
// the kill lands there), the hung-up port reports nothing waiting, and the poll allowance runs
// out. b6409ctl reports it, ends, and a new simulator on the same path works at once.
TEST_F(FaultMatrix, ASimulatorKilledDuringADownloadEndsItWithATimeout) {
    test::TempDir dir;
    IdTable table;
    std::vector<CanFrame> requests = {Request(0x101)};
    for (uint32_t row = 0; row < 40; ++row) {
        table.AppendEntry({IdKind::Sid11, 0x100 + row, 0});
        requests.push_back(Request(0x111, 0x100 + row, 0xFFFFFFFF));
    }
    const std::string file = dir / "forty.dat";
    test::TempDir::WriteBytes(file, EncodeDataFile(IdListMode::Filter, table));
    const std::string port = dir / "com1";

    auto sim =
        std::make_unique<test::SimProcess>("--link " + port + " --trace --pause-before 21:1000");
    ASSERT_FALSE(sim->path().empty());
    auto ctl = test::StartCtl("--port " + port + " download " + file);
    // The begin step and rows 1 to 20, in order.
    for (size_t i = 0; i < 21; ++i) ASSERT_EQ(sim->NextLine(), LineOf(requests[i])) << i;
    sim->process().Signal(SIGKILL);
    EXPECT_EQ(sim->process().Wait(), -SIGKILL);

    const Outcome outcome = test::Finish(*ctl);
    EXPECT_EQ(outcome.status, 1) << "-1000: b6409ctl did not end";
    EXPECT_EQ(outcome.out, "Config Command Timeout\n");

    sim = std::make_unique<test::SimProcess>("--link " + port);
    ASSERT_FALSE(sim->path().empty());
    EXPECT_TRUE(PortIsFree(port));
    const Outcome again = test::RunCtl("--port " + port + " download " + file);
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "Set CAN1-ID Filter OK !\n");
}

// Ctrl+C during a download: the row in flight is answered, then b6409ctl ends without the end
// step, says so, and exits with 130.
TEST_F(FaultMatrix, CtrlCDuringADownloadStopsItBeforeTheEndStep) {
    test::TempDir dir;
    IdTable table;
    for (uint32_t row = 0; row < 40; ++row) table.AppendEntry({IdKind::Sid11, 0x100 + row, 0});
    const std::string file = dir / "forty.dat";
    test::TempDir::WriteBytes(file, EncodeDataFile(IdListMode::Filter, table));
    const std::string port = dir / "com1";

    test::SimProcess sim("--link " + port + " --trace");
    ASSERT_FALSE(sim.path().empty());
    auto ctl = test::StartCtl("--port " + port + " download " + file);
    for (int i = 0; i < 6; ++i) ASSERT_FALSE(sim.NextLine().empty()) << i;
    ctl->Signal(SIGINT);
    const Outcome outcome = test::Finish(*ctl);
    EXPECT_EQ(outcome.status, 130);
    EXPECT_EQ(outcome.out,
              "b6409ctl: the download to CAN1 was stopped before its end step; the module's list "
              "is incomplete until a list is downloaded again.\n");

    sim.process().Signal(SIGTERM);
    const std::string trace = sim.process().ReadAll();
    EXPECT_EQ(trace.find(LineOf(Request(0x102))), std::string::npos) << trace;
    EXPECT_LE(std::count(trace.begin(), trace.end(), '\n'), 1 + 1 + 8) << trace;
}

}  // namespace
}  // namespace b6409
