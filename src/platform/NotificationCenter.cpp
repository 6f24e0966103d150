#include "platform/NotificationCenter.h"

#include <algorithm>
#include <thread>
#include <utility>

namespace pagewell {

namespace {

std::mutex gSharedCenterMutex;
std::shared_ptr<NotificationCenter>& sharedCenterSlot() {
    static std::shared_ptr<NotificationCenter> center;
    return center;
}

}  // namespace

struct NotificationCenter::Registration {
    Token token = 0;
    std::optional<std::string> name;  // nullopt: every name
    Observer observer;
    // Both guarded by the centre's mutex_.
    bool active = true;
    std::vector<std::thread::id> callers;  // one entry per call under way
};

NotificationCenter::Token NotificationCenter::addObserver(std::string name, Observer observer) {
    return add(std::move(name), std::move(observer));
}

NotificationCenter::Token NotificationCenter::addObserverForAllNames(Observer observer) {
    return add(std::nullopt, std::move(observer));
}

NotificationCenter::Token NotificationCenter::add(std::optional<std::string> name,
                                                  Observer observer) {
    auto registration = std::make_shared<Registration>();
    registration->name = std::move(name);
    registration->observer = std::move(observer);
    std::lock_guard lock(mutex_);
    registration->token = nextToken_++;
    registrations_.push_back(std::move(registration));
    return registrations_.back()->token;
}

void NotificationCenter::removeObserver(Token token) {
    std::unique_lock lock(mutex_);
    auto found = std::find_if(
        registrations_.begin(), registrations_.end(),
        [token](const std::shared_ptr<Registration>& entry) { return entry->token == token; });
    if (found == registrations_.end()) {
        return;
    }
    auto registration = *found;
    registration->active = false;
    registrations_.erase(found);
    // Calls on other threads are waited for, so that the caller may free what the observer uses;
    // a call on this thread is the observer removing itself and must not wait for itself.
    const auto self = std::this_thread::get_id();
    callEnded_.wait(lock, [&] {
        return std::all_of(registration->callers.begin(), registration->callers.end(),
                           [self](std::thread::id caller) { return caller == self; });
    });
}

void NotificationCenter::post(std::string name, std::any userInfo) {
    post(Notification{std::move(name), std::move(userInfo)});
}

void NotificationCenter::post(const Notification& notification) {
    std::vector<std::shared_ptr<Registration>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& registration : registrations_) {
            if (!registration->name || *registration->name == notification.name) {
                matching.push_back(registration);
            }
        }
    }
    const auto self = std::this_thread::get_id();
    for (const auto& registration : matching) {
        {
            std::lock_guard lock(mutex_);
            if (!registration->active) {
                continue;
            }
            registration->callers.push_back(self);
        }
        // Ends the call's record even if the observer throws, so removeObserver cannot hang.
        struct CallRecord {
            NotificationCenter& center;
            Registration& registration;
            std::thread::id caller;
            ~CallRecord() {
                std::lock_guard lock(center.mutex_);
                auto& callers = registration.callers;
                callers.erase(std::find(callers.begin(), callers.end(), caller));
                center.callEnded_.notify_all();
            }
        } record{*this, *registration, self};
        registration->observer(notification);
    }
}

NotificationCenter& NotificationCenter::shared() {
    return *sharedPointer();
}

std::shared_ptr<NotificationCenter> NotificationCenter::sharedPointer() {
    std::lock_guard lock(gSharedCenterMutex);
    auto& slot = sharedCenterSlot();
    if (!slot) {
        slot = std::make_shared<NotificationCenter>();
    }
    return slot;
}

void NotificationCenter::setShared(std::shared_ptr<NotificationCenter> center) {
    std::lock_guard lock(gSharedCenterMutex);
    sharedCenterSlot() = center ? std::move(center) : std::make_shared<NotificationCenter>();
}

}  // namespace pagewell
