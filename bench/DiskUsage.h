#pragma once
// What a benchmark run wrote to disk, to turn its time into a throughput.

#include <cstdint>
#include <filesystem>

namespace pagewell::bench {

// Bytes of every regular file below `directory` (0 when it does not exist).
std::uintmax_t bytesBelow(const std::filesystem::path& directory);

}  // namespace pagewell::bench
