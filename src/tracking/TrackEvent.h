#pragma once
// One usage event: its kind, a free-text label, an optional value and the screen that raised it.
// Kinds 1 to 6 are login, logout and the four document events; any other kind travels as
// "unknown".

#include <cstdint>
#include <optional>
#include <string>

namespace pagewell {

class TrackEvent {
  public:
    TrackEvent(std::int32_t type, std::string label, std::optional<double> value,
               std::string screenName);
    static TrackEvent eventWithType(std::int32_t type, std::string label,
                                    std::optional<double> value, std::string screenName) {
        return TrackEvent(type, std::move(label), value, std::move(screenName));
    }

    std::int32_t trackEventType() const { return type_; }
    const std::string& label() const { return label_; }
    const std::optional<double>& value() const { return value_; }
    const std::string& screenName() const { return screenName_; }

    // The action name: "login", "logout", "docOpen", "docDownload", "docFavorite", "docShare",
    // else "unknown".
    std::string eventTypeString() const;
    // "Login" and "Logout" for the session events, `localeTitle` for the document events,
    // "unknown" otherwise.
    std::string category(const std::string& localeTitle) const;
    // "screen: S, type: A, label: L, value: V" (V is "(null)" without a value).
    std::string description() const;

    // Hands the event to the process-wide tracking manager.
    void track() const;

  private:
    std::int32_t type_;
    std::string label_;
    std::optional<double> value_;
    std::string screenName_;
};

}  // namespace pagewell
