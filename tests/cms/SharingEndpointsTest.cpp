// Read confirmations and share links over HTTP: registering a link, following a signed link
// (and refusing forged ones), the read state, and what survives a restart.
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "CmsApiFixture.h"
#include "TestCatalogue.h"
#include "cms/ShareLinkSignature.h"

namespace pagewell::cms::test {
namespace {

using nlohmann::json;

constexpr const char* kLinkId = "0123456789abcdef0123456789abcdef";

// The signature computed here with OpenSSL directly, not through the server's helper.
std::string independentSignature(const std::string& key, const std::string& message) {
    unsigned char digest[64];
    unsigned int length = 0;
    HMAC(EVP_sha512(), key.data(), static_cast<int>(key.size()),
         reinterpret_cast<const unsigned char*>(message.data()), message.size(), digest, &length);
    std::string hex;
    char pair[3];
    for (unsigned int i = 0; i < length; ++i) {
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

std::string shareAddress(const std::string& locale, const std::string& file,
                         const std::string& time, const std::string& user,
                         const std::string& signature, const std::string& linkId = kLinkId) {
    return "/api2/share/" + locale + "/" + file + "/" + time + "/" + user + "/" + signature + "/" +
           linkId;
}

TEST(ShareLinkSignatureTest, IsHmacSha512InLowercaseHex) {
    // RFC 4231, test case 2.
    EXPECT_EQ(ShareLinkSignature::hmacHex("Jefe", "what do ya want for nothing?"),
              "164b7a7bfcf819e2e395fbe73b56e0a387bd64222e831fd610270cd7ea2505549758bf75c05a994a6d"
              "034f65f8f0e6fdcaeab1a34d4a6b4b636e070a38bce737");
    EXPECT_EQ(ShareLinkSignature::sign("k", "1", "100", "1700000000", "1", "s"),
              independentSignature("k",
                                   "11001700000000"
                                   "1"
                                   "s"));
    EXPECT_EQ(ShareLinkSignature::hmacHex("", "m").size(), 128u);
    EXPECT_TRUE(ShareLinkSignature::matches("abc", "abc"));
    EXPECT_FALSE(ShareLinkSignature::matches("abc", "abd"));
    EXPECT_FALSE(ShareLinkSignature::matches("abc", "ab"));
    EXPECT_FALSE(ShareLinkSignature::matches("", ""));
}

class SharingEndpointsTest : public CmsApiFixture {
  protected:
    void SetUp() override {
        CmsApiFixture::SetUp();
        start();
    }

    std::string signedAddress(const std::string& time = "1700000000",
                              const std::string& linkId = kLinkId) {
        return shareAddress("1", "100", time, "1",
                            independentSignature(kApiAppSecret, "1100" + time + "1secret-1"),
                            linkId);
    }

    std::string readState(const std::string& linkId = kLinkId) {
        return answer(get(withToken("/api2/share/readstate?share_uuid=" + std::string(linkId))))
            .value("read", "");
    }
};

TEST_F(SharingEndpointsTest, SignedLinkServesTheFileAndMarksTheRegisteredLinkRead) {
    json created = answer(send("POST", withToken("/api2/share/readstate"),
                               json{{"file_id", "100"}, {"share_uuid", kLinkId}}.dump()));
    EXPECT_EQ(created["success"], true);
    ASSERT_TRUE(created["id"].is_string());
    EXPECT_EQ(readState(), "0");

    // Registering the same link again (a lost answer) keeps its id.
    json again = answer(send("POST", withToken("/api2/share/readstate"),
                             json{{"file_id", 100}, {"share_uuid", kLinkId}}.dump()));
    EXPECT_EQ(again["id"], created["id"]);

    auto opened = get(signedAddress());  // a recipient has no token
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->status, 200);
    EXPECT_EQ(opened->body, kFileContent);
    EXPECT_EQ(readState(), "1");

    restart();
    EXPECT_EQ(readState(), "1");
}

TEST_F(SharingEndpointsTest, ForgedOrDamagedLinksAreRefusedAndChangeNothing) {
    answer(send("POST", withToken("/api2/share/readstate"),
                json{{"file_id", "100"}, {"share_uuid", kLinkId}}.dump()));
    const std::string good = independentSignature(kApiAppSecret,
                                                  "11001700000000"
                                                  "1secret-1");
    std::string flipped = good;
    flipped[10] = flipped[10] == 'a' ? 'b' : 'a';
    std::string upper = good;
    for (char& c : upper) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    struct Case {
        const char* what;
        std::string address;
    };
    for (const auto& c : std::vector<Case>{
             {"one digit changed", shareAddress("1", "100", "1700000000", "1", flipped)},
             {"signed for another time", shareAddress("1", "100", "1700000001", "1", good)},
             {"signed for another file", shareAddress("1", "101", "1700000000", "1", good)},
             {"signed for another user", shareAddress("1", "100", "1700000000", "2", good)},
             {"signed with the wrong user secret",
              shareAddress("1", "100", "1700000000", "1",
                           independentSignature(kApiAppSecret,
                                                "11001700000000"
                                                "1secret-2"))},
             {"signed with the wrong app secret", shareAddress("1", "100", "1700000000", "1",
                                                               independentSignature("guess",
                                                                                    "11001700000000"
                                                                                    "1secret-1"))},
             {"upper-case digits", shareAddress("1", "100", "1700000000", "1", upper)},
             {"truncated", shareAddress("1", "100", "1700000000", "1", good.substr(0, 127))},
             {"malformed link id",
              shareAddress("1", "100", "1700000000", "1", good, "not-a-link-id")},
         }) {
        expectRefused(get(c.address), 403, c.what);
    }
    EXPECT_EQ(readState(), "0");
}

TEST_F(SharingEndpointsTest, LinkOpenedBeforeItIsRegisteredIsReadOnceRegistered) {
    const std::string early = "fedcba9876543210fedcba9876543210";
    auto opened = get(signedAddress("1700000100", early));
    ASSERT_TRUE(opened);
    EXPECT_EQ(opened->status, 200);
    expectRefused(get(withToken("/api2/share/readstate?share_uuid=" + early)), 404,
                  "not registered yet");
    answer(send("POST", withToken("/api2/share/readstate"),
                json{{"file_id", "100"}, {"share_uuid", early}}.dump()));
    EXPECT_EQ(readState(early), "1");
}

TEST_F(SharingEndpointsTest, LinkRegistrationRefusesBadBodiesAndOtherUsersLinks) {
    struct Case {
        const char* what;
        std::string body;
        int status;
    };
    for (const auto& c : std::vector<Case>{
             {"not JSON", "{\"file_id\": ", 400},
             {"a JSON array", "[1, 2]", 400},
             {"no body", "", 400},
             {"upper-case link id",
              json{{"file_id", "100"}, {"share_uuid", "ABCDEF0123456789ABCDEF0123456789"}}.dump(),
              400},
             {"no file id", json{{"share_uuid", kLinkId}}.dump(), 400},
             {"unknown file", json{{"file_id", "999"}, {"share_uuid", kLinkId}}.dump(), 404},
         }) {
        expectRefused(send("POST", withToken("/api2/share/readstate"), c.body), c.status, c.what);
    }
    answer(send("POST", withToken("/api2/share/readstate"),
                json{{"file_id", "100"}, {"share_uuid", kLinkId}}.dump()));
    const std::string other = signIn("other", "pw2");
    expectRefused(send("POST", withToken("/api2/share/readstate", other),
                       json{{"file_id", "100"}, {"share_uuid", kLinkId}}.dump()),
                  409, "a link id another user registered");
    expectRefused(get(withToken("/api2/share/readstate?share_uuid=" + std::string(kLinkId), other)),
                  404, "another user's link");
}

TEST_F(SharingEndpointsTest, NonShareableFilesGetNoLink) {
    manifest_["files"][0]["shareable"] = false;
    writeTestCatalogue(catalogueDir(), manifest_);  // read again by the restarted server
    restart();
    expectRefused(send("POST", withToken("/api2/share/readstate"),
                       json{{"file_id", "100"}, {"share_uuid", kLinkId}}.dump()),
                  403, "registering");
    expectRefused(get(signedAddress()), 403, "opening");
}

TEST_F(SharingEndpointsTest, ReadConfirmationsAreKeptPerUserAndFileAcrossRestarts) {
    EXPECT_EQ(answer(send("POST", withToken("/api2/read/confirm/101"),
                          json{{"confirm_date", "2024-05-01 12:30:00"}}.dump()))["success"],
              true);
    EXPECT_EQ(answer(send("POST", withToken("/api2/read/confirm/101"),
                          json{{"confirm_date", "2024-05-02 08:00:00"}}.dump()))["success"],
              true);
    struct Case {
        const char* what;
        std::string path;
        std::string body;
        int status;
    };
    const std::string other = signIn("other", "pw2");
    for (const auto& c : std::vector<Case>{
             {"not JSON", withToken("/api2/read/confirm/101"), "confirm", 400},
             {"no date", withToken("/api2/read/confirm/101"), "{}", 400},
             {"not a server date", withToken("/api2/read/confirm/101"),
              json{{"confirm_date", "1.5.2024"}}.dump(), 400},
             {"unknown file", withToken("/api2/read/confirm/999"),
              json{{"confirm_date", "2024-05-01 12:30:00"}}.dump(), 404},
             {"a file the user does not see", withToken("/api2/read/confirm/101", other),
              json{{"confirm_date", "2024-05-01 12:30:00"}}.dump(), 404},
         }) {
        expectRefused(send("POST", c.path, c.body), c.status, c.what);
    }
    auto noToken = send("POST", "/api2/read/confirm/101", json{{"confirm_date", "x"}}.dump());
    ASSERT_TRUE(noToken);
    EXPECT_TRUE(noToken->body.empty());

    restart();
    json confirmations;
    server_->services().state.read(
        [&](const json& document) { confirmations = document["read_confirmations"]; });
    ASSERT_EQ(confirmations.size(), 1u);
    EXPECT_EQ(confirmations[0]["file_id"], 101);
    EXPECT_EQ(confirmations[0]["user"], 1);
    EXPECT_EQ(confirmations[0]["confirm_date"], "2024-05-02 08:00:00");
}

}  // namespace
}  // namespace pagewell::cms::test
