#pragma once
// The setting groups and keys that the rest of the application reads and writes, as they
// stand in the settings files. Titles, order and default values live in the shipped
// DefaultSettings.plist; only these identifiers are fixed in code.

namespace pagewell::settings {

// Groups.
inline constexpr const char* kLogGroup = "LOG";
inline constexpr const char* kLoginGroup = "LOGIN_SETTINGS";
inline constexpr const char* kLogoutGroup = "LOGOUT_SETTINGS";
inline constexpr const char* kOfflineGroup = "OFFLINE_SETTINGS";
inline constexpr const char* kLocaleGroup = "LOCALE";
inline constexpr const char* kLocationGroup = "LOCATION_SETTINGS";
inline constexpr const char* kFileSharingGroup = "FILESHARING_SETTINGS";
inline constexpr const char* kRedliningGroup = "REDLINING_SETTINGS";
inline constexpr const char* kSyncGroup = "SYNC_SETTINGS";
inline constexpr const char* kTrackingGroup = "TRACKING_SETTINGS";
inline constexpr const char* kVersionInfosGroup = "VERSION_INFOS";
inline constexpr const char* kImprintGroup = "IMPRINT";

// Keys, with the group that holds them.
inline constexpr const char* kLogHttpTraffic = "LOG_HTTP_TRAFFIC";           // LOG
inline constexpr const char* kSendLog = "SEND_LOG";                          // LOG, action
inline constexpr const char* kLoginSavePassword = "LOGIN_SAVE_PASSWORD";     // LOGIN_SETTINGS
inline constexpr const char* kLogoutInterval = "LOGOUT_INTERVAL";            // LOGOUT_SETTINGS
inline constexpr const char* kOfflineMode = "OFFLINEMODE";                   // OFFLINE_SETTINGS
inline constexpr const char* kAlwaysAskForLocale = "ALWAYS_ASK_FOR_LOCALE";  // LOCALE
inline constexpr const char* kAutoSelectLocation = "AUTO_SELECT_LOCATION";   // LOCATION_SETTINGS
inline constexpr const char* kSendAsFile = "SEND_AS_FILE";                   // FILESHARING_SETTINGS
inline constexpr const char* kSendMailCopy = "SEND_MAIL_COPY";               // FILESHARING_SETTINGS
inline constexpr const char* kUnreadShareLinkReminder =
    "UNREAD_SHARE_LINK_REMINDER";                                                // FILESHARING
inline constexpr const char* kUnreadShareLinksDays = "UNREAD_SHARE_LINKS_DAYS";  // FILESHARING
inline constexpr const char* kAutoSaveRedlining = "AUTO_SAVE_REDLINING";  // REDLINING_SETTINGS
inline constexpr const char* kAutoSync = "AUTO_SYNC";                     // SYNC_SETTINGS
inline constexpr const char* kSyncInterval = "SYNC_INTERVAL";             // SYNC_SETTINGS
inline constexpr const char* kResetSync = "RESET_SYNC";                   // SYNC, action
inline constexpr const char* kResetTimestamps = "RESET_TIMESTAMPS";       // SYNC, action
inline constexpr const char* kResetReadConfirmations = "RESET_READ_CONFIRMATIONS";  // SYNC, action
inline constexpr const char* kTrackingEnabled = "TRACKING_ENABLED";  // TRACKING_SETTINGS

// Members of the settings file's dictionaries.
inline constexpr const char* kGroupsMember = "Groups";
inline constexpr const char* kKeyMember = "key";
inline constexpr const char* kAltMember = "alt";
inline constexpr const char* kVisibleMember = "visible";
inline constexpr const char* kSettingsMember = "settings";
inline constexpr const char* kUiTypeMember = "uitype";
inline constexpr const char* kValueMember = "value";
inline constexpr const char* kTextMember = "text";

// Values of "uitype"; any other value, or none, shows the value as text.
inline constexpr const char* kSwitchUiType = "switch";
inline constexpr const char* kStepperUiType = "stepper";

}  // namespace pagewell::settings
