#include "sim/can_socket_server.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace b6409::sim {
namespace {

TEST(CanRecordTest, FlagsMapBothWays) {
    can_frame record{};
    record.can_id = 0x12345678 | CAN_EFF_FLAG | CAN_RTR_FLAG;
    record.len = 3;
    record.data[0] = 0xAB;
    const CanFrame frame = FromCanRecord(record);
    EXPECT_EQ(frame.id, 0x12345678u);
    EXPECT_TRUE(frame.extended);
    EXPECT_TRUE(frame.remote);
    EXPECT_EQ(frame.dlc, 3);
    EXPECT_EQ(frame.data[0], 0xAB);
    EXPECT_EQ(ToCanRecord(frame).can_id, record.can_id);

    record.can_id = 0x7FF;
    record.len = 15;  // only 8 bytes exist
    const CanFrame standard = FromCanRecord(record);
    EXPECT_FALSE(standard.extended);
    EXPECT_FALSE(standard.remote);
    EXPECT_EQ(standard.dlc, 8);
    EXPECT_EQ(ToCanRecord(standard).can_id, 0x7FFu);
}

class SocketPairTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(socketpair(AF_UNIX, SOCK_SEQPACKET, 0, fds_), 0); }
    void TearDown() override {
        for (int fd : fds_)
            if (fd >= 0) close(fd);
    }

    void Send(uint32_t canId) {
        can_frame record{};
        record.can_id = canId;
        record.len = 8;
        ASSERT_EQ(write(fds_[0], &record, sizeof record), ssize_t(sizeof record));
    }

    // The generous limit only keeps a broken server from hanging the run.
    can_frame Receive() {
        can_frame record{};
        pollfd entry{fds_[0], POLLIN, 0};
        if (poll(&entry, 1, 10000) == 1) read(fds_[0], &record, sizeof record);
        return record;
    }

    int fds_[2] = {-1, -1};
};

TEST_F(SocketPairTest, ModuleAnswersWithRecords) {
    FaultPlan faults;
    faults.otherNodeFirst = true;
    ModuleSimulator module(faults);
    ModuleState state;
    state.ports[1].mapping = {{0x16, 0x12345678, 0x800007FF}};
    module.SetState(state);
    CanSocketModuleServer server(fds_[1], module);
    server.Start();

    Send(0x001);
    EXPECT_EQ(Receive().can_id, 0x3A5u);
    const can_frame info = Receive();
    EXPECT_EQ(info.can_id, 0x401u);
    EXPECT_EQ(info.len, 8);
    EXPECT_EQ(info.data[0], 0x05);
    EXPECT_EQ(info.data[1], 0x01);

    Send(0x209);
    EXPECT_EQ(Receive().can_id, 0x3A5u);
    std::vector<uint32_t> values;
    for (int i = 0; i < 2; ++i) {
        const CanFrame entry = FromCanRecord(Receive());
        EXPECT_EQ(entry.id, 0x609u);
        EXPECT_EQ(entry.Word(2), 0x16);
        values.push_back(entry.DataHigh());
    }
    EXPECT_EQ(values, (std::vector<uint32_t>{0x12345678, 0x800007FF}));
    const can_frame end = Receive();
    EXPECT_EQ(end.can_id, 0x609u);
    EXPECT_EQ(end.len, 1);

    // A remote request is refused like on the bus.
    Send(0x001 | CAN_RTR_FLAG);
    EXPECT_EQ(Receive().can_id, 0x3A5u);
    const can_frame refused = Receive();
    EXPECT_EQ(refused.can_id, kErrorReplyId);
    EXPECT_EQ(refused.data[0], error::kRemote);
    server.Stop();
}

}  // namespace
}  // namespace b6409::sim
