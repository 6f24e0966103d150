#pragma once
// The importer tests' fixture: the store fixture (user "alice", locale cmsID 1), user defaults
// in the temporary directory, a timestamp manager for alice and locale "1", an importer that
// reads it, the log lines written, and a snapshot of every table for "nothing changed" checks.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Logger.h"
#include "platform/UserDefaults.h"
#include "store/Database.h"
#include "store/StoreFixture.h"
#include "store/StoreRulesTestSupport.h"
#include "sync/DataImporter.h"
#include "sync/StoreSnapshot.h"
#include "sync/TimestampManager.h"

namespace pagewell {

class ImporterFixture : public StoreFixture {
  protected:
    using Json = nlohmann::json;

    void SetUp() override {
        StoreFixture::SetUp();
        UserDefaults::setShared(defaults_);
        Logger::shared().addSink(log_);
        timestamps_ = std::make_shared<TimestampManager>(TimestampManager::Sources{
            [] { return std::optional<std::string>("alice"); },
            [] { return std::optional<std::string>("1"); }, [] { return true; }});
        importer_ = std::make_shared<DataImporter>(timestamps_);
    }

    void TearDown() override {
        Logger::shared().removeSink(log_);
        UserDefaults::setShared(nullptr);
        StoreFixture::TearDown();
    }

    std::vector<std::string> snapshot() { return storeSnapshot(main().database()); }

    // Makes the store refuse a row, so an import fails after it has written something.
    void refuseInsert(const char* table, std::int64_t cmsID) {
        Status made = main().database().exec(
            std::string("CREATE TRIGGER refuse_") + table + " BEFORE INSERT ON " + table +
            " WHEN NEW.cmsID = " + std::to_string(cmsID) +
            " BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
        ASSERT_TRUE(made.ok()) << made.error().description;
    }

    std::int64_t categoryKey(std::int64_t cmsID) {
        return scalar("SELECT pk FROM FileCategory WHERE cmsID = ? AND locale = ?", cmsID,
                      localeKey_);
    }
    std::int64_t fileKey(std::int64_t cmsID) {
        return scalar("SELECT pk FROM File WHERE cmsID = ?", cmsID);
    }

    TemporaryDirectory defaultsDir_;
    std::shared_ptr<UserDefaults> defaults_ =
        std::make_shared<UserDefaults>(defaultsDir_.path() / "defaults.plist");
    std::shared_ptr<CapturingLogSink> log_ = std::make_shared<CapturingLogSink>();
    std::shared_ptr<TimestampManager> timestamps_;
    std::shared_ptr<DataImporter> importer_;
};

}  // namespace pagewell
