// Lead capture over HTTP: the server lists, contact registration and the two image uploads,
// kept across a restart.
#include "CmsApiFixture.h"

namespace pagewell::cms::test {
namespace {

using nlohmann::json;

const std::string kJpeg = std::string("\xFF\xD8\xFF\xE0", 4) + "jpeg-body";

class LeadEndpointsTest : public CmsApiFixture {
  protected:
    void SetUp() override {
        CmsApiFixture::SetUp();
        manifest_["leadscan_products"] = {{{"id", 1}, {"name", "Pump"}, {"active", true}},
                                          {{"id", 11}, {"name", "Hidden"}, {"active", true}}};
        manifest_["leadscan_representations"] = {{{"id", 4}, {"name", "North"}, {"active", false}}};
        start();
    }

    static json contact(int localId, const std::string& company) {
        return {{"id", localId},
                {"company", company},
                {"lastname", "Meyer"},
                {"urgent", true},
                {"devicename", "tablet-1"},
                {"representation_id", 4},
                {"products",
                 {{{"product_id", 1},
                   {"get", 1},
                   {"send", 0},
                   {"info", 1},
                   {"create", 0},
                   {"date", ""},
                   {"notice", ""}}}}};
    }

    int registerContact(const json& body, const std::string& token = {}) {
        json answered = answer(
            send("POST", withToken("/api2/ztLeadscanContacts/register", token), body.dump()));
        EXPECT_TRUE(answered["id"].is_number_integer()) << answered;
        return answered.value("id", 0);
    }

    httplib::Result upload(const std::string& kind, int contactId, const std::string& part,
                           const std::string& bytes, const std::string& token = {}) {
        httplib::MultipartFormDataItems items = {{part, bytes, part + ".jpg", "image/jpeg"}};
        const std::string method = kind == "businesscard" ? "addBusinesscard" : "addPhoto";
        return client().Post(
            withToken("/api2/ztLeadscanContacts/" + method + "/" + std::to_string(contactId),
                      token),
            items);
    }

    json contacts() {
        json list;
        server_->services().state.read([&](const json& document) { list = document["contacts"]; });
        return list;
    }
};

TEST_F(LeadEndpointsTest, ProductAndRepresentationListsComeFromTheCatalogue) {
    json products = answer(get(withToken("/api2/ztLeadscanProducts/get")));
    EXPECT_EQ(products["items"], manifest_["leadscan_products"]);
    json representations = answer(get(withToken("/api2/ztLeadscanRepresentations/get")));
    EXPECT_EQ(representations["items"], manifest_["leadscan_representations"]);
    auto noToken = get("/api2/ztLeadscanProducts/get");
    ASSERT_TRUE(noToken);
    EXPECT_TRUE(noToken->body.empty());
}

TEST_F(LeadEndpointsTest, ContactsAndTheirImagesSurviveARestart) {
    const int id = registerContact(contact(1, "Acme"));
    const int second = registerContact(contact(2, "Beta"));
    EXPECT_NE(id, second);
    // An edited report registers again under the id it has.
    EXPECT_EQ(registerContact(contact(1, "Acme Pumps")), id);

    EXPECT_EQ(answer(upload("businesscard", id, "businesscard", kJpeg))["success"], true);
    EXPECT_EQ(answer(upload("photo", id, "photo", kJpeg + "2"))["success"], true);

    restart();
    json list = contacts();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0]["contact"]["company"], "Acme Pumps");
    EXPECT_EQ(list[0]["contact"]["products"][0]["product_id"], 1);
    ASSERT_EQ(list[0]["uploads"].size(), 2u);
    EXPECT_EQ(list[0]["uploads"][0]["kind"], "businesscard");
    EXPECT_EQ(server_->services().state.upload(list[0]["uploads"][0]["name"]), kJpeg);
    EXPECT_EQ(server_->services().state.upload(list[0]["uploads"][1]["name"]), kJpeg + "2");
    EXPECT_TRUE(
        std::filesystem::is_regular_file(stateFile().parent_path() / "cms-state.json.uploads" /
                                         list[0]["uploads"][0]["name"].get<std::string>()));
}

TEST_F(LeadEndpointsTest, BadRegistrationsAndUploadsAreRefused) {
    struct Case {
        const char* what;
        std::string body;
    };
    for (const auto& c : std::vector<Case>{
             {"not JSON", "{\"id\": 1,"},
             {"no local id", json{{"company", "x"}}.dump()},
             {"products not a list", json{{"id", 1}, {"products", "pump"}}.dump()},
             {"product without id", json{{"id", 1}, {"products", {{{"get", 1}}}}}.dump()},
         }) {
        expectRefused(send("POST", withToken("/api2/ztLeadscanContacts/register"), c.body), 400,
                      c.what);
    }
    const int id = registerContact(contact(1, "Acme"));
    expectRefused(upload("businesscard", id, "photo", kJpeg), 400, "part with the wrong name");
    expectRefused(upload("photo", id, "photo", "GIF89a"), 415, "not a JPEG image");
    expectRefused(upload("photo", id + 100, "photo", kJpeg), 404, "unknown contact");
    expectRefused(upload("photo", id, "photo", kJpeg, signIn("other", "pw2")), 404,
                  "another user's contact");
    expectRefused(
        send("POST", withToken("/api2/ztLeadscanContacts/addPhoto/" + std::to_string(id)), "{}"),
        400, "not a multipart upload");
    EXPECT_TRUE(contacts()[0]["uploads"].empty());
}

}  // namespace
}  // namespace pagewell::cms::test
