#include "redlining/RedliningLanguageSwitcher.h"

#include "app/LanguageSwitcher.h"
#include "app/ShippedResources.h"
#include "platform/PropertyList.h"

namespace pagewell {

std::map<std::string, std::string>& RedliningLanguageSwitcher::tableFor(
    const std::string& language) {
    static std::map<std::string, std::map<std::string, std::string>> tables;
    auto found = tables.find(language);
    if (found != tables.end()) {
        return found->second;
    }
    std::map<std::string, std::string> table;
    auto read = PropertyList::readFile(
        (ShippedResources::directory() / (language + ".lproj") / "Redlining.plist").string());
    if (read.ok() && read.value().dict()) {
        for (const auto& [key, value] : *read.value().dict()) {
            if (value.isString()) {
                table[key] = value.stringValue();
            }
        }
    }
    return tables.emplace(language, std::move(table)).first->second;
}

std::string RedliningLanguageSwitcher::get(const std::string& key, const std::string& alter) {
    const auto& table = tableFor(LanguageSwitcher::shared().getCurrentLanguage());
    auto found = table.find(key);
    return found == table.end() ? alter : found->second;
}

}  // namespace pagewell
