#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace b6409 {

enum class AtomicWriteResult { Ok, CreateFailed, WriteFailed };

// Writes the bytes to a temporary file beside the target and renames it over the target, so the
// target is either the old file or the whole new one. A target that exists but may not be
// written counts as one that cannot be created. A new file gets the usual permissions (0666
// less the umask); a replaced one keeps its own.
AtomicWriteResult WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace b6409
