#include "store/FileSizeText.h"

#include <array>
#include <cstdio>

namespace pagewell {

std::string FileSizeText::stringFromFileSize(std::uint64_t bytes) {
    static constexpr std::array<const char*, 4> kUnits = {"bytes", "KB", "MB", "GB"};
    auto value = static_cast<long double>(bytes);
    for (const char* unit : kUnits) {
        if (value < 1024.0L) {
            std::array<char, 64> buffer{};
            const int length = std::snprintf(buffer.data(), buffer.size(), "%.1Lf %s", value, unit);
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        value *= 0.0009765625L;  // 1/1024, exact in binary
    }
    return "extremely large";
}

std::string FileSizeText::stringForCompleteFilesize(std::optional<std::uint64_t> completeFileSize) {
    return completeFileSize ? stringFromFileSize(*completeFileSize) : std::string("0.0 bytes");
}

}  // namespace pagewell
