#pragma once
// Notes whether the session expired (a token renewal failed, which posts
// InterfaceManager::kSessionExpiredNotification) while the watch lives. Main thread only: the
// notification is posted on the main queue, where the flag is read.

#include <memory>

#include "platform/NotificationCenter.h"

namespace pagewell::cli {

class SessionExpiryWatch {
  public:
    SessionExpiryWatch();
    ~SessionExpiryWatch();
    SessionExpiryWatch(const SessionExpiryWatch&) = delete;
    SessionExpiryWatch& operator=(const SessionExpiryWatch&) = delete;

    bool expired() const { return *expired_; }

  private:
    std::shared_ptr<bool> expired_;
    NotificationCenter::Token token_;
};

}  // namespace pagewell::cli
