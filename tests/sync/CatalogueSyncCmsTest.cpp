// The importer behind the catalogue requests, against pagewell-cms serving the demo catalogue:
// a first sync brings the demo user's categories and files of the English content into the
// store, and a second sync changes nothing. The server's test hooks then change the catalogue
// between syncs (files removed, deleted, touched, moved; categories added; the imprint) and
// hold requests to count how many category imports run at once; a second user ("demo2")
// shares the store where a rule depends on the number of users holding a file.

#include <httplib.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "DemoCmsFixture.h"
#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "net/CatalogueRequests.h"
#include "net/EndpointDelegates.h"
#include "platform/FileAreas.h"
#include "platform/FileSystem.h"
#include "store/StoreHooks.h"
#include "store/StoredPath.h"
#include "sync/ChangeTimestampsAdapter.h"
#include "sync/DataImporter.h"
#include "sync/StoreSnapshot.h"
#include "sync/TimestampManager.h"

namespace pagewell::test {
namespace {

struct SyncOutcome {
    bool done = false;
    std::optional<Error> error;
    int completions = 0;
    double lastProgress = 0.0;
};

class CatalogueSyncCmsTest : public DemoCmsFixture {
  protected:
    void SetUp() override {
        DemoCmsFixture::SetUp();
        ASSERT_NO_FATAL_FAILURE(startServerAndSignIn(/*testHooks=*/true));
        wireImporter();
        // As the start-up wires it: deleting a category forgets its timestamp.
        StoreHooks::setCategoryTimestamps(timestamps_);
        hooks_ = std::make_unique<httplib::Client>("127.0.0.1", server_->port());
    }

    void TearDown() override {
        if (hooks_) {
            hooks_->Delete("/__test/faults");  // lets any held request go
        }
        StoreHooks::setCategoryTimestamps(nullptr);
        DemoCmsFixture::TearDown();
    }

    using DemoCmsFixture::scalar;
    std::int64_t scalar(const std::string& sql) {
        return scalar(PersistentStore::shared()->mainContext(), sql);
    }

    // A test hook of the server; the hook's answer.
    nlohmann::json hook(const std::string& path, const nlohmann::json& body) {
        auto res = hooks_->Post(path, body.dump(), "application/json");
        EXPECT_TRUE(res && res->status == 200) << path << ": " << (res ? res->body : "");
        return res ? nlohmann::json::parse(res->body, nullptr, false) : nlohmann::json();
    }
    nlohmann::json held() {
        auto res = hooks_->Get("/__test/held");
        EXPECT_TRUE(res && res->status == 200);
        return res ? nlohmann::json::parse(res->body, nullptr, false) : nlohmann::json();
    }
    // Runs the main queue (where the sync's callbacks arrive) until the server holds exactly
    // `heldNow` requests and `arrived` have come; the server's counts then. A helper thread
    // waits at the server and wakes the main queue when the answer is there.
    nlohmann::json pumpUntilHeld(int heldNow, int arrived) {
        auto answer = std::make_shared<std::optional<nlohmann::json>>();
        const std::string target =
            "/__test/held?held=" + std::to_string(heldNow) + "&arrived=" + std::to_string(arrived);
        std::thread waiter([answer, target, port = server_->port()] {
            httplib::Client client("127.0.0.1", port);
            client.set_read_timeout(std::chrono::seconds(30));
            auto res = client.Get(target);
            nlohmann::json counts =
                res ? nlohmann::json::parse(res->body, nullptr, false) : nlohmann::json();
            MainQueue::shared().post([answer, counts] { *answer = counts; });
        });
        EXPECT_TRUE(pump([&] { return answer->has_value(); }));
        waiter.join();
        return answer->value_or(nlohmann::json());
    }
    // The targets of the catalogue requests the server answered since the last call.
    std::vector<std::string> requestsSinceLastCall() {
        auto res = hooks_->Get("/__test/requests");
        EXPECT_TRUE(res && res->status == 200);
        std::vector<std::string> targets;
        if (res) {
            const nlohmann::json log = nlohmann::json::parse(res->body);
            for (const auto& entry : log.at("items")) {
                targets.push_back(entry.at("target").get<std::string>());
            }
        }
        hooks_->Delete("/__test/requests");
        return targets;
    }

    // Signs `name` in (password "demo") and makes them the store's current user with English
    // as their content language, as the start-up does after a sign-in.
    void becomeUser(const std::string& name) {
        Outcome signedIn = login(name, "demo");
        ASSERT_TRUE(signedIn.token) << (signedIn.error ? signedIn.error->description : "");
        userKey_ = scalar("SELECT pk FROM User WHERE username = '" + name + "'");
        ASSERT_GT(userKey_, 0);
        CurrentSelection::setUser(userKey_, name);
        ASSERT_GT(importLocales(), 0);
    }
    std::int64_t userKeyOf(const std::string& name) {
        return scalar("SELECT pk FROM User WHERE username = '" + name + "'");
    }

    // The next sync gets full answers, as after a reset of the timestamps.
    void forgetTimestamps() { timestamps_->resetAllTimestampsForCurrentUser(); }

    // An English file both demo users see, not a highlight, with `categories` English
    // categories of theirs (0: any number).
    const cms::CatalogueFile* sharedFile(std::size_t categories = 0) const {
        const int second = demo_->userNamed("demo2")->id;
        for (const auto& file : demo_->files) {
            const bool both = visible(file.users) &&
                              (!file.users || std::find(file.users->begin(), file.users->end(),
                                                        second) != file.users->end());
            const bool english =
                std::find(file.locales.begin(), file.locales.end(), 1) != file.locales.end();
            const bool highlight = std::find(demo_->highlights.begin(), demo_->highlights.end(),
                                             file.id) != demo_->highlights.end();
            const std::size_t count = englishCategoriesOf(file).size();
            if (both && english && !highlight && count > 0 &&
                (categories == 0 || count == categories)) {
                return &file;
            }
        }
        return nullptr;
    }

    std::string fileSQL(const char* what, int fileID) const {
        return std::string("SELECT ") + what + " FROM File WHERE cmsID = " + std::to_string(fileID);
    }
    std::int64_t categoriesOfFile(int fileID) {
        return scalar(
            "SELECT COUNT(*) FROM File_categories fc JOIN File f ON f.pk = fc.file "
            "WHERE f.cmsID = " +
            std::to_string(fileID));
    }
    std::int64_t stateOf(int fileID, std::int64_t user, const char* column) {
        return scalar(std::string("SELECT s.") + column +
                      " FROM FileState s JOIN File f ON f.pk = s.file WHERE f.cmsID = " +
                      std::to_string(fileID) + " AND s.user = " + std::to_string(user));
    }

    // Marks the file downloaded with a copy in its item directory; the copy's absolute path.
    std::filesystem::path giveDownloadedCopy(int fileID) {
        std::filesystem::path copy =
            FileAreas::shared().documents() / std::to_string(fileID) / "copy.pdf";
        std::filesystem::create_directories(copy.parent_path());
        EXPECT_TRUE(FileSystem::writeFileAtomically(copy, "%PDF-1.4 local copy").ok());
        auto statement = PersistentStore::shared()->mainContext().database().run(
            "UPDATE File SET downloaded = 1, updateAvailable = 0, filePath = ? WHERE cmsID = ?",
            StoredPath::getRelativePath(copy.string()), fileID);
        EXPECT_TRUE(statement.ok());
        EXPECT_TRUE(PersistentStore::shared()
                        ->mainContext()
                        .database()
                        .run("UPDATE FileState SET read = 1 WHERE file = "
                             "(SELECT pk FROM File WHERE cmsID = ?)",
                             fileID)
                        .ok());
        return copy;
    }

    std::shared_ptr<SyncOutcome> startSync() {
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
        return outcome;
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

    std::unique_ptr<httplib::Client> hooks_;
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

TEST_F(CatalogueSyncCmsTest, FirstSyncImportsFourCategoriesAtATimeAndCopiesTheListTimestamp) {
    ASSERT_GT(importLocales(), 0);
    const int total = static_cast<int>(
        std::count_if(demo_->categories.begin(), demo_->categories.end(),
                      [&](const auto& c) { return c.locale == 1 && visible(c.users); }));
    ASSERT_GT(total, 4) << "the demo needs more categories than run at once";
    // Every category's file request waits at the server until the test lets it go.
    hook("/__test/faults",
         {{"prefix", "/api2/category/items/"}, {"action", "hold"}, {"count", 1000}});
    auto outcome = startSync();

    for (int released = 0; released < total; ++released) {
        // With `released` answered, the next ones are in flight: four, or all that are left.
        const int inFlight = std::min(4, total - released);
        nlohmann::json count = pumpUntilHeld(inFlight, released + inFlight);
        ASSERT_EQ(count["held"], inFlight) << count.dump();
        ASSERT_EQ(count["arrived"], released + inFlight) << count.dump();
        EXPECT_FALSE(outcome->done);
        hook("/__test/held/release", {{"count", 1}});
    }
    ASSERT_TRUE(pump([&] { return outcome->done; }));
    MainQueue::shared().poll();
    ASSERT_FALSE(outcome->error) << outcome->error->description;
    EXPECT_EQ(outcome->completions, 1);
    EXPECT_DOUBLE_EQ(outcome->lastProgress, 1.0);
    EXPECT_EQ(held()["most"], 4);
    EXPECT_EQ(held()["arrived"], total);

    // Every category answered and kept its timestamp; the sync's timestamp is the list's.
    for (const auto& category : demo_->categories) {
        if (category.locale == 1 && visible(category.users)) {
            EXPECT_NE(timestamps_->timestampForCategoryID(std::to_string(category.id)), "0")
                << category.id;
        }
    }
    EXPECT_NE(timestamps_->timestampForCategoryList(), "0");
    EXPECT_EQ(timestamps_->timestampForAllFilesForSync(), timestamps_->timestampForCategoryList());
}

TEST_F(CatalogueSyncCmsTest, FullAnswersDetachAFileAndDeleteItWhenItsOnlyUserLosesIt) {
    ASSERT_GT(importLocales(), 0);
    const cms::CatalogueFile* file = sharedFile(2);
    ASSERT_TRUE(file) << "the demo has no shared file in two categories";
    const std::vector<int> categories = englishCategoriesOf(*file);
    ASSERT_FALSE(sync().error);
    ASSERT_EQ(categoriesOfFile(file->id), 2);

    // Out of one category: the full answer of that category detaches it, the record stays.
    hook("/__test/catalogue/remove-file", {{"file", file->id}, {"category", categories[0]}});
    forgetTimestamps();
    ASSERT_FALSE(sync().error);
    EXPECT_EQ(scalar(fileSQL("COUNT(*)", file->id)), 1);
    EXPECT_EQ(categoriesOfFile(file->id), 1);

    // Out of the other one too: nobody else holds it, so the record goes.
    hook("/__test/catalogue/remove-file", {{"file", file->id}, {"category", categories[1]}});
    forgetTimestamps();
    ASSERT_FALSE(sync().error);
    EXPECT_EQ(scalar(fileSQL("COUNT(*)", file->id)), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_categories WHERE file NOT IN "
                     "(SELECT pk FROM File)"),
              0);
}

TEST_F(CatalogueSyncCmsTest, AFullAnswerOnlyRemovesTheFileForTheUserWhenTwoHoldIt) {
    const cms::CatalogueFile* file = sharedFile();
    ASSERT_TRUE(file);
    becomeUser("demo2");
    ASSERT_FALSE(sync().error);
    becomeUser("demo");
    ASSERT_FALSE(sync().error);
    const std::int64_t demo = userKeyOf("demo");
    const std::int64_t demo2 = userKeyOf("demo2");
    ASSERT_EQ(scalar("SELECT COUNT(*) FROM File_users fu JOIN File f ON f.pk = fu.file WHERE "
                     "f.cmsID = " +
                     std::to_string(file->id)),
              2);
    const std::filesystem::path copy = giveDownloadedCopy(file->id);

    // The server takes the file from demo only; demo's next full answers no longer list it.
    hook("/__test/catalogue/remove-file",
         {{"file", file->id}, {"user", demo_->userNamed("demo")->id}});
    forgetTimestamps();
    ASSERT_FALSE(sync().error);
    EXPECT_EQ(scalar(fileSQL("COUNT(*)", file->id)), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM File_users fu JOIN File f ON f.pk = fu.file WHERE "
                     "f.cmsID = " +
                     std::to_string(file->id) + " AND fu.user = " + std::to_string(demo)),
              0);
    EXPECT_EQ(stateOf(file->id, demo, "pretendDeletion"), 1);
    EXPECT_EQ(stateOf(file->id, demo2, "pretendDeletion"), 0);
    // demo2 still keeps the copy.
    EXPECT_EQ(scalar(fileSQL("downloaded", file->id)), 1);
    EXPECT_TRUE(std::filesystem::exists(copy));

    // demo2's own full sync finds the file where the server lists it for them.
    becomeUser("demo2");
    forgetTimestamps();
    SyncOutcome ofDemo2 = sync();
    ASSERT_FALSE(ofDemo2.error) << ofDemo2.error->description;
    EXPECT_EQ(categoriesOfFile(file->id),
              static_cast<std::int64_t>(englishCategoriesOf(*file).size()));
    EXPECT_EQ(stateOf(file->id, demo2, "pretendDeletion"), 0);
}

TEST_F(CatalogueSyncCmsTest, ChangeAnswersDeleteAFileOfOneUserAndHideOneOfTwo) {
    const cms::CatalogueFile* onlyDemos = nullptr;
    for (const auto& file : demo_->files) {
        if (file.users && file.users->size() == 1 &&
            file.users->front() == demo_->userNamed("demo")->id &&
            !englishCategoriesOf(file).empty()) {
            onlyDemos = &file;
        }
    }
    ASSERT_TRUE(onlyDemos) << "the demo has no file for the first user only";
    const cms::CatalogueFile* shared = sharedFile();
    ASSERT_TRUE(shared);
    becomeUser("demo2");
    ASSERT_FALSE(sync().error);
    becomeUser("demo");
    ASSERT_FALSE(sync().error);
    const std::int64_t demo = userKeyOf("demo");
    const std::int64_t demo2 = userKeyOf("demo2");
    ASSERT_EQ(scalar(fileSQL("COUNT(*)", onlyDemos->id)), 1);

    // Both deleted on the server; demo's next sync gets change answers naming them in
    // "delete".
    hook("/__test/catalogue/delete-file", {{"file", onlyDemos->id}});
    hook("/__test/catalogue/delete-file", {{"file", shared->id}});
    requestsSinceLastCall();
    ASSERT_FALSE(sync().error);
    for (const std::string& target : requestsSinceLastCall()) {
        EXPECT_EQ(target.find("category/list"), std::string::npos)
            << "a change sync fetched the whole list: " << target;
    }
    EXPECT_EQ(scalar(fileSQL("COUNT(*)", onlyDemos->id)), 0);
    EXPECT_EQ(scalar(fileSQL("COUNT(*)", shared->id)), 1);
    EXPECT_EQ(stateOf(shared->id, demo, "pretendDeletion"), 1);
    EXPECT_EQ(stateOf(shared->id, demo2, "pretendDeletion"), 0);
}

TEST_F(CatalogueSyncCmsTest, UnchangedFilesKeepWhatTheStoreAddedToThem) {
    ASSERT_GT(importLocales(), 0);
    const cms::CatalogueFile* file = sharedFile();
    ASSERT_TRUE(file);
    ASSERT_FALSE(sync().error);
    StoreContext& main = PersistentStore::shared()->mainContext();
    // What a download and the user added: a copy, a thumbnail image, the read flag.
    const std::filesystem::path copy = giveDownloadedCopy(file->id);
    const std::filesystem::path image = copy.parent_path() / "thumb.png";
    ASSERT_TRUE(FileSystem::writeFileAtomically(image, "png").ok());
    ASSERT_TRUE(main.database()
                    .run("UPDATE Thumbnail SET filePath = ? WHERE pk = "
                         "(SELECT thumbnail FROM File WHERE cmsID = ?)",
                         StoredPath::getRelativePath(image.string()), file->id)
                    .ok());
    const std::int64_t resources =
        scalar("SELECT COUNT(*) FROM Resource r JOIN File f ON f.pk = r.file WHERE f.cmsID = " +
               std::to_string(file->id));
    const std::int64_t firstResource = scalar(
        "SELECT IFNULL(MIN(r.pk), 0) FROM Resource r JOIN File f ON f.pk = r.file WHERE "
        "f.cmsID = " +
        std::to_string(file->id));

    // Full answers list the file again with the same "time_modified".
    forgetTimestamps();
    ASSERT_FALSE(sync().error);
    EXPECT_EQ(scalar(fileSQL("downloaded", file->id)), 1);
    EXPECT_EQ(stateOf(file->id, userKey_, "read"), 1);
    EXPECT_TRUE(std::filesystem::exists(copy));
    EXPECT_TRUE(std::filesystem::exists(image));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Thumbnail t JOIN File f ON f.thumbnail = t.pk WHERE "
                     "t.filePath IS NOT NULL AND f.cmsID = " +
                     std::to_string(file->id)),
              1);
    EXPECT_EQ(scalar("SELECT IFNULL(MIN(r.pk), 0) FROM Resource r JOIN File f ON f.pk = r.file "
                     "WHERE f.cmsID = " +
                     std::to_string(file->id)),
              firstResource);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Resource r JOIN File f ON f.pk = r.file WHERE "
                     "f.cmsID = " +
                     std::to_string(file->id)),
              resources);
}

TEST_F(CatalogueSyncCmsTest, AChangedFileKeepsItsCopyAndOffersItsUpdate) {
    ASSERT_GT(importLocales(), 0);
    std::vector<const cms::CatalogueFile*> files;
    for (const auto& file : demo_->files) {
        if (visible(file.users) && files.size() < 3 &&
            std::find(file.locales.begin(), file.locales.end(), 1) != file.locales.end() &&
            !englishCategoriesOf(file).empty()) {
            files.push_back(&file);
        }
    }
    ASSERT_EQ(files.size(), 3u);
    const int touched = files[0]->id, moved = files[1]->id, proxied = files[2]->id;
    // The third file is served through the document-system proxy from the start.
    hook("/__test/catalogue/set-location",
         {{"file", proxied},
          {"location",
           "/connectors/sharepoint/proxy/file/" + std::to_string(proxied) + "/doc.pdf"}});
    ASSERT_FALSE(sync().error);
    std::vector<std::filesystem::path> copies;
    for (int id : {touched, moved, proxied}) {
        copies.push_back(giveDownloadedCopy(id));
    }

    // A new modification time for all three; only the second gets a new address.
    hook("/__test/catalogue/touch", {{"file", touched}});
    hook("/__test/catalogue/move", {{"file", moved}});
    hook("/__test/catalogue/touch", {{"file", proxied}});
    ASSERT_FALSE(sync().error);

    // Every copy stays and opens until a newer one has arrived; each file offers its update.
    // Only the copy at an unchanged address is asked for with its date (the server sent no
    // validators with these copies); a new address or the proxy path is fetched whole.
    for (std::size_t i : {0u, 1u, 2u}) {
        const int id = i == 0 ? touched : (i == 1 ? moved : proxied);
        SCOPED_TRACE(id);
        EXPECT_EQ(scalar(fileSQL("downloaded", id)), 1);
        EXPECT_EQ(scalar(fileSQL("updateAvailable", id)), 1);
        EXPECT_EQ(stateOf(id, userKey_, "read"), 0);
        EXPECT_TRUE(std::filesystem::exists(copies[i]));
        EXPECT_EQ(scalar(fileSQL("contentLastModified IS NOT NULL", id)), i == 0 ? 1 : 0);
    }
}

TEST_F(CatalogueSyncCmsTest, AChangeListedOnlyAsModifiedIsFetchedForItsCategoriesOnly) {
    ASSERT_GT(importLocales(), 0);
    const cms::CatalogueFile* file = sharedFile(1);
    ASSERT_TRUE(file);
    ASSERT_FALSE(sync().error);
    const std::int64_t before = scalar(fileSQL("modified", file->id));
    const int category = englishCategoriesOf(*file).front();

    // Only the file's content date changes: its category is "modified", nothing is "added".
    hook("/__test/catalogue/touch", {{"file", file->id}});
    requestsSinceLastCall();
    ASSERT_FALSE(sync().error);
    EXPECT_GT(scalar(fileSQL("modified", file->id)), before);
    std::vector<std::string> items;
    std::string all;
    for (const std::string& target : requestsSinceLastCall()) {
        all += target + " ";
        if (target.find("/category/items/") != std::string::npos) {
            items.push_back(target);
        }
    }
    ASSERT_EQ(items.size(), 1u) << "one request per changed category; requests: " << all;
    EXPECT_NE(items[0].find("/category/items/" + std::to_string(category)), std::string::npos)
        << items[0];
}

TEST_F(CatalogueSyncCmsTest, ChildIdsOutsideTheAnswerLeaveNoNamelessCategory) {
    ASSERT_GT(importLocales(), 0);
    ASSERT_FALSE(sync().error);
    StoreContext& main = PersistentStore::shared()->mainContext();
    // A store that lost one of the products' subcategories; the next change answer lists
    // "Products" (its children changed) with that lost child in "child_ids", but not the child
    // itself.
    ASSERT_TRUE(main.database().run("DELETE FROM FileCategory WHERE cmsID = 12").ok());
    hook("/__test/catalogue/add-category",
         {{"category", 40}, {"locale", 1}, {"title", "Motors"}, {"parents", {10}}});
    ASSERT_FALSE(sync().error);

    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory WHERE name IS NULL"), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory WHERE cmsID = 40 AND name = 'Motors'"), 1);
    // "Products" keeps its described children, the new one among them, each once.
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory_subcategories s JOIN FileCategory p ON "
                     "p.pk = s.parent JOIN FileCategory c ON c.pk = s.child WHERE p.cmsID = 10 "
                     "AND c.cmsID IN (11, 40)"),
              2);
}

TEST_F(CatalogueSyncCmsTest, AnImprintWithoutTextFailsWith404AndKeepsTheOldOne) {
    ASSERT_GT(importLocales(), 0);
    auto fetch = [&] {
        auto failed = std::make_shared<std::optional<Error>>();
        auto done = std::make_shared<bool>(false);
        CatalogueRequests(*manager_).getImprint([done] { *done = true; },
                                                [done, failed](const Error& error) {
                                                    *done = true;
                                                    *failed = error;
                                                });
        EXPECT_TRUE(pump([&] { return *done; }));
        return *failed;
    };
    auto first = fetch();
    ASSERT_FALSE(first) << first->description;
    ASSERT_EQ(scalar("SELECT COUNT(*) FROM Imprint WHERE text IS NOT NULL"), 1);
    auto kept = storeSnapshot(PersistentStore::shared()->mainContext().database());

    hook("/__test/catalogue/set-imprint", {{"locale", 1}, {"text", nullptr}});
    auto second = fetch();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->code, -404);
    EXPECT_EQ(second->description, "cmsID or text are missing");
    EXPECT_EQ(storeSnapshot(PersistentStore::shared()->mainContext().database()), kept);
}

TEST_F(CatalogueSyncCmsTest, ACategoryDeletedOnTheServerTakesItsOwnFilesAndTheirCopies) {
    ASSERT_GT(importLocales(), 0);
    const cms::CatalogueFile* file = nullptr;
    for (const auto& candidate : demo_->files) {
        const bool highlight = std::find(demo_->highlights.begin(), demo_->highlights.end(),
                                         candidate.id) != demo_->highlights.end();
        if (visible(candidate.users) && !highlight && englishCategoriesOf(candidate).size() == 1) {
            file = &candidate;
            break;
        }
    }
    ASSERT_TRUE(file);
    const int category = englishCategoriesOf(*file).front();
    ASSERT_FALSE(sync().error);
    const std::filesystem::path copy = giveDownloadedCopy(file->id);
    ASSERT_NE(timestamps_->timestampForCategoryID(std::to_string(category)), "0");

    hook("/__test/catalogue/delete-category", {{"category", category}, {"locale", 1}});
    SyncOutcome changed = sync();
    ASSERT_FALSE(changed.error) << changed.error->description;
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM FileCategory WHERE cmsID = " + std::to_string(category)),
              0);
    EXPECT_EQ(scalar(fileSQL("COUNT(*)", file->id)), 0);
    EXPECT_FALSE(std::filesystem::exists(copy));
    EXPECT_EQ(timestamps_->timestampForCategoryID(std::to_string(category)), "0");
}

}  // namespace
}  // namespace pagewell::test
