#pragma once
// The current user and the installation's identifiers.
//
// The current user's name and store key, once resolved, are kept for the life of the process in
// CurrentSelection (which find-or-create and the queries read); "CURRENT_USER" in the user
// defaults carries the name across runs. A user becomes current only while the keychain holds
// that user's name or no name: a second user cannot slip in while another is still signed in.
//
// Threading: the operations without a context argument use the store's main context and belong
// to the main thread; the others run on the thread that owns the context passed in. UID(),
// pushToken() and setPushToken() may be called from any thread.

#include <optional>
#include <string>

#include "platform/Error.h"
#include "store/StoreContext.h"
#include "store/User.h"

namespace pagewell {

class AccountManager {
  public:
    // The current user in the main context of PersistentStore::shared(); none when nobody is
    // signed in or the store is not open.
    static std::optional<User> currentUser();
    // With a kept store key: that record in `context`. Otherwise the kept name or
    // "CURRENT_USER" is looked up; the user is returned (and its key kept) only when the name
    // equals the keychain's user name, else the kept name is forgotten and none is returned.
    static std::optional<User> currentUserInContext(StoreContext& context);

    // The kept name, else the current user's name, else the empty text.
    static std::string currentUsername();
    static std::string currentUsernameInContext(StoreContext& context);

    // None: logs "Cannot set current user to nil. Use logout method instead." and answers
    // false. Accepted only when the keychain's user name equals the user's name or is empty:
    // keeps name and key, writes "CURRENT_USER" and answers true. Otherwise logs "Cannot set
    // current user because '<keychain name>' is still logged in. Use logout method before."
    // and answers false.
    static bool setCurrentUser(const std::optional<User>& user);

    // The installation identifier "UID": an upper-case UUID made on first use and kept for ever.
    static std::string UID();

    // The device push token "PUSH_TOKEN"; reading it when absent logs
    // "Could not retrieve push token. Returning nil".
    static std::optional<std::string> pushToken();
    // None or empty removes it.
    static void setPushToken(const std::optional<std::string>& token);

    // The first User (by row order) whose username is `name`; none when there is none or the
    // lookup failed (logged).
    static std::optional<User> findUserNamed(StoreContext& context, const std::string& name);

    // Forgets the kept name and key (not "CURRENT_USER"); for tests that start a new "process".
    static void _forgetKeptUser();

    static constexpr const char* kCurrentUserKey = "CURRENT_USER";
    static constexpr const char* kUIDKey = "UID";
    static constexpr const char* kPushTokenKey = "PUSH_TOKEN";

    static constexpr const char* kNilUserMessage =
        "Cannot set current user to nil. Use logout method instead.";
    static constexpr const char* kStillLoggedInFormat =
        "Cannot set current user because '{}' is still logged in. Use logout method before.";
    static constexpr const char* kNoPushTokenMessage =
        "Could not retrieve push token. Returning nil";
};

}  // namespace pagewell
