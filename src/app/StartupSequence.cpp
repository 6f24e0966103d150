#include "app/StartupSequence.h"

#include "platform/Logger.h"

namespace pagewell {

std::string_view StartupSequence::name(StartupStep step) {
    switch (step) {
        case StartupStep::ManagedDeviceIntegration:
            return "managed-device integration";
        case StartupStep::Logging:
            return "logging";
        case StartupStep::NotificationRegistration:
            return "notification registration";
        case StartupStep::Store:
            return "store";
        case StartupStep::Settings:
            return "settings";
        case StartupStep::HttpTrafficLog:
            return "HTTP traffic log";
        case StartupStep::Migrations:
            return "migrations";
        case StartupStep::MainWindow:
            return "main window";
        case StartupStep::InitialView:
            return "initial view";
    }
    return "unknown";
}

void StartupSequence::setStep(StartupStep step, Action action) {
    actions_[static_cast<std::size_t>(step)] = std::move(action);
}

Status StartupSequence::run() {
    completed_.clear();
    failed_.reset();
    for (StartupStep step : kOrder) {
        const Action& action = actions_[static_cast<std::size_t>(step)];
        if (action) {
            Status status = action();
            if (!status.ok()) {
                failed_ = step;
                PW_LOG_ERROR("Start-up step \"{}\" failed: {}", name(step),
                             status.error().toString());
                return status;
            }
        }
        completed_.push_back(step);
    }
    return {};
}

}  // namespace pagewell
