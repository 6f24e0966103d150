#include "cms/FaultInjector.h"

#include <algorithm>
#include <nlohmann/json.hpp>

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
    if (name == "hold") {
        return Kind::Hold;
    }
    if (name == "hang") {
        return Kind::Hang;
    }
    if (name == "answer") {
        return Kind::Answer;
    }
    if (name == "trickle") {
        return Kind::Trickle;
    }
    if (name == "nest") {
        return Kind::Nest;
    }
    if (name == "pad") {
        return Kind::Pad;
    }
    if (name == "strip") {
        return Kind::Strip;
    }
    return std::nullopt;
}

bool Fault::altersAnswer() const {
    return kind == Kind::Nest || kind == Kind::Pad || kind == Kind::Strip;
}

std::string FaultInjector::alter(const Fault& fault, std::string body) {
    const std::size_t open = body.find_first_not_of(" \t\r\n");
    if (open == std::string::npos || body[open] != '{') {
        return body;
    }
    if (fault.kind == Fault::Kind::Strip) {
        auto answer = nlohmann::json::parse(body, nullptr, false);
        for (const char* list : {"items", "highlights"}) {
            auto entries = answer.find(list);
            if (answer.is_discarded() || entries == answer.end() || !entries->is_array()) {
                continue;
            }
            for (auto& entry : *entries) {
                for (const auto& key : fault.keys) {
                    if (entry.is_object()) {
                        entry.erase(key);
                    }
                }
            }
        }
        return answer.is_discarded() ? body : answer.dump();
    }
    std::string member;
    if (fault.kind == Fault::Kind::Nest) {
        const auto depth = static_cast<std::size_t>(std::max(0, fault.depth));
        member = "\"nested\":" + std::string(depth, '[') + std::string(depth, ']');
    } else if (fault.kind == Fault::Kind::Pad) {
        member = "\"padding\":\"" + std::string(fault.bytes, 'x') + "\"";
    } else {
        return body;
    }
    const std::size_t next = body.find_first_not_of(" \t\r\n", open + 1);
    const bool empty = next != std::string::npos && body[next] == '}';
    body.insert(open + 1, empty ? member : member + ",");
    return body;
}

void FaultInjector::arm(Fault fault) {
    std::lock_guard lock(mutex_);
    if (fault.kind == Fault::Kind::Hold || fault.kind == Fault::Kind::Hang) {
        releaseAll_ = false;
        releases_ = 0;
        mostHeld_ = held_;
        arrived_ = 0;
    }
    faults_.push_back(std::move(fault));
}

void FaultInjector::clear() {
    {
        std::lock_guard lock(mutex_);
        faults_.clear();
        releaseAll_ = true;
    }
    stopped_.notify_all();
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

void FaultInjector::hold() {
    std::unique_lock lock(mutex_);
    ++held_;
    ++arrived_;
    mostHeld_ = std::max(mostHeld_, held_);
    stopped_.notify_all();  // for waitForHeld
    stopped_.wait(lock, [&] { return stopping_ || releaseAll_ || releases_ > 0; });
    if (releases_ > 0 && !stopping_ && !releaseAll_) {
        --releases_;
    }
    --held_;
    lock.unlock();
    stopped_.notify_all();
}

FaultInjector::HoldCount FaultInjector::waitForHeld(int held, int arrived,
                                                    std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    stopped_.wait_for(lock, timeout,
                      [&] { return stopping_ || (held_ == held && arrived_ == arrived); });
    return {held_, mostHeld_, arrived_};
}

void FaultInjector::release(int count) {
    {
        std::lock_guard lock(mutex_);
        releases_ += std::max(0, count);
    }
    stopped_.notify_all();
}

FaultInjector::HoldCount FaultInjector::holdCount() {
    std::lock_guard lock(mutex_);
    return {held_, mostHeld_, arrived_};
}

void FaultInjector::stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopped_.notify_all();
}

}  // namespace pagewell::cms
