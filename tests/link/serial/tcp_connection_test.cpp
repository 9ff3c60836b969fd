// The name's lookup belongs to making a converter's connection, and to its time-out.
#include "link/serial/tcp_connection.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

#include "link/serial/termios_ser_port.h"

namespace {

using b6409::ConnectTcp;
using b6409::TcpAddress;
namespace serial_error = b6409::serial_error;

TEST(TcpConnection, ANameThatDoesNotResolveInTimeOrAtAllConnectsNowhere) {
    // A name service that answers only when the test lets it, long after the time-out. Its
    // state is shared: the lookup's thread outlives the attempt that gave up on it.
    struct Gate {
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    auto gate = std::make_shared<Gate>();
    auto slow = [gate](const char*, const char*, const addrinfo*, addrinfo** found) {
        std::unique_lock<std::mutex> lock(gate->mutex);
        gate->opened.wait(lock, [&gate] { return gate->open; });
        *found = nullptr;
        return EAI_AGAIN;
    };
    uint16_t code = 0;
    EXPECT_EQ(ConnectTcp(TcpAddress{"converter.plant.example", 4001}, 50, &code, slow), -1);
    EXPECT_EQ(code, serial_error::kConnectTimeout);
    {
        const std::lock_guard<std::mutex> lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();

    auto unknown = [](const char*, const char*, const addrinfo*, addrinfo** found) {
        *found = nullptr;
        return EAI_NONAME;
    };
    EXPECT_EQ(ConnectTcp(TcpAddress{"no-such-converter.invalid", 4001}, 2000, &code, unknown), -1);
    EXPECT_EQ(code, serial_error::kUnreachable);
}

}  // namespace
