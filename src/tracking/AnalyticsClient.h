#pragma once
// Where a service tracker hands its calls: the service's name ("google", "firebase", "countly")
// and exactly the fields that service receives. Implementations deliver or record them.
//
// Threading: record() may be called from any thread.

#include <string>

#include <nlohmann/json.hpp>

namespace pagewell {

class AnalyticsClient {
  public:
    virtual ~AnalyticsClient() = default;
    virtual void record(const std::string& service, const nlohmann::json& fields) = 0;
};

}  // namespace pagewell
