#pragma once
// Receives the usage-tracking configuration fetched from the server. The tracking manager
// implements it.
//
// Threading: called on the main queue only.

#include <nlohmann/json.hpp>

namespace pagewell {

class TrackingConfiguring {
  public:
    virtual ~TrackingConfiguring() = default;
    // `config` is the answer's "config" object.
    virtual void setupTrackingWithConfigDict(const nlohmann::json& config) = 0;
};

}  // namespace pagewell
