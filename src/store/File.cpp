#include "store/File.h"

#include <mutex>

#include "platform/Logger.h"
#include "platform/NotificationCenter.h"
#include "store/CurrentSelection.h"
#include "store/EntityLocks.h"
#include "store/EntityRows.h"
#include "store/FileSizes.h"
#include "store/FindOrCreateBatch.h"
#include "store/PersistentStore.h"
#include "store/RedliningIdentifier.h"
#include "store/Resource.h"
#include "store/ShareFile.h"
#include "store/StoreHooks.h"
#include "store/StoredPath.h"
#include "store/Thumbnail.h"

namespace pagewell {

namespace {

// Absent booleans read as false, here and in every predicate below (IFNULL(x, 0)).
#define PW_FILE_COLUMNS                                                                      \
    "f.pk, f.cmsID, f.title, f.fileURL, f.filePath, f.mimeType, f.size, f.created, "         \
    "f.modified, f.position, f.orientation, f.formFactor, f.shareable, f.publishStart, "     \
    "f.publishEnd, IFNULL(f.highlight, 0), f.highlightStart, f.highlightEnd, f.metatags, "   \
    "IFNULL(f.downloaded, 0), IFNULL(f.updateAvailable, 0), f.needsReadConfirmation, "       \
    "IFNULL(f.didSendReadConfirmation, 0), f.confirmationDate, f.thumbnail, f.contentETag, " \
    "f.contentLastModified "

File readFile(const Statement& row) {
    File file;
    file.pk = row.integer(0);
    file.cmsID = row.optionalInteger(1);
    file.title = row.optionalText(2);
    file.fileURL = row.optionalText(3);
    file.filePath = row.optionalText(4);
    file.mimeType = row.optionalText(5);
    file.size = row.optionalInteger(6);
    file.created = row.optionalTime(7);
    file.modified = row.optionalTime(8);
    file.position = row.optionalInteger(9);
    file.orientation = row.optionalInteger(10);
    file.formFactor = row.optionalInteger(11);
    file.shareable = row.optionalInteger(12);
    file.publishStart = row.optionalTime(13);
    file.publishEnd = row.optionalTime(14);
    file.highlight = row.boolean(15);
    file.highlightStart = row.optionalTime(16);
    file.highlightEnd = row.optionalTime(17);
    file.metatags = row.optionalText(18);
    file.downloaded = row.boolean(19);
    file.updateAvailable = row.boolean(20);
    file.needsReadConfirmation = row.optionalInteger(21);
    file.didSendReadConfirmation = row.boolean(22);
    file.confirmationDate = row.optionalTime(23);
    file.thumbnail = row.optionalInteger(24);
    file.contentETag = row.optionalText(25);
    file.contentLastModified = row.optionalText(26);
    return file;
}

}  // namespace

const char* const File::kRowColumns = PW_FILE_COLUMNS;

File File::fromRow(const Statement& row) {
    return readFile(row);
}

namespace {

Result<StoreContext*> mainContext() {
    std::shared_ptr<PersistentStore> store = PersistentStore::shared();
    if (!store) {
        return Error::make(PersistentStore::kErrorDomain, 11, "the store is not open");
    }
    return &store->mainContext();
}

// Removes the local copy a stored path names (its absolute form), only inside the app's
// areas, once the context's changes commit; a failure is logged with the file's path.
void removeLocalCopy(StoreContext& context, const std::optional<std::string>& filePath) {
    if (filePath && !filePath->empty()) {
        StoredPath::removeStoredFileAfterCommit(context, *filePath,
                                                StoredPath::FailureLog::kFileAndError);
    }
}

std::int32_t asInt32(std::optional<std::int64_t> value) {
    return static_cast<std::int32_t>(value.value_or(0));
}

}  // namespace

Result<std::optional<File>> File::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<File>(context, "SELECT " PW_FILE_COLUMNS "FROM File f WHERE f.pk = ?",
                                   readFile, pk);
}

Result<std::optional<File>> File::findWithCmsID(StoreContext& context, std::int64_t cmsID) {
    return EntityRows::first<File>(
        context, "SELECT " PW_FILE_COLUMNS "FROM File f WHERE f.cmsID = ? ORDER BY f.pk LIMIT 1",
        readFile, cmsID);
}

Result<std::optional<File>> File::fileWithId(StoreContext& context, std::optional<std::int64_t> id,
                                             std::optional<std::int64_t> localeKey) {
    if (!id) {
        PW_LOG_ERROR("Cannot get file without id.");
        return std::optional<File>();
    }
    if (!localeKey) {
        localeKey = CurrentSelection::localeKey();
    }
    if (!localeKey) {
        PW_LOG_ERROR("Cannot get file without locale.");
        return std::optional<File>();
    }
    // The writer lock first, then the entity lock, in every find-or-create: a thread that
    // holds an entity lock never waits for the writer lock, so the two cannot deadlock. The
    // look-up runs inside the write transaction and therefore sees every committed record.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::File));
    auto found = findWithCmsID(context, *id);
    if (!found.ok()) {
        return found.error();
    }
    File file;
    if (found.value()) {
        file = std::move(*found.value());
    } else {
        file.cmsID = id;
        if (Status created = file.update(context); !created.ok()) {
            return created.error();
        }
    }
    if (Status added = file.addLocale(context, *localeKey); !added.ok()) {
        return added.error();
    }
    if (Status saved = FindOrCreateBatch::saveUnlessBatched(context); !saved.ok()) {
        return saved.error();
    }
    return std::optional<File>(std::move(file));
}

Result<std::optional<File>> File::fileWithId(std::optional<std::int64_t> id,
                                             std::optional<std::int64_t> localeKey) {
    auto context = mainContext();
    if (!context.ok()) {
        return context.error();
    }
    return fileWithId(*context.value(), id, localeKey);
}

Status File::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO File (cmsID, title, fileURL, filePath, mimeType, size, created, "
            "modified, position, orientation, formFactor, shareable, publishStart, publishEnd, "
            "highlight, highlightStart, highlightEnd, metatags, downloaded, updateAvailable, "
            "needsReadConfirmation, didSendReadConfirmation, confirmationDate, thumbnail, "
            "contentETag, contentLastModified) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
            cmsID, title, fileURL, filePath, mimeType, size, created, modified, position,
            orientation, formFactor, shareable, publishStart, publishEnd, highlight, highlightStart,
            highlightEnd, metatags, downloaded, updateAvailable, needsReadConfirmation,
            didSendReadConfirmation, confirmationDate, thumbnail, contentETag, contentLastModified);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(
        context, kEntity,
        "UPDATE File SET cmsID = ?, title = ?, fileURL = ?, filePath = ?, mimeType = ?, "
        "size = ?, created = ?, modified = ?, position = ?, orientation = ?, formFactor = ?, "
        "shareable = ?, publishStart = ?, publishEnd = ?, highlight = ?, highlightStart = ?, "
        "highlightEnd = ?, metatags = ?, downloaded = ?, updateAvailable = ?, "
        "needsReadConfirmation = ?, didSendReadConfirmation = ?, confirmationDate = ?, "
        "thumbnail = ?, contentETag = ?, contentLastModified = ? WHERE pk = ?",
        cmsID, title, fileURL, filePath, mimeType, size, created, modified, position, orientation,
        formFactor, shareable, publishStart, publishEnd, highlight, highlightStart, highlightEnd,
        metatags, downloaded, updateAvailable, needsReadConfirmation, didSendReadConfirmation,
        confirmationDate, thumbnail, contentETag, contentLastModified, pk);
}

Status File::prepareForDeletion(StoreContext& context) {
    return deleteFile(context);
}

Status File::deleteRecord(StoreContext& context) {
    // Opened first, so the removals on disk wait for this deletion's commit.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    if (Status prepared = prepareForDeletion(context); !prepared.ok()) {
        return prepared;
    }
    // The row takes its resources with it: their copies go first, and so does the file's own
    // copy when other users kept it, since no record would name it afterwards.
    if (Status resources = deleteResources(context); !resources.ok()) {
        return resources;
    }
    removeLocalCopy(context, filePath);
    if (Status deleted = EntityRows::write(context, kEntity, "DELETE FROM File WHERE pk = ?", pk);
        !deleted.ok()) {
        return deleted;
    }
    // A thumbnail no other file shows would keep its images on disk with nothing to name it.
    if (!thumbnail) {
        return {};
    }
    auto image = Thumbnail::find(context, *thumbnail);
    if (!image.ok()) {
        return image.error();
    }
    if (!image.value()) {
        return {};
    }
    auto shownBy = image.value()->fileKeys(context);
    if (!shownBy.ok()) {
        return shownBy.error();
    }
    return shownBy.value().empty() ? image.value()->deleteRecord(context) : Status{};
}

Result<std::vector<std::int64_t>> File::localeKeys(StoreContext& context) const {
    return EntityRows::keys(context,
                            "SELECT locale FROM File_locales WHERE file = ? ORDER BY locale", pk);
}

Status File::addLocale(StoreContext& context, std::int64_t localeKey) const {
    return EntityRows::write(context, kEntity,
                             "INSERT OR IGNORE INTO File_locales (file, locale) VALUES (?, ?)", pk,
                             localeKey);
}

Status File::removeLocale(StoreContext& context, std::int64_t localeKey) const {
    return EntityRows::write(
        context, kEntity, "DELETE FROM File_locales WHERE file = ? AND locale = ?", pk, localeKey);
}

Result<std::vector<std::int64_t>> File::userKeys(StoreContext& context) const {
    return EntityRows::keys(context, "SELECT user FROM File_users WHERE file = ? ORDER BY user",
                            pk);
}

Status File::addUser(StoreContext& context, std::int64_t userKey) const {
    return EntityRows::write(context, kEntity,
                             "INSERT OR IGNORE INTO File_users (file, user) VALUES (?, ?)", pk,
                             userKey);
}

Status File::removeUser(StoreContext& context, std::int64_t userKey) const {
    return EntityRows::write(context, kEntity, "DELETE FROM File_users WHERE file = ? AND user = ?",
                             pk, userKey);
}

Result<std::vector<std::int64_t>> File::categoryKeys(StoreContext& context) const {
    return EntityRows::keys(
        context, "SELECT category FROM File_categories WHERE file = ? ORDER BY category", pk);
}

Status File::addCategory(StoreContext& context, std::int64_t categoryKey) const {
    return EntityRows::write(context, kEntity,
                             "INSERT OR IGNORE INTO File_categories (file, category) VALUES (?, ?)",
                             pk, categoryKey);
}

Status File::removeCategory(StoreContext& context, std::int64_t categoryKey) const {
    return EntityRows::write(context, kEntity,
                             "DELETE FROM File_categories WHERE file = ? AND category = ?", pk,
                             categoryKey);
}

Result<std::vector<FileState>> File::fileStates(StoreContext& context) const {
    return EntityRows::records<FileState>(
        context, "SELECT pk FROM FileState WHERE file = ? ORDER BY pk", pk);
}

Result<std::vector<FileSorting>> File::fileSortings(StoreContext& context) const {
    return EntityRows::records<FileSorting>(
        context, "SELECT pk FROM FileSorting WHERE files = ? ORDER BY pk", pk);
}

Result<std::optional<FileState>> File::fileStateForUser(StoreContext& context,
                                                        std::int64_t userKey) const {
    return FileState::stateOfFile(context, pk, userKey);
}

Result<std::optional<FileState>> File::fileStateForCurrentUser(StoreContext& context) const {
    std::optional<std::int64_t> user = CurrentSelection::userKey();
    if (!user) {
        return std::optional<FileState>();
    }
    return fileStateForUser(context, *user);
}

Result<std::optional<FileState>> File::fileStateForCurrentUser() const {
    auto context = mainContext();
    if (!context.ok()) {
        return context.error();
    }
    return fileStateForCurrentUser(*context.value());
}

Result<FileState> File::makeFileStateForUser(StoreContext& context, std::int64_t userKey) const {
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun.error();
    }
    std::lock_guard lock(EntityLocks::forEntity(EntityLock::FileState));
    auto found = fileStateForUser(context, userKey);
    if (!found.ok()) {
        return found.error();
    }
    if (found.value()) {
        return *found.value();
    }
    FileState state;
    state.file = pk;
    state.user = userKey;
    if (Status inserted = state.update(context); !inserted.ok()) {
        return inserted.error();
    }
    return state;
}

Result<std::optional<FileState>> File::addFileStateForUser(
    StoreContext& context, std::optional<std::int64_t> userKey) const {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (!userKey) {
        return std::optional<FileState>();
    }
    auto state = makeFileStateForUser(context, *userKey);
    if (!state.ok()) {
        return state.error();
    }
    if (Status saved = FindOrCreateBatch::saveUnlessBatched(context); !saved.ok()) {
        return saved.error();
    }
    return std::optional<FileState>(state.value());
}

bool File::isPDFFile() const {
    return FileTypes::isPDFFile(fileURL.value_or(""), mimeType.value_or(""));
}

std::string File::getFileTypeString(const FileTypes::TextLookup& lookup) const {
    return FileTypes::getFileTypeString(fileURL.value_or(""), lookup);
}

Status File::readAttachedSizes(StoreContext& context, std::int32_t& thumbnailSize,
                               std::vector<std::int32_t>& resourceSizes) const {
    thumbnailSize = 0;
    if (thumbnail) {
        auto stored = EntityRows::first<std::optional<std::int64_t>>(
            context, "SELECT size FROM Thumbnail WHERE pk = ?",
            [](Statement& row) { return row.optionalInteger(0); }, *thumbnail);
        if (!stored.ok()) {
            return stored.error();
        }
        thumbnailSize = asInt32(stored.value().value_or(std::nullopt));
    }
    auto sizes = EntityRows::all<std::int32_t>(
        context, "SELECT size FROM Resource WHERE file = ? ORDER BY pk",
        [](Statement& row) { return asInt32(row.optionalInteger(0)); }, pk);
    if (!sizes.ok()) {
        return sizes.error();
    }
    resourceSizes = std::move(sizes.value());
    return {};
}

Result<std::int32_t> File::usedDiskSpace(StoreContext& context) const {
    if (downloaded) {
        return std::int32_t{0};
    }
    std::int32_t thumbnailSize = 0;
    std::vector<std::int32_t> resourceSizes;
    if (Status read = readAttachedSizes(context, thumbnailSize, resourceSizes); !read.ok()) {
        return read.error();
    }
    return FileSizes::usedDiskSpace(downloaded, asInt32(size), thumbnailSize, resourceSizes);
}

Result<std::uint64_t> File::completeFileSize(StoreContext& context) const {
    std::int32_t thumbnailSize = 0;
    std::vector<std::int32_t> resourceSizes;
    if (Status read = readAttachedSizes(context, thumbnailSize, resourceSizes); !read.ok()) {
        return read.error();
    }
    return FileSizes::completeFileSize(asInt32(size), thumbnailSize, resourceSizes);
}

void File::resetReadConfirmation() {
    didSendReadConfirmation = false;
    confirmationDate.reset();
}

std::optional<std::string> File::getUserRedliningId() const {
    std::optional<std::string> user = CurrentSelection::userName();
    if (!cmsID || !user) {
        return std::nullopt;
    }
    return RedliningIdentifier::forFile(static_cast<std::int32_t>(*cmsID), *user);
}

Status File::deleteFile(StoreContext& context) {
    NotificationCenter::shared().post(kFileDeletionEvent, DeletionEvent{pk, cmsID});

    auto state = fileStateForCurrentUser(context);
    if (!state.ok()) {
        return state.error();
    }
    if (state.value()) {
        state.value()->pretendDeletion = true;
        if (Status written = state.value()->update(context); !written.ok()) {
            return written;
        }
    }

    auto live = FileState::liveStatesOfFile(context, pk);
    if (!live.ok()) {
        return live.error();
    }
    if (live.value().empty()) {
        // Nobody keeps the file any more: the copy and the resources' copies go.
        downloaded = false;
        updateAvailable = false;
        if (filePath && !filePath->empty()) {
            removeLocalCopy(context, filePath);
            filePath.reset();
        }
        if (Status written = update(context); !written.ok()) {
            return written;
        }
        if (Status resources = deleteResources(context); !resources.ok()) {
            return resources;
        }
    }

    deleteRedliningFiles(context);
    return deleteShareFiles(context);
}

Status File::deleteForAllUsers(StoreContext& context) {
    if (Status written =
            EntityRows::write(context, FileState::kEntity,
                              "UPDATE FileState SET pretendDeletion = 0 WHERE file = ? AND "
                              "removedByServer = 0",
                              pk);
        !written.ok()) {
        return written;
    }
    downloaded = false;
    updateAvailable = false;
    if (Status written = update(context); !written.ok()) {
        return written;
    }
    removeLocalCopy(context, filePath);
    return context.save();
}

Status File::deleteForAllUsers() {
    auto context = mainContext();
    if (!context.ok()) {
        return context.error();
    }
    return deleteForAllUsers(*context.value());
}

void File::deleteRedliningFiles() const {
    if (std::optional<std::string> identifier = getUserRedliningId()) {
        StoreHooks::annotationSets()->removeAnnotationSet(*identifier);
    }
}

void File::deleteRedliningFiles(StoreContext& context) const {
    // The identifier names the user signed in now, not the one at commit time.
    if (std::optional<std::string> identifier = getUserRedliningId()) {
        context.afterCommit([identifier = *identifier] {
            StoreHooks::annotationSets()->removeAnnotationSet(identifier);
        });
    }
}

Status File::deleteShareFiles(StoreContext& context) const {
    // The basket items are deleted in the caller's context rather than in the main context:
    // the rows are the same, the main context belongs to the main thread, and while this
    // context holds the writer lock another context could not write before it saves.
    auto shareFiles = ShareFile::shareFilesOfFile(context, pk);
    if (!shareFiles.ok()) {
        return shareFiles.error();
    }
    for (ShareFile& shareFile : shareFiles.value()) {
        if (Status deleted = shareFile.deleteRecord(context); !deleted.ok()) {
            return deleted;
        }
    }
    return {};
}

Status File::deleteResources(StoreContext& context) const {
    auto resources = Resource::resourcesOfFile(context, pk);
    if (!resources.ok()) {
        return resources.error();
    }
    for (Resource& resource : resources.value()) {
        resource.deleteFile(context);
        if (!resource.downloaded && !resource.path) {
            continue;
        }
        // The copy is gone once this commits: the record must not claim it any more, or a
        // download would skip it and the viewer would look for it.
        resource.downloaded = false;
        resource.path.reset();
        if (Status written = resource.update(context); !written.ok()) {
            return written;
        }
    }
    return {};
}

Result<std::vector<File>> File::highlightFiles(StoreContext& context,
                                               std::optional<std::int64_t> userKey,
                                               std::optional<std::int64_t> localeKey) {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (!localeKey) {
        localeKey = CurrentSelection::localeKey();
    }
    // "highlight == 1", then kept where locales holds the locale and users the user
    return EntityRows::all<File>(
        context,
        "SELECT " PW_FILE_COLUMNS
        "FROM File f WHERE f.highlight = 1 AND EXISTS (SELECT 1 FROM File_locales l WHERE "
        "l.file = f.pk AND l.locale = ?) AND EXISTS (SELECT 1 FROM File_users u WHERE "
        "u.file = f.pk AND u.user = ?) ORDER BY f.pk",
        readFile, localeKey, userKey);
}

Result<std::vector<File>> File::filesOfCategory(StoreContext& context, std::int64_t categoryKey,
                                                std::optional<std::int64_t> userKey,
                                                std::optional<std::int64_t> localeKey) {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    if (!localeKey) {
        localeKey = CurrentSelection::localeKey();
    }
    // users CONTAINS %@ AND locales CONTAINS %@, over the category's files, sorted by title
    return EntityRows::all<File>(
        context,
        "SELECT " PW_FILE_COLUMNS
        "FROM File_categories m JOIN File f ON f.pk = m.file WHERE m.category = ? AND EXISTS "
        "(SELECT 1 FROM File_users u WHERE u.file = f.pk AND u.user = ?) AND EXISTS (SELECT 1 "
        "FROM File_locales l WHERE l.file = f.pk AND l.locale = ?) ORDER BY f.title, f.pk",
        readFile, categoryKey, userKey, localeKey);
}

Result<std::vector<File>> File::filesToDownload(StoreContext& context,
                                                std::optional<std::int64_t> userKey) {
    if (!userKey) {
        userKey = CurrentSelection::userKey();
    }
    // (downloaded = NO OR updateAvailable = YES) AND users CONTAINS %@
    return EntityRows::all<File>(
        context,
        "SELECT " PW_FILE_COLUMNS
        "FROM File f WHERE (IFNULL(f.downloaded, 0) = 0 OR f.updateAvailable = 1) AND EXISTS "
        "(SELECT 1 FROM File_users u WHERE u.file = f.pk AND u.user = ?) ORDER BY f.pk",
        readFile, userKey);
}

Result<std::vector<File>> File::filesWithUnsentConfirmation(StoreContext& context) {
    // needsReadConfirmation = 1 AND didSendReadConfirmation = 0 AND NOT confirmationDate = nil
    return EntityRows::all<File>(context,
                                 "SELECT " PW_FILE_COLUMNS
                                 "FROM File f WHERE f.needsReadConfirmation = 1 AND "
                                 "IFNULL(f.didSendReadConfirmation, 0) = 0 AND "
                                 "f.confirmationDate IS NOT NULL ORDER BY f.pk",
                                 readFile);
}

#undef PW_FILE_COLUMNS

}  // namespace pagewell
