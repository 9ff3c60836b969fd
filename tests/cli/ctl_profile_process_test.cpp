// Whole-module profiles through b6409ctl as a user runs it, against b6409-sim processes.
#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "files/data_file.h"
#include "support/sim_process.h"
#include "support/temp_dir.h"

namespace {

using b6409::test::Outcome;
using b6409::test::RunCtl;
using b6409::test::SimProcess;
using b6409::test::TempDir;

std::string ListFile(const TempDir& dir, const std::string& name, b6409::IdListMode mode,
                     const std::vector<b6409::IdEntry>& entries) {
    b6409::IdTable table;
    for (const auto& entry : entries) table.AppendEntry(entry);
    TempDir::WriteBytes(dir / name, b6409::EncodeDataFile(mode, table));
    return dir / name;
}

std::vector<b6409::IdEntry> Filter20(uint32_t base) {
    std::vector<b6409::IdEntry> rows;
    for (uint32_t i = 0; i < 20; ++i)
        rows.push_back(i % 2
                           ? b6409::IdEntry{b6409::IdKind::Sid11, base + i, 0}
                           : b6409::IdEntry{b6409::IdKind::Gid29, base << 8 | i, base << 8 | 0xF0});
    return rows;
}

std::vector<b6409::IdEntry> Mapping10(uint32_t base) {
    std::vector<b6409::IdEntry> rows;
    for (uint32_t i = 0; i < 10; ++i)
        rows.push_back({b6409::IdKind::Mid11To29, base + i, 0x1000000 + i});
    return rows;
}

// Sets up every setting of both ports by hand, as a technician would without profiles.
void SetUpByHand(const std::string& port, const TempDir& dir) {
    using b6409::IdListMode;
    const std::string commands[] = {
        "set-busoff 30",
        "--module-port 1 set-baud 125",
        "--module-port 2 set-baud 83.333",
        "--module-port 1 set-listen-only 1",
        "--module-port 2 set-listen-only 0",
        "--module-port 1 download " + ListFile(dir, "f1.dat", IdListMode::Filter, Filter20(0x100)),
        "--module-port 2 download " + ListFile(dir, "f2.dat", IdListMode::Filter, Filter20(0x300)),
        "--module-port 1 download " +
            ListFile(dir, "m1.dat", IdListMode::Mapping, Mapping10(0x500)),
        "--module-port 2 download " +
            ListFile(dir, "m2.dat", IdListMode::Mapping, Mapping10(0x600)),
    };
    for (const std::string& command : commands)
        ASSERT_EQ(RunCtl(port + command).status, 0) << command;
}

TEST(CtlProfile, SavedProfileAppliedToAFreshModuleLeavesNoDifferenceUntilARowChanges) {
    TempDir dir;
    const std::string profile = dir / "plant.json";
    {
        SimProcess original("--converter ucv1");
        ASSERT_FALSE(original.path().empty());
        const std::string port = "--device ucv1 --port " + original.path() + " ";
        SetUpByHand(port, dir);
        const Outcome saved = RunCtl(port + "profile save " + profile);
        ASSERT_EQ(saved.status, 0) << saved.out;
    }
    SimProcess fresh("--converter ucv1");
    ASSERT_FALSE(fresh.path().empty());
    const std::string port = "--device ucv1 --port " + fresh.path() + " ";
    EXPECT_EQ(RunCtl(port + "profile diff " + profile).status, 3);

    const Outcome applied = RunCtl(port + "profile apply --reset " + profile);
    EXPECT_EQ(applied.status, 0) << applied.out;
    EXPECT_EQ(applied.out,
              "port 1 filter list: ok\n"
              "port 1 mapping list: ok\n"
              "port 1 bit rate: ok\n"
              "port 1 listen-only: ok\n"
              "port 2 filter list: ok\n"
              "port 2 mapping list: ok\n"
              "port 2 bit rate: ok\n"
              "port 2 listen-only: ok\n"
              "bus-off time: ok\n");
    const Outcome same = RunCtl(port + "profile diff " + profile);
    EXPECT_EQ(same.status, 0);
    EXPECT_EQ(same.out, "The module holds the profile.\n");

    std::vector<b6409::IdEntry> changed = Mapping10(0x600);
    changed[6].second = 0x1ABCDEF;
    ASSERT_EQ(RunCtl(port + "--module-port 2 download " +
                     ListFile(dir, "m2b.dat", b6409::IdListMode::Mapping, changed))
                  .status,
              0);
    const Outcome differs = RunCtl(port + "profile diff " + profile);
    EXPECT_EQ(differs.status, 3);
    EXPECT_EQ(differs.out,
              "port 2 mapping row 007: differs: module has [\"11>29-bit MID\", "
              "\"0x606>0x01ABCDEF\"], profile has [\"11>29-bit MID\", \"0x606>0x01000006\"]\n");
}

// Empty lists take one request each, so the 7th step, port 1's listen-only mode, is the 7th
// request.
TEST(CtlProfile, AFailurePartWayNamesWhatWasSetAndWhatWasNot) {
    TempDir dir;
    const std::string document =
        R"({"format": 1, "busOffSeconds": 5, "ports": [
             {"userBaud": "125", "listenOnly": true, "filter": [], "mapping": []},
             {"userBaud": "250", "listenOnly": false, "filter": [], "mapping": []}]})";
    TempDir::WriteBytes(dir / "plant.json", std::vector<uint8_t>(document.begin(), document.end()));
    SimProcess failing("--converter ucv1 --error-at 7:4");
    const Outcome applied =
        RunCtl("--device ucv1 --port " + failing.path() + " profile apply " + (dir / "plant.json"));
    EXPECT_EQ(applied.status, 8);
    EXPECT_EQ(applied.out,
              "apply stopped at port 1 listen-only: ErrMsg= CmdNo_Err\n"
              "set: port 1 filter list, port 1 mapping list, port 2 filter list, port 2 mapping "
              "list, port 1 bit rate, port 2 bit rate\n"
              "not set: port 1 listen-only, port 2 listen-only, bus-off time\n");
}

// Each kind of bad document is refused with the JSON path of its fault, before the interface
// opens: the trace shows the module heard nothing.
TEST(CtlProfile, ABadDocumentNamesItsFaultAndNothingIsSent) {
    const std::string good =
        R"({"format": 1, "busOffSeconds": 5, "ports": [
             {"userBaud": null, "listenOnly": false, "filter": [], "mapping": []},
             {"userBaud": "250", "listenOnly": true, "mapping": [],
              "filter": [["11-bit SID", "0x100"], ["11-bit SID", "0x101"],
                         ["11-bit GID", "0x102~0x1FF"], ["11-bit SID", "0x103"]]}]})";
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };
    const struct {
        std::string document;
        std::string message;
    } cases[] = {
        {with("\"listenOnly\": true", "\"listenOnly\": true, \"colour\": 1"),
         "ports[1].colour: unknown key"},
        {with("\"listenOnly\": true", "\"listenOnly\": true, \"listenOnly\": false"),
         "ports[1].listenOnly: appears twice"},
        {with("\"busOffSeconds\": 5", "\"busOffSeconds\": \"5\""),
         "busOffSeconds: must be a whole number of seconds, 0 or more"},
        {with("\"0x103\"", "\"0x803\""),
         "ports[1].filter[3]: module port 2, row 004: \"0x803\" is no 11-bit ID"},
        {with("\"250\"", "\"70000\""),
         "ports[1].userBaud: Bit rate \"70000\": the part before the point must not exceed "
         "65535"},
        {with("\"busOffSeconds\": 5", "\"busOffSeconds\": 65536"),
         "busOffSeconds: Bus-off time \"65536\" is too long: enter 0 to 65535 seconds"},
        {good.substr(0, 40), "(document): not JSON, the fault is at byte 41"},
        {with("\"busOffSeconds\": 5", "\"busOffSeconds\": 1e400"),
         "(document): holds a number too large to read"},
    };
    TempDir dir;
    SimProcess sim("--converter ucv1 --trace");
    ASSERT_FALSE(sim.path().empty());
    for (const auto& c : cases) {
        TempDir::WriteBytes(dir / "bad.json",
                            std::vector<uint8_t>(c.document.begin(), c.document.end()));
        for (const char* action : {"apply", "diff"}) {
            const Outcome outcome = RunCtl("--device ucv1 --port " + sim.path() + " profile " +
                                           action + " " + (dir / "bad.json"));
            EXPECT_EQ(outcome.status, 2) << c.message;
            EXPECT_EQ(outcome.out, (dir / "bad.json") + ": " + c.message + ". Nothing was sent.\n");
        }
    }
    sim.process().Signal(SIGTERM);
    EXPECT_EQ(sim.process().ReadAll(), sim.path() + "\n");
}

}  // namespace
