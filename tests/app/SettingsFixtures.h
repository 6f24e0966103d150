#pragma once
// Builders for small settings files, so each test states the groups it needs in a few lines.

#include <string>
#include <vector>

#include "platform/FileSystem.h"
#include "platform/PropertyList.h"

namespace pagewell::testing_settings {

inline PlistValue setting(const std::string& key, PlistValue value,
                          const std::string& uiType = "switch", const std::string& alt = {}) {
    PlistDict dict{{"key", key}, {"alt", alt.empty() ? key + " title" : alt}, {"value", value}};
    if (!uiType.empty()) {
        dict["uitype"] = uiType;
    }
    return dict;
}

inline PlistValue group(const std::string& key, PlistArray settings, bool visible = true,
                        const std::string& alt = {}) {
    return PlistDict{{"key", key},
                     {"alt", alt.empty() ? key + " title" : alt},
                     {"visible", visible},
                     {"settings", std::move(settings)}};
}

inline PlistValue settingsFile(PlistArray groups) {
    return PlistDict{{"Groups", std::move(groups)}};
}

inline void writePlist(const std::filesystem::path& path, const PlistValue& value) {
    if (!FileSystem::writeFileAtomically(path, PropertyList::toXml(value)).ok()) {
        std::abort();
    }
}

}  // namespace pagewell::testing_settings
