#pragma once
// The fixture of the store's entity tests: a data directory of its own with every area,
// installed as the shared areas and protected file manager; a fresh store in it installed as
// the shared store; a fresh notification centre; one signed-in user and one chosen locale in
// the current selection; default deletion hooks. TearDown puts every shared instance back.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "TestSupport.h"
#include "platform/FileAreas.h"
#include "platform/NotificationCenter.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/PersistentStore.h"
#include "store/StoreHooks.h"
#include "sync/VXProtectedFileManager.h"

namespace pagewell {

class StoreFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        NotificationCenter::setShared(nullptr);
        ASSERT_TRUE(areas_->createAll().ok());
        FileAreas::setShared(areas_);
        VXProtectedFileManager::setSharedInstance(
            std::make_shared<VXProtectedFileManager>(*areas_));
        auto opened = PersistentStore::open(areas_->dataDirectory() / "Library" / "Database" /
                                            PersistentStore::kFileName);
        ASSERT_TRUE(opened.ok()) << opened.error().description;
        store_ = opened.value();
        PersistentStore::setShared(store_);
        userKey_ = insertRow("INSERT INTO User (cmsID, username) VALUES (?, ?)", 1, "alice");
        localeKey_ = insertRow("INSERT INTO Locale (cmsID, title) VALUES (?, ?)", 1, "English");
        CurrentSelection::setUser(userKey_, "alice");
        CurrentSelection::setLocale(localeKey_);
    }

    void TearDown() override {
        CurrentSelection::clear();
        StoreHooks::setCategoryTimestamps(nullptr);
        StoreHooks::setAnnotationSets(nullptr);
        StoreHooks::setPendingReminders(nullptr);
        PersistentStore::setShared(nullptr);
        store_.reset();
        VXProtectedFileManager::setSharedInstance(nullptr);
        FileAreas::setShared(nullptr);
        NotificationCenter::setShared(nullptr);
    }

    StoreContext& main() { return store_->mainContext(); }

    // Runs an INSERT in the main context outside any open transaction and gives the row key.
    template <class... Args>
    std::int64_t insertRow(const char* sql, const Args&... args) {
        Database& db = store_->mainContext().database();
        Status ran = db.run(sql, args...);
        EXPECT_TRUE(ran.ok()) << (ran.ok() ? "" : ran.error().description);
        return db.lastInsertRowId();
    }

    // The single integer a query gives, read through the given context.
    template <class... Args>
    static std::int64_t scalar(StoreContext& context, const char* sql, const Args&... args) {
        auto statement = context.database().prepare(sql);
        EXPECT_TRUE(statement.ok());
        if (!statement.ok()) {
            return -1;
        }
        if constexpr (sizeof...(Args) > 0) {
            statement.value()->bindAll(args...);
        }
        auto row = statement.value()->step();
        std::int64_t value = row.ok() && row.value() ? statement.value()->integer(0) : -1;
        statement.value()->reset();
        return value;
    }
    template <class... Args>
    std::int64_t scalar(const char* sql, const Args&... args) {
        return scalar(main(), sql, args...);
    }

    TemporaryDirectory dir_;
    std::shared_ptr<FileAreas> areas_ = std::make_shared<FileAreas>(dir_.path() / "data");
    std::shared_ptr<PersistentStore> store_;
    std::int64_t userKey_ = 0;    // the signed-in user "alice", cmsID 1
    std::int64_t localeKey_ = 0;  // the chosen locale, cmsID 1
};

}  // namespace pagewell
