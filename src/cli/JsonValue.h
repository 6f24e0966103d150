#pragma once
// Property-list values as JSON for --json output.

#include <nlohmann/json.hpp>

#include "platform/PropertyList.h"

namespace pagewell::cli {

nlohmann::json toJson(const PlistValue& value);

}  // namespace pagewell::cli
