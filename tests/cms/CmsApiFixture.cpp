#include "CmsApiFixture.h"

#include <openssl/evp.h>

#include "TestCatalogue.h"

namespace pagewell::cms::test {

using nlohmann::json;

namespace {

std::string basic(const std::string& user, const std::string& password) {
    const std::string plain = user + ":" + password;
    std::string encoded(4 * ((plain.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(encoded.data()),
                                       reinterpret_cast<const unsigned char*>(plain.data()),
                                       static_cast<int>(plain.size()));
    encoded.resize(static_cast<std::size_t>(length));
    return "Basic " + encoded;
}

}  // namespace

void CmsApiFixture::SetUp() {
    clock_ = std::make_shared<ManualClock>();
    Clock::setShared(clock_);
    manifest_ = testManifest();
    options_.catalogue = dir_.path();
    options_.appSecret = kApiAppSecret;
    options_.tokenLifetime = std::chrono::seconds(600);
    std::filesystem::create_directories(stateFile().parent_path());
    options_.stateFile = stateFile();
}

void CmsApiFixture::TearDown() {
    client_.reset();
    server_.reset();
    Clock::setShared(nullptr);
}

void CmsApiFixture::start() {
    if (!written_) {
        writeTestCatalogue(dir_.path(), manifest_);
        written_ = true;
    }
    client_.reset();
    server_.reset();
    demoToken_.clear();
    auto created = CmsServer::create(options_);
    ASSERT_TRUE(created.ok()) << created.error().description;
    server_ = std::move(created).value();
    auto port = server_->start();
    ASSERT_TRUE(port.ok()) << port.error().description;
    client_ = std::make_unique<httplib::Client>("127.0.0.1", port.value());
    client_->set_read_timeout(10, 0);
}

void CmsApiFixture::restart() {
    start();
}

std::string CmsApiFixture::signIn(const std::string& user, const std::string& password) {
    auto res = client_->Get("/api2/auth/loginv2", {{"X-Uid", "install-1"},
                                                   {"X-App-Secret", kApiAppSecret},
                                                   {"Authorization", basic(user, password)}});
    EXPECT_TRUE(res && res->status == 200) << user;
    return res ? json::parse(res->body, nullptr, false).value("token", "") : "";
}

httplib::Result CmsApiFixture::get(const std::string& path) {
    return client_->Get(path);
}

httplib::Result CmsApiFixture::send(const std::string& method, const std::string& path,
                                    const std::string& body, const std::string& contentType) {
    if (method == "POST") {
        return client_->Post(path, body, contentType);
    }
    if (method == "PUT") {
        return client_->Put(path, body, contentType);
    }
    if (method == "DELETE") {
        return client_->Delete(path, body, contentType);
    }
    return client_->Get(path);
}

json CmsApiFixture::answer(const httplib::Result& result, int status) {
    EXPECT_TRUE(result);
    if (!result) {
        return nullptr;
    }
    EXPECT_EQ(result->status, status) << result->body;
    json parsed = json::parse(result->body, nullptr, false);
    EXPECT_FALSE(parsed.is_discarded()) << result->body;
    return parsed;
}

void CmsApiFixture::expectRefused(const httplib::Result& result, int status,
                                  const std::string& what) {
    ASSERT_TRUE(result) << what;
    EXPECT_EQ(result->status, status) << what << ": " << result->body;
    json parsed = json::parse(result->body, nullptr, false);
    EXPECT_TRUE(parsed.is_object() && parsed.value("success", true) == false &&
                parsed.contains("error"))
        << what << ": " << result->body;
}

std::string CmsApiFixture::withToken(const std::string& path, const std::string& token) {
    if (token.empty() && demoToken_.empty()) {
        demoToken_ = signIn();
    }
    const std::string& t = token.empty() ? demoToken_ : token;
    return path + (path.find('?') == std::string::npos ? "?token=" : "&token=") + t;
}

}  // namespace pagewell::cms::test
