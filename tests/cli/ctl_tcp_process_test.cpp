// b6409ctl reaching a converter's serial stream over TCP, against b6409-sim --listen and
// against peers that refuse, stay silent or close the connection, all on 127.0.0.1.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
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

// A TCP socket on 127.0.0.1 with a port of its own; listening with the given backlog, or
// only bound (so that nothing answers at its port) when backlog is negative.
class LoopbackSocket {
  public:
    explicit LoopbackSocket(int backlog) : fd_(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(fd_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        if (backlog >= 0 && listen(fd_, backlog) != 0) return;
        port_ = ntohs(address.sin_port);
    }
    ~LoopbackSocket() {
        for (const int fd : clients_) close(fd);
        close(fd_);
    }
    LoopbackSocket(const LoopbackSocket&) = delete;
    LoopbackSocket& operator=(const LoopbackSocket&) = delete;

    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(port_); }
    // Connections that nobody accepts, until the listen queue is full and the kernel drops
    // further attempts unanswered.
    void FillQueue() {
        for (int i = 0; i < 4; ++i) {
            const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            address.sin_port = htons(port_);
            connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
            clients_.push_back(fd);
        }
        usleep(100000);
    }

  private:
    int fd_;
    uint16_t port_ = 0;
    std::vector<int> clients_;
};

// A filter list of the given number of rows, every kind of row in turn.
std::string WriteList(const TempDir& dir, const std::string& name, uint32_t rows) {
    b6409::IdTable table;
    for (uint32_t i = 0; i < rows; ++i) {
        switch (i % 4) {
            case 0:
                table.AppendEntry({b6409::IdKind::Sid11, i, 0});
                break;
            case 1:
                table.AppendEntry({b6409::IdKind::Gid11, 0x400 + i, 0x400 + i + 1});
                break;
            case 2:
                table.AppendEntry({b6409::IdKind::Sid29, 0x10000000 + i, 0});
                break;
            default:
                table.AppendEntry({b6409::IdKind::Gid29, 0x1000 * i, 0x1000 * i + 7});
        }
    }
    TempDir::WriteBytes(dir / name, b6409::EncodeDataFile(b6409::IdListMode::Filter, table));
    return dir / name;
}

TEST(CtlOverTcp, EveryCommandRunsOverTheConnection) {
    // Each converter kind connects; an SCV-1 whose serial side is set to 9600 is not searched
    // for, as a TCP stream has no rate.
    for (const char* kind : {"scv1", "ucv1"}) {
        SimProcess sim(std::string("--converter ") + kind + " --baud 9600 --listen 127.0.0.1:0");
        ASSERT_EQ(sim.path().rfind("tcp://127.0.0.1:", 0), 0u) << sim.path();
        const Outcome info =
            RunCtl(std::string("--device ") + kind + " --port " + sim.path() + " info");
        EXPECT_EQ(info.out, "FW_Ver = v1.05\n") << kind;
    }

    TempDir dir;
    const std::string list = WriteList(dir, "hundred.dat", 100);
    const std::string profile = dir / "module.json";
    SimProcess sim("--converter ecv1d --listen 127.0.0.1:0");
    ASSERT_FALSE(sim.path().empty());
    const struct {
        std::string command;
        std::string out;  // the end of what it prints; "" for the exit status alone
    } cases[] = {
        {"info", "FW_Ver = v1.05\n"},
        {"--module-port 2 set-baud 83.333", "Set CAN2 User-defined Baudrate OK !\n"},
        {"--module-port 2 get-baud", "CAN2 User-defined Baudrate : 83.333 (Kbps)\n"},
        {"set-busoff 30", "Set Bus-Off Auto Reset Module OK !\n"},
        {"get-busoff", "Bus-Off Auto Reset Time = 30 (Sec)\n"},
        {"set-listen-only 1", "Enable CAN1 Listen-Only Mode OK !\n"},
        {"get-listen-only", "CAN1 Listen-Only Mode Enabled\n"},
        {"download " + list, "Set CAN1-ID Filter OK !\n"},
        {"read filter --save " + (dir / "back.dat"), "Get CAN1-ID Filter OK !\nFile Saved OK !!\n"},
        {"profile save " + profile, ""},
        {"profile diff " + profile, ""},
        {"reset", "B-6409 Module Reset OK !\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.command);
        // Paced by the reply, as one would run a converter on the network.
        const Outcome outcome =
            RunCtl("--device ecv1d --pacing reply --port " + sim.path() + " " + c.command);
        EXPECT_EQ(outcome.status, 0) << outcome.out;
        const size_t tail = outcome.out.size() - std::min(outcome.out.size(), c.out.size());
        EXPECT_EQ(outcome.out.substr(tail), c.out);
    }
    EXPECT_EQ(TempDir::ReadBytes(dir / "back.dat"), TempDir::ReadBytes(list));
}

TEST(CtlOverTcp, APeerThatRefusesStaysSilentOrNeverAcceptsIsReportedWithItsCode) {
    LoopbackSocket closed(-1);
    LoopbackSocket silent(8);
    LoopbackSocket full(0);
    full.FillQueue();
    // No test of an unreachable network (ErrCode:11): it cannot be made on the loopback alone.
    const struct {
        std::string arguments;
        std::string out;
    } cases[] = {
        {"--device ecv1d --port " + closed.Url() + " info", "Device Open Fail !! (ErrCode:10)\n"},
        {"--device ucv1 --port " + silent.Url() + " info", "Config Command Timeout\n"},
        {"--device scv1 --port " + silent.Url() + " info", "Device Open Fail !! (ErrCode:1)\n"},
        {"--device ecv1d --port " + full.Url() + " info", "Device Open Fail !! (ErrCode:12)\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        const Outcome outcome = RunCtl(c.arguments);
        EXPECT_EQ(outcome.status, 1);
        EXPECT_EQ(outcome.out, c.out);
    }
    // The environment's mapping of a COM port goes the same way.
    setenv("B6409_COM9", closed.Url().c_str(), 1);
    const Outcome mapped = RunCtl("--device ucv1 --port COM9 info");
    unsetenv("B6409_COM9");
    EXPECT_EQ(mapped.out, "Device Open Fail !! (ErrCode:10)\n");

    const Outcome bad = RunCtl("--device ecv1d --port tcp://127.0.0.1 info");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("needs a port"), std::string::npos) << bad.out;
}

TEST(CtlOverTcp, APeerClosingMidDownloadIsReportedAndTheNextCommandConnectsAfresh) {
    TempDir dir;
    const std::string list = WriteList(dir, "hundred.dat", 100);
    // Reply pacing waits on the socket itself, which must not take the peer's close for a reply.
    for (const char* pacing : {"fixed", "reply"}) {
        SCOPED_TRACE(pacing);
        SimProcess sim("--converter ecv1d --listen 127.0.0.1:0 --hang-up-at 10");
        ASSERT_FALSE(sim.path().empty());
        const std::string base =
            std::string("--device ecv1d --pacing ") + pacing + " --port " + sim.path() + " ";

        const Outcome cut = RunCtl(base + "download " + list);
        EXPECT_EQ(cut.status, 1);  // not -1000: it did not hang
        EXPECT_NE(cut.out.find("Config Command Timeout"), std::string::npos) << cut.out;
        EXPECT_EQ(cut.out.find("Set CAN1-ID Filter OK !"), std::string::npos) << cut.out;

        const Outcome next = RunCtl(base + "info");
        EXPECT_EQ(next.status, 0);
        EXPECT_EQ(next.out, "FW_Ver = v1.05\n");
    }
}

}  // namespace
