#include "link/serial/name_lookup.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace b6409 {

namespace {

// What the lookup thread and the caller share; whoever is last frees it.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    bool abandoned = false;  // the caller stopped waiting: the thread frees the result
    int status = 0;
    addrinfo* found = nullptr;
};

}  // namespace

NameLookup LookUpBy(const std::string& host, const std::string& service, const addrinfo& hints,
                    std::chrono::steady_clock::time_point deadline,
                    const AddressResolver& resolver) {
    auto pending = std::make_shared<PendingLookup>();
    std::thread([pending, host, service, hints, resolver] {
        addrinfo* found = nullptr;
        const int status = resolver(host.c_str(), service.c_str(), &hints, &found);
        const std::lock_guard<std::mutex> lock(pending->mutex);
        if (pending->abandoned) {
            if (found) freeaddrinfo(found);
            return;
        }
        pending->status = status;
        pending->found = found;
        pending->done = true;
        pending->finished.notify_one();
    }).detach();

    NameLookup lookup;
    std::unique_lock<std::mutex> lock(pending->mutex);
    if (!pending->finished.wait_until(lock, deadline, [&pending] { return pending->done; })) {
        pending->abandoned = true;
        lookup.outcome = NameLookup::Outcome::TimedOut;
        return lookup;
    }
    lookup.addresses.reset(pending->found);
    if (pending->status == 0 && pending->found) lookup.outcome = NameLookup::Outcome::Found;
    return lookup;
}

}  // namespace b6409
