#include "diag/LogRedactor.h"

#include <gtest/gtest.h>

namespace pagewell {
namespace {

struct Case {
    const char* reason;
    std::string in;
    std::string out;
};

TEST(LogRedactorTest, Addresses) {
    const Case cases[] = {
        {"token query parameter",
         "https://cms.example.com/api2/category/list?token=abc123&locale=de",
         "https://cms.example.com/api2/category/list?token=***&locale=de"},
        {"token after other parameters", "https://h/api2/search/de?keyword=x&token=abc",
         "https://h/api2/search/de?keyword=x&token=***"},
        {"name in capitals", "https://h/api2/x?TOKEN=abc", "https://h/api2/x?TOKEN=***"},
        {"relative address with fragment", "files/1.pdf?token=abc#page=2",
         "files/1.pdf?token=***#page=2"},
        {"empty token", "https://h/x?token=&a=1", "https://h/x?token=***&a=1"},
        {"other secret names", "https://h/x?access_token=a&client_secret=b&Password=c&id=4",
         "https://h/x?access_token=***&client_secret=***&Password=***&id=4"},
        {"fallback login path", "https://h/api2/auth/login/alice/p%40ss/uid-1/s3cr3t",
         "https://h/api2/auth/login/alice/***/uid-1/***"},
        {"relative login path with query", "auth/login/alice/pw/uid/secret?x=1",
         "auth/login/alice/***/uid/***?x=1"},
        {"login path cut short", "https://h/api2/auth/login/alice/pw",
         "https://h/api2/auth/login/alice/***"},
        {"current login method has no secrets in the path", "https://h/api2/auth/loginv2",
         "https://h/api2/auth/loginv2"},
        {"user information", "https://bob:hunter2@h/x", "https://bob:***@h/x"},
        {"nothing secret", "https://h/api2/x?locale=de&timestamp=0",
         "https://h/api2/x?locale=de&timestamp=0"},
        {"inside free text", "request 'https://h/x?token=abc' failed",
         "request 'https://h/x?token=***' failed"},
        {"token word in the path only", "https://h/api2/token/list?a=1",
         "https://h/api2/token/list?a=1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogRedactor::redactUrl(c.in), c.out) << c.reason;
    }
}

TEST(LogRedactorTest, HeaderFields) {
    const HttpHeaders in = {
        {"Authorization", "Basic YWxpY2U6cHc="},
        {"authorization", "Bearer x"},
        {"X-App-Secret", "deployment-secret"},
        {"x-app-secret", "deployment-secret"},
        {"Cookie", "session=1"},
        {"Set-Cookie", "session=1; HttpOnly"},
        {"Proxy-Authorization", "Basic eA=="},
        {"X-Auth-Token", "t"},
        {"X-Uid", "uid-1"},
        {"Content-Type", "application/json"},
        {"Location", "https://h/x?token=abc"},
    };
    const HttpHeaders out = {
        {"Authorization", "***"},
        {"authorization", "***"},
        {"X-App-Secret", "***"},
        {"x-app-secret", "***"},
        {"Cookie", "***"},
        {"Set-Cookie", "***"},
        {"Proxy-Authorization", "***"},
        {"X-Auth-Token", "***"},
        {"X-Uid", "uid-1"},
        {"Content-Type", "application/json"},
        {"Location", "https://h/x?token=***"},
    };
    EXPECT_EQ(LogRedactor::redactHeaders(in), out);
}

TEST(LogRedactorTest, Bodies) {
    const Case cases[] = {
        {"JSON login fields", R"({"username":"u","password":"p"})",
         R"({"username":"u","password":"***"})"},
        {"JSON at any depth, order kept",
         R"({"token":"t","config_json":{"uid":"1","push_token":"x"}})",
         R"({"token":"***","config_json":{"uid":"1","push_token":"***"}})"},
        {"JSON values of any type, keys in any case",
         R"({"secret":12,"data":[{"Password":{"a":1}},{"token":null}]})",
         R"({"secret":"***","data":[{"Password":"***"},{"token":"***"}]})"},
        {"JSON string holding an address", R"({"url":"https://h/x?token=abc"})",
         R"({"url":"https://h/x?token=***"})"},
        {"JSON without secrets stays byte for byte", "{ \"a\": 1,\n  \"b\": [true] }",
         "{ \"a\": 1,\n  \"b\": [true] }"},
        {"JSON cut off", R"({"success":true,"token":"abc)", R"({"success":true,"token":"***")"},
        {"JSON cut off after a number", R"({"secret": 1234, "x)", R"({"secret": "***", "x)"},
        {"form body", "username=u&password=p%40ss&x=1", "username=u&password=***&x=1"},
        {"form key written with escapes", "pass%77ord=x&a=b", "pass%77ord=***&a=b"},
        {"form body without secrets", "a=1&b=x+y", "a=1&b=x+y"},
        {"plain text", "hello world", "hello world"},
        {"empty", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LogRedactor::redactBody(c.in), c.out) << c.reason;
    }
}

TEST(LogRedactorTest, DecodesFormComponents) {
    EXPECT_EQ(LogRedactor::decodeFormComponent("x+y"), "x y");
    EXPECT_EQ(LogRedactor::decodeFormComponent("J%C3%BCrgen"), "J\xC3\xBCrgen");
    EXPECT_EQ(LogRedactor::decodeFormComponent("a%26b%3Dc"), "a&b=c");
    EXPECT_EQ(LogRedactor::decodeFormComponent("100%"), std::nullopt);
    EXPECT_EQ(LogRedactor::decodeFormComponent("%ZZ"), std::nullopt);
    EXPECT_EQ(LogRedactor::decodeFormComponent("%FF"), std::nullopt);  // not UTF-8
}

}  // namespace
}  // namespace pagewell
