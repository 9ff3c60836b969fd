// The forms a converter's TCP address may take, and the words a bad one is refused with.
#include "link/serial/tcp_address.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using b6409::ParseHostPort;
using b6409::ParseTcpAddress;

TEST(TcpAddress, ReadsTheFormsAUserWrites) {
    struct Case {
        const char* text;
        const char* host;  // nullptr: refused
        unsigned port;
        const char* errorPart;
    };
    const Case cases[] = {
        {"tcp://127.0.0.1:4001", "127.0.0.1", 4001, ""},
        {"tcp://[::1]:4001", "::1", 4001, ""},
        {"tcp://[fe80::1%eth0]:65535", "fe80::1%eth0", 65535, ""},
        {"tcp://converter-7.plant.example:23", "converter-7.plant.example", 23, ""},
        {"tcp://localhost:1", "localhost", 1, ""},
        {"/dev/ttyUSB0", nullptr, 0, "does not start with tcp://"},
        {"tcp://127.0.0.1", nullptr, 0, "needs a port"},
        {"tcp://127.0.0.1:", nullptr, 0, "a number, 0 to 65535"},
        {"tcp://127.0.0.1:65536", nullptr, 0, "a number, 0 to 65535"},
        {"tcp://127.0.0.1:40x1", nullptr, 0, "a number, 0 to 65535"},
        {"tcp://127.0.0.1:0", nullptr, 0, "port is 1 to 65535"},
        {"tcp://::1:4001", nullptr, 0, "goes in brackets"},
        {"tcp://[::1:4001", nullptr, 0, "lacks its ']'"},
        {"tcp://[::1]4001", nullptr, 0, "needs a port"},
        {"tcp://[10.0.0.5]:4001", nullptr, 0, "no IPv6 address"},
        {"tcp://:4001", nullptr, 0, "no host"},
        {"tcp://host/path:4001", nullptr, 0, "no host"},
        {"tcp://user@host:4001", nullptr, 0, "no host"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string error;
        const auto address = ParseTcpAddress(c.text, &error);
        if (!c.host) {
            EXPECT_FALSE(address);
            EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(address) << error;
        EXPECT_EQ(address->host, c.host);
        EXPECT_EQ(address->port, c.port);
    }
}

TEST(TcpAddress, AListeningAddressMayAskForAnyPortAndPrintsAsItIsRead) {
    std::string error;
    const auto any = ParseHostPort("127.0.0.1:0", &error);
    ASSERT_TRUE(any) << error;
    EXPECT_EQ(any->port, 0);
    const auto v6 = ParseHostPort("[::1]:4001", &error);
    ASSERT_TRUE(v6) << error;
    EXPECT_EQ(b6409::FormatHostPort(*v6), "[::1]:4001");
}

}  // namespace
