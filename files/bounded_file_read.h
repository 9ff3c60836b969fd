#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace b6409 {

enum class BoundedReadStatus { Ok, CannotOpen, NotAFile, TooLarge, ReadFailed };

struct BoundedRead {
    BoundedReadStatus status = BoundedReadStatus::Ok;
    int error = 0;  // errno, when the file could not be opened or read
};

// Reads the whole of a regular file of at most `limit` bytes into `bytes`. Opening does not
// wait (a FIFO would wait for a writer that may never come), and nothing but a regular file is
// read: a device or a FIFO can deliver bytes without end. The size is checked again as the
// bytes come, since the file may grow and some files (those of /proc) tell no size at all.
BoundedRead ReadRegularFile(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes);

}  // namespace b6409
