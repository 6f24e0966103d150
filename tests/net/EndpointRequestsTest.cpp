// The endpoint operations against an in-process server that records every request: the method,
// path, query and body of each operation, offline answers, the language selection, answers of
// the wrong shape, and the change-timestamp rules of the catalogue sync.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <set>

#include "InterfaceManagerFixture.h"
#include "net/CatalogueRequests.h"
#include "net/ConfigRequests.h"
#include "net/EndpointDelegates.h"
#include "net/FavoriteRequests.h"
#include "net/LeadRequests.h"
#include "net/ProximityRequests.h"
#include "net/SearchKeyword.h"
#include "net/SessionRequests.h"
#include "net/SharingRequests.h"

namespace pagewell::test {
namespace {

using nlohmann::json;

// Records what reached the importer; each entry point answers `refusal` when one is set.
class FakeImporter final : public CatalogueImporting {
  public:
    Status importLocalesWithJSON(const json& j) override { return note("locales", j); }
    Status importCategoriesWithJSON(const json& j, const std::string& l) override {
        return note("categories:" + l, j);
    }
    Status insertFilesWithJSON(const json& j, std::int64_t c) override {
        return note("files:" + std::to_string(c), j);
    }
    Status importFilesWithJSON(const json& j) override { return note("filelist", j); }
    Status importImprintWithJSON(const json& j) override { return note("imprint", j); }
    Status importBeaconListWithJSON(const json& j) override { return note("beacons", j); }
    Status importCustomerListWithJSON(const json& j) override { return note("customers", j); }
    Status importCustomerGroupListWithJSON(const json& j) override { return note("groups", j); }
    Status importQRCodesListWithJSON(const json& j) override { return note("qrcodes", j); }
    Status importFavoriteFoldersWithJSON(const json& j) override { return note("folders", j); }
    Status importFavoriteFoldersFileRelationsWithJSON(const json& j) override {
        return note("relations", j);
    }
    Status deleteCategoriesWithIDs(const std::vector<std::int64_t>& ids) override {
        return note("delete-any", json(ids));
    }
    Status deleteCategoriesWithIDs(const std::vector<std::int64_t>& ids,
                                   const std::string& l) override {
        return note("delete:" + l, json(ids));
    }
    Result<std::vector<std::int64_t>> categoryIDsOfLocale(const std::string&) override {
        return categories;
    }
    Status removeFilesOfProximityEntry(ProximityKind kind, std::int64_t id) override {
        return note("unlink:" + std::to_string(static_cast<int>(kind)) + ":" + std::to_string(id),
                    json());
    }
    Status saveStore() override { return note("save", json()); }

    std::vector<std::string> calls() const {
        std::lock_guard lock(mutex);
        return calls_;
    }
    std::vector<std::int64_t> categories;
    std::set<std::string> refuse;  // call names that fail; set before the test runs

  private:
    Status note(const std::string& name, const json&) {
        std::lock_guard lock(mutex);
        calls_.push_back(name);
        if (refuse.count(name) || refuse.count(name.substr(0, name.find(':')))) {
            return Error::make("Importer", 1, "refused " + name);
        }
        return {};
    }
    mutable std::mutex mutex;
    std::vector<std::string> calls_;
};

class FakeTimestamps final : public ChangeTimestamps {
  public:
    std::string timestampForCategoryList() override { return get("list"); }
    void saveTimestampForCategoryList(const std::string& t) override { values["list"] = t; }
    std::string timestampForAllFilesForSync() override { return get("all"); }
    void saveTimestampForAllFilesForSync(const std::string& t) override { values["all"] = t; }
    std::string timestampForCategoryID(const std::string& id) override { return get("cat" + id); }
    void saveTimestamp(const std::string& t, const std::string& id) override {
        values["cat" + id] = t;
    }
    std::string timestampForHighlights() override { return get("cat-1"); }
    void saveTimeStampForHighlights(const std::string& t) override { values["cat-1"] = t; }

    std::string get(const std::string& key) const {
        auto it = values.find(key);
        return it == values.end() ? "0" : it->second;
    }
    std::map<std::string, std::string> values;
};

class FixedLocale final : public CurrentLocaleSource {
  public:
    std::optional<std::string> getCurrentLocaleID() override { return locale; }
    std::optional<std::string> locale = "5";
};

class RecordingTracking final : public TrackingConfiguring {
  public:
    void setupTrackingWithConfigDict(const json& config) override { configs.push_back(config); }
    std::vector<json> configs;
};

// The one outcome of an operation.
struct Calls {
    int done = 0;
    int errors = 0;
    std::optional<Error> error;
    json value;
    int total() const { return done + errors; }
};

class EndpointRequestsTest : public InterfaceManagerFixture {
  protected:
    void SetUp() override {
        InterfaceManagerFixture::SetUp();
        const auto file = dir_.path() / "AppSettings.plist";
        ASSERT_TRUE(PropertyList::writeFile(file.string(),
                                            PlistValue(PlistDict{{"CMSURL", serverAddress()},
                                                                 {"LoginSecret", kAppSecret},
                                                                 {"EnableFavoriteSync", true}}))
                        .ok());
        AppSettings::_setSettingsPath(file);
        keychain_->saveUsername("demo", "pw", "tok");
        // The operations use the process-wide manager, made for the configured address.
        ASSERT_EQ(InterfaceManager::sharedInstance().baseURL(), server_.baseURL() + "/");
        importer_ = std::make_shared<FakeImporter>();
        timestamps_ = std::make_shared<FakeTimestamps>();
        locale_ = std::make_shared<FixedLocale>();
        tracking_ = std::make_shared<RecordingTracking>();
        auto& d = EndpointDelegates::shared();
        d.setImporter(importer_);
        d.setTimestamps(timestamps_);
        d.setLocaleSource(locale_);
        d.setTracking(tracking_);
        answerWith(200, kGenericAnswer);
    }
    void TearDown() override {
        EndpointDelegates::shared().reset();
        CatalogueRequests::setImportOperationFactory(nullptr);
        InterfaceManagerFixture::TearDown();
    }

    std::string serverAddress() const {
        return "http://127.0.0.1:" + std::to_string(server_.port());
    }

    void answerWith(int status, std::string body, std::string type = "application/json") {
        server_.setHandler([status, body, type](const httplib::Request&, httplib::Response& r) {
            r.status = status;
            r.set_content(body, type);
        });
    }

    // Callbacks that count into `calls`.
    std::function<void()> done(const std::shared_ptr<Calls>& calls) {
        return [calls] { ++calls->done; };
    }
    std::function<void(const Error&)> failed(const std::shared_ptr<Calls>& calls) {
        return [calls](const Error& e) {
            ++calls->errors;
            calls->error = e;
        };
    }
    // Waits for the first callback, then runs what is already queued so a second one counts.
    void wait(const std::shared_ptr<Calls>& calls) {
        ASSERT_TRUE(pump([&] { return calls->total() > 0; }));
        MainQueue::shared().runFor(std::chrono::milliseconds(50));
        EXPECT_EQ(calls->total(), 1) << "exactly one callback";
    }

    static constexpr const char* kGenericAnswer =
        R"({"success":true,"id":"7","items":[],"timestamp":"T2","config":{"a":1},)"
        R"("version":"2.1","maintenance":false,"read":"1"})";

  public:
    ScriptedHttpServer server_;
    std::shared_ptr<FakeImporter> importer_;
    std::shared_ptr<FakeTimestamps> timestamps_;
    std::shared_ptr<FixedLocale> locale_;
    std::shared_ptr<RecordingTracking> tracking_;
};

using Operation = std::function<void(std::shared_ptr<Calls>, EndpointRequestsTest&)>;

struct RequestCase {
    const char* name;
    Operation run;
    const char* method;
    const char* target;  // path and query as sent, after the base address
    json body;           // null: no body
    bool unreachableOffline = false;
};

// A wrapper so table entries can reach the fixture's helpers.
struct Ops {
    static auto d(const std::shared_ptr<Calls>& c) {
        return [c] { ++c->done; };
    }
    static auto e(const std::shared_ptr<Calls>& c) {
        return [c](const Error& x) {
            ++c->errors;
            c->error = x;
        };
    }
    static auto j(const std::shared_ptr<Calls>& c) {
        return [c](const json& v) {
            ++c->done;
            c->value = v;
        };
    }
};

FavoriteFolder folderNamed(const std::string& title, std::int64_t id) {
    FavoriteFolder folder;
    folder.title = title;
    folder.cmsID = id;
    return folder;
}

std::vector<RequestCase> requestCases() {
    using C = std::shared_ptr<Calls>;
    using T = EndpointRequestsTest;
    return {
        {"logout", [](C c, T&) { SessionRequests().logout(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/auth/logout?token=tok", nullptr},
        {"maintenance",
         [](C c, T&) { SessionRequests().checkMaintenance([c](bool) { ++c->done; }); }, "GET",
         "/api2/check/maintenance?token=tok", nullptr},
        {"clientversion",
         [](C c, T&) {
             SessionRequests().checkMinAppVersionForCms(
                 [c](bool, std::optional<std::string>) { ++c->done; });
         },
         "POST", "/api2/check/clientversion?token=tok", json{{"version", PAGEWELL_VERSION}}},
        {"locales", [](C c, T&) { CatalogueRequests().getAllLocales(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/locale/list?token=tok", nullptr},
        {"categories",
         [](C c, T& t) {
             t.timestamps_->values["list"] = "2024-01-02 10:00:00";
             CatalogueRequests().getCategoriesFromAPI(Ops::d(c), Ops::e(c));
         },
         "GET", "/api2/category/list/5?token=tok&timestamp=2024-01-02%2010%3A00%3A00", nullptr},
        {"category items",
         [](C c, T& t) {
             t.timestamps_->values["cat12"] = "99";
             CatalogueRequests().getFilesForCategoryFromAPI(12, Ops::d(c), Ops::e(c));
         },
         "GET", "/api2/category/items/12?token=tok&locale=5&timestamp=99", nullptr},
        {"highlights",
         [](C c, T&) { CatalogueRequests().getHighlightsFromAPI(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/highlight/list/5?token=tok", nullptr},
        {"search",
         [](C c, T&) { CatalogueRequests().searchFilesWithKeyword("a&b", Ops::d(c), Ops::e(c)); },
         "GET", "/api2/search/5?keyword=a%26b&token=tok", nullptr},
        {"dump", [](C c, T&) { CatalogueRequests().getAllIDs(Ops::j(c), Ops::e(c)); }, "GET",
         "/api2/category/dump?token=tok&locale=5", nullptr},
        {"imprint", [](C c, T&) { CatalogueRequests().getImprint(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/imprint/get/5?token=tok", nullptr},
        {"youtube", [](C c, T&) { ConfigRequests().getYouTubeSettings(Ops::j(c), Ops::e(c)); },
         "GET", "/api2/youtube/config/5?token=tok", nullptr},
        {"tracking", [](C c, T&) { ConfigRequests().getTrackingSettings(Ops::d(c), Ops::e(c)); },
         "GET", "/api2/tracking/config?token=tok", nullptr},
        {"beacons", [](C c, T&) { ProximityRequests().getBeaconList(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/beacon/list?token=tok", nullptr},
        {"customers", [](C c, T&) { ProximityRequests().getCustomerList(Ops::d(c), Ops::e(c)); },
         "GET", "/api2/customer/listGps?token=tok", nullptr},
        {"groups", [](C c, T&) { ProximityRequests().getCustomerGroupList(Ops::d(c), Ops::e(c)); },
         "GET", "/api2/customergroup/list?token=tok", nullptr},
        {"qrcodes", [](C c, T&) { ProximityRequests().getQRCodeList(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/qrcode/list?token=tok", nullptr},
        {"beacon files",
         [](C c, T&) { ProximityRequests().getFilesForBeacon(3, Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/beacon/files/3?token=tok", nullptr},
        {"qr files",
         [](C c, T&) { ProximityRequests().getFilesForQRCode(4, Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/qrcode/files/4?token=tok", nullptr},
        {"products", [](C c, T&) { LeadRequests().getProducts(Ops::j(c), Ops::e(c)); }, "GET",
         "/api2/ztLeadscanProducts/get?token=tok", nullptr},
        {"representations", [](C c, T&) { LeadRequests().getRepresentation(Ops::j(c), Ops::e(c)); },
         "GET", "/api2/ztLeadscanRepresentations/get?token=tok", nullptr},
        {"register contact",
         [](C c, T&) {
             LeadRequests().registerCustomContactsWithDict(
                 json{{"name", "Ann"}},
                 [c](std::optional<std::int64_t> id) {
                     ++c->done;
                     c->value = id ? json(*id) : json();
                 },
                 Ops::e(c));
         },
         "POST", "/api2/ztLeadscanContacts/register?token=tok", json{{"name", "Ann"}}},
        {"create folder",
         [](C c, T&) {
             FavoriteRequests().createFavoriteFolderWithFolder(folderNamed("Fair", 0), Ops::d(c),
                                                               Ops::e(c));
         },
         "POST", "/api2/favorite/folders?token=tok", json{{"name", "Fair"}, {"locale_id", "5"}},
         true},
        {"list folders",
         [](C c, T&) { FavoriteRequests().getFavoriteFolders(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/favorite/folders?token=tok&locale=5", nullptr, true},
        {"rename folder",
         [](C c, T&) {
             FavoriteRequests().updateFavoriteFolder(folderNamed("New", 8), Ops::d(c), Ops::e(c));
         },
         "PUT", "/api2/favorite/folders?token=tok", json{{"id", 8}, {"name", "New"}}, true},
        {"delete folder",
         [](C c, T&) {
             FavoriteRequests().deleteFavoriteFolder(folderNamed("Old", 9), Ops::d(c), Ops::e(c));
         },
         "DELETE", "/api2/favorite/folders?token=tok&id=9", nullptr, true},
        {"list relations",
         [](C c, T&) { FavoriteRequests().importFavoriteRelations(Ops::d(c), Ops::e(c)); }, "GET",
         "/api2/favorite/files?token=tok", nullptr, true},
        {"read confirmation",
         [](C c, T&) {
             File file;
             file.cmsID = 42;
             file.title = "Manual";
             // 2024-03-01 12:30:00 UTC
             file.confirmationDate = SystemTime(std::chrono::seconds(1709296200));
             SharingRequests().sendReadConfirmationForFile(file, Ops::d(c), Ops::e(c));
         },
         "POST", "/api2/read/confirm/42?token=tok", json{{"confirm_date", "2024-03-01 12:30:00"}}},
        {"link read state",
         [](C c, T&) {
             ShareLink link;
             link.uuid = "AB-CD";
             SharingRequests().getReadStatusForShareLink(link, Ops::d(c), Ops::e(c));
         },
         "GET", "/api2/share/readstate?token=tok&share_uuid=AB-CD", nullptr, true},
    };
}

TEST_F(EndpointRequestsTest, EveryOperationSendsItsMethodPathQueryAndBody) {
    for (const auto& c : requestCases()) {
        SCOPED_TRACE(c.name);
        const std::size_t before = server_.received().size();
        auto calls = std::make_shared<Calls>();
        c.run(calls, *this);
        wait(calls);
        EXPECT_EQ(calls->errors, 0) << (calls->error ? calls->error->toString() : "");
        auto received = server_.received();
        ASSERT_EQ(received.size(), before + 1);
        const auto& request = received.back();
        EXPECT_EQ(request.method, c.method);
        EXPECT_EQ(request.target, c.target);
        if (c.body.is_null()) {
            EXPECT_TRUE(request.body.empty()) << request.body;
        } else {
            EXPECT_EQ(json::parse(request.body, nullptr, false), c.body);
        }
    }
}

TEST_F(EndpointRequestsTest, OfflineSendsNothingAndAnswersDoneOrUnreachable) {
    setOfflineMode(true);
    for (const auto& c : requestCases()) {
        SCOPED_TRACE(c.name);
        auto calls = std::make_shared<Calls>();
        c.run(calls, *this);
        wait(calls);
        if (c.unreachableOffline) {
            ASSERT_TRUE(calls->error.has_value());
            EXPECT_EQ(*calls->error, Error::make("Unreachable", 100, "Server is unreachable"));
        } else {
            EXPECT_EQ(calls->done, 1);
        }
    }
    // Relation and share-link creation refuse before anything else too.
    auto calls = std::make_shared<Calls>();
    SharingRequests().createShareLink(ShareLink{}, done(calls), failed(calls));
    wait(calls);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(calls->error->domain, "Unreachable");
    EXPECT_TRUE(server_.received().empty());
}

TEST_F(EndpointRequestsTest, WithoutLanguageTheSelectionRunsAndNothingIsSent) {
    locale_->locale.reset();
    int selections = 0;
    InterfaceManager::Hooks hooks;
    hooks.showLocaleSelection = [&](std::function<void()> finished,
                                    InterfaceManager::ErrorCallback) {
        ++selections;
        finished();
    };
    InterfaceManager::sharedInstance().setHooks(hooks);
    const std::vector<std::string> needLocale = {"categories", "category items", "highlights",
                                                 "search",     "dump",           "imprint",
                                                 "youtube",    "create folder",  "list folders"};
    for (const auto& c : requestCases()) {
        if (std::find(needLocale.begin(), needLocale.end(), c.name) == needLocale.end()) {
            continue;
        }
        SCOPED_TRACE(c.name);
        auto calls = std::make_shared<Calls>();
        c.run(calls, *this);
        wait(calls);
        EXPECT_EQ(calls->done, 1);
    }
    EXPECT_EQ(selections, static_cast<int>(needLocale.size()));
    EXPECT_TRUE(server_.received().empty());
    EXPECT_GE(logs_->count("No Locale set"), 1);
}

TEST_F(EndpointRequestsTest, ClientVersionAndMaintenanceReadStatuses) {
    struct Case {
        int status;
        std::string body;
        bool updateNeeded;
        std::optional<std::string> minimum;
    };
    for (const Case& c : std::vector<Case>{{426, "3.2.0", true, "3.2.0"},
                                           {200, R"({"success":true})", false, std::nullopt},
                                           {500, "oops", false, std::nullopt}}) {
        answerWith(c.status, c.body, "text/plain");
        std::optional<std::pair<bool, std::optional<std::string>>> result;
        SessionRequests().checkMinAppVersionForCms(
            [&](bool update, std::optional<std::string> minimum) {
                result.emplace(update, minimum);
            });
        ASSERT_TRUE(pump([&] { return result.has_value(); }));
        EXPECT_EQ(result->first, c.updateNeeded) << c.status;
        EXPECT_EQ(result->second, c.minimum) << c.status;
    }

    struct Maintenance {
        int status;
        std::string body;
        std::string type;
        bool maintenance;
    };
    for (const Maintenance& c :
         std::vector<Maintenance>{{404, "not here", "text/plain", false},
                                  {500, "broken", "text/plain", true},
                                  {200, R"({"maintenance":true})", "application/json", true},
                                  {200, R"({"maintenance":false})", "application/json", false},
                                  {200, "", "application/json", true},
                                  {200, "<html>down</html>", "text/html", true}}) {
        answerWith(c.status, c.body, c.type);
        std::optional<bool> result;
        SessionRequests().checkMaintenance([&](bool m) { result = m; });
        ASSERT_TRUE(pump([&] { return result.has_value(); }));
        EXPECT_EQ(*result, c.maintenance) << c.status << " " << c.body;
    }
}

TEST_F(EndpointRequestsTest, KeywordEscaping) {
    EXPECT_EQ(SearchKeyword::escape("a&b"), "a%26b");
    EXPECT_EQ(SearchKeyword::escape("!*'();:@&=+$,/?%#[]"),
              "%21%2A%27%28%29%3B%3A%40%26%3D%2B%24%2C%2F%3F%25%23%5B%5D");
    EXPECT_EQ(SearchKeyword::escape("Grüße x-y_z.~"), "Gr%C3%BC%C3%9Fe%20x-y_z.~");
}

// Answers an operation cannot use reach the caller as one error with a clear text.
TEST_F(EndpointRequestsTest, BadAnswersBecomeErrorValues) {
    struct Case {
        const char* name;
        int status;
        std::string body;
        std::string type;
        Operation run;
        std::string domain;
        int code;
        std::string description;  // empty: any
    };
    using C = std::shared_ptr<Calls>;
    using T = EndpointRequestsTest;
    const std::vector<Case> cases = {
        {"tracking without config", 200, R"({"success":true})", "application/json",
         [](C c, T&) { ConfigRequests().getTrackingSettings(Ops::d(c), Ops::e(c)); }, "VXTracking",
         -1, "No config dictionary found."},
        {"beacons without items", 200, R"({"items":"x"})", "application/json",
         [](C c, T&) { ProximityRequests().getBeaconList(Ops::d(c), Ops::e(c)); }, "Location", -1,
         "No beacon list found."},
        {"customer files without items", 200, R"([1,2])", "application/json",
         [](C c, T&) { ProximityRequests().getFilesForCustomerGroup(2, Ops::d(c), Ops::e(c)); },
         "Location", -1, "No files for customer found."},
        {"folders without items", 200, R"({"success":true})", "application/json",
         [](C c, T&) { FavoriteRequests().getFavoriteFolders(Ops::d(c), Ops::e(c)); }, "FavFolder",
         -1, "No favorite folders found."},
        {"folder refused", 200, R"({"success":false})", "application/json",
         [](C c, T&) {
             FavoriteRequests().createFavoriteFolderWithFolder(folderNamed("F", 0), Ops::d(c),
                                                               Ops::e(c));
         },
         "FavFolder", 100, "Creating favorite folder failed"},
        {"confirmation refused", 200, R"({"success":false})", "application/json",
         [](C c, T&) {
             File file;
             file.cmsID = 1;
             file.confirmationDate = SystemTime{};
             SharingRequests().sendReadConfirmationForFile(file, Ops::d(c), Ops::e(c));
         },
         "ReadConfirmation", 100, "Sending read confirmation failed"},
        {"confirmation on an html page", 502, "<html>bad gateway</html>", "text/html",
         [](C c, T&) {
             File file;
             file.cmsID = 1;
             file.confirmationDate = SystemTime{};
             SharingRequests().sendReadConfirmationForFile(file, Ops::d(c), Ops::e(c));
         },
         "ReadConfirmation", 100, "Sending read confirmation failed"},
        {"categories as html", 200, "<html>login</html>", "text/html",
         [](C c, T&) { CatalogueRequests().getCategoriesFromAPI(Ops::d(c), Ops::e(c)); }, "HTTP",
         -1016, ""},
        {"categories not json", 200, "{not json", "application/json",
         [](C c, T&) { CatalogueRequests().getCategoriesFromAPI(Ops::d(c), Ops::e(c)); }, "", 0,
         ""},
        {"category changes as list", 200, R"([])", "application/json",
         [](C c, T&) {
             CatalogueRequests().getCategoryModifiedFromAPI(
                 [c](const std::vector<std::string>&) { ++c->done; }, Ops::e(c));
         },
         "VXErrorDomain", -1, "The category change answer is not a JSON object."},
        {"contact without id", 200, R"({"success":true})", "application/json",
         [](C c, T&) {
             LeadRequests().registerCustomContactsWithDict(
                 json::object(), [c](std::optional<std::int64_t>) { ++c->done; }, Ops::e(c));
         },
         "VXErrorDomain", -1, "The contact registration answer has no id."},
        {"server error", 500, R"({"success":false})", "application/json",
         [](C c, T&) { CatalogueRequests().getImprint(Ops::d(c), Ops::e(c)); }, "HTTP", 500, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        answerWith(c.status, c.body, c.type);
        auto calls = std::make_shared<Calls>();
        c.run(calls, *this);
        wait(calls);
        ASSERT_TRUE(calls->error.has_value());
        if (!c.domain.empty()) {
            EXPECT_EQ(calls->error->domain, c.domain);
            EXPECT_EQ(calls->error->code, c.code);
        }
        EXPECT_FALSE(calls->error->description.empty());
        if (!c.description.empty()) {
            EXPECT_EQ(calls->error->description, c.description);
        }
    }
}

TEST_F(EndpointRequestsTest, FavouritesRefuseWhenTheirSyncIsDisabled) {
    const auto file = dir_.path() / "AppSettings.plist";
    ASSERT_TRUE(
        PropertyList::writeFile(file.string(), PlistValue(PlistDict{{"CMSURL", serverAddress()},
                                                                    {"EnableFavoriteSync", false}}))
            .ok());
    AppSettings::_setSettingsPath(file);
    auto calls = std::make_shared<Calls>();
    FavoriteRequests().createFavoriteRelation(std::nullopt, done(calls), failed(calls));
    wait(calls);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(*calls->error, Error::make("FavoriteSync", 100, "Favorite sync is disabled"));
    EXPECT_TRUE(server_.received().empty());
}

TEST_F(EndpointRequestsTest, MissingRelationIsRefusedBeforeSending) {
    auto calls = std::make_shared<Calls>();
    FavoriteRequests().createFavoriteRelation(std::nullopt, done(calls), failed(calls));
    wait(calls);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(*calls->error, Error::make("FavoriteRelation", -1, "Relation cannot be nil"));

    calls = std::make_shared<Calls>();
    FavoriteRequests().deleteFavoriteRelation(FavoriteFolderRelation{}, done(calls), failed(calls));
    wait(calls);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(calls->error->description, "cmsID cannot be nil");
    EXPECT_TRUE(server_.received().empty());
}

TEST_F(EndpointRequestsTest, AnswersGoToTheImporterAndAdvanceTimestampsOnlyAfterSuccess) {
    auto calls = std::make_shared<Calls>();
    CatalogueRequests().getHighlightsFromAPI(done(calls), failed(calls));
    wait(calls);
    EXPECT_EQ(calls->done, 1);
    EXPECT_THAT(importer_->calls(), ::testing::Contains("files:-1"));
    EXPECT_EQ(timestamps_->get("cat-1"), "T2");

    // A refused import keeps the old timestamp and reports the import error.
    importer_->refuse = {"categories"};
    timestamps_->values["list"] = "T1";
    calls = std::make_shared<Calls>();
    CatalogueRequests().getCategoriesFromAPI(done(calls), failed(calls));
    wait(calls);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(*calls->error, Error::make("VXErrorDomain", -1, "Error while importing categories."));
    EXPECT_EQ(timestamps_->get("list"), "T1");

    importer_->refuse = {"filelist"};
    calls = std::make_shared<Calls>();
    CatalogueRequests().searchFilesWithKeyword("x", done(calls), failed(calls));
    wait(calls);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(calls->error->description, "Error while importing files.");

    tracking_->configs.clear();
    calls = std::make_shared<Calls>();
    ConfigRequests().getTrackingSettings(done(calls), failed(calls));
    wait(calls);
    ASSERT_EQ(tracking_->configs.size(), 1u);
    EXPECT_EQ(tracking_->configs[0], (json{{"a", 1}}));
}

TEST_F(EndpointRequestsTest, ProximityFilesUnlinkTheEntryBeforeImporting) {
    auto calls = std::make_shared<Calls>();
    ProximityRequests().getFilesForCustomer(6, done(calls), failed(calls));
    wait(calls);
    EXPECT_EQ(calls->done, 1);
    EXPECT_THAT(importer_->calls(), ::testing::ElementsAre("unlink:1:6", "filelist"));
}

// "modified" is handed on even when nothing was added; the timestamp follows the deletions.
TEST_F(EndpointRequestsTest, CategoryChangesHandOnModifiedThenAdded) {
    struct Case {
        const char* name;
        std::string answer;
        std::vector<std::string> ids;
        bool listFetched;
    };
    for (const auto& c : std::vector<Case>{
             {"modified only",
              R"({"added":[],"modified":["3",4],"deleted":[],"removed":[],"timestamp":"M1"})",
              {"3", "4"},
              false},
             {"both",
              R"({"added":["9"],"modified":["3"],"deleted":["1"],"removed":[2],"timestamp":"M1"})",
              {"3", "9"},
              true}}) {
        SCOPED_TRACE(c.name);
        timestamps_->values.clear();
        timestamps_->values["all"] = "T0";
        const std::string answer = c.answer;
        server_.setHandler([answer](const httplib::Request& request, httplib::Response& response) {
            response.set_content(request.path.find("/modified/") != std::string::npos
                                     ? answer
                                     : std::string(R"({"items":[],"timestamp":"L1"})"),
                                 "application/json");
        });
        const std::size_t before = server_.received().size();
        std::optional<std::vector<std::string>> ids;
        auto calls = std::make_shared<Calls>();
        CatalogueRequests().getCategoryModifiedFromAPI(
            [&, calls](const std::vector<std::string>& list) {
                ++calls->done;
                ids = list;
            },
            failed(calls));
        wait(calls);
        ASSERT_TRUE(ids.has_value());
        EXPECT_EQ(*ids, c.ids);
        EXPECT_EQ(timestamps_->get("all"), "M1");
        auto received = server_.received();
        EXPECT_EQ(received[before].target, "/api2/category/modified/5?token=tok&timestamp=T0");
        EXPECT_EQ(received.size() - before, c.listFetched ? 2u : 1u);
    }
    EXPECT_THAT(importer_->calls(), ::testing::IsSupersetOf({"delete-any", "delete:5"}));

    // A failed deletion reports the error and leaves the timestamp alone.
    importer_->refuse = {"delete-any"};
    timestamps_->values["all"] = "T0";
    auto calls = std::make_shared<Calls>();
    CatalogueRequests().getCategoryModifiedFromAPI(
        [calls](const std::vector<std::string>&) { ++calls->done; }, failed(calls));
    wait(calls);
    EXPECT_EQ(calls->errors, 1);
    EXPECT_EQ(timestamps_->get("all"), "T0");
}

TEST_F(EndpointRequestsTest, FirstSyncImportsEveryCategoryAndThenCopiesTheListTimestamp) {
    importer_->categories = {11, 12, 13};
    server_.setHandler([](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"items":[],"timestamp":"L9"})", "application/json");
    });
    std::vector<double> progress;
    auto calls = std::make_shared<Calls>();
    CatalogueRequests().getAllFilesForSync(
        done(calls), [&](double f) { progress.push_back(f); }, failed(calls));
    wait(calls);
    EXPECT_EQ(calls->done, 1);
    std::multiset<std::string> targets;
    for (const auto& r : server_.received()) {
        targets.insert(r.path);
    }
    EXPECT_EQ(targets,
              (std::multiset<std::string>{"/api2/category/list/5", "/api2/category/items/11",
                                          "/api2/category/items/12", "/api2/category/items/13"}));
    EXPECT_EQ(timestamps_->get("all"), "L9");
    ASSERT_FALSE(progress.empty());
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);
    EXPECT_THAT(importer_->calls(), ::testing::Contains("save"));
}

TEST_F(EndpointRequestsTest, FailedCategoryImportKeepsTheAllFilesTimestamp) {
    importer_->categories = {11, 12};
    importer_->refuse = {"files:12"};
    server_.setHandler([](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"items":[],"timestamp":"L9"})", "application/json");
    });
    auto calls = std::make_shared<Calls>();
    CatalogueRequests().getAllFilesForSync(done(calls), nullptr, failed(calls));
    wait(calls);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(calls->error->description, "Error while importing categories.");
    EXPECT_EQ(timestamps_->get("all"), "0");
    EXPECT_EQ(timestamps_->get("cat11"), "L9");
    EXPECT_EQ(timestamps_->get("cat12"), "0");
}

TEST_F(EndpointRequestsTest, CategoryCancelledBeforeItRanStillCountsAsFinishedOnce) {
    importer_->categories = {11, 12};
    server_.setHandler([](const httplib::Request&, httplib::Response& response) {
        response.set_content(R"({"items":[],"timestamp":"L9"})", "application/json");
    });
    // Category 12's operation is cancelled before the queue starts it: its work never runs.
    CatalogueRequests::setImportOperationFactory(
        [](std::int64_t id, CatalogueRequests::Done completion, CatalogueRequests::ErrorCallback) {
            // Like the real operation, it reports on the main queue and then ends.
            auto operation = std::make_shared<AsyncOperation>([completion](AsyncOperation& self) {
                auto running = self.shared_from_this();
                MainQueue::shared().post([running, completion] {
                    running->finish();
                    completion();
                });
            });
            if (id == 12) {
                operation->cancel();
            }
            return operation;
        });
    auto calls = std::make_shared<Calls>();
    CatalogueRequests().getAllFilesForSync(done(calls), nullptr, failed(calls));
    wait(calls);
    MainQueue::shared().runFor(std::chrono::milliseconds(50));
    EXPECT_EQ(calls->total(), 1);
    ASSERT_TRUE(calls->error.has_value());
    EXPECT_EQ(timestamps_->get("all"), "0");
}

TEST_F(EndpointRequestsTest, IncrementalSyncImportsOnlyChangedCategoriesOfTheLanguage) {
    importer_->categories = {3, 4, 5};
    timestamps_->values["all"] = "T0";
    server_.setHandler([](const httplib::Request& request, httplib::Response& response) {
        if (request.path.find("/modified/") != std::string::npos) {
            response.set_content(R"({"added":[],"modified":["4","77"],"timestamp":"M2"})",
                                 "application/json");
        } else {
            response.set_content(R"({"items":[],"timestamp":"F"})", "application/json");
        }
    });
    auto calls = std::make_shared<Calls>();
    CatalogueRequests().getAllFilesForSync(done(calls), nullptr, failed(calls));
    wait(calls);
    EXPECT_EQ(calls->done, 1);
    auto received = server_.received();
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].path, "/api2/category/items/4");
    EXPECT_EQ(timestamps_->get("all"), "M2");
}

}  // namespace
}  // namespace pagewell::test
