#include "redlining/RedliningColor.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>

namespace pagewell {

namespace {
int byte(double component) {
    return static_cast<int>(std::lround(std::clamp(component, 0.0, 1.0) * 255.0));
}
}  // namespace

std::string RedliningColor::hex() const {
    return fmt::format("#{:02X}{:02X}{:02X}{:02X}", byte(red), byte(green), byte(blue),
                       byte(alpha));
}

}  // namespace pagewell
