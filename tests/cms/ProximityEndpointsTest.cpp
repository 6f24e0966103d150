// The proximity lists and the files linked to their entries, over HTTP.
#include "CmsApiFixture.h"

namespace pagewell::cms::test {
namespace {

using nlohmann::json;

class ProximityEndpointsTest : public CmsApiFixture {
  protected:
    void SetUp() override {
        CmsApiFixture::SetUp();
        manifest_["beacons"] = {{{"id", 1},
                                 {"uuid", "f7826da6-4fa2-4e98-8024-bc5b71e0893e"},
                                 {"major", "1"},
                                 {"minor", ""},
                                 {"name", "Hall A"}},
                                {{"id", 2},
                                 {"uuid", "f7826da6-4fa2-4e98-8024-bc5b71e0893e"},
                                 {"major", ""},
                                 {"minor", ""},
                                 {"name", "Anywhere"}}};
        manifest_["customers"] = {{{"id", 3}, {"name", "Mill"}, {"lat", "48.1"}, {"lng", "11.5"}},
                                  {{"id", 4}, {"name", "Dock"}, {"lat", "53.5"}, {"lng", "9.9"}}};
        manifest_["customer_groups"] = {{{"id", 6}, {"name", "South"}, {"customers", {3}}}};
        manifest_["qrcodes"] = {{{"id", 8}, {"url", "https://example.com/q/8"}, {"name", "Stand"}}};
        json& guide = manifest_["files"][0];  // file 100, every user, locales 1 and 2
        guide["beacons"] = {1};
        guide["customers"] = {3};
        guide["customer_groups"] = {6};
        json& prices = manifest_["files"][1];  // file 101, first user only, locale 1
        prices["beacons"] = {1, 2};
        prices["qrcodes"] = {8};
        start();
    }

    static std::vector<std::string> fileIds(const json& answer) {
        std::vector<std::string> ids;
        for (const auto& item : answer["items"]) {
            ids.push_back(item["id"]);
        }
        std::sort(ids.begin(), ids.end());
        return ids;
    }
};

TEST_F(ProximityEndpointsTest, ListsCarryTheKeysTheImporterReads) {
    json beacons = answer(get(withToken("/api2/beacon/list")));
    ASSERT_EQ(beacons["items"].size(), 2u);
    EXPECT_EQ(beacons["items"][0], json::parse(R"({"id": "1", "uuid":
        "f7826da6-4fa2-4e98-8024-bc5b71e0893e", "major": "1", "minor": "", "name": "Hall A"})"));
    json customers = answer(get(withToken("/api2/customer/listGps")));
    EXPECT_EQ(customers["items"][1],
              json::parse(R"({"id": "4", "name": "Dock", "lat": "53.5", "lng": "9.9"})"));
    json groups = answer(get(withToken("/api2/customergroup/list")));
    EXPECT_EQ(groups["items"][0]["customer_ids"], json({"3"}));
    json codes = answer(get(withToken("/api2/qrcode/list")));
    EXPECT_EQ(codes["items"][0]["url"], "https://example.com/q/8");
    auto noToken = get("/api2/beacon/list");
    ASSERT_TRUE(noToken);
    EXPECT_TRUE(noToken->body.empty());
}

TEST_F(ProximityEndpointsTest, FileListsHoldTheLinkedFilesTheUserSees) {
    const std::string other = signIn("other", "pw2");
    struct Case {
        std::string path;
        std::vector<std::string> demo, second;
    };
    for (const auto& c : std::vector<Case>{
             {"/api2/beacon/files/1", {"100", "101"}, {"100"}},
             {"/api2/beacon/files/2", {"101"}, {}},
             {"/api2/customer/files/3", {"100"}, {"100"}},
             {"/api2/customer/files/4", {}, {}},
             {"/api2/customergroup/files/6", {"100"}, {"100"}},
             {"/api2/qrcode/files/8", {"101"}, {}},
         }) {
        EXPECT_EQ(fileIds(answer(get(withToken(c.path)))), c.demo) << c.path;
        EXPECT_EQ(fileIds(answer(get(withToken(c.path, other)))), c.second) << c.path;
    }
    // A file list as a category answers it: thumbnails, assets and the links come along.
    json files = answer(get(withToken("/api2/beacon/files/1")));
    EXPECT_EQ(files["thumbnails"].size(), 1u);
    EXPECT_EQ(files["assets"].size(), 1u);
    for (const auto& item : files["items"]) {
        EXPECT_TRUE(item["beacons"].is_array());
    }
    // Titles follow the asked-for locale.
    json german = answer(get(withToken("/api2/customer/files/3?locale=2")));
    ASSERT_EQ(german["items"].size(), 1u);
    EXPECT_EQ(german["items"][0]["title"], "Pumpenfibel");

    expectRefused(get(withToken("/api2/beacon/files/99")), 404, "unknown beacon");
    expectRefused(get(withToken("/api2/qrcode/files/1")), 404, "a customer id as QR code");
    expectRefused(get(withToken("/api2/customer/files/3?locale=x")), 400, "malformed locale");
}

}  // namespace
}  // namespace pagewell::cms::test
