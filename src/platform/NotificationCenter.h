#pragma once
// Named notifications inside the application ("LanguageSwitchEvent", "FileDeletionEvent",
// "kFDOProgressNotification_" + file ID, ...), each with an optional user-info value of any type.
// Observers register for one name or for all names and are called synchronously, on the posting
// thread, in the order they registered.
//
// Threading rule: every method may be called from any thread, and from inside an observer
// (posting again, adding or removing observers) without deadlock. Once removeObserver(token)
// has returned, that observer is not called again, and a call already running on another thread
// has ended; a call running on the remover's own thread (the observer removing itself) goes on
// to its end. An observer added during a delivery is first called by the next post. Because
// removal waits, an observer must not block on a thread that is removing it.

#include <any>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace pagewell {

struct Notification {
    std::string name;
    std::any userInfo;

    // The user info as a T, or nullptr when it holds no T.
    template <class T>
    const T* userInfoAs() const {
        return std::any_cast<T>(&userInfo);
    }
};

class NotificationCenter {
  public:
    using Token = std::uint64_t;
    using Observer = std::function<void(const Notification& notification)>;

    NotificationCenter() = default;
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    Token addObserver(std::string name, Observer observer);
    Token addObserverForAllNames(Observer observer);
    // Unknown or already removed tokens are ignored.
    void removeObserver(Token token);

    void post(std::string name, std::any userInfo = {});
    void post(const Notification& notification);

    // The process-wide centre: created on first use unless a test replaced it. setShared(nullptr)
    // installs a fresh centre.
    static NotificationCenter& shared();
    static std::shared_ptr<NotificationCenter> sharedPointer();
    static void setShared(std::shared_ptr<NotificationCenter> center);

  private:
    struct Registration;
    Token add(std::optional<std::string> name, Observer observer);

    std::mutex mutex_;
    std::condition_variable callEnded_;                         // signalled under mutex_
    Token nextToken_ = 1;                                       // guarded by mutex_
    std::vector<std::shared_ptr<Registration>> registrations_;  // guarded by mutex_
};

}  // namespace pagewell
