#include "store/Schema.h"

#include <string>

#include "platform/Logger.h"
#include "store/Database.h"

namespace pagewell {

namespace {

// Version 1: the catalogue model and the lead-capture model.
//
// Every table has the row key "pk"; to-one relationships are foreign-key columns named after
// the relationship, to-many/to-many relationships are join tables "<Entity>_<relationship>".
// Dates are REAL seconds since 1970 (absolute times). Deletion hooks (files on disk) run in
// code before a row is deleted; the foreign keys only clean up rows that cannot live alone.
// Identity rules are UNIQUE indexes, so even a writer that skipped its lock cannot create a
// second record. Where an identity column may be empty (FileSorting.categoryID for highlight
// sortings, a bookmark's owner), the index uses a value outside the 32-bit identifier range.
constexpr const char* kVersion1 = R"sql(
CREATE TABLE Locale (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, title TEXT, iso_full TEXT, iso5 TEXT, iso2 TEXT
);
CREATE UNIQUE INDEX Locale_identity ON Locale(cmsID);

CREATE TABLE User (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, username TEXT, passwordHash TEXT, secret TEXT
);
CREATE INDEX User_cmsID ON User(cmsID);
CREATE INDEX User_username ON User(username);

CREATE TABLE Thumbnail (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, fileURL TEXT, filePath TEXT, smallFilePath TEXT, modified REAL,
    size INTEGER, downloaded INTEGER
);

CREATE TABLE File (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, title TEXT, fileURL TEXT, filePath TEXT, mimeType TEXT, size INTEGER,
    created REAL, modified REAL, position INTEGER, orientation INTEGER, formFactor INTEGER,
    shareable INTEGER, publishStart REAL, publishEnd REAL, highlight INTEGER,
    highlightStart REAL, highlightEnd REAL, metatags TEXT, downloaded INTEGER,
    updateAvailable INTEGER, needsReadConfirmation INTEGER, didSendReadConfirmation INTEGER,
    confirmationDate REAL,
    thumbnail INTEGER REFERENCES Thumbnail(pk) ON DELETE SET NULL
);
CREATE UNIQUE INDEX File_identity ON File(cmsID);
CREATE INDEX File_thumbnail ON File(thumbnail);

CREATE TABLE FileCategory (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, localeID INTEGER, name TEXT, modified REAL, position INTEGER,
    locale INTEGER REFERENCES Locale(pk) ON DELETE SET NULL
);
CREATE UNIQUE INDEX FileCategory_identity ON FileCategory(cmsID, locale);
CREATE INDEX FileCategory_locale ON FileCategory(locale);

CREATE TABLE FileState (
    pk INTEGER PRIMARY KEY,
    read INTEGER, favorite INTEGER, pretendDeletion INTEGER, position INTEGER,
    sortIdManual INTEGER,
    file INTEGER REFERENCES File(pk) ON DELETE CASCADE,
    user INTEGER REFERENCES User(pk) ON DELETE CASCADE
);
CREATE UNIQUE INDEX FileState_identity ON FileState(file, user);
CREATE INDEX FileState_user ON FileState(user);

CREATE TABLE FileSorting (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, fileID INTEGER, categoryID INTEGER, localeID INTEGER, position INTEGER,
    created REAL, modified REAL,
    files INTEGER REFERENCES File(pk) ON DELETE CASCADE,
    fileState INTEGER REFERENCES FileState(pk) ON DELETE SET NULL
);
CREATE UNIQUE INDEX FileSorting_identity
    ON FileSorting(fileID, IFNULL(categoryID, -4294967296), localeID);
CREATE INDEX FileSorting_files ON FileSorting(files);
CREATE INDEX FileSorting_fileState ON FileSorting(fileState);

CREATE TABLE CategorySorting (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, parentCategoryID INTEGER, localeID INTEGER, position INTEGER,
    created REAL, modified REAL,
    category INTEGER REFERENCES FileCategory(pk) ON DELETE CASCADE
);
CREATE UNIQUE INDEX CategorySorting_identity ON CategorySorting(cmsID);
CREATE INDEX CategorySorting_category ON CategorySorting(category, parentCategoryID, localeID);

CREATE TABLE Resource (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, url TEXT, path TEXT, title TEXT, type INTEGER, size INTEGER,
    position INTEGER, pdfPage INTEGER, downloaded INTEGER,
    file INTEGER REFERENCES File(pk) ON DELETE CASCADE
);
CREATE INDEX Resource_file ON Resource(file);

CREATE TABLE ShareFile (
    pk INTEGER PRIMARY KEY,
    customTitle TEXT, date REAL, exportPages TEXT, localPath TEXT, hasRedlining INTEGER,
    redliningSalt TEXT, pretendDeletion INTEGER,
    file INTEGER REFERENCES File(pk) ON DELETE CASCADE,
    user INTEGER REFERENCES User(pk) ON DELETE CASCADE
);
CREATE INDEX ShareFile_file ON ShareFile(file);
CREATE INDEX ShareFile_user ON ShareFile(user);

CREATE TABLE ShareLink (
    pk INTEGER PRIMARY KEY,
    cmsID TEXT, uuid TEXT, url TEXT, recipients TEXT, date REAL, read INTEGER, synced INTEGER,
    shareFile INTEGER REFERENCES ShareFile(pk) ON DELETE CASCADE
);
CREATE INDEX ShareLink_shareFile ON ShareLink(shareFile);

CREATE TABLE FavoriteFolder (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, title TEXT, synced INTEGER, pretendDeletion INTEGER,
    user INTEGER REFERENCES User(pk) ON DELETE CASCADE,
    locale INTEGER REFERENCES Locale(pk) ON DELETE CASCADE
);
CREATE INDEX FavoriteFolder_owner ON FavoriteFolder(user, locale);

CREATE TABLE FavoriteFolderRelation (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, synced INTEGER, pretendDeletion INTEGER,
    folder INTEGER REFERENCES FavoriteFolder(pk) ON DELETE CASCADE,
    fileState INTEGER REFERENCES FileState(pk) ON DELETE CASCADE
);
CREATE UNIQUE INDEX FavoriteFolderRelation_identity ON FavoriteFolderRelation(fileState, folder);
CREATE INDEX FavoriteFolderRelation_folder ON FavoriteFolderRelation(folder);

CREATE TABLE Bookmark (
    pk INTEGER PRIMARY KEY,
    name TEXT, page INTEGER,
    file INTEGER REFERENCES File(pk) ON DELETE CASCADE,
    shareFile INTEGER REFERENCES ShareFile(pk) ON DELETE CASCADE
);
CREATE UNIQUE INDEX Bookmark_identity
    ON Bookmark(IFNULL(file, 0), IFNULL(shareFile, 0), name, page);

CREATE TABLE Imprint (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, text TEXT,
    locale INTEGER REFERENCES Locale(pk) ON DELETE SET NULL
);
CREATE UNIQUE INDEX Imprint_identity ON Imprint(cmsID);
CREATE INDEX Imprint_locale ON Imprint(locale);

CREATE TABLE Beacon (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, uuid TEXT, major INTEGER, minor INTEGER, name TEXT
);
CREATE UNIQUE INDEX Beacon_identity ON Beacon(cmsID);
CREATE INDEX Beacon_match ON Beacon(uuid, major, minor);

CREATE TABLE CustomerLocation (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, name TEXT, latitude TEXT, longitude TEXT
);
CREATE UNIQUE INDEX CustomerLocation_identity ON CustomerLocation(cmsID);

CREATE TABLE CustomerLocationGroup (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, name TEXT
);
CREATE UNIQUE INDEX CustomerLocationGroup_identity ON CustomerLocationGroup(cmsID);

CREATE TABLE QRCode (
    pk INTEGER PRIMARY KEY,
    cmsID INTEGER, name TEXT, text TEXT
);
CREATE UNIQUE INDEX QRCode_identity ON QRCode(cmsID);
CREATE INDEX QRCode_text ON QRCode(text);

-- to-many/to-many relationships
CREATE TABLE File_categories (
    file INTEGER NOT NULL REFERENCES File(pk) ON DELETE CASCADE,
    category INTEGER NOT NULL REFERENCES FileCategory(pk) ON DELETE CASCADE,
    PRIMARY KEY (file, category)
) WITHOUT ROWID;
CREATE INDEX File_categories_category ON File_categories(category);

CREATE TABLE File_locales (
    file INTEGER NOT NULL REFERENCES File(pk) ON DELETE CASCADE,
    locale INTEGER NOT NULL REFERENCES Locale(pk) ON DELETE CASCADE,
    PRIMARY KEY (file, locale)
) WITHOUT ROWID;
CREATE INDEX File_locales_locale ON File_locales(locale);

CREATE TABLE File_users (
    file INTEGER NOT NULL REFERENCES File(pk) ON DELETE CASCADE,
    user INTEGER NOT NULL REFERENCES User(pk) ON DELETE CASCADE,
    PRIMARY KEY (file, user)
) WITHOUT ROWID;
CREATE INDEX File_users_user ON File_users(user);

CREATE TABLE FileCategory_users (
    category INTEGER NOT NULL REFERENCES FileCategory(pk) ON DELETE CASCADE,
    user INTEGER NOT NULL REFERENCES User(pk) ON DELETE CASCADE,
    PRIMARY KEY (category, user)
) WITHOUT ROWID;
CREATE INDEX FileCategory_users_user ON FileCategory_users(user);

CREATE TABLE FileCategory_subcategories (
    parent INTEGER NOT NULL REFERENCES FileCategory(pk) ON DELETE CASCADE,
    child INTEGER NOT NULL REFERENCES FileCategory(pk) ON DELETE CASCADE,
    PRIMARY KEY (parent, child)
) WITHOUT ROWID;
CREATE INDEX FileCategory_subcategories_child ON FileCategory_subcategories(child);

CREATE TABLE Locale_users (
    locale INTEGER NOT NULL REFERENCES Locale(pk) ON DELETE CASCADE,
    user INTEGER NOT NULL REFERENCES User(pk) ON DELETE CASCADE,
    PRIMARY KEY (locale, user)
) WITHOUT ROWID;
CREATE INDEX Locale_users_user ON Locale_users(user);

CREATE TABLE File_beacons (
    file INTEGER NOT NULL REFERENCES File(pk) ON DELETE CASCADE,
    beacon INTEGER NOT NULL REFERENCES Beacon(pk) ON DELETE CASCADE,
    PRIMARY KEY (file, beacon)
) WITHOUT ROWID;
CREATE INDEX File_beacons_beacon ON File_beacons(beacon);

CREATE TABLE File_customers (
    file INTEGER NOT NULL REFERENCES File(pk) ON DELETE CASCADE,
    customer INTEGER NOT NULL REFERENCES CustomerLocation(pk) ON DELETE CASCADE,
    PRIMARY KEY (file, customer)
) WITHOUT ROWID;
CREATE INDEX File_customers_customer ON File_customers(customer);

CREATE TABLE File_customerGroups (
    file INTEGER NOT NULL REFERENCES File(pk) ON DELETE CASCADE,
    customerGroup INTEGER NOT NULL REFERENCES CustomerLocationGroup(pk) ON DELETE CASCADE,
    PRIMARY KEY (file, customerGroup)
) WITHOUT ROWID;
CREATE INDEX File_customerGroups_group ON File_customerGroups(customerGroup);

CREATE TABLE File_qrcodes (
    file INTEGER NOT NULL REFERENCES File(pk) ON DELETE CASCADE,
    qrcode INTEGER NOT NULL REFERENCES QRCode(pk) ON DELETE CASCADE,
    PRIMARY KEY (file, qrcode)
) WITHOUT ROWID;
CREATE INDEX File_qrcodes_qrcode ON File_qrcodes(qrcode);

CREATE TABLE CustomerLocation_groups (
    customer INTEGER NOT NULL REFERENCES CustomerLocation(pk) ON DELETE CASCADE,
    customerGroup INTEGER NOT NULL REFERENCES CustomerLocationGroup(pk) ON DELETE CASCADE,
    PRIMARY KEY (customer, customerGroup)
) WITHOUT ROWID;
CREATE INDEX CustomerLocation_groups_group ON CustomerLocation_groups(customerGroup);

-- the lead-capture model; its entities have an attribute "id" of their own
CREATE TABLE Contact (
    pk INTEGER PRIMARY KEY,
    id INTEGER, cms_id INTEGER, company TEXT, contactperson TEXT, lastname TEXT,
    department TEXT, street TEXT, place TEXT, phone TEXT, mail TEXT, website TEXT,
    comment TEXT, leaderperson TEXT, representation_id INTEGER, date REAL, urgent INTEGER,
    sync INTEGER, all_attachment_synced INTEGER
);
CREATE INDEX Contact_id ON Contact(id);

CREATE TABLE Contact_Product (
    pk INTEGER PRIMARY KEY,
    contact_id INTEGER, product_id INTEGER, "get" INTEGER, send INTEGER, info INTEGER,
    "create" INTEGER, notice TEXT, date REAL
);
CREATE INDEX Contact_Product_contact ON Contact_Product(contact_id);

CREATE TABLE Product (
    pk INTEGER PRIMARY KEY,
    id INTEGER, name TEXT, active INTEGER
);
CREATE INDEX Product_id ON Product(id);

CREATE TABLE Representation (
    pk INTEGER PRIMARY KEY,
    id INTEGER, name TEXT, active INTEGER
);
CREATE INDEX Representation_id ON Representation(id);

CREATE TABLE Businesscard (
    pk INTEGER PRIMARY KEY,
    data BLOB, synced INTEGER,
    contact INTEGER REFERENCES Contact(pk) ON DELETE CASCADE
);
CREATE INDEX Businesscard_contact ON Businesscard(contact);

CREATE TABLE Photo (
    pk INTEGER PRIMARY KEY,
    data BLOB, synced INTEGER,
    contact INTEGER REFERENCES Contact(pk) ON DELETE CASCADE
);
CREATE INDEX Photo_contact ON Photo(contact);
)sql";

// Version 2: what a sync needs to tell apart and to revalidate.
// FileState.removedByServer: the server no longer lists the file for this user (as opposed to
// the user's own "remove from device", pretendDeletion alone), so a download never shows it
// again. File.contentETag / contentLastModified: the validators the server sent with the
// stored copy, asked back with If-None-Match / If-Modified-Since when only the date changed.
constexpr const char* kVersion2 = R"sql(
ALTER TABLE FileState ADD COLUMN removedByServer INTEGER NOT NULL DEFAULT 0;
ALTER TABLE File ADD COLUMN contentETag TEXT;
ALTER TABLE File ADD COLUMN contentLastModified TEXT;
)sql";

struct Migration {
    int version;
    const char* sql;
};

constexpr Migration kMigrations[] = {{1, kVersion1}, {2, kVersion2}};

}  // namespace

Result<int> Schema::version(Database& database) {
    auto statement = database.prepare("PRAGMA user_version");
    if (!statement.ok()) {
        return statement.error();
    }
    auto row = statement.value()->step();
    if (!row.ok()) {
        return row.error();
    }
    int value = row.value() ? static_cast<int>(statement.value()->integer(0)) : 0;
    statement.value()->reset();
    return value;
}

Status Schema::migrate(Database& database) {
    auto current = version(database);
    if (!current.ok()) {
        return current.error();
    }
    if (current.value() > kCurrentVersion) {
        return Error::make(kErrorDomain, 1,
                           "the store " + database.path().string() + " was written by a newer " +
                               "release (schema " + std::to_string(current.value()) + ")");
    }
    for (const Migration& migration : kMigrations) {
        if (migration.version <= current.value()) {
            continue;
        }
        // BEGIN IMMEDIATE: two processes opening a new store at once must not both migrate.
        if (auto begun = database.exec("BEGIN IMMEDIATE"); !begun.ok()) {
            return begun;
        }
        auto again = version(database);
        if (again.ok() && again.value() >= migration.version) {
            (void)database.exec("COMMIT");
            continue;
        }
        Status applied = database.exec(migration.sql);
        if (applied.ok()) {
            applied = database.exec("PRAGMA user_version = " + std::to_string(migration.version));
        }
        if (applied.ok()) {
            applied = database.exec("COMMIT");
        }
        if (!applied.ok()) {
            (void)database.exec("ROLLBACK");
            return Error::make(kErrorDomain, 2,
                               "cannot migrate the store to schema " +
                                   std::to_string(migration.version) + ": " +
                                   applied.error().description);
        }
        PW_LOG_INFO("Store migrated to schema {}", migration.version);
    }
    return {};
}

}  // namespace pagewell
