// The HTTP session against in-process servers on loopback ports: resolution and escaping rules,
// answer judging, methods and bodies, credentials that stay with their server, multipart
// uploads, downloads to files, cancellation, stalled servers and unreachable ones.
#include "platform/HttpSession.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

#include "HttpTestServer.h"
#include "RefusingPort.h"
#include "TestSupport.h"
#include "platform/MainQueue.h"

namespace pagewell {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

constexpr auto kWaitLimit = 15s;

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> filesIn(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// What the server saw of the last request to one of its recording routes.
struct SeenRequest {
    std::string method;
    std::string path;
    std::string body;
    std::string contentType;
    std::string authorization;
    std::string appSecret;
    std::string uid;
    std::string token;
    bool hasToken = false;
    int remotePort = 0;
};

class HttpSessionTest : public ::testing::Test {
  protected:
    void SetUp() override {
        addRoutes(server_, seen_);
        addRoutes(otherServer_, otherSeen_);
        server_.start();
        otherServer_.start();
        session_ = makeSession({});
    }
    void TearDown() override {
        session_.reset();
        server_.stop();
        otherServer_.stop();
    }

    std::unique_ptr<HttpSession> makeSession(HttpSessionOptions options) {
        return std::make_unique<HttpSession>(server_.origin() + "/api2", options, queue_);
    }

    // Routes shared by both servers; each records what it saw into `seen`.
    static void addRoutes(test::HttpTestServer& testServer, SeenRequest& seen) {
        auto& s = testServer.server();
        auto record = [&seen](const httplib::Request& req, httplib::Response& res) {
            seen.method = req.method;
            seen.path = req.path;
            seen.body = req.body;
            seen.contentType = req.get_header_value("Content-Type");
            seen.authorization = req.get_header_value("Authorization");
            seen.appSecret = req.get_header_value("X-App-Secret");
            seen.uid = req.get_header_value("X-Uid");
            seen.hasToken = req.has_param("token");
            seen.token = req.get_param_value("token");
            seen.remotePort = req.remote_port;
            res.set_content(R"({"ok":true})", "application/json");
        };
        s.Get("/api2/echo", record);
        s.Post("/api2/echo", record);
        s.Put("/api2/echo", record);
        s.Delete("/api2/echo", record);
        s.Get("/landing", record);
        s.Get("/api2/json", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"items":[1,2],"name":"ä"})", "application/json");
        });
        s.Get("/api2/json-charset", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"([true])", "application/json; charset=utf-8");
        });
        s.Get("/api2/empty", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("", "application/json");
        });
        s.Get("/api2/not-json", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("<html>maintenance</html>", "application/json");
        });
        s.Get("/api2/html", [](const httplib::Request&, httplib::Response& res) {
            res.set_content("{}", "text/html");
        });
        s.Get("/api2/missing", [](const httplib::Request&, httplib::Response& res) {
            res.status = 404;
            res.set_content("gone", "text/plain");
        });
        s.Get("/api2/broken", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content(R"({"error":"boom"})", "application/json");
        });
        s.Get("/api2/upgrade", [](const httplib::Request&, httplib::Response& res) {
            res.status = 426;
            res.set_content("Please update the app to version 9.", "text/plain");
        });
        // Answers beyond the bounds: nested under a key nobody reads, nested exactly to the
        // bound and one level past it, and 4 KiB told ahead, sent in chunks, or as an error.
        s.Get("/api2/deep", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"ok":true,"ignored":)" + std::string(300'000, '[') +
                                std::string(300'000, ']') + "}",
                            "application/json");
        });
        s.Get("/api2/nested/(\\d+)", [](const httplib::Request& req, httplib::Response& res) {
            const auto arrays = static_cast<std::size_t>(std::stoi(req.matches[1]));
            res.set_content(std::string(arrays, '[') + "1" + std::string(arrays, ']'),
                            "application/json");
        });
        s.Get("/api2/large", [](const httplib::Request&, httplib::Response& res) {
            res.set_content(R"({"padding":")" + std::string(4096, 'x') + R"("})",
                            "application/json");
        });
        s.Get("/api2/large-chunked", [](const httplib::Request&, httplib::Response& res) {
            res.set_chunked_content_provider("application/json",
                                             [](std::size_t offset, httplib::DataSink& sink) {
                                                 if (offset == 0) {
                                                     sink.os << R"({"padding":")";
                                                 } else if (offset < 4096) {
                                                     sink.os << std::string(512, 'x');
                                                 } else {
                                                     sink.os << R"("})";
                                                     sink.done();
                                                 }
                                                 return true;
                                             });
        });
        s.Get("/api2/large-error", [](const httplib::Request&, httplib::Response& res) {
            res.status = 500;
            res.set_content(std::string(5000, 'x'), "text/plain");
        });
        s.Get("/api2/refused", [](const httplib::Request&, httplib::Response& res) {
            res.status = 401;
            res.set_content(R"({"success":false})", "application/json");
        });
    }

    HttpResult sendAndWait(HttpSession& session, HttpRequest request) {
        std::optional<HttpResult> outcome;
        int calls = 0;
        session.send(std::move(request), [&](HttpResult result) {
            ++calls;
            outcome = std::move(result);
        });
        EXPECT_TRUE(queue_->runUntil([&] { return outcome.has_value(); }, kWaitLimit));
        EXPECT_EQ(calls, 1);
        return outcome.value_or(HttpResult{Error::make("Test", 0, "no answer"), {}, {}});
    }
    HttpResult sendAndWait(HttpRequest request) {
        return sendAndWait(*session_, std::move(request));
    }

    std::shared_ptr<MainQueue> queue_ = std::make_shared<MainQueue>();
    test::HttpTestServer server_;
    test::HttpTestServer otherServer_;
    SeenRequest seen_;
    SeenRequest otherSeen_;
    std::unique_ptr<HttpSession> session_;
};

// --- Addresses and escaping -------------------------------------------------------------------

TEST(HttpSessionRules, ResolvesRelativePathsAgainstTheBaseAddress) {
    auto queue = std::make_shared<MainQueue>();
    HttpSession session("http://h:1/api2", {}, queue);
    EXPECT_EQ(session.baseURL(), "http://h:1/api2/");
    struct Case {
        const char* relative;
        const char* absolute;
    };
    const Case cases[] = {
        {"category/list/5?token=x", "http://h:1/api2/category/list/5?token=x"},
        {"auth/loginv2", "http://h:1/api2/auth/loginv2"},
        {"", "http://h:1/api2/"},
        {"/other", "http://h:1/other"},                              // absolute path leaves api2
        {"../up", "http://h:1/up"},                                  // dot segments resolve
        {"a/./b/../c", "http://h:1/api2/a/c"},                       //
        {"?q=1", "http://h:1/api2/?q=1"},                            // query only
        {"file/a%2Fb", "http://h:1/api2/file/a%2Fb"},                // escapes stay escaped
        {"https://cdn.example/x?y=1", "https://cdn.example/x?y=1"},  // absolute passes
        {"//mirror:8/p", "http://mirror:8/p"},                       // scheme-relative
    };
    for (const auto& c : cases) {
        EXPECT_EQ(session.resolve(c.relative), c.absolute) << c.relative;
    }
    // A base address that already ends in "/" is kept as it is.
    EXPECT_EQ(HttpSession("https://h/api2/", {}, queue).baseURL(), "https://h/api2/");
}

TEST(HttpSessionRules, EscapesPathComponentsSoTheyCannotChangeThePath) {
    struct Case {
        const char* text;
        const char* escaped;
    };
    const Case cases[] = {
        {"a/b", "a%2Fb"},           {"a&token=x", "a%26token%3Dx"},
        {"50% off", "50%25%20off"}, {"ä", "%C3%A4"},
        {"a+b", "a%2Bb"},           {"x?y#z", "x%3Fy%23z"},
        {"A-z_0.9~", "A-z_0.9~"},   {"..", ".."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HttpSession::escapePathComponent(c.text), c.escaped) << c.text;
    }
    // Query values keep what the caller allows, but never the separators of the query.
    EXPECT_EQ(HttpSession::escapeQueryValue("2024-01-02 10:00:00", ":"), "2024-01-02%2010:00:00");
    EXPECT_EQ(HttpSession::escapeQueryValue("a&b=c+d#e%", "&=+#%"), "a%26b%3Dc%2Bd%23e%25");
}

TEST(HttpSessionRules, RemovesTokenParametersAndComparesOrigins) {
    EXPECT_EQ(HttpSession::removeTokenParameter("http://h/x?token=s&locale=5#f"),
              "http://h/x?locale=5#f");
    EXPECT_EQ(HttpSession::removeTokenParameter("http://h/x?a=1&token=s"), "http://h/x?a=1");
    EXPECT_EQ(HttpSession::removeTokenParameter("http://h/x?token=s"), "http://h/x");
    EXPECT_EQ(HttpSession::removeTokenParameter("http://h/x?tokenx=1"), "http://h/x?tokenx=1");

    auto queue = std::make_shared<MainQueue>();
    HttpSession session("https://Server.example/api2", {}, queue);
    EXPECT_TRUE(session.isSameOrigin("https://server.example:443/api2/x"));
    EXPECT_TRUE(session.isSameOrigin("https://SERVER.example/other"));
    EXPECT_FALSE(session.isSameOrigin("http://server.example/api2/x"));   // scheme
    EXPECT_FALSE(session.isSameOrigin("https://server.example:8443/x"));  // port
    EXPECT_FALSE(session.isSameOrigin("https://server.example.evil/x"));  // host
    EXPECT_FALSE(session.isSameOrigin("not an address"));

    for (const char* host : {"localhost", "127.0.0.1", "127.1.2.3", "::1"}) {
        EXPECT_TRUE(HttpSession::isLoopbackHost(host)) << host;
    }
    for (const char* host : {"example.com", "10.0.0.1", "127.example.com", "128.0.0.1"}) {
        EXPECT_FALSE(HttpSession::isLoopbackHost(host)) << host;
    }
}

TEST(HttpSessionRules, HeadersToSendKeepCredentialsForTheOwnServerOnly) {
    auto queue = std::make_shared<MainQueue>();
    HttpSession session("https://server.example/api2", {}, queue);
    HttpRequest request;
    request.url = "auth/loginv2";
    request.basicCredentials = HttpBasicCredentials{"user", "pass"};
    request.setHeader("X-App-Secret", "s");
    request.setHeader("X-Uid", "u");
    request.setHeader("Accept-Language", "de");
    request.setJsonBody("{}");
    const HttpHeaderFields own = session.headersToSend(request);
    const HttpHeaderFields expectedOwn = {{"X-App-Secret", "s"},
                                          {"X-Uid", "u"},
                                          {"Accept-Language", "de"},
                                          {"Authorization", "Basic dXNlcjpwYXNz"},
                                          {"Content-Type", "application/json"}};
    EXPECT_EQ(own, expectedOwn);

    request.url = "https://elsewhere.example/api2/auth/loginv2";
    const HttpHeaderFields foreign = session.headersToSend(request);
    const HttpHeaderFields expectedForeign = {{"Accept-Language", "de"},
                                              {"Content-Type", "application/json"}};
    EXPECT_EQ(foreign, expectedForeign);
}

// --- Judging answers --------------------------------------------------------------------------

TEST_F(HttpSessionTest, JudgesJsonAnswersByContentTypeAndBody) {
    struct Case {
        const char* path;
        bool ok;
        const char* json;  // expected decoded answer; nullptr for no object
        int errorCode;
        const char* descriptionPart;
    };
    const Case cases[] = {
        {"json", true, R"({"items":[1,2],"name":"ä"})", 0, ""},
        {"json-charset", true, "[true]", 0, ""},  // parameters of the type do not matter
        {"empty", true, nullptr, 0, ""},          // the token-refusal answer: no object
        {"not-json", false, nullptr, HttpErrors::kCannotParseResponse, "correct format"},
        {"html", false, nullptr, HttpErrors::kUnacceptableContentType,
         "unacceptable content-type: text/html"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HttpResult result = sendAndWait(HttpRequest::json(HttpMethod::Get, c.path));
        EXPECT_EQ(result.ok(), c.ok);
        EXPECT_EQ(result.response.status, 200);
        EXPECT_EQ(result.requestUrl, server_.origin() + "/api2/" + c.path);
        if (c.ok) {
            ASSERT_EQ(result.response.hasJsonObject(), c.json != nullptr);
            if (c.json != nullptr) {
                EXPECT_EQ(*result.response.json, json::parse(c.json));
            }
        } else {
            ASSERT_TRUE(result.error);
            EXPECT_EQ(result.error->domain, HttpErrors::kHttpDomain);
            EXPECT_EQ(result.error->code, c.errorCode);
            EXPECT_NE(result.error->description.find(c.descriptionPart), std::string::npos)
                << result.error->description;
        }
    }
}

TEST_F(HttpSessionTest, AnswersBeyondTheirBoundsAreRefusedWithoutBeingBuilt) {
    struct Case {
        const char* path;
        std::size_t maxBodyBytes;
        int errorCode;  // 0: accepted
    };
    const int bound = HttpRequest::kDefaultMaxJsonDepth;
    const std::string atBound = "nested/" + std::to_string(bound - 1);
    const std::string pastBound = "nested/" + std::to_string(bound);
    const Case cases[] = {
        {"deep", HttpRequest::kDefaultMaxBodyBytes, HttpErrors::kAnswerTooDeep},
        {atBound.c_str(), HttpRequest::kDefaultMaxBodyBytes, 0},
        {pastBound.c_str(), HttpRequest::kDefaultMaxBodyBytes, HttpErrors::kAnswerTooDeep},
        {"large", 4096, HttpErrors::kAnswerTooLarge},
        {"large", 8192, 0},
        {"large-chunked", 4096, HttpErrors::kAnswerTooLarge},
        {"large-chunked", 8192, 0},
        {"large-error", 4096, HttpErrors::kAnswerTooLarge},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + " within " + std::to_string(c.maxBodyBytes));
        HttpRequest request = HttpRequest::json(HttpMethod::Get, c.path);
        request.maxBodyBytes = c.maxBodyBytes;
        HttpResult result = sendAndWait(request);
        if (c.errorCode == 0) {
            ASSERT_TRUE(result.ok()) << result.error->description;
            EXPECT_TRUE(result.response.hasJsonObject());
            continue;
        }
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error->domain, "VX");
        EXPECT_EQ(result.error->code, c.errorCode);
        EXPECT_EQ(result.error->description,
                  c.errorCode == HttpErrors::kAnswerTooDeep
                      ? "The server's answer is nested too deeply."
                      : "The server's answer is too large (more than 4 KiB).");
        EXPECT_FALSE(result.response.hasJsonObject());
        EXPECT_LE(result.response.body.size(), c.maxBodyBytes);
    }
}

TEST_F(HttpSessionTest, AnyContentTypeIsAcceptedWhenNoneIsListed) {
    HttpRequest request;
    request.url = "html";
    HttpResult result = sendAndWait(request);
    ASSERT_TRUE(result.ok()) << result.error->description;
    EXPECT_EQ(result.response.body, "{}");
    EXPECT_EQ(result.response.mimeType(), "text/html");
    EXPECT_EQ(result.response.header("content-type"), "text/html");
    EXPECT_FALSE(result.response.hasJsonObject());
}

TEST_F(HttpSessionTest, StatusesOutsideTheAcceptedSetFailWithStatusAndBody) {
    struct Case {
        const char* path;
        long status;
        const char* description;
        const char* body;
    };
    const Case cases[] = {
        {"missing", 404, "Request failed: not found (404)", "gone"},
        {"broken", 500, "Request failed: internal server error (500)", R"({"error":"boom"})"},
        {"upgrade", 426, "Request failed: upgrade required (426)",
         "Please update the app to version 9."},
        {"refused", 401, "Request failed: unauthorized (401)", R"({"success":false})"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        HttpResult result = sendAndWait(HttpRequest::json(HttpMethod::Get, c.path));
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->domain, HttpErrors::kHttpDomain);
        EXPECT_EQ(result.error->code, c.status);
        EXPECT_EQ(result.error->description, c.description);
        EXPECT_EQ(result.response.status, c.status);
        EXPECT_EQ(result.response.body, c.body);
    }
}

TEST_F(HttpSessionTest, ListedStatusesAreAcceptedAndDecoded) {
    HttpRequest request = HttpRequest::json(HttpMethod::Get, "refused");
    request.additionalAcceptedStatuses = {401, 403};
    HttpResult result = sendAndWait(request);
    ASSERT_TRUE(result.ok()) << result.error->description;
    EXPECT_EQ(result.response.status, 401);
    ASSERT_TRUE(result.response.hasJsonObject());
    EXPECT_EQ(*result.response.json, json::parse(R"({"success":false})"));
}

// --- Methods and bodies -----------------------------------------------------------------------

TEST_F(HttpSessionTest, MethodsAndBodiesReachTheServer) {
    struct Case {
        HttpMethod method;
        const char* body;
        const char* contentType;
        const char* seenMethod;
    };
    const Case cases[] = {
        {HttpMethod::Post, R"({"fileIds":[1,2]})", "application/json", "POST"},
        {HttpMethod::Put, R"({"name":"Neu"})", "application/json", "PUT"},
        {HttpMethod::Delete, "", "", "DELETE"},
        {HttpMethod::Get, "", "", "GET"},
        {HttpMethod::Head, "", "", "HEAD"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.seenMethod);
        seen_ = {};
        HttpRequest request;
        request.method = c.method;
        request.url = "echo?token=t1";
        if (c.body[0] != '\0') {
            request.setJsonBody(c.body);
        }
        HttpResult result = sendAndWait(request);
        ASSERT_TRUE(result.ok()) << result.error->description;
        EXPECT_EQ(seen_.method, c.seenMethod);
        EXPECT_EQ(seen_.body, c.body);
        EXPECT_EQ(seen_.contentType, c.contentType);
        EXPECT_EQ(seen_.token, "t1");
        // A HEAD answer carries no body even though the route writes one.
        EXPECT_EQ(result.response.body.empty(), c.method == HttpMethod::Head);
    }
}

TEST_F(HttpSessionTest, ReusesTheConnectionForConsecutiveRequests) {
    ASSERT_TRUE(sendAndWait(HttpRequest::json(HttpMethod::Get, "echo")).ok());
    const int firstPort = seen_.remotePort;
    ASSERT_TRUE(sendAndWait(HttpRequest::json(HttpMethod::Get, "echo")).ok());
    EXPECT_EQ(seen_.remotePort, firstPort);
}

// --- Credentials ------------------------------------------------------------------------------

HttpRequest credentialedRequest(std::string url) {
    HttpRequest request;
    request.url = std::move(url);
    request.basicCredentials = HttpBasicCredentials{"user", "pass"};
    request.setHeader("X-App-Secret", "app-secret");
    request.setHeader("X-Uid", "install-1");
    return request;
}

TEST_F(HttpSessionTest, CredentialsGoToTheOwnServerOnly) {
    ASSERT_TRUE(sendAndWait(credentialedRequest("echo?token=t1")).ok());
    EXPECT_EQ(seen_.authorization, "Basic dXNlcjpwYXNz");
    EXPECT_EQ(seen_.appSecret, "app-secret");
    EXPECT_EQ(seen_.uid, "install-1");
    EXPECT_EQ(seen_.token, "t1");

    // The same request to another port of the same host is another server.
    ASSERT_TRUE(
        sendAndWait(credentialedRequest(otherServer_.origin() + "/api2/echo?token=t1&a=b")).ok());
    EXPECT_EQ(otherSeen_.method, "GET");
    EXPECT_EQ(otherSeen_.authorization, "");
    EXPECT_EQ(otherSeen_.appSecret, "");
    EXPECT_EQ(otherSeen_.uid, "");
    EXPECT_FALSE(otherSeen_.hasToken);
}

TEST_F(HttpSessionTest, RedirectsNeverCarryCredentials) {
    const std::string foreign = otherServer_.origin() + "/landing?token=t1";
    const std::string own = server_.origin() + "/landing?token=t1";
    server_.server().Get("/api2/away", [foreign](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(foreign, 302);
    });
    server_.server().Get("/api2/home", [own](const httplib::Request&, httplib::Response& res) {
        res.set_redirect(own, 307);
    });

    HttpResult away = sendAndWait(credentialedRequest("away?token=t1"));
    ASSERT_TRUE(away.ok()) << away.error->description;
    EXPECT_EQ(otherSeen_.path, "/landing");
    EXPECT_EQ(otherSeen_.authorization, "");
    EXPECT_EQ(otherSeen_.appSecret, "");
    EXPECT_FALSE(otherSeen_.hasToken);
    EXPECT_EQ(away.response.url, otherServer_.origin() + "/landing");
    EXPECT_EQ(away.requestUrl, server_.origin() + "/api2/away?token=t1");

    // Even back to the own server a redirect drops the Basic credentials and secret headers;
    // the token the server itself put into the address stays.
    HttpResult home = sendAndWait(credentialedRequest("home"));
    ASSERT_TRUE(home.ok()) << home.error->description;
    EXPECT_EQ(seen_.path, "/landing");
    EXPECT_EQ(seen_.authorization, "");
    EXPECT_EQ(seen_.appSecret, "");
    EXPECT_EQ(seen_.token, "t1");
}

TEST_F(HttpSessionTest, EndlessRedirectsEndWithAnError) {
    server_.server().Get("/api2/loop", [](const httplib::Request&, httplib::Response& res) {
        res.set_redirect("/api2/loop", 302);
    });
    HttpResult result = sendAndWait(HttpRequest::json(HttpMethod::Get, "loop"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->domain, HttpErrors::kNetworkDomain);
    EXPECT_EQ(result.error->code, HttpErrors::kTooManyRedirects);
}

// --- Multipart uploads ------------------------------------------------------------------------

TEST_F(HttpSessionTest, MultipartUploadCarriesFieldsAndFiles) {
    std::map<std::string, httplib::MultipartFormData> received;
    server_.server().Post("/api2/upload", [&](const httplib::Request& req, httplib::Response& res) {
        for (const auto& [name, part] : req.files) {
            received[name] = part;
        }
        res.set_content(R"({"success":true})", "application/json");
    });
    TemporaryDirectory dir;
    const auto photoPath = dir.path() / "photo.bin";
    const std::string photoBytes("\x89PNG\r\n\x1a\n\0\xff binary", 18);
    std::ofstream(photoPath, std::ios::binary) << photoBytes;

    HttpRequest request = HttpRequest::json(HttpMethod::Post, "upload");
    request.multipart = {
        HttpMultipartPart::field("contactId", "42"),
        HttpMultipartPart::fileData("card", "card.jpg", "image/jpeg",
                                    std::string("\xff\xd8\xff", 3)),
        HttpMultipartPart::file("photo", "photo.png", "image/png", photoPath.string()),
    };
    HttpResult result = sendAndWait(request);
    ASSERT_TRUE(result.ok()) << result.error->description;
    ASSERT_EQ(received.size(), 3u);
    EXPECT_EQ(received["contactId"].content, "42");
    EXPECT_EQ(received["contactId"].filename, "");
    EXPECT_EQ(received["card"].filename, "card.jpg");
    EXPECT_EQ(received["card"].content_type, "image/jpeg");
    EXPECT_EQ(received["card"].content, std::string("\xff\xd8\xff", 3));
    EXPECT_EQ(received["photo"].filename, "photo.png");
    EXPECT_EQ(received["photo"].content, photoBytes);
}

TEST_F(HttpSessionTest, MultipartWithAnUnreadableFileFailsBeforeSending) {
    HttpRequest request = HttpRequest::json(HttpMethod::Post, "echo");
    request.multipart = {HttpMultipartPart::file("photo", "p.png", "image/png", "/nonexistent/p")};
    HttpResult result = sendAndWait(request);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, HttpErrors::kCannotReadFile);
    EXPECT_EQ(seen_.method, "");
}

// --- Downloads --------------------------------------------------------------------------------

std::string patternBytes(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>((i * 31 + 7) % 251);
    }
    return bytes;
}

TEST_F(HttpSessionTest, DownloadsToTheFileWithProgress) {
    const std::string content = patternBytes(3 * 1024 * 1024 + 17);
    server_.server().Get("/api2/file", [&](const httplib::Request&, httplib::Response& res) {
        res.set_content(content, "application/pdf");
    });
    TemporaryDirectory dir;
    const auto target = dir.path() / "brochure.pdf";
    std::ofstream(target) << "old version";

    std::vector<std::pair<std::int64_t, std::int64_t>> reports;
    HttpRequest request;
    request.url = "file?token=t";
    request.downloadPath = target.string();
    request.downloadProgress = [&](std::int64_t received, std::int64_t expected) {
        reports.emplace_back(received, expected);
    };
    HttpResult result = sendAndWait(request);
    ASSERT_TRUE(result.ok()) << result.error->description;
    EXPECT_EQ(result.response.downloadedPath, target.string());
    EXPECT_TRUE(result.response.body.empty());
    EXPECT_EQ(readFile(target), content);
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"brochure.pdf"});

    ASSERT_FALSE(reports.empty());
    const auto total = static_cast<std::int64_t>(content.size());
    EXPECT_EQ(reports.back(), std::make_pair(total, total));
    for (std::size_t i = 1; i < reports.size(); ++i) {
        EXPECT_LE(reports[i - 1].first, reports[i].first);
    }
}

TEST_F(HttpSessionTest, FailedDownloadLeavesTheOldFileAndNoPartialFile) {
    TemporaryDirectory dir;
    const auto target = dir.path() / "brochure.pdf";
    std::ofstream(target) << "old version";

    HttpRequest missing;
    missing.url = "missing";
    missing.downloadPath = target.string();
    HttpResult result = sendAndWait(missing);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, 404);
    EXPECT_EQ(result.response.body, "gone");  // the failure's body stays readable

    // An accepted status with an unaccepted type fails after the body was written.
    HttpRequest wrongType;
    wrongType.url = "html";
    wrongType.acceptedContentTypes = {"application/pdf"};
    wrongType.downloadPath = target.string();
    result = sendAndWait(wrongType);
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->code, HttpErrors::kUnacceptableContentType);

    EXPECT_EQ(readFile(target), "old version");
    EXPECT_EQ(filesIn(dir.path()), std::vector<std::string>{"brochure.pdf"});
}

// Serves a first chunk, then hangs until the server's gate opens.
void addHangingDownload(test::HttpTestServer& testServer, const std::string& path) {
    auto* gate = &testServer.gate();
    testServer.server().Get(path, [gate](const httplib::Request&, httplib::Response& res) {
        res.set_content_provider(1024 * 1024, "application/pdf",
                                 [gate](std::size_t offset, std::size_t, httplib::DataSink& sink) {
                                     if (offset == 0) {
                                         const std::string chunk(64 * 1024, 'x');
                                         return sink.write(chunk.data(), chunk.size());
                                     }
                                     gate->wait();
                                     return false;
                                 });
    });
}

TEST_F(HttpSessionTest, CancellingASlowDownloadEndsItWithOneCallback) {
    addHangingDownload(server_, "/api2/slow");
    TemporaryDirectory dir;
    std::int64_t received = 0;
    std::vector<HttpResult> outcomes;
    HttpRequest request;
    request.url = "slow";
    request.downloadPath = (dir.path() / "slow.pdf").string();
    request.downloadProgress = [&](std::int64_t bytes, std::int64_t) { received = bytes; };
    auto task = session_->send(request, [&](HttpResult result) { outcomes.push_back(result); });
    ASSERT_TRUE(queue_->runUntil([&] { return received > 0; }, kWaitLimit));

    task->cancel();
    EXPECT_TRUE(task->isCancelled());
    ASSERT_TRUE(queue_->runUntil([&] { return !outcomes.empty(); }, kWaitLimit));
    queue_->runFor(50ms);  // anything else that was queued would run now
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_TRUE(outcomes[0].error);
    EXPECT_TRUE(HttpErrors::isCancelled(*outcomes[0].error));
    EXPECT_TRUE(task->isCompleted());
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(HttpSessionTest, DestroyingTheSessionDropsItsCallbacks) {
    addHangingDownload(server_, "/api2/slow");
    std::int64_t received = 0;
    int calls = 0;
    HttpRequest request;
    request.url = "slow";
    request.downloadProgress = [&](std::int64_t bytes, std::int64_t) { received = bytes; };
    TemporaryDirectory dir;
    request.downloadPath = (dir.path() / "slow.pdf").string();
    session_->send(request, [&](HttpResult) { ++calls; });
    session_->send(HttpRequest::json(HttpMethod::Get, "json"), [&](HttpResult) { ++calls; });
    ASSERT_TRUE(queue_->runUntil([&] { return received > 0; }, kWaitLimit));

    session_.reset();
    queue_->runFor(50ms);
    EXPECT_LE(calls, 1);  // the quick request may have finished before; the download never does
    EXPECT_TRUE(filesIn(dir.path()).empty());
}

TEST_F(HttpSessionTest, CancelAllCancelsEveryRunningRequest) {
    addHangingDownload(server_, "/api2/slow");
    TemporaryDirectory dir;
    std::vector<Error> errors;
    for (const char* name : {"a.pdf", "b.pdf"}) {
        HttpRequest request;
        request.url = "slow";
        request.downloadPath = (dir.path() / name).string();
        session_->send(
            request, [&](HttpResult result) { errors.push_back(result.error.value_or(Error{})); });
    }
    session_->cancelAll();
    ASSERT_TRUE(queue_->runUntil([&] { return errors.size() == 2; }, kWaitLimit));
    for (const auto& error : errors) {
        EXPECT_TRUE(HttpErrors::isCancelled(error)) << error.description;
    }
}

// --- Stalled and unreachable servers ----------------------------------------------------------

TEST_F(HttpSessionTest, StalledServerEndsWithATimeout) {
    // Takes about a second of real time per case: the low-speed window is one second.
    auto* gate = &server_.gate();
    server_.server().Get("/api2/stall", [gate](const httplib::Request&, httplib::Response& res) {
        gate->wait();
        res.set_content("{}", "application/json");
    });
    addHangingDownload(server_, "/api2/stall-body");
    // A server that keeps sending, ten bytes every tenth of a second: alive, but far below the
    // app's limit of a kilobyte a second.
    server_.server().Get("/api2/trickle", [gate](const httplib::Request&, httplib::Response& res) {
        res.set_chunked_content_provider("application/json",
                                         [gate](std::size_t, httplib::DataSink& sink) {
                                             if (gate->wait(100ms)) {
                                                 return false;  // the server is shutting down
                                             }
                                             return sink.write("          ", 10);
                                         });
    });
    HttpSessionOptions options;
    options.lowSpeedTime = 1s;
    ASSERT_EQ(options.lowSpeedLimit, 1024);
    auto session = makeSession(options);

    for (const char* path : {"stall", "stall-body", "trickle"}) {
        SCOPED_TRACE(path);
        HttpResult result = sendAndWait(*session, HttpRequest::json(HttpMethod::Get, path));
        ASSERT_TRUE(result.error);
        EXPECT_TRUE(HttpErrors::isTimeout(*result.error)) << result.error->description;
    }
}

// --- What a failure answer says ---------------------------------------------------------------

TEST(HttpResponseServerMessageTest, TakesTheAnswersOwnShortMessageCleanedForDisplay) {
    struct Case {
        const char* name;
        const char* contentType;
        std::string body;
        std::string expected;
    };
    const std::string longText(1000, 'x');
    const std::string deep = std::string(7000, '[') + std::string(7000, ']');
    const Case cases[] = {
        {"JSON message", "application/json; charset=utf-8",
         R"({"success": false, "message": "Down for maintenance until 18:00"})",
         "Down for maintenance until 18:00"},
        {"JSON error when there is no message", "application/json",
         R"({"success": false, "error": "Quota exceeded"})", "Quota exceeded"},
        {"message before error", "application/json", R"({"error": "e", "message": "m"})", "m"},
        {"deep values beside the message", "application/json",
         R"({"detail": )" + deep + R"(, "message": "Busy"})", "Busy"},
        {"no text in the JSON", "application/json", R"({"error": {"code": 7}})", ""},
        {"JSON that is not an object", "application/json", "[\"Busy\"]", ""},
        {"short plain text, controls and line breaks removed", "text/plain",
         "Back soon.\r\n\x1b[31mReally\x07 soon\xc2\x9b.\n", "Back soon. [31mReally soon."},
        {"invalid UTF-8 dropped, letters kept", "text/plain",
         "Wartung \xff\xfe"
         "bis 18 Uhr – ☕",
         "Wartung bis 18 Uhr – ☕"},
        {"long text cut at the limit", "text/plain", longText,
         std::string(HttpResponse::kServerMessageLimit - 3, 'x') + "…"},
        {"a web page says nothing", "text/html", "<html><body>Maintenance</body></html>", ""},
        {"an empty body says nothing", "text/plain", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HttpResponse response;
        response.status = 503;
        response.contentType = c.contentType;
        response.body = c.body;
        const std::string message = response.serverMessage();
        EXPECT_EQ(message, c.expected);
        EXPECT_LE(message.size(), HttpResponse::kServerMessageLimit);
    }
}

TEST_F(HttpSessionTest, RefusedStatusCarriesTheServersMessage) {
    server_.server().Get("/api2/maintenance", [](const httplib::Request&, httplib::Response& res) {
        res.status = 503;
        res.set_content(R"({"message": "Down for maintenance"})", "application/json");
    });
    HttpResult result = sendAndWait(HttpRequest::json(HttpMethod::Get, "maintenance"));
    ASSERT_TRUE(result.error);
    EXPECT_EQ(result.error->description, "Request failed: service unavailable (503)");
    EXPECT_EQ(result.error->serverMessage, "Down for maintenance");
}

TEST_F(HttpSessionTest, UnreachableServersGiveClearErrors) {
    test::RefusingPort refusing;
    struct Case {
        std::string url;
        int code;
        const char* description;
    };
    const Case cases[] = {
        {"http://127.0.0.1:" + std::to_string(refusing.port()) + "/api2/x",
         HttpErrors::kCannotConnectToHost, "Could not connect to the server."},
        {"http://no-such-host.invalid/api2/x", HttpErrors::kCannotFindHost,
         "A server with the specified hostname could not be found."},
        {"ftp://127.0.0.1/x", HttpErrors::kUnsupportedURL, "unsupported URL"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        HttpResult result = sendAndWait(HttpRequest::json(HttpMethod::Get, c.url));
        ASSERT_TRUE(result.error);
        EXPECT_EQ(result.error->domain, HttpErrors::kNetworkDomain);
        EXPECT_EQ(result.error->code, c.code);
        EXPECT_EQ(result.error->description.rfind(c.description, 0), 0u)
            << result.error->description;
        EXPECT_EQ(result.response.status, 0);
    }
}

}  // namespace
}  // namespace pagewell
