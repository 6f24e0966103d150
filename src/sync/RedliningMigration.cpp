#include "sync/RedliningMigration.h"

#include <fmt/format.h>

#include <cstdint>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "platform/Logger.h"
#include "store/EntityRows.h"
#include "store/RedliningFileName.h"
#include "store/RedliningIdentifier.h"
#include "store/StoreContext.h"
#include "sync/MigrationSupport.h"

namespace pagewell {

namespace {

struct ShareFileRow {
    std::string salt;
    std::int64_t fileCmsID = 0;
    std::optional<std::string> ownerName;
};

// The users of every record of the server file (a store may still hold it twice).
Result<std::vector<std::string>> userNamesOfServerFile(StoreContext& context, std::int64_t cmsID) {
    return EntityRows::all<std::string>(
        context,
        "SELECT DISTINCT u.username FROM File f JOIN File_users m ON m.file = f.pk "
        "JOIN User u ON u.pk = m.user WHERE f.cmsID = ? AND u.username IS NOT NULL AND "
        "u.username <> '' ORDER BY u.pk",
        [](Statement& row) { return row.text(0); }, cmsID);
}

// Copies the file of `oldId` to each new id and removes it once every copy exists. A per-user
// file that is already there is newer work of that user and is kept as it is. Without any new
// id (nobody holds the file) the old file stays: nobody could see it, but it is still a
// user's work. False when anything failed (logged); the old file then stays for the next
// attempt.
bool moveToIds(const FileAreas& areas, const std::string& oldId,
               const std::vector<std::string>& newIds) {
    const std::filesystem::path from = RedliningMigration::redliningFilePath(areas, oldId);
    std::error_code error;
    if (newIds.empty() || !std::filesystem::is_regular_file(from, error)) {
        return true;
    }
    bool copied = true;
    for (const std::string& newId : newIds) {
        const std::filesystem::path to = RedliningMigration::redliningFilePath(areas, newId);
        if (to == from || std::filesystem::exists(to, error)) {
            continue;
        }
        if (Status copy = FileSystem::copyFileAtomically(from, to); !copy.ok()) {
            PW_LOG_ERROR_VALUE(copy.error());
            copied = false;
        }
    }
    if (!copied) {
        return false;
    }
    if (!std::filesystem::remove(from, error) && error) {
        PW_LOG_ERROR_VALUE(Error::fromErrno(error.value(), "cannot remove " + from.string()));
        return false;
    }
    return true;
}

Status migrateCatalogueFiles(StoreContext& context, const FileAreas& areas, bool& succeeded) {
    auto files = EntityRows::keys(
        context, "SELECT DISTINCT cmsID FROM File WHERE cmsID IS NOT NULL ORDER BY cmsID");
    if (!files.ok()) {
        return files.error();
    }
    for (std::int64_t cmsID : files.value()) {
        const std::string oldId = std::to_string(cmsID);
        if (!std::filesystem::exists(RedliningMigration::redliningFilePath(areas, oldId))) {
            continue;
        }
        auto users = userNamesOfServerFile(context, cmsID);
        if (!users.ok()) {
            return users.error();
        }
        std::vector<std::string> newIds;
        for (const std::string& user : users.value()) {
            newIds.push_back(RedliningIdentifier::forFile(static_cast<std::int32_t>(cmsID), user));
        }
        succeeded = moveToIds(areas, oldId, newIds) && succeeded;
    }
    return {};
}

Status migrateShareFiles(StoreContext& context, const FileAreas& areas, bool& succeeded) {
    auto items = EntityRows::all<ShareFileRow>(
        context,
        "SELECT s.redliningSalt, f.cmsID, u.username FROM ShareFile s "
        "JOIN File f ON f.pk = s.file LEFT JOIN User u ON u.pk = s.user "
        "WHERE f.cmsID IS NOT NULL ORDER BY s.pk",
        [](Statement& row) {
            return ShareFileRow{row.optionalText(0).value_or(std::string()), row.integer(1),
                                row.optionalText(2)};
        });
    if (!items.ok()) {
        return items.error();
    }
    for (const ShareFileRow& item : items.value()) {
        const std::string oldId = fmt::format("{}_{}", item.salt, item.fileCmsID);
        if (!std::filesystem::exists(RedliningMigration::redliningFilePath(areas, oldId))) {
            continue;
        }
        // A basket item belongs to its owner; an item without one goes to the file's users.
        std::vector<std::string> users;
        if (item.ownerName && !item.ownerName->empty()) {
            users.push_back(*item.ownerName);
        } else {
            auto fileUsers = userNamesOfServerFile(context, item.fileCmsID);
            if (!fileUsers.ok()) {
                return fileUsers.error();
            }
            users = std::move(fileUsers.value());
        }
        std::vector<std::string> newIds;
        for (const std::string& user : users) {
            newIds.push_back(RedliningIdentifier::forShareFile(
                item.salt, static_cast<std::int32_t>(item.fileCmsID), user));
        }
        succeeded = moveToIds(areas, oldId, newIds) && succeeded;
    }
    return {};
}

}  // namespace

std::filesystem::path RedliningMigration::redliningDirectory(const FileAreas& areas) {
    return areas.documents() / kDirectoryName;
}

std::filesystem::path RedliningMigration::redliningFilePath(const FileAreas& areas,
                                                            std::string_view documentId) {
    return redliningDirectory(areas) / RedliningFileName::fileName(documentId);
}

bool RedliningMigration::migrateRedliningFiles() {
    if (MigrationSupport::isDone(kDoneFlag)) {
        return true;
    }
    StoreContext* context = MigrationSupport::mainContext();
    if (context == nullptr) {
        return false;
    }
    if (!migrateRedliningFiles(*context, FileAreas::shared()).ok()) {
        return false;
    }
    MigrationSupport::markDone(kDoneFlag);
    return true;
}

Status RedliningMigration::migrateRedliningFiles(StoreContext& context, const FileAreas& areas) {
    std::error_code error;
    if (!std::filesystem::is_directory(redliningDirectory(areas), error)) {
        return {};
    }
    bool succeeded = true;
    if (Status files = migrateCatalogueFiles(context, areas, succeeded); !files.ok()) {
        PW_LOG_ERROR_VALUE(files.error());
        return files;
    }
    if (Status items = migrateShareFiles(context, areas, succeeded); !items.ok()) {
        PW_LOG_ERROR_VALUE(items.error());
        return items;
    }
    if (!succeeded) {
        return Error::make(kAppErrorDomain, 1, "some annotation files could not be moved");
    }
    return {};
}

}  // namespace pagewell
