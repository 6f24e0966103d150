#include "cms/FaultInjector.h"

namespace pagewell::cms {

std::optional<Fault::Kind> Fault::kindNamed(const std::string& name) {
    if (name == "status") {
        return Kind::Status;
    }
    if (name == "empty") {
        return Kind::Empty;
    }
    if (name == "stall") {
        return Kind::Stall;
    }
    if (name == "drop") {
        return Kind::Drop;
    }
    return std::nullopt;
}

void FaultInjector::arm(Fault fault) {
    std::lock_guard lock(mutex_);
    faults_.push_back(std::move(fault));
}

void FaultInjector::clear() {
    std::lock_guard lock(mutex_);
    faults_.clear();
}

std::optional<Fault> FaultInjector::take(const std::string& path) {
    std::lock_guard lock(mutex_);
    for (auto it = faults_.begin(); it != faults_.end(); ++it) {
        if (path.rfind(it->prefix, 0) != 0) {
            continue;
        }
        Fault fault = *it;
        if (--it->remaining <= 0) {
            faults_.erase(it);
        }
        return fault;
    }
    return std::nullopt;
}

void FaultInjector::stall(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    stopped_.wait_for(lock, duration, [&] { return stopping_; });
}

void FaultInjector::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
}

}  // namespace pagewell::cms
