#include "cms/CatalogueState.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>

#include "cms/CataloguePaths.h"
#include "platform/Clock.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

// A catalogue date ("2024-05-01 10:00:00", local time); none when it does not read.
std::optional<std::chrono::system_clock::time_point> localDate(const std::string& text) {
    std::tm parsed{};
    const char* end = strptime(text.c_str(), "%Y-%m-%d %H:%M:%S", &parsed);
    if (end == nullptr || *end != '\0') {
        return std::nullopt;
    }
    parsed.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&parsed));
}

template <class T>
bool contains(const std::vector<T>& values, const T& value) {
    return std::find(values.begin(), values.end(), value) != values.end();
}

bool allows(const std::optional<std::vector<int>>& users, int user) {
    return !users || contains(*users, user);
}

// Server dates: a text, or JSON null for "no date".
json dateValue(const std::string& text) {
    return text.empty() ? json(nullptr) : json(text);
}

json idTexts(const std::vector<int>& ids) {
    json list = json::array();
    for (int id : ids) {
        list.push_back(std::to_string(id));
    }
    return list;
}

std::string lowercase(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return lower;
}

Error notFound(const std::string& what) {
    return Error::make(CatalogueState::kErrorDomain, CatalogueState::kNotFound, what);
}

}  // namespace

CatalogueState::CatalogueState(Catalogue catalogue) : catalogue_(std::move(catalogue)) {
    loadRevision_ = std::chrono::duration_cast<std::chrono::milliseconds>(
                        Clock::shared().now().time_since_epoch())
                        .count();
    revision_ = loadRevision_;
    for (const auto& file : catalogue_.files) {
        fileChanged_[file.id] = loadRevision_;
    }
    for (const auto& category : catalogue_.categories) {
        categoryChanged_[{category.id, category.locale}] = loadRevision_;
        categoryAdded_[{category.id, category.locale}] = loadRevision_;
    }
}

CatalogueState::Revision CatalogueState::revision() const {
    std::lock_guard lock(mutex_);
    return revision_;
}

void CatalogueState::read(const std::function<void(const Catalogue&)>& reader) const {
    std::lock_guard lock(mutex_);
    reader(catalogue_);
}

std::optional<CatalogueUser> CatalogueState::userWithCredentials(std::string_view username,
                                                                 std::string_view password) const {
    std::lock_guard lock(mutex_);
    const CatalogueUser* user = catalogue_.userNamed(username);
    if (user == nullptr || user->password != password) {
        return std::nullopt;
    }
    return *user;
}

std::optional<CatalogueUser> CatalogueState::user(int id) const {
    std::lock_guard lock(mutex_);
    const CatalogueUser* found = catalogue_.user(id);
    return found ? std::optional<CatalogueUser>(*found) : std::nullopt;
}

CatalogueState::Revision CatalogueState::advance() {
    // Every change goes through here, so the address index is rebuilt after any of them.
    served_.reset();
    return ++revision_;
}

std::optional<CatalogueState::Revision> CatalogueState::effectiveSince(
    std::optional<Revision> since) const {
    // A revision this run never handed out cannot be answered with changes.
    if (!since || *since < loadRevision_ || *since > revision_) {
        return std::nullopt;
    }
    return since;
}

bool CatalogueState::userHasLocale(int user, int locale) const {
    const CatalogueUser* u = catalogue_.user(user);
    return u != nullptr && catalogue_.locale(locale) != nullptr && allows(u->locales, locale);
}

bool CatalogueState::categoryVisible(const CatalogueCategory& category, int user) const {
    return allows(category.users, user) && userHasLocale(user, category.locale);
}

bool CatalogueState::fileVisible(const CatalogueFile& file, int user, int locale) const {
    return contains(file.locales, locale) && allows(file.users, user) &&
           userHasLocale(user, locale);
}

bool CatalogueState::fileInCategory(const CatalogueFile& file, int category, int user,
                                    int locale) const {
    if (!fileVisible(file, user, locale)) {
        return false;
    }
    if (category == -1) {
        return contains(catalogue_.highlights, file.id);
    }
    const CatalogueCategory* c = catalogue_.category(category, locale);
    return c != nullptr && categoryVisible(*c, user) && contains(file.categories, category);
}

bool CatalogueState::fileChangedSince(int file, Revision since) const {
    auto it = fileChanged_.find(file);
    return it != fileChanged_.end() && it->second > since;
}

std::vector<int> CatalogueState::removedFiles(int category, int user, int locale,
                                              Revision since) const {
    std::set<int> ids;
    for (const auto& t : tombstones_) {
        if (t.kind != Tombstone::Kind::FileRemoved || t.revision <= since) {
            continue;
        }
        if ((t.category != 0 && t.category != category) || (t.user != 0 && t.user != user) ||
            (t.locale != 0 && t.locale != locale)) {
            continue;
        }
        const CatalogueFile* file = catalogue_.file(t.id);
        if (file == nullptr || !fileInCategory(*file, category, user, locale)) {
            ids.insert(t.id);
        }
    }
    return {ids.begin(), ids.end()};
}

std::vector<int> CatalogueState::deletedFiles(Revision since) const {
    std::set<int> ids;
    for (const auto& t : tombstones_) {
        if (t.kind == Tombstone::Kind::FileDeleted && t.revision > since) {
            ids.insert(t.id);
        }
    }
    return {ids.begin(), ids.end()};
}

std::string CatalogueState::fileLocation(const CatalogueFile& file) const {
    return file.location.empty() ? Catalogue::defaultLocation(file.id, file.path) : file.location;
}

std::string CatalogueState::localeList(int user) const {
    std::lock_guard lock(mutex_);
    json items = json::array();
    for (const auto& locale : catalogue_.locales) {
        if (!userHasLocale(user, locale.id)) {
            continue;
        }
        items.push_back({{"id", std::to_string(locale.id)},
                         {"title", locale.title},
                         {"iso_full", locale.isoFull},
                         {"iso5", locale.iso5},
                         {"iso2", locale.iso2}});
    }
    return json{{"items", items}, {"timestamp", std::to_string(revision_)}}.dump();
}

std::string CatalogueState::categoryList(int user, int locale,
                                         std::optional<Revision> requested) const {
    std::lock_guard lock(mutex_);
    const auto since = effectiveSince(requested);
    json items = json::array();
    json sortings = json::array();
    for (const auto& category : catalogue_.categories) {
        if (category.locale != locale || !categoryVisible(category, user)) {
            continue;
        }
        if (since && categoryChanged_.at({category.id, locale}) <= *since) {
            continue;
        }
        std::vector<int> children, parents;
        for (const auto& other : catalogue_.categories) {
            if (other.locale == locale && contains(other.parents, category.id) &&
                categoryVisible(other, user)) {
                children.push_back(other.id);
            }
        }
        for (int parent : category.parents) {
            const CatalogueCategory* p = catalogue_.category(parent, locale);
            if (p != nullptr && categoryVisible(*p, user)) {
                parents.push_back(parent);
            }
        }
        items.push_back({{"id", std::to_string(category.id)},
                         {"title", category.title},
                         {"time_modified", dateValue(category.modified)},
                         {"child_ids", idTexts(children)},
                         {"parent_ids", idTexts(parents)}});
        for (const auto& position : category.positions) {
            sortings.push_back({{"id", std::to_string(position.sortingId)},
                                {"category_id", std::to_string(category.id)},
                                {"parent_category_id", std::to_string(position.parent)},
                                {"locale_id", std::to_string(locale)},
                                {"position", position.position}});
        }
    }
    json answer = {
        {"items", items}, {"sortings", sortings}, {"timestamp", std::to_string(revision_)}};
    if (since) {
        std::set<int> deleted, removed;
        for (const auto& t : tombstones_) {
            if (t.revision <= *since || (t.locale != 0 && t.locale != locale)) {
                continue;
            }
            if (t.kind == Tombstone::Kind::CategoryDeleted) {
                deleted.insert(t.id);
            } else if (t.kind == Tombstone::Kind::CategoryRemoved && t.user == user) {
                const CatalogueCategory* c = catalogue_.category(t.id, locale);
                if (c == nullptr || !categoryVisible(*c, user)) {
                    removed.insert(t.id);
                }
            }
        }
        answer["delete"] = idTexts({deleted.begin(), deleted.end()});
        answer["removed"] = idTexts({removed.begin(), removed.end()});
    }
    return answer.dump();
}

std::string CatalogueState::categoryModified(int user, int locale,
                                             std::optional<Revision> requested) const {
    std::lock_guard lock(mutex_);
    const auto since = effectiveSince(requested);
    std::vector<int> added, modified;
    std::set<int> deleted, removed;
    // The files changed since the client's timestamp and the deletions are the same for every
    // category: find them once, so a large catalogue's change answer does not walk every file
    // once per category.
    std::vector<const CatalogueFile*> changedFiles;
    bool filesDeleted = false;
    if (since) {
        for (const auto& file : catalogue_.files) {
            if (fileChangedSince(file.id, *since)) {
                changedFiles.push_back(&file);
            }
        }
        filesDeleted = !deletedFiles(*since).empty();
    }
    for (const auto& category : catalogue_.categories) {
        if (category.locale != locale || !categoryVisible(category, user)) {
            continue;
        }
        if (!since || categoryAdded_.at({category.id, locale}) > *since) {
            added.push_back(category.id);
            continue;
        }
        bool changed = filesDeleted || categoryChanged_.at({category.id, locale}) > *since ||
                       !removedFiles(category.id, user, locale, *since).empty();
        for (const CatalogueFile* file : changedFiles) {
            if (changed) {
                break;
            }
            changed = fileInCategory(*file, category.id, user, locale);
        }
        if (changed) {
            modified.push_back(category.id);
        }
    }
    if (since) {
        for (const auto& t : tombstones_) {
            if (t.revision <= *since || (t.locale != 0 && t.locale != locale)) {
                continue;
            }
            if (t.kind == Tombstone::Kind::CategoryDeleted) {
                deleted.insert(t.id);
            } else if (t.kind == Tombstone::Kind::CategoryRemoved && t.user == user) {
                const CatalogueCategory* c = catalogue_.category(t.id, locale);
                if (c == nullptr || !categoryVisible(*c, user)) {
                    removed.insert(t.id);
                }
            }
        }
    }
    return json{{"added", idTexts(added)},
                {"modified", idTexts(modified)},
                {"deleted", idTexts({deleted.begin(), deleted.end()})},
                {"removed", idTexts({removed.begin(), removed.end()})},
                {"timestamp", std::to_string(revision_)}}
        .dump();
}

std::string CatalogueState::fileListAnswer(const std::vector<const CatalogueFile*>& files,
                                           int locale, int category, const char* itemsKey,
                                           std::optional<Revision> since, int user) const {
    json items = json::array();
    json thumbnails = json::array();
    json assets = json::array();
    json annotations = json::array();
    for (const CatalogueFile* file : files) {
        int position = 0;
        if (category == -1) {
            auto it =
                std::find(catalogue_.highlights.begin(), catalogue_.highlights.end(), file->id);
            position = static_cast<int>(it - catalogue_.highlights.begin());
        } else if (auto it = file->positions.find(category); it != file->positions.end()) {
            position = it->second;
        }
        std::vector<int> annotationIds;
        for (const auto& annotation : file->annotations) {
            annotationIds.push_back(annotation.id);
            json assetIds = json::array();
            for (const auto& asset : annotation.assets) {
                assetIds.push_back(asset.id);
                assets.push_back({{"id", std::to_string(asset.id)},
                                  {"annotation_id", annotation.id},
                                  {"url", Catalogue::assetLocation(asset.id, asset.path)},
                                  {"type", asset.type},
                                  {"biggest_file_size", asset.size},
                                  {"annotation_position", asset.position}});
            }
            annotations.push_back(
                {{"id", annotation.id}, {"page", annotation.page}, {"asset_ids", assetIds}});
        }
        const bool hasThumbnail = !file->thumbnailPath.empty();
        if (hasThumbnail) {
            thumbnails.push_back(
                {{"id", std::to_string(file->id)},
                 {"file_location", Catalogue::thumbnailLocation(file->id, file->thumbnailPath)},
                 {"file_modified", dateValue(file->modified)},
                 {"file_size", file->thumbnailSize}});
        }
        auto override = contentOverrides_.find(file->id);
        const std::uint64_t size =
            override == contentOverrides_.end() ? file->size : override->second.size();
        items.push_back(
            {{"id", std::to_string(file->id)},
             {"title", file->titleFor(locale)},
             {"file_location", fileLocation(*file)},
             {"file_mime_type", file->mimeType},
             {"file_size", size},
             {"orientation", file->orientation},
             {"published_for_form_factor", file->formFactor},
             {"time_created", dateValue(file->created)},
             {"time_modified", dateValue(file->modified)},
             {"shareable", file->shareable ? 1 : 0},
             {"time_publication_period_start", dateValue(file->publishStart)},
             {"time_publication_period_end", dateValue(file->publishEnd)},
             {"time_is_highlight_period_start", dateValue(file->highlightStart)},
             {"time_is_highlight_period_end", dateValue(file->highlightEnd)},
             {"readconfirmation", file->needsReadConfirmation ? 1 : 0},
             {"metatags", file->metatags},
             {"is_highlight", contains(catalogue_.highlights, file->id) ? 1 : 0},
             {"position", position},
             {"thumbnail_id", hasThumbnail ? json(std::to_string(file->id)) : json(nullptr)},
             {"annotation_ids", annotationIds},
             {"beacons", idTexts(file->beacons)},
             {"customers", idTexts(file->customers)},
             {"customergroups", idTexts(file->customerGroups)},
             {"customerGroups", idTexts(file->customerGroups)},
             {"qrcodes", idTexts(file->qrcodes)}});
    }
    json answer = {{itemsKey, items},
                   {"thumbnails", thumbnails},
                   {"assets", assets},
                   {"annotations", annotations},
                   {"timestamp", std::to_string(revision_)}};
    if (since) {
        answer["remove"] = idTexts(removedFiles(category, user, locale, *since));
        answer["delete"] = idTexts(deletedFiles(*since));
    }
    return answer.dump();
}

Result<std::string> CatalogueState::categoryItems(int user, int locale, int category,
                                                  std::optional<Revision> requested) const {
    std::lock_guard lock(mutex_);
    const CatalogueCategory* c = catalogue_.category(category, locale);
    if (c == nullptr || !categoryVisible(*c, user)) {
        return notFound("no category " + std::to_string(category) + " in locale " +
                        std::to_string(locale));
    }
    const auto since = effectiveSince(requested);
    std::vector<const CatalogueFile*> files;
    for (const auto& file : catalogue_.files) {
        if (fileInCategory(file, category, user, locale) &&
            (!since || fileChangedSince(file.id, *since))) {
            files.push_back(&file);
        }
    }
    return fileListAnswer(files, locale, category, "items", since, user);
}

std::string CatalogueState::highlightList(int user, int locale,
                                          std::optional<Revision> requested) const {
    std::lock_guard lock(mutex_);
    const auto since = effectiveSince(requested);
    std::vector<const CatalogueFile*> files;
    for (int id : catalogue_.highlights) {
        const CatalogueFile* file = catalogue_.file(id);
        if (file != nullptr && fileVisible(*file, user, locale) &&
            (!since || fileChangedSince(id, *since))) {
            files.push_back(file);
        }
    }
    return fileListAnswer(files, locale, -1, "highlights", since, user);
}

std::string CatalogueState::search(int user, int locale, std::string_view keyword) const {
    std::lock_guard lock(mutex_);
    const std::string needle = lowercase(keyword);
    std::vector<const CatalogueFile*> files;
    for (const auto& file : catalogue_.files) {
        if (!fileVisible(file, user, locale)) {
            continue;
        }
        bool match = lowercase(file.titleFor(locale)).find(needle) != std::string::npos;
        for (const auto& tag : file.metatags) {
            match = match || lowercase(tag).find(needle) != std::string::npos;
        }
        if (match && !needle.empty()) {
            files.push_back(&file);
        }
    }
    return fileListAnswer(files, locale, 0, "items", std::nullopt, user);
}

std::string CatalogueState::dump(int user, int locale) const {
    std::lock_guard lock(mutex_);
    json categories = json::array();
    std::set<int> fileIds;
    for (const auto& category : catalogue_.categories) {
        if (category.locale != locale || !categoryVisible(category, user)) {
            continue;
        }
        std::vector<int> ids;
        for (const auto& file : catalogue_.files) {
            if (fileInCategory(file, category.id, user, locale)) {
                ids.push_back(file.id);
                fileIds.insert(file.id);
            }
        }
        categories.push_back({{"id", std::to_string(category.id)}, {"file_ids", idTexts(ids)}});
    }
    return json{{"categories", categories},
                {"files", idTexts({fileIds.begin(), fileIds.end()})},
                {"timestamp", std::to_string(revision_)}}
        .dump();
}

std::string CatalogueState::imprint(int locale) const {
    std::lock_guard lock(mutex_);
    for (const auto& imprint : catalogue_.imprints) {
        if (imprint.locale != locale) {
            continue;
        }
        if (auto replaced = imprintTexts_.find(locale); replaced != imprintTexts_.end()) {
            return json{{"id", std::to_string(imprint.id)},
                        {"text", replaced->second ? json(*replaced->second) : json(nullptr)}}
                .dump();
        }
        return json{{"id", std::to_string(imprint.id)}, {"text", imprint.text}}.dump();
    }
    return json{{"id", nullptr}, {"text", nullptr}}.dump();
}

Result<std::string> CatalogueState::linkedFiles(int user, int locale, Proximity kind,
                                                int id) const {
    std::lock_guard lock(mutex_);
    auto listed = [id](const auto& entries) {
        return std::any_of(entries.begin(), entries.end(),
                           [id](const auto& entry) { return entry.id == id; });
    };
    bool exists = false;
    switch (kind) {
        case Proximity::Beacon:
            exists = listed(catalogue_.beacons);
            break;
        case Proximity::Customer:
            exists = listed(catalogue_.customers);
            break;
        case Proximity::CustomerGroup:
            exists = listed(catalogue_.customerGroups);
            break;
        case Proximity::QRCode:
            exists = listed(catalogue_.qrcodes);
            break;
    }
    if (!exists) {
        return notFound("no such entry " + std::to_string(id));
    }
    std::vector<const CatalogueFile*> files;
    for (const auto& file : catalogue_.files) {
        const std::vector<int>& links = kind == Proximity::Beacon     ? file.beacons
                                        : kind == Proximity::Customer ? file.customers
                                        : kind == Proximity::QRCode   ? file.qrcodes
                                                                      : file.customerGroups;
        if (contains(links, id) && fileVisible(file, user, locale)) {
            files.push_back(&file);
        }
    }
    return fileListAnswer(files, locale, 0, "items", std::nullopt, user);
}

namespace {

constexpr std::string_view kThumbs = "/media/thumbs/";

// "/media/thumbs/FILE/WIDTH/NAME" names the same image at any decimal width; the key leaves the
// width out. Empty for an address that is no such thumbnail address.
std::string thumbnailKey(std::string_view address) {
    if (address.substr(0, kThumbs.size()) != kThumbs) {
        return {};
    }
    std::string_view rest = address.substr(kThumbs.size());
    const auto firstSlash = rest.find('/');
    if (firstSlash == std::string_view::npos) {
        return {};
    }
    const auto secondSlash = rest.find('/', firstSlash + 1);
    if (secondSlash == std::string_view::npos) {
        return {};
    }
    const std::string_view width = rest.substr(firstSlash + 1, secondSlash - firstSlash - 1);
    const bool decimal =
        !width.empty() && width.size() <= 5 &&
        std::all_of(width.begin(), width.end(), [](char c) { return c >= '0' && c <= '9'; });
    // Widths are written without leading zeros; "0300" is no address the server hands out.
    if (!decimal || (width.size() > 1 && width.front() == '0')) {
        return {};
    }
    std::string key(kThumbs);
    key.append(rest.substr(0, firstSlash)).append("/*").append(rest.substr(secondSlash));
    return key;
}

}  // namespace

const std::unordered_map<std::string, CatalogueState::ServedAddress>&
CatalogueState::servedAddresses() const {
    if (served_) {
        return *served_;
    }
    auto& served = served_.emplace();
    // First entry wins, in the order the addresses were always looked up: files, thumbnails,
    // then assets.
    for (const auto& file : catalogue_.files) {
        served.try_emplace(fileLocation(file), ServedAddress{file.id, file.path, file.mimeType});
    }
    for (const auto& file : catalogue_.files) {
        if (!file.thumbnailPath.empty()) {
            const std::string extension =
                std::filesystem::path(file.thumbnailPath).extension().string();
            served.try_emplace(
                thumbnailKey(Catalogue::thumbnailLocation(file.id, file.thumbnailPath, 0)),
                ServedAddress{0, file.thumbnailPath,
                              extension == ".png" ? "image/png" : "image/jpeg"});
        }
    }
    for (const auto& file : catalogue_.files) {
        for (const auto& annotation : file.annotations) {
            for (const auto& asset : annotation.assets) {
                const std::string location = Catalogue::assetLocation(asset.id, asset.path);
                // Below the thumbnail prefix only thumbnails are served.
                if (location.rfind(kThumbs, 0) != 0) {
                    served.try_emplace(location,
                                       ServedAddress{0, asset.path, "application/octet-stream"});
                }
            }
        }
    }
    return served;
}

std::optional<DownloadItem> CatalogueState::download(std::string_view address) const {
    std::lock_guard lock(mutex_);
    const auto& served = servedAddresses();
    const bool thumbnail = address.substr(0, kThumbs.size()) == kThumbs;
    auto found = served.find(thumbnail ? thumbnailKey(address) : std::string(address));
    if (found == served.end()) {
        return std::nullopt;
    }
    const ServedAddress& target = found->second;
    // A catalogue file's content carries its modification date; images and assets none.
    std::optional<std::chrono::system_clock::time_point> modified;
    if (target.file != 0) {
        if (const CatalogueFile* file = catalogue_.file(target.file)) {
            modified = localDate(file->modified);
        }
    }
    if (target.file != 0) {
        if (auto it = contentOverrides_.find(target.file); it != contentOverrides_.end()) {
            return DownloadItem{{}, it->second, target.mimeType, modified};
        }
    }
    auto real = CataloguePaths::resolve(catalogue_.directory, target.path);
    if (!real.ok()) {
        return std::nullopt;
    }
    return DownloadItem{real.value(), std::nullopt, target.mimeType, modified};
}

std::string CatalogueState::now() const {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(Clock::shared().now());
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

void CatalogueState::touch(CatalogueFile& file, Revision revision) {
    std::string modified = now();
    if (modified <= file.modified && !file.modified.empty()) {
        // The client compares modification dates; a change must never look unchanged, even
        // when the clock stands still in a test.
        std::tm parsed{};
        strptime(file.modified.c_str(), "%Y-%m-%d %H:%M:%S", &parsed);
        parsed.tm_isdst = -1;
        std::time_t later = std::mktime(&parsed) + 1;
        localtime_r(&later, &parsed);
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &parsed);
        modified = text;
    }
    file.modified = modified;
    fileChanged_[file.id] = revision;
}

Status CatalogueState::touchFile(int id) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    touch(*file, advance());
    return {};
}

Status CatalogueState::changeFileContent(int id, std::string content) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    contentOverrides_[id] = std::move(content);
    touch(*file, advance());
    return {};
}

Status CatalogueState::moveFile(int id) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    const Revision revision = advance();
    const std::string current = fileLocation(*file);
    file->location = "/media/files/" + std::to_string(id) + "/r" + std::to_string(revision) +
                     current.substr(current.rfind('/'));
    touch(*file, revision);
    return {};
}

Status CatalogueState::addFile(const NewFile& wanted) {
    std::lock_guard lock(mutex_);
    if (wanted.id <= 0 || catalogue_.file(wanted.id) != nullptr) {
        return Error::make(kErrorDomain, kConflict,
                           "file id " + std::to_string(wanted.id) + " is taken or invalid");
    }
    if (wanted.locales.empty()) {
        return Error::make(kErrorDomain, kInvalid, "a new file needs a locale");
    }
    for (int locale : wanted.locales) {
        if (catalogue_.locale(locale) == nullptr) {
            return notFound("no locale " + std::to_string(locale));
        }
    }
    for (int category : wanted.categories) {
        bool exists = std::any_of(wanted.locales.begin(), wanted.locales.end(),
                                  [&](int l) { return catalogue_.category(category, l); });
        if (!exists) {
            return notFound("no category " + std::to_string(category));
        }
    }
    CatalogueFile file;
    file.id = wanted.id;
    file.title = wanted.title;
    file.path = wanted.name.empty() ? "file-" + std::to_string(wanted.id) : wanted.name;
    file.location = Catalogue::defaultLocation(wanted.id, file.path);
    file.mimeType = wanted.mimeType.empty() ? "application/octet-stream" : wanted.mimeType;
    file.size = wanted.content.size();
    file.created = now();
    file.locales = wanted.locales;
    file.categories = wanted.categories;
    file.users = wanted.users;
    if (!wanted.thumbnail.empty()) {
        auto image = CataloguePaths::resolve(catalogue_.directory, wanted.thumbnail);
        std::error_code failed;
        const auto size = image.ok() ? std::filesystem::file_size(image.value(), failed) : 0;
        if (!image.ok() || failed) {
            return notFound("no thumbnail " + wanted.thumbnail);
        }
        file.thumbnailPath = wanted.thumbnail;
        file.thumbnailSize = size;
    }
    const Revision revision = advance();
    touch(file, revision);
    contentOverrides_[wanted.id] = wanted.content;
    catalogue_.files.push_back(std::move(file));
    if (wanted.highlight) {
        catalogue_.highlights.push_back(wanted.id);
    }
    return {};
}

Status CatalogueState::deleteFile(int id) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(catalogue_.files.begin(), catalogue_.files.end(),
                           [&](const CatalogueFile& f) { return f.id == id; });
    if (it == catalogue_.files.end()) {
        return notFound("no file " + std::to_string(id));
    }
    catalogue_.files.erase(it);
    std::erase(catalogue_.highlights, id);
    for (auto& folder : catalogue_.favoriteFolders) {
        std::erase(folder.files, id);
    }
    contentOverrides_.erase(id);
    fileChanged_.erase(id);
    tombstones_.push_back({advance(), Tombstone::Kind::FileDeleted, id, 0, 0, 0});
    return {};
}

Status CatalogueState::removeFileForUser(int id, int user) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    if (catalogue_.user(user) == nullptr) {
        return notFound("no user " + std::to_string(user));
    }
    if (!file->users) {
        file->users = std::vector<int>{};
        for (const auto& u : catalogue_.users) {
            file->users->push_back(u.id);
        }
    }
    std::erase(*file->users, user);
    tombstones_.push_back({advance(), Tombstone::Kind::FileRemoved, id, 0, 0, user});
    return {};
}

Status CatalogueState::removeFileFromCategory(int id, int category) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr || !contains(file->categories, category)) {
        return notFound("file " + std::to_string(id) + " is not in category " +
                        std::to_string(category));
    }
    std::erase(file->categories, category);
    file->positions.erase(category);
    tombstones_.push_back({advance(), Tombstone::Kind::FileRemoved, id, category, 0, 0});
    return {};
}

Status CatalogueState::addCategory(const NewCategory& wanted) {
    std::lock_guard lock(mutex_);
    if (wanted.id <= 0 || catalogue_.locale(wanted.locale) == nullptr) {
        return Error::make(kErrorDomain, kInvalid, "a new category needs an id and a locale");
    }
    if (catalogue_.category(wanted.id, wanted.locale) != nullptr) {
        return Error::make(kErrorDomain, kConflict,
                           "category " + std::to_string(wanted.id) + " exists");
    }
    for (int parent : wanted.parents) {
        if (catalogue_.category(parent, wanted.locale) == nullptr) {
            return notFound("no parent category " + std::to_string(parent));
        }
    }
    const Revision revision = advance();
    int nextSorting = 0;
    for (const auto& c : catalogue_.categories) {
        for (const auto& p : c.positions) {
            nextSorting = std::max(nextSorting, p.sortingId);
        }
    }
    CatalogueCategory category;
    category.id = wanted.id;
    category.locale = wanted.locale;
    category.title = wanted.title;
    category.modified = now();
    category.parents = wanted.parents;
    category.users = wanted.users;
    if (wanted.parents.empty()) {
        category.positions.push_back({++nextSorting, 0, 0});
    }
    for (int parent : wanted.parents) {
        category.positions.push_back({++nextSorting, parent, 0});
        // The parent's list of children changed with it.
        categoryChanged_[{parent, wanted.locale}] = revision;
    }
    categoryChanged_[{wanted.id, wanted.locale}] = revision;
    categoryAdded_[{wanted.id, wanted.locale}] = revision;
    catalogue_.categories.push_back(std::move(category));
    return {};
}

Status CatalogueState::deleteCategory(int id, int locale) {
    std::lock_guard lock(mutex_);
    const auto before = catalogue_.categories.size();
    std::erase_if(catalogue_.categories, [&](const CatalogueCategory& c) {
        return c.id == id && (locale == 0 || c.locale == locale);
    });
    if (catalogue_.categories.size() == before) {
        return notFound("no category " + std::to_string(id));
    }
    const Revision revision = advance();
    for (auto& other : catalogue_.categories) {
        if ((locale == 0 || other.locale == locale) && contains(other.parents, id)) {
            std::erase(other.parents, id);
            std::erase_if(other.positions,
                          [&](const CategoryPosition& p) { return p.parent == id; });
            categoryChanged_[{other.id, other.locale}] = revision;
        }
    }
    for (auto& file : catalogue_.files) {
        const bool stillSomewhere =
            std::any_of(file.locales.begin(), file.locales.end(),
                        [&](int l) { return catalogue_.category(id, l) != nullptr; });
        if (contains(file.categories, id) && !stillSomewhere) {
            std::erase(file.categories, id);
            file.positions.erase(id);
        }
    }
    tombstones_.push_back({revision, Tombstone::Kind::CategoryDeleted, id, 0, locale, 0});
    return {};
}

Status CatalogueState::removeCategoryForUser(int id, int locale, int user) {
    std::lock_guard lock(mutex_);
    CatalogueCategory* category = catalogue_.category(id, locale);
    if (category == nullptr) {
        return notFound("no category " + std::to_string(id));
    }
    if (catalogue_.user(user) == nullptr) {
        return notFound("no user " + std::to_string(user));
    }
    if (!category->users) {
        category->users = std::vector<int>{};
        for (const auto& u : catalogue_.users) {
            category->users->push_back(u.id);
        }
    }
    std::erase(*category->users, user);
    tombstones_.push_back({advance(), Tombstone::Kind::CategoryRemoved, id, 0, locale, user});
    return {};
}

Status CatalogueState::unassignAllLocales(int userId) {
    std::lock_guard lock(mutex_);
    auto it = std::find_if(catalogue_.users.begin(), catalogue_.users.end(),
                           [&](const CatalogueUser& u) { return u.id == userId; });
    if (it == catalogue_.users.end()) {
        return notFound("no user " + std::to_string(userId));
    }
    const Revision revision = advance();
    for (const auto& category : catalogue_.categories) {
        if (categoryVisible(category, userId)) {
            tombstones_.push_back({revision, Tombstone::Kind::CategoryRemoved, category.id, 0,
                                   category.locale, userId});
        }
    }
    for (const auto& file : catalogue_.files) {
        tombstones_.push_back({revision, Tombstone::Kind::FileRemoved, file.id, 0, 0, userId});
    }
    it->locales = std::vector<int>{};
    return {};
}

Status CatalogueState::setImprintText(int locale, std::optional<std::string> text) {
    std::lock_guard lock(mutex_);
    const bool exists =
        std::any_of(catalogue_.imprints.begin(), catalogue_.imprints.end(),
                    [locale](const CatalogueImprint& imprint) { return imprint.locale == locale; });
    if (!exists) {
        return notFound("no imprint in locale " + std::to_string(locale));
    }
    imprintTexts_[locale] = std::move(text);
    advance();
    return {};
}

Status CatalogueState::setFileLocation(int id, std::string location) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    if (location.empty() || location.front() != '/') {
        return Error::make(kErrorDomain, kInvalid, "a location is an address path");
    }
    file->location = std::move(location);
    touch(*file, advance());
    return {};
}

Status CatalogueState::setHighlight(int id, bool highlight, ServerDateText start,
                                    ServerDateText end) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    const bool listed = contains(catalogue_.highlights, id);
    if (highlight && !listed) {
        catalogue_.highlights.push_back(id);
    } else if (!highlight && listed) {
        std::erase(catalogue_.highlights, id);
    }
    file->highlightStart = std::move(start);
    file->highlightEnd = std::move(end);
    touch(*file, advance());
    return {};
}

Status CatalogueState::setPublication(int id, ServerDateText start, ServerDateText end) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    file->publishStart = std::move(start);
    file->publishEnd = std::move(end);
    touch(*file, advance());
    return {};
}

Status CatalogueState::setMetatags(int id, std::vector<std::string> metatags) {
    std::lock_guard lock(mutex_);
    CatalogueFile* file = catalogue_.file(id);
    if (file == nullptr) {
        return notFound("no file " + std::to_string(id));
    }
    file->metatags = std::move(metatags);
    touch(*file, advance());
    return {};
}

}  // namespace pagewell::cms
