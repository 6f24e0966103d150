#include "sync/LocaleImporter.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "platform/Logger.h"
#include "store/CurrentSelection.h"
#include "store/FindOrCreateBatch.h"
#include "store/User.h"

namespace pagewell {

namespace {

std::optional<std::string> textOf(const nlohmann::json& properties, const char* key) {
    auto found = properties.find(key);
    if (found == properties.end() || found->is_null()) {
        return std::nullopt;
    }
    if (found->is_string()) {
        return found->get<std::string>();
    }
    return found->dump();
}

Error importError(const char* description) {
    return Error::make(kAppErrorDomain, -1, description);
}

}  // namespace

std::optional<std::int64_t> LocaleImporter::identifier(const nlohmann::json& value) {
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_string()) {
        const std::string& text = value.get_ref<const std::string&>();
        std::int64_t parsed = 0;
        auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), parsed);
        if (failure == std::errc() && end == text.data() + text.size() && !text.empty()) {
            return parsed;
        }
    }
    return std::nullopt;
}

Status LocaleImporter::setProperties(StoreContext& context, Locale& locale,
                                     const nlohmann::json& properties,
                                     std::optional<std::int64_t> userKey) {
    if (properties.is_null() || !properties.is_object()) {
        PW_LOG_ERROR(kNilProperties);
        return importError(kNilProperties);
    }
    auto id = properties.contains("id") ? identifier(properties["id"]) : std::nullopt;
    if (!id) {
        PW_LOG_ERROR(kNoValidID);
        return importError(kNoValidID);
    }
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    locale.cmsID = *id;
    locale.title = textOf(properties, "title");
    locale.iso_full = textOf(properties, "iso_full");
    locale.iso5 = textOf(properties, "iso5");
    locale.iso2 = textOf(properties, "iso2");
    if (Status written = locale.update(context); !written.ok()) {
        return written;
    }
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (userKey) {
        return locale.addUser(context, *userKey);
    }
    return {};
}

Result<std::vector<Locale>> LocaleImporter::importLocalesWithJSON(
    StoreContext& context, const nlohmann::json& answer, std::optional<std::int64_t> userKey) {
    if (!answer.is_object() || !answer.contains("items") || !answer["items"].is_array()) {
        PW_LOG_ERROR(kNoItems);
        return importError(kNoItems);
    }
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    std::vector<Locale> imported;
    {
        // One save for the whole list instead of one per entry.
        FindOrCreateBatch batch(context);
        if (!batch.begun().ok()) {
            return batch.begun().error();
        }
        for (const nlohmann::json& item : answer["items"]) {
            auto id =
                item.is_object() && item.contains("id") ? identifier(item["id"]) : std::nullopt;
            if (!id) {
                PW_LOG_ERROR("{}", item.is_object() ? kNoValidID : kNilProperties);
                continue;
            }
            auto found = Locale::localeWithID(context, *id, userKey);
            if (!found.ok()) {
                PW_LOG_ERROR_VALUE(found.error());
                context.rollback();
                return found.error();
            }
            Locale locale = found.value();
            if (Status set = setProperties(context, locale, item, userKey); !set.ok()) {
                context.rollback();
                return set.error();
            }
            imported.push_back(std::move(locale));
        }
        if (userKey) {
            // Languages the server no longer assigns to this user are not the user's any more.
            std::set<std::int64_t> listed;
            for (const Locale& locale : imported) {
                listed.insert(locale.pk);
            }
            User user;
            user.pk = *userKey;
            auto held = user.localeKeys(context);
            if (!held.ok()) {
                context.rollback();
                return held.error();
            }
            for (std::int64_t key : held.value()) {
                if (listed.count(key) != 0) {
                    continue;
                }
                Locale stale;
                stale.pk = key;
                if (Status begun = context.beginWrite(); !begun.ok()) {
                    return begun.error();
                }
                if (Status removed = stale.removeUser(context, *userKey); !removed.ok()) {
                    context.rollback();
                    return removed.error();
                }
            }
        }
        if (Status saved = batch.commit(); !saved.ok()) {
            return saved.error();
        }
    }
    return imported;
}

}  // namespace pagewell
