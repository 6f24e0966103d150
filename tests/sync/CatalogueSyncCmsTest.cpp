// The importer behind the catalogue requests, against pagewell-cms serving the demo catalogue:
// a first sync brings the demo user's categories and files of the English content into the
// store, and a second sync changes nothing.

#include <algorithm>
#include <memory>
#include <optional>
#include <string>

#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "net/CatalogueRequests.h"
#include "net/EndpointDelegates.h"
#include "net/InterfaceManagerFixture.h"
#include "sync/ChangeTimestampsAdapter.h"
#include "sync/DataImporter.h"
#include "sync/StoreSnapshot.h"
#include "sync/TimestampManager.h"

namespace pagewell::test {
namespace {

class FixedLocale final : public CurrentLocaleSource {
  public:
    std::optional<std::string> getCurrentLocaleID() override { return "1"; }
};

struct SyncOutcome {
    bool done = false;
    std::optional<Error> error;
    int completions = 0;
    double lastProgress = 0.0;
};

class CatalogueSyncCmsTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        auto built = cms::DemoCatalogue::build(catalogue_.path());
        ASSERT_TRUE(built.ok()) << built.error().description;
        demo_ = std::move(built).value();
        cms::CmsServerOptions options;
        options.catalogue = catalogue_.path();
        options.appSecret = kAppSecret;
        auto created = cms::CmsServer::create(options);
        ASSERT_TRUE(created.ok()) << created.error().description;
        server_ = std::move(created).value();
        auto port = server_->start();
        ASSERT_TRUE(port.ok()) << port.error().description;
        writeAppSettings(server_->baseUrl());
        makeManager(InterfaceManager::defaultBaseURL());

        Outcome signedIn = login("demo", "demo");
        ASSERT_TRUE(signedIn.token) << (signedIn.error ? signedIn.error->description : "");
        StoreContext& main = PersistentStore::shared()->mainContext();
        userKey_ = scalar(main, "SELECT pk FROM User WHERE username = 'demo'");
        ASSERT_GT(userKey_, 0);
        CurrentSelection::setUser(userKey_, "demo");

        timestamps_ = std::make_shared<TimestampManager>(TimestampManager::Sources{
            [] { return std::optional<std::string>("demo"); },
            [] { return std::optional<std::string>("1"); }, [] { return true; }});
        EndpointDelegates::shared().reset();
        EndpointDelegates::shared().setTimestamps(
            std::make_shared<ChangeTimestampsAdapter>(timestamps_));
        EndpointDelegates::shared().setImporter(std::make_shared<DataImporter>(timestamps_));
        EndpointDelegates::shared().setLocaleSource(std::make_shared<FixedLocale>());
    }

    void TearDown() override {
        EndpointDelegates::shared().reset();
        manager_.reset();
        if (server_) {
            server_->stop();
        }
        InterfaceManagerFixture::TearDown();
    }

    static std::int64_t scalar(StoreContext& context, const std::string& sql) {
        auto statement = context.database().prepare(sql);
        EXPECT_TRUE(statement.ok());
        auto row = statement.value()->step();
        std::int64_t value = row.ok() && row.value() ? statement.value()->integer(0) : -1;
        statement.value()->reset();
        return value;
    }

    SyncOutcome sync() {
        auto outcome = std::make_shared<SyncOutcome>();
        CatalogueRequests(*manager_).getAllFilesForSync(
            [outcome] {
                outcome->done = true;
                ++outcome->completions;
            },
            [outcome](double fraction) { outcome->lastProgress = fraction; },
            [outcome](const Error& error) {
                outcome->done = true;
                ++outcome->completions;
                outcome->error = error;
            });
        EXPECT_TRUE(pump([&] { return outcome->done; }));
        MainQueue::shared().poll();
        return *outcome;
    }

    // The languages, as the start-up fetches them, then English as the current language.
    std::int64_t importLocales() {
        std::optional<Error> failed;
        bool done = false;
        CatalogueRequests(*manager_).getAllLocales([&] { done = true; },
                                                   [&](const Error& error) {
                                                       done = true;
                                                       failed = error;
                                                   });
        EXPECT_TRUE(pump([&] { return done; }));
        EXPECT_FALSE(failed) << failed->description;
        std::int64_t english = scalar(PersistentStore::shared()->mainContext(),
                                      "SELECT pk FROM Locale WHERE cmsID = 1");
        CurrentSelection::setLocale(english);
        return english;
    }

    bool visible(const std::optional<std::vector<int>>& users) const {
        const int demoUser = demo_->userNamed("demo")->id;
        return !users || std::find(users->begin(), users->end(), demoUser) != users->end();
    }
    // The English categories of the demo user that hold `fileID`.
    std::vector<int> englishCategoriesOf(const cms::CatalogueFile& file) const {
        std::vector<int> ids;
        for (int id : file.categories) {
            if (std::any_of(demo_->categories.begin(), demo_->categories.end(), [&](const auto& c) {
                    return c.id == id && c.locale == 1 && visible(c.users);
                })) {
                ids.push_back(id);
            }
        }
        return ids;
    }

    TemporaryDirectory catalogue_;
    std::unique_ptr<cms::CmsServer> server_;
    std::optional<cms::Catalogue> demo_;
    std::shared_ptr<TimestampManager> timestamps_;
    std::int64_t userKey_ = 0;
};

TEST_F(CatalogueSyncCmsTest, SyncImportsTheDemoCatalogueAndASecondSyncChangesNothing) {
    // The languages first, as the start-up does, then the English content.
    auto locales = std::make_shared<std::optional<Error>>();
    bool localesDone = false;
    CatalogueRequests(*manager_).getAllLocales([&] { localesDone = true; },
                                               [&, locales](const Error& error) {
                                                   localesDone = true;
                                                   *locales = error;
                                               });
    ASSERT_TRUE(pump([&] { return localesDone; }));
    ASSERT_FALSE(*locales) << (*locales)->description;
    StoreContext& main = PersistentStore::shared()->mainContext();
    std::int64_t english = scalar(main, "SELECT pk FROM Locale WHERE cmsID = 1");
    ASSERT_GT(english, 0);
    CurrentSelection::setLocale(english);

    SyncOutcome first = sync();
    ASSERT_FALSE(first.error) << first.error->description;
    EXPECT_EQ(first.completions, 1);
    EXPECT_DOUBLE_EQ(first.lastProgress, 1.0);

    // Every English category the demo user may see is there, with a name.
    std::int64_t expectedCategories = std::count_if(
        demo_->categories.begin(), demo_->categories.end(),
        [&](const auto& category) { return category.locale == 1 && visible(category.users); });
    ASSERT_GT(expectedCategories, 0);
    EXPECT_EQ(scalar(main, "SELECT COUNT(*) FROM FileCategory WHERE locale = " +
                               std::to_string(english) + " AND name IS NOT NULL"),
              expectedCategories);
    EXPECT_GT(
        scalar(main, "SELECT COUNT(*) FROM File_users WHERE user = " + std::to_string(userKey_)),
        0);

    // A file the catalogue puts into two English categories is one record in both.
    auto shared = std::find_if(demo_->files.begin(), demo_->files.end(), [&](const auto& file) {
        return visible(file.users) &&
               std::find(file.locales.begin(), file.locales.end(), 1) != file.locales.end() &&
               englishCategoriesOf(file).size() >= 2;
    });
    ASSERT_NE(shared, demo_->files.end()) << "the demo has no file in two categories";
    EXPECT_EQ(scalar(main, "SELECT COUNT(*) FROM File WHERE cmsID = " + std::to_string(shared->id)),
              1);
    EXPECT_GE(scalar(main,
                     "SELECT COUNT(*) FROM File_categories fc JOIN File f ON f.pk = fc.file "
                     "WHERE f.cmsID = " +
                         std::to_string(shared->id)),
              2);

    auto before = storeSnapshot(main.database());
    SyncOutcome second = sync();
    ASSERT_FALSE(second.error) << second.error->description;
    EXPECT_EQ(second.completions, 1);
    EXPECT_EQ(storeSnapshot(main.database()), before);
}

TEST_F(CatalogueSyncCmsTest, AFailingCategoryEndsTheBatchOnceAndKeepsItsTimestamp) {
    ASSERT_GT(importLocales(), 0);
    // A file of exactly one English category that the store will refuse: that category's
    // import fails half-way, every other one succeeds.
    auto refused = std::find_if(demo_->files.begin(), demo_->files.end(), [&](const auto& file) {
        return visible(file.users) &&
               std::find(file.locales.begin(), file.locales.end(), 1) != file.locales.end() &&
               englishCategoriesOf(file).size() == 1;
    });
    ASSERT_NE(refused, demo_->files.end());
    const int failing = englishCategoriesOf(*refused).front();
    StoreContext& main = PersistentStore::shared()->mainContext();
    ASSERT_TRUE(main.database()
                    .exec("CREATE TRIGGER refuse_file BEFORE INSERT ON File WHEN NEW.cmsID = " +
                          std::to_string(refused->id) +
                          " BEGIN SELECT RAISE(ABORT, 'refused by the test'); END")
                    .ok());

    SyncOutcome first = sync();
    ASSERT_TRUE(first.error);
    EXPECT_EQ(first.completions, 1);
    EXPECT_DOUBLE_EQ(first.lastProgress, 1.0);
    // Nothing of the failed category's answer is stored, nor its timestamp; the batch's
    // timestamp stays "0" so the next sync asks for everything again.
    EXPECT_EQ(scalar(main,
                     "SELECT COUNT(*) FROM File_categories fc JOIN FileCategory c ON "
                     "c.pk = fc.category WHERE c.cmsID = " +
                         std::to_string(failing)),
              0);
    EXPECT_EQ(timestamps_->timestampForCategoryID(std::to_string(failing)), "0");
    EXPECT_EQ(timestamps_->timestampForAllFilesForSync(), "0");
    EXPECT_GT(scalar(main, "SELECT COUNT(*) FROM File"), 0);

    ASSERT_TRUE(main.database().exec("DROP TRIGGER refuse_file").ok());
    SyncOutcome second = sync();
    ASSERT_FALSE(second.error) << second.error->description;
    EXPECT_EQ(second.completions, 1);
    EXPECT_EQ(
        scalar(main, "SELECT COUNT(*) FROM File WHERE cmsID = " + std::to_string(refused->id)), 1);
    EXPECT_NE(timestamps_->timestampForCategoryID(std::to_string(failing)), "0");
    EXPECT_NE(timestamps_->timestampForAllFilesForSync(), "0");
}

}  // namespace
}  // namespace pagewell::test
