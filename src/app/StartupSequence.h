#pragma once
// The fixed order in which the app starts. Each step is a slot that the module owning it fills
// in; an empty slot does nothing and logs nothing. Main thread only.

#include <array>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace pagewell {

enum class StartupStep {
    ManagedDeviceIntegration,
    Logging,
    NotificationRegistration,
    Store,
    Settings,
    HttpTrafficLog,
    Migrations,
    MainWindow,
    InitialView,
};

class StartupSequence {
  public:
    using Action = std::function<Status()>;

    static constexpr std::array<StartupStep, 9> kOrder = {
        StartupStep::ManagedDeviceIntegration,
        StartupStep::Logging,
        StartupStep::NotificationRegistration,
        StartupStep::Store,
        StartupStep::Settings,
        StartupStep::HttpTrafficLog,
        StartupStep::Migrations,
        StartupStep::MainWindow,
        StartupStep::InitialView,
    };

    static std::string_view name(StartupStep step);

    // Replaces what the step does.
    void setStep(StartupStep step, Action action);

    // Runs the steps in order. A step that fails stops the sequence: later steps build on the
    // earlier ones. The failing step and its error are returned.
    Status run();

    // Steps that ran to completion, in order (empty slots included).
    const std::vector<StartupStep>& completedSteps() const { return completed_; }
    std::optional<StartupStep> failedStep() const { return failed_; }

  private:
    std::array<Action, kOrder.size()> actions_;
    std::vector<StartupStep> completed_;
    std::optional<StartupStep> failed_;
};

}  // namespace pagewell
