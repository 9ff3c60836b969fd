#pragma once

#include <netdb.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace b6409 {

// getaddrinfo's shape, so that a test can stand in for the system's name service.
using AddressResolver = std::function<int(const char* host, const char* service,
                                          const addrinfo* hints, addrinfo** found)>;

struct AddressListFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListFree>;

struct NameLookup {
    enum class Outcome { Found, NotFound, TimedOut } outcome = Outcome::NotFound;
    AddressList addresses;  // when Found
};

// Resolves the host and service by the deadline. The name service may take far longer than a
// connection is given (its own time-outs run to many seconds), so the lookup runs on a thread
// of its own; one still running at the deadline is left to finish and free what it found.
NameLookup LookUpBy(const std::string& host, const std::string& service, const addrinfo& hints,
                    std::chrono::steady_clock::time_point deadline,
                    const AddressResolver& resolver = getaddrinfo);

}  // namespace b6409
