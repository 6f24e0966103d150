#include "cli/SessionExpiryWatch.h"

#include "net/InterfaceManager.h"

namespace pagewell::cli {

SessionExpiryWatch::SessionExpiryWatch()
    : expired_(std::make_shared<bool>(false)),
      token_(NotificationCenter::shared().addObserver(
          InterfaceManager::kSessionExpiredNotification,
          [expired = expired_](const Notification&) { *expired = true; })) {}

SessionExpiryWatch::~SessionExpiryWatch() {
    NotificationCenter::shared().removeObserver(token_);
}

}  // namespace pagewell::cli
