// The reference server over real HTTP: started in-process on a free loopback port with a
// catalogue the test writes, and spoken to with an HTTP client.
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>

#include "TestCatalogue.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "cms/ResponseBody.h"
#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "platform/HttpDate.h"

namespace pagewell::cms {
namespace {

using nlohmann::json;

constexpr const char* kAppSecret = "app-secret";

class CmsServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        clock_ = std::make_shared<ManualClock>();
        Clock::setShared(clock_);
        test::writeTestCatalogue(dir_.path());
        startServer(true);
    }
    void TearDown() override {
        server_.reset();
        Clock::setShared(nullptr);
    }

    void startServer(bool hooks) {
        server_.reset();
        CmsServerOptions options;
        options.catalogue = dir_.path();
        options.appSecret = kAppSecret;
        options.tokenLifetime = std::chrono::seconds(600);
        options.testHooks = hooks;
        auto created = CmsServer::create(options);
        ASSERT_TRUE(created.ok()) << created.error().description;
        server_ = std::move(created).value();
        auto port = server_->start();
        ASSERT_TRUE(port.ok()) << port.error().description;
        client_ = std::make_unique<httplib::Client>("127.0.0.1", port.value());
        client_->set_read_timeout(10, 0);
    }

    httplib::Result loginV2(const std::string& user, const std::string& password,
                            const std::string& secret = kAppSecret) {
        return client_->Get("/api2/auth/loginv2", {{"X-Uid", "install-1"},
                                                   {"X-App-Secret", secret},
                                                   {"Authorization", basic(user, password)}});
    }

    static std::string basic(const std::string& user, const std::string& password) {
        // Base64 of "user:password", enough for the short names used here.
        static const char* kAlphabet =
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
        const std::string in = user + ":" + password;
        std::string out;
        for (std::size_t i = 0; i < in.size(); i += 3) {
            unsigned n = static_cast<unsigned char>(in[i]) << 16;
            if (i + 1 < in.size())
                n |= static_cast<unsigned char>(in[i + 1]) << 8;
            if (i + 2 < in.size())
                n |= static_cast<unsigned char>(in[i + 2]);
            out += kAlphabet[(n >> 18) & 63];
            out += kAlphabet[(n >> 12) & 63];
            out += i + 1 < in.size() ? kAlphabet[(n >> 6) & 63] : '=';
            out += i + 2 < in.size() ? kAlphabet[n & 63] : '=';
        }
        return "Basic " + out;
    }

    std::string token(const std::string& user = "demo", const std::string& password = "demo") {
        auto res = loginV2(user, password);
        EXPECT_TRUE(res && res->status == 200);
        return res ? json::parse(res->body).value("token", "") : "";
    }

    json getJson(const std::string& path) {
        auto res = client_->Get(path);
        EXPECT_TRUE(res) << path;
        if (!res) {
            return nullptr;
        }
        EXPECT_EQ(res->status, 200) << path << ": " << res->body;
        EXPECT_FALSE(res->body.empty()) << path;
        return json::parse(res->body, nullptr, false);
    }

    json hook(const std::string& path, const json& body) {
        auto res = client_->Post(path, body.dump(), "application/json");
        EXPECT_TRUE(res && res->status == 200) << path << ": " << (res ? res->body : "");
        return res ? json::parse(res->body, nullptr, false) : json();
    }

    static std::vector<std::string> ids(const json& list) {
        std::vector<std::string> out;
        for (const auto& item : list) {
            out.push_back(item.is_object() ? item.at("id").get<std::string>()
                                           : item.get<std::string>());
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    TemporaryDirectory dir_;
    std::shared_ptr<ManualClock> clock_;
    std::unique_ptr<CmsServer> server_;
    std::unique_ptr<httplib::Client> client_;
};

TEST_F(CmsServerTest, HeaderLoginAnswersTokenSecretAndUserOrRefuses) {
    auto probe = client_->Head("/api2/auth/loginv2");
    ASSERT_TRUE(probe);
    EXPECT_EQ(probe->status, 200);

    auto ok = loginV2("demo", "demo");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    json answer = json::parse(ok->body);
    EXPECT_EQ(answer["success"], true);
    EXPECT_EQ(answer["secret"], "secret-1");
    EXPECT_EQ(answer["userId"], "1");
    EXPECT_FALSE(answer["token"].get<std::string>().empty());

    struct Case {
        const char* what;
        std::string user, password, secret;
        int status;
    };
    for (const auto& c : std::vector<Case>{
             {"wrong password", "demo", "nope", kAppSecret, 401},
             {"unknown user", "ghost", "demo", kAppSecret, 401},
             {"wrong app secret", "demo", "demo", "guess", 403},
         }) {
        auto res = loginV2(c.user, c.password, c.secret);
        ASSERT_TRUE(res) << c.what;
        EXPECT_EQ(res->status, c.status) << c.what;
        EXPECT_EQ(json::parse(res->body), json({{"success", false}})) << c.what;
    }
    auto noBasic =
        client_->Get("/api2/auth/loginv2", {{"X-Uid", "i"}, {"X-App-Secret", kAppSecret}});
    ASSERT_TRUE(noBasic);
    EXPECT_EQ(noBasic->status, 401);

    auto appConnect =
        client_->Get("/api2/auth/appConnectLogin", {{"X-Uid", "install-1"},
                                                    {"X-App-Secret", kAppSecret},
                                                    {"Authorization", basic("other", "pw2")}});
    ASSERT_TRUE(appConnect);
    EXPECT_EQ(json::parse(appConnect->body)["userId"], "2");
}

TEST_F(CmsServerTest, FallbackLoginCarriesEverythingInThePath) {
    auto ok = client_->Get("/api2/auth/login/demo/demo/install-1/app-secret");
    ASSERT_TRUE(ok);
    EXPECT_EQ(ok->status, 200);
    const std::string fallbackToken = json::parse(ok->body)["token"];
    EXPECT_FALSE(getJson("/api2/locale/list?token=" + fallbackToken).is_discarded());

    auto badPassword = client_->Get("/api2/auth/login/demo/x/install-1/app-secret");
    ASSERT_TRUE(badPassword);
    EXPECT_EQ(badPassword->status, 401);
    auto badSecret = client_->Get("/api2/auth/login/demo/demo/install-1/wrong");
    ASSERT_TRUE(badSecret);
    EXPECT_EQ(badSecret->status, 403);
}

TEST_F(CmsServerTest, MissingExpiredOrRevokedTokensGetAnEmptyAnswer) {
    const std::string t = token();
    EXPECT_EQ(getJson("/api2/locale/list?token=" + t)["items"].size(), 2u);

    auto expectEmpty = [&](const std::string& path, const char* why) {
        auto res = client_->Get(path);
        ASSERT_TRUE(res) << why;
        EXPECT_EQ(res->status, 200) << why;
        EXPECT_TRUE(res->body.empty()) << why << ": " << res->body;
    };
    expectEmpty("/api2/locale/list", "no token");
    expectEmpty("/api2/locale/list?token=made-up", "unknown token");

    // The lifetime runs out on the server's clock.
    clock_->advance(std::chrono::minutes(11));
    expectEmpty("/api2/locale/list?token=" + t, "expired by time");
    expectEmpty("/media/files/100/guide.pdf?token=" + t, "download with expired token");

    const std::string fresh = token();
    hook("/__test/tokens/expire", json::object());
    expectEmpty("/api2/category/list/1?token=" + fresh, "expired by the hook");

    const std::string again = token();
    EXPECT_EQ(getJson("/api2/auth/logout?token=" + again)["success"], true);
    expectEmpty("/api2/locale/list?token=" + again, "signed out");
}

TEST_F(CmsServerTest, CatalogueAnswersDependOnUserAndLocale) {
    const std::string demo = token();
    const std::string other = token("other", "pw2");

    json list = getJson("/api2/category/list/1?token=" + demo);
    EXPECT_EQ(ids(list["items"]), (std::vector<std::string>{"10", "11"}));
    EXPECT_FALSE(list.contains("delete"));  // a full answer carries no deletion lists
    for (const auto& item : list["items"]) {
        if (item["id"] == "10") {
            EXPECT_EQ(item["child_ids"], json({"11"}));
        } else {
            EXPECT_EQ(item["parent_ids"], json({"10"}));
        }
    }
    EXPECT_EQ(list["sortings"].size(), 2u);
    EXPECT_TRUE(list["timestamp"].is_string());

    // Category 11 and file 101 belong to the first user only.
    json otherList = getJson("/api2/category/list/1?token=" + other);
    EXPECT_EQ(ids(otherList["items"]), std::vector<std::string>{"10"});
    EXPECT_EQ(otherList["items"][0]["child_ids"], json::array());
    EXPECT_EQ(getJson("/api2/locale/list?token=" + other)["items"].size(), 1u);
    auto hidden = client_->Get("/api2/category/items/11?token=" + other + "&locale=1");
    ASSERT_TRUE(hidden);
    EXPECT_EQ(hidden->status, 404);

    json items = getJson("/api2/category/items/10?token=" + demo + "&locale=1");
    ASSERT_EQ(items["items"].size(), 1u);
    const json& file = items["items"][0];
    EXPECT_EQ(file["id"], "100");
    EXPECT_EQ(file["position"], 4);
    EXPECT_EQ(file["is_highlight"], 1);
    EXPECT_EQ(file["file_size"], std::string(test::kFileContent).size());
    EXPECT_EQ(file["thumbnail_id"], "100");
    EXPECT_EQ(file["annotation_ids"], json({500}));
    EXPECT_EQ(items["thumbnails"][0]["id"], "100");
    EXPECT_EQ(items["assets"][0]["annotation_id"], 500);
    EXPECT_EQ(items["annotations"][0]["asset_ids"], json({900}));
    EXPECT_EQ(items["annotations"][0]["page"], 2);

    // The German tree and title.
    json german = getJson("/api2/category/items/10?token=" + demo + "&locale=2");
    EXPECT_EQ(german["items"][0]["title"], "Pumpenfibel");
    EXPECT_EQ(getJson("/api2/highlight/list/1?token=" + demo)["highlights"].size(), 1u);
    EXPECT_EQ(ids(getJson("/api2/search/1?keyword=HYDRAUL&token=" + demo)["items"]),
              std::vector<std::string>{"100"});
    EXPECT_EQ(getJson("/api2/search/1?keyword=nothing&token=" + demo)["items"].size(), 0u);
    EXPECT_EQ(getJson("/api2/imprint/get/1?token=" + demo)["text"], "Imprint text");
    json dump = getJson("/api2/category/dump?token=" + demo + "&locale=1");
    EXPECT_EQ(dump["files"], json({"100", "101"}));
}

TEST_F(CmsServerTest, IncrementalAnswersHoldOnlyWhatChangedSinceTheTimestamp) {
    const std::string t = token();
    const std::string since = getJson("/api2/category/list/1?token=" + t)["timestamp"];
    const std::string q = "?token=" + t + "&timestamp=" + since;

    // Nothing changed yet: empty change lists, but the deletion keys are there.
    json unchanged = getJson("/api2/category/items/11" + q + "&locale=1");
    EXPECT_EQ(unchanged["items"].size(), 0u);
    EXPECT_EQ(unchanged["remove"], json::array());
    EXPECT_EQ(unchanged["delete"], json::array());

    hook("/__test/catalogue/touch", {{"file", 101}});
    json modified = getJson("/api2/category/modified/1" + q);
    EXPECT_EQ(modified["modified"], json({"11"}));
    EXPECT_EQ(modified["added"], json::array());
    json changed = getJson("/api2/category/items/11" + q + "&locale=1");
    EXPECT_EQ(ids(changed["items"]), std::vector<std::string>{"101"});
    EXPECT_NE(changed["items"][0]["time_modified"], "2024-01-03 09:00:00");
    EXPECT_GT(std::stoll(changed["timestamp"].get<std::string>()), std::stoll(since));

    hook("/__test/catalogue/remove-file", {{"file", 100}, {"category", 11}});
    hook("/__test/catalogue/delete-file", {{"file", 101}});
    json after = getJson("/api2/category/items/11" + q + "&locale=1");
    EXPECT_EQ(after["items"].size(), 0u);
    EXPECT_EQ(ids(after["remove"]), std::vector<std::string>{"100"});
    EXPECT_EQ(ids(after["delete"]), std::vector<std::string>{"101"});
    // The full answer simply no longer lists them.
    json full = getJson("/api2/category/items/11?token=" + t + "&locale=1");
    EXPECT_EQ(full["items"].size(), 0u);
    EXPECT_FALSE(full.contains("remove"));

    hook("/__test/catalogue/add-category",
         {{"category", 12}, {"locale", 1}, {"title", "Valves"}, {"parents", {10}}});
    hook("/__test/catalogue/delete-category", {{"category", 11}, {"locale", 1}});
    json categories = getJson("/api2/category/list/1" + q);
    EXPECT_EQ(ids(categories["items"]), (std::vector<std::string>{"10", "12"}));
    EXPECT_EQ(categories["delete"], json({"11"}));
    json categoryChanges = getJson("/api2/category/modified/1" + q);
    EXPECT_EQ(categoryChanges["added"], json({"12"}));
    EXPECT_EQ(categoryChanges["deleted"], json({"11"}));

    // A revision the server never handed out gets the full list.
    json unknown = getJson("/api2/category/list/1?token=" + t + "&timestamp=5");
    EXPECT_FALSE(unknown.contains("delete"));
    auto bad = client_->Get("/api2/category/list/1?token=" + t + "&timestamp=abc");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
}

TEST_F(CmsServerTest, RemovalsForOneUserReachOnlyThatUser) {
    const std::string demo = token();
    const std::string other = token("other", "pw2");
    const std::string since = getJson("/api2/category/list/1?token=" + demo)["timestamp"];
    hook("/__test/catalogue/remove-file", {{"file", 100}, {"user", 2}});
    hook("/__test/catalogue/remove-category", {{"category", 10}, {"locale", 1}, {"user", 1}});

    json forOther = getJson("/api2/highlight/list/1?token=" + other + "&timestamp=" + since);
    EXPECT_EQ(forOther["remove"], json({"100"}));
    json forDemo = getJson("/api2/highlight/list/1?token=" + demo + "&timestamp=" + since);
    EXPECT_EQ(forDemo["remove"], json::array());

    json demoCategories = getJson("/api2/category/list/1?token=" + demo + "&timestamp=" + since);
    EXPECT_EQ(demoCategories["removed"], json({"10"}));
    json otherCategories = getJson("/api2/category/list/1?token=" + other + "&timestamp=" + since);
    EXPECT_EQ(otherCategories["removed"], json::array());

    hook("/__test/catalogue/unassign-locales", {{"user", 2}});
    EXPECT_EQ(getJson("/api2/locale/list?token=" + other)["items"], json::array());
}

TEST_F(CmsServerTest, DownloadsNeedATokenAndHonourRanges) {
    const std::string t = token();
    auto file = client_->Get("/media/files/100/guide.pdf?token=" + t);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->status, 200);
    EXPECT_EQ(file->body, test::kFileContent);
    EXPECT_EQ(file->get_header_value("Content-Type"), "application/pdf");

    auto noToken = client_->Get("/media/files/100/guide.pdf");
    ASSERT_TRUE(noToken);
    EXPECT_EQ(noToken->status, 200);
    EXPECT_TRUE(noToken->body.empty());

    auto range = client_->Get("/media/files/100/guide.pdf?token=" + t, {{"Range", "bytes=5-8"}});
    ASSERT_TRUE(range);
    EXPECT_EQ(range->status, 206);
    EXPECT_EQ(range->body, std::string(test::kFileContent).substr(5, 4));

    // Any width names the thumbnail.
    for (const char* width : {"120", "300", "1024"}) {
        auto thumb =
            client_->Get(std::string("/media/thumbs/100/") + width + "/guide.png?token=" + t);
        ASSERT_TRUE(thumb);
        EXPECT_EQ(thumb->body, test::kThumbnailContent) << width;
    }
    auto asset = client_->Get("/media/assets/900/slide1.jpg?token=" + t);
    ASSERT_TRUE(asset);
    EXPECT_EQ(asset->body, test::kAssetContent);
}

TEST_F(CmsServerTest, FileDownloadsCarryValidatorsAndAnswerACurrentCopyWith304) {
    const std::string address = "/media/files/100/guide.pdf?token=" + token();
    auto first = client_->Get(address);
    ASSERT_TRUE(first);
    const std::string eTag = first->get_header_value("ETag");
    const std::string lastModified = first->get_header_value("Last-Modified");
    ASSERT_FALSE(eTag.empty());
    ASSERT_TRUE(HttpDate::parse(lastModified)) << lastModified;
    const std::string later =
        HttpDate::format(*HttpDate::parse(lastModified) + std::chrono::hours(1));
    const std::string earlier =
        HttpDate::format(*HttpDate::parse(lastModified) - std::chrono::hours(1));
    struct Case {
        const char* name;
        httplib::Headers headers;
        int status;
    };
    // An If-None-Match decides alone; a date counts only without it.
    const std::vector<Case> cases = {
        {"the same tag", {{"If-None-Match", eTag}}, 304},
        {"one of several tags, weak", {{"If-None-Match", "\"x\", W/" + eTag}}, 304},
        {"another tag, a later date",
         {{"If-None-Match", "\"x\""}, {"If-Modified-Since", later}},
         200},
        {"a date since the change", {{"If-Modified-Since", later}}, 304},
        {"a date before the change", {{"If-Modified-Since", earlier}}, 200},
        {"a date that does not read", {{"If-Modified-Since", "yesterday"}}, 200},
    };
    for (const auto& c : cases) {
        auto answer = client_->Get(address, c.headers);
        ASSERT_TRUE(answer) << c.name;
        EXPECT_EQ(answer->status, c.status) << c.name;
        EXPECT_EQ(answer->body, c.status == 200 ? test::kFileContent : "") << c.name;
        EXPECT_EQ(answer->get_header_value("ETag"), eTag) << c.name;
    }

    // New content at the same address is a new entity: the old tag no longer matches.
    hook("/__test/catalogue/change-content", {{"file", 100}, {"content", "%PDF-1.4 newer"}});
    auto changed = client_->Get(address, {{"If-None-Match", eTag}});
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->status, 200);
    EXPECT_EQ(changed->body, "%PDF-1.4 newer");
    EXPECT_NE(changed->get_header_value("ETag"), eTag);
}

// A catalogue file larger than the server's read block, so ranges and whole answers cross
// block boundaries. Byte i is a function of i, so any slice shows where it came from.
std::string largeContent() {
    std::string bytes(ResponseBody::kBlockBytes * 2 + 12345, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<char>('a' + (i * 7 + i / 251) % 26);
    }
    return bytes;
}

TEST_F(CmsServerTest, DownloadsAnswerByteRangesFromDiskAndFromMemory) {
    const std::string large = largeContent();
    ASSERT_TRUE(FileSystem::writeFileAtomically(dir_.path() / "files" / "guide.pdf", large).ok());
    const std::string t = token();
    const std::string block = std::to_string(ResponseBody::kBlockBytes);
    const std::string size = std::to_string(large.size());
    struct Case {
        std::string range;
        int status;
        std::size_t first;   // of the bytes expected, for a 206
        std::size_t length;  // of the bytes expected, for a 206
        std::string contentRange;
    };
    const std::vector<Case> cases = {
        {"bytes=5-8", 206, 5, 4, "bytes 5-8/" + size},
        // Across the boundary of the server's first read block.
        {"bytes=" + std::to_string(ResponseBody::kBlockBytes - 3) + "-" + block, 206,
         ResponseBody::kBlockBytes - 3, 4,
         "bytes " + std::to_string(ResponseBody::kBlockBytes - 3) + "-" + block + "/" + size},
        {"bytes=-10", 206, large.size() - 10, 10,
         "bytes " + std::to_string(large.size() - 10) + "-" + std::to_string(large.size() - 1) +
             "/" + size},
        {"bytes=100-", 206, 100, large.size() - 100,
         "bytes 100-" + std::to_string(large.size() - 1) + "/" + size},
        // A range past the end is cut to the end and says so.
        {"bytes=" + std::to_string(large.size() - 4) + "-99999999", 206, large.size() - 4, 4,
         "bytes " + std::to_string(large.size() - 4) + "-" + std::to_string(large.size() - 1) +
             "/" + size},
        {"bytes=" + size + "-", 416, 0, 0, "bytes */" + size},
        // Several ranges: the whole file, which the protocol allows.
        {"bytes=0-1,5-6", 200, 0, large.size(), ""},
    };
    for (const auto& c : cases) {
        auto res = client_->Get("/media/files/100/guide.pdf?token=" + t, {{"Range", c.range}});
        ASSERT_TRUE(res) << c.range;
        EXPECT_EQ(res->status, c.status) << c.range;
        EXPECT_EQ(res->get_header_value("Content-Range"), c.contentRange) << c.range;
        if (c.status != 416) {
            EXPECT_TRUE(res->body == large.substr(c.first, c.length)) << c.range;
        }
    }
    auto whole = client_->Get("/media/files/100/guide.pdf?token=" + t);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->status, 200);
    EXPECT_TRUE(whole->body == large);

    // Content a hook put in memory is cut the same way.
    hook("/__test/catalogue/change-content", {{"file", 100}, {"content", "0123456789"}});
    auto fromMemory =
        client_->Get("/media/files/100/guide.pdf?token=" + t, {{"Range", "bytes=7-20"}});
    ASSERT_TRUE(fromMemory);
    EXPECT_EQ(fromMemory->status, 206);
    EXPECT_EQ(fromMemory->body, "789");
    EXPECT_EQ(fromMemory->get_header_value("Content-Range"), "bytes 7-9/10");

    // A Range header does not cut an answer that is no download.
    auto list = client_->Get("/api2/locale/list?token=" + t, {{"Range", "bytes=0-3"}});
    ASSERT_TRUE(list);
    EXPECT_EQ(list->status, 200);
    EXPECT_EQ(json::parse(list->body)["items"].size(), 2u);
}

// libcurl keeps the connection of an easy handle between transfers when the server allows it.
class CurlTransfers {
  public:
    CurlTransfers() : curl_(curl_easy_init()) {}
    ~CurlTransfers() { curl_easy_cleanup(curl_); }
    CurlTransfers(const CurlTransfers&) = delete;
    CurlTransfers& operator=(const CurlTransfers&) = delete;

    // The body of one GET, and how many new connections it took.
    std::pair<std::string, long> get(const std::string& url) {
        std::string body;
        curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
        curl_easy_setopt(
            curl_, CURLOPT_WRITEFUNCTION, +[](char* data, size_t, size_t n, void* to) {
                static_cast<std::string*>(to)->append(data, n);
                return n;
            });
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &body);
        EXPECT_EQ(curl_easy_perform(curl_), CURLE_OK) << url;
        long connects = -1;
        curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &connects);
        return {body, connects};
    }

  private:
    CURL* curl_;
};

TEST_F(CmsServerTest, OneConnectionServesManyRequests) {
    const std::string t = token();
    const std::string base = server_->baseUrl();
    CurlTransfers curl;
    auto [first, connects] = curl.get(base + "/media/files/100/guide.pdf?token=" + t);
    EXPECT_EQ(first, test::kFileContent);
    EXPECT_EQ(connects, 1);
    // Far more requests than the library's own default of five per connection, mixing files,
    // thumbnails, API answers and a 404.
    for (int i = 0; i < 30; ++i) {
        const std::vector<std::pair<std::string, std::string>> requests = {
            {"/media/files/100/guide.pdf", test::kFileContent},
            {"/media/thumbs/100/" + std::to_string(100 + i) + "/guide.png",
             test::kThumbnailContent},
            {"/media/assets/900/slide1.jpg", test::kAssetContent},
        };
        for (const auto& [path, content] : requests) {
            auto [body, again] = curl.get(base + path + "?token=" + t);
            EXPECT_EQ(body, content) << path;
            EXPECT_EQ(again, 0) << "request " << i << " " << path << " opened a connection";
        }
        EXPECT_EQ(curl.get(base + "/media/files/100/none.pdf?token=" + t).second, 0)
            << "after a 404";
    }
}

TEST_F(CmsServerTest, NothingOutsideTheCatalogueIsServed) {
    const std::string t = token();
    for (const std::string path :
         {"/media/files/100/../../catalogue.json", "/media/files/%2e%2e/%2e%2e/catalogue.json",
          "/media/catalogue.json", "/media/files/100/..%2f..%2fcatalogue.json",
          "/media/thumbs/100/abc/guide.png", "/media/files/100//etc/passwd", "/catalogue.json",
          "/files/guide.pdf"}) {
        auto res = client_->Get(path + "?token=" + t);
        ASSERT_TRUE(res) << path;
        EXPECT_EQ(res->status, 404) << path;
        EXPECT_EQ(res->body.find("format"), std::string::npos) << path;
    }
}

TEST_F(CmsServerTest, ContentAndLocationChangesAreServed) {
    const std::string t = token();
    hook("/__test/catalogue/change-content", {{"file", 100}, {"content", "new bytes"}});
    auto changed = client_->Get("/media/files/100/guide.pdf?token=" + t);
    ASSERT_TRUE(changed);
    EXPECT_EQ(changed->body, "new bytes");

    hook("/__test/catalogue/move", {{"file", 100}});
    json items = getJson("/api2/category/items/10?token=" + t + "&locale=1");
    const std::string location = items["items"][0]["file_location"];
    EXPECT_NE(location, "/media/files/100/guide.pdf");
    EXPECT_EQ(items["items"][0]["file_size"], 9);
    auto moved = client_->Get(location + "?token=" + t);
    ASSERT_TRUE(moved);
    EXPECT_EQ(moved->body, "new bytes");
    auto old = client_->Get("/media/files/100/guide.pdf?token=" + t);
    ASSERT_TRUE(old);
    EXPECT_EQ(old->status, 404);

    hook("/__test/catalogue/add-file", {{"file", 200},
                                        {"title", "Added"},
                                        {"name", "added.txt"},
                                        {"content", "added"},
                                        {"locales", {1}},
                                        {"categories", {10}}});
    json withNew = getJson("/api2/category/items/10?token=" + t + "&locale=1");
    EXPECT_EQ(ids(withNew["items"]), (std::vector<std::string>{"100", "200"}));
    auto added = client_->Get("/media/files/200/added.txt?token=" + t);
    ASSERT_TRUE(added);
    EXPECT_EQ(added->body, "added");
}

TEST_F(CmsServerTest, FaultHooksFailStallEmptyAndDropTheNextRequests) {
    const std::string t = token();
    const std::string path = "/api2/locale/list?token=" + t;

    hook("/__test/faults",
         {{"prefix", "/api2/locale"}, {"action", "status"}, {"status", 503}, {"count", 2}});
    for (int i = 0; i < 2; ++i) {
        auto res = client_->Get(path);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 503);
    }
    EXPECT_EQ(getJson(path)["items"].size(), 2u);  // the fault is used up

    hook("/__test/faults", {{"prefix", "/api2/locale"}, {"action", "empty"}});
    auto empty = client_->Get(path);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->status, 200);
    EXPECT_TRUE(empty->body.empty());

    hook("/__test/faults", {{"prefix", "/media/"}, {"action", "drop"}});
    auto dropped = client_->Get("/media/files/100/guide.pdf?token=" + t);
    EXPECT_TRUE(!dropped || dropped->body.size() < std::string(test::kFileContent).size());

    // A stalled request outlasts the client's patience; the server stays usable.
    hook("/__test/faults", {{"prefix", "/api2/locale"}, {"action", "stall"}, {"seconds", 60}});
    httplib::Client impatient("127.0.0.1", server_->port());
    impatient.set_read_timeout(0, 300'000);
    auto stalled = impatient.Get(path);
    EXPECT_FALSE(stalled);
    EXPECT_EQ(getJson("/api2/category/list/1?token=" + t)["items"].size(), 2u);

    hook("/__test/faults", {{"prefix", "/api2/"}, {"action", "status"}, {"count", 5}});
    auto cleared = client_->Delete("/__test/faults");
    ASSERT_TRUE(cleared);
    EXPECT_EQ(getJson(path)["items"].size(), 2u);
}

TEST_F(CmsServerTest, RequestLogKeepsNoSecrets) {
    // One connection: the server logs a request before it reads the next one on the same
    // connection, so the log asked for last already holds every earlier request.
    client_->set_keep_alive(true);
    client_->Get("/api2/auth/login/demo/demo/install-1/app-secret");
    const std::string t = token();
    client_->Get("/api2/locale/list?token=" + t);
    client_->Post("/api/auth/forgot", {{"X-App-Secret", kAppSecret}},
                  R"({"username": "demo", "password": "demo"})", "application/json");

    auto res = client_->Get("/__test/requests");
    ASSERT_TRUE(res);
    const std::string log = res->body;
    EXPECT_NE(log.find("/api2/locale/list"), std::string::npos);
    EXPECT_NE(log.find("/api2/auth/login/demo/"), std::string::npos);
    for (const std::string& secret : {t, std::string(kAppSecret), std::string("demo/demo"),
                                      basic("demo", "demo").substr(6), std::string("\"demo\"}")}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
    }
}

TEST_F(CmsServerTest, BadInputGetsAShortJsonError) {
    struct Case {
        const char* what;
        std::function<httplib::Result()> send;
        int status;
    };
    const std::string huge(2u << 20, ' ');
    const std::vector<Case> cases = {
        {"malformed JSON",
         [&] {
             return client_->Post("/api/auth/forgot", {{"X-App-Secret", kAppSecret}}, "{oops",
                                  "application/json");
         },
         400},
        {"unknown path", [&] { return client_->Get("/api2/no/such/thing"); }, 404},
        {"wrong method",
         [&] { return client_->Post("/api2/locale/list", "{}", "application/json"); }, 405},
        {"huge JSON body",
         [&] { return client_->Post("/api/auth/forgot", huge, "application/json"); }, 413},
        {"unknown hook action",
         [&] { return client_->Post("/__test/catalogue/explode", "{}", "application/json"); }, 404},
        {"hook body not an object",
         [&] { return client_->Post("/__test/catalogue/touch", "[1]", "application/json"); }, 400},
    };
    for (const auto& c : cases) {
        auto res = c.send();
        ASSERT_TRUE(res) << c.what;
        EXPECT_EQ(res->status, c.status) << c.what;
        json body = json::parse(res->body, nullptr, false);
        EXPECT_EQ(body.value("success", true), false) << c.what << ": " << res->body;
    }
    // Still answering.
    EXPECT_EQ(getJson("/api2/locale/list?token=" + token())["items"].size(), 2u);
}

TEST_F(CmsServerTest, HooksExistOnlyWhenAskedFor) {
    startServer(false);
    auto res = client_->Post("/__test/tokens/expire", "{}", "application/json");
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 404);
}

}  // namespace
}  // namespace pagewell::cms
