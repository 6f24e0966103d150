#include "app/SettingsPlaceholders.h"

#include <string_view>
#include <utility>

namespace pagewell {

std::string SettingsPlaceholders::appVersion() {
    return PAGEWELL_VERSION;
}

// One left-to-right pass, so text coming from a replacement (a content-language title that
// happens to hold braces) is never taken for a placeholder itself.
std::string SettingsPlaceholders::replace(std::string text, const std::string& currentLocaleTitle) {
    const std::pair<std::string_view, std::string> replacements[] = {
        {kAppVersion, appVersion()},
        {kCurrentLocale, currentLocaleTitle},
        {kSendLog, {}},
        {kResetSync, {}},
        {kResetTimestamps, {}},
        {kResetReadConfirmations, {}},
        {kImprint, {}},
    };
    std::string result;
    result.reserve(text.size());
    std::string_view rest = text;
    while (!rest.empty()) {
        bool replaced = false;
        if (rest.front() == '{') {
            for (const auto& [placeholder, with] : replacements) {
                if (rest.starts_with(placeholder)) {
                    result += with;
                    rest.remove_prefix(placeholder.size());
                    replaced = true;
                    break;
                }
            }
        }
        if (!replaced) {
            result.push_back(rest.front());
            rest.remove_prefix(1);
        }
    }
    return result;
}

}  // namespace pagewell
