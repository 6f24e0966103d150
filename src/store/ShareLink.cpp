#include "store/ShareLink.h"

#include <fmt/format.h>
#include <openssl/rand.h>

#include <array>
#include <random>

#include "store/EntityRows.h"
#include "store/StoreHooks.h"

namespace pagewell {

namespace {

constexpr const char* kEntity = "ShareLink";

#define SHARE_LINK_COLUMNS                                                                 \
    "ShareLink.pk, ShareLink.cmsID, ShareLink.uuid, ShareLink.url, ShareLink.recipients, " \
    "ShareLink.date, ShareLink.read, ShareLink.synced, ShareLink.shareFile"

ShareLink readShareLink(Statement& row) {
    ShareLink link;
    link.pk = row.integer(0);
    link.cmsID = row.optionalText(1);
    link.uuid = row.optionalText(2);
    link.url = row.optionalText(3);
    link.recipients = row.optionalText(4);
    link.date = row.optionalTime(5);
    link.read = row.boolean(6);
    link.synced = row.boolean(7);
    link.shareFileKey = row.optionalInteger(8);
    return link;
}

}  // namespace

std::string ShareLink::makeUUID() {
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1) {
        // The identifier only has to be unique on this device; the system's generator serves.
        std::random_device device;
        for (auto& byte : bytes) {
            byte = static_cast<unsigned char>(device());
        }
    }
    bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
    bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) {
            text.push_back('-');
        }
        text += fmt::format("{:02X}", bytes[i]);
    }
    return text;
}

Result<std::optional<ShareLink>> ShareLink::find(StoreContext& context, std::int64_t pk) {
    return EntityRows::first<ShareLink>(
        context, "SELECT " SHARE_LINK_COLUMNS " FROM ShareLink WHERE pk = ?", readShareLink, pk);
}

Result<std::vector<ShareLink>> ShareLink::linksOfShareFile(StoreContext& context,
                                                           std::int64_t shareFilePk) {
    return EntityRows::all<ShareLink>(
        context, "SELECT " SHARE_LINK_COLUMNS " FROM ShareLink WHERE shareFile = ? ORDER BY pk",
        readShareLink, shareFilePk);
}

Result<ShareLink> ShareLink::shareLinkWithShareFile(StoreContext& mainContext,
                                                    std::int64_t shareFilePk) {
    ShareLink link;
    link.shareFileKey = shareFilePk;
    link.date = Clock::shared().now();
    link.uuid = makeUUID();
    if (Status inserted = link.update(mainContext); !inserted.ok()) {
        return inserted.error();
    }
    if (Status saved = mainContext.save(); !saved.ok()) {
        return saved.error();
    }
    return link;
}

Result<std::vector<ShareLink>> ShareLink::linksToRegister(StoreContext& context,
                                                          std::int64_t userPk,
                                                          std::int64_t localePk) {
    // shareFile.file.users CONTAINS %@ AND shareFile.file.locales CONTAINS %@ AND synced = 0
    return EntityRows::all<ShareLink>(
        context,
        "SELECT " SHARE_LINK_COLUMNS
        " FROM ShareLink JOIN ShareFile ON ShareFile.pk = ShareLink.shareFile"
        " WHERE EXISTS (SELECT 1 FROM File_users WHERE File_users.file = ShareFile.file"
        "               AND File_users.user = ?)"
        " AND EXISTS (SELECT 1 FROM File_locales WHERE File_locales.file = ShareFile.file"
        "             AND File_locales.locale = ?)"
        " AND IFNULL(ShareLink.synced, 0) = 0 ORDER BY ShareLink.pk",
        readShareLink, userPk, localePk);
}

Status ShareLink::update(StoreContext& context) {
    if (pk == 0) {
        auto inserted = EntityRows::insert(
            context, kEntity,
            "INSERT INTO ShareLink (cmsID, uuid, url, recipients, date, read, synced, "
            "shareFile) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
            cmsID, uuid, url, recipients, date, read, synced, shareFileKey);
        if (!inserted.ok()) {
            return inserted.error();
        }
        pk = inserted.value();
        return {};
    }
    return EntityRows::write(context, kEntity,
                             "UPDATE ShareLink SET cmsID = ?, uuid = ?, url = ?, recipients = ?, "
                             "date = ?, read = ?, synced = ?, shareFile = ? WHERE pk = ?",
                             cmsID, uuid, url, recipients, date, read, synced, shareFileKey, pk);
}

Status ShareLink::deleteRecord(StoreContext& context) {
    // Opened first, so the removals on disk wait for this deletion's commit.
    if (Status begun = context.beginWrite(); !begun.ok()) {
        return begun;
    }
    prepareForDeletion(context);
    Status deleted = EntityRows::write(context, kEntity, "DELETE FROM ShareLink WHERE pk = ?", pk);
    if (deleted.ok()) {
        pk = 0;
    }
    return deleted;
}

void ShareLink::prepareForDeletion(StoreContext& context) const {
    if (uuid && !uuid->empty()) {
        context.afterCommit(
            [uuid = *uuid] { StoreHooks::pendingReminders()->withdrawReminder(uuid); });
    }
}

}  // namespace pagewell
