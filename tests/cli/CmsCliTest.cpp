#include "CmsCliTest.h"

#include <utility>

namespace pagewell {

::testing::AssertionResult CmsCliTest::serve(const std::filesystem::path& catalogue,
                                             const std::string& appSecret,
                                             cms::CmsServerOptions options) {
    stopServer();
    options.catalogue = catalogue;
    options.appSecret = appSecret;
    auto created = cms::CmsServer::create(std::move(options));
    if (!created.ok()) {
        return ::testing::AssertionFailure() << created.error().description;
    }
    server = std::move(created).value();
    auto started = server->start();
    if (!started.ok()) {
        return ::testing::AssertionFailure() << started.error().description;
    }
    appSecret_ = appSecret;
    return writeConfig(server->baseUrl());
}

::testing::AssertionResult CmsCliTest::writeConfig(const std::string& cmsUrl, PlistDict extra) {
    extra["CMSURL"] = cmsUrl;
    extra["LoginSecret"] = appSecret_;
    auto written = PropertyList::writeFile(config().string(), PlistValue(std::move(extra)));
    if (!written.ok()) {
        return ::testing::AssertionFailure() << written.error().description;
    }
    return ::testing::AssertionSuccess();
}

void CmsCliTest::stopServer() {
    if (server) {
        server->services().faults.clear();
        server->stop();
        server.reset();
    }
}

std::vector<std::string> CmsCliTest::withConfig(const std::vector<std::string>& args) const {
    std::vector<std::string> all = {"--config", config().string()};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

std::vector<std::string> CmsCliTest::withEnvironment(std::vector<std::string> extra) const {
    std::vector<std::string> all = environment;
    all.insert(all.end(), extra.begin(), extra.end());
    return all;
}

CliRun CmsCliTest::run(const std::vector<std::string>& args,
                       std::vector<std::string> extraEnvironment,
                       const std::optional<std::string>& input) const {
    return runPagewell(data(), withConfig(args), withEnvironment(std::move(extraEnvironment)),
                       input);
}

nlohmann::json CmsCliTest::json(const std::vector<std::string>& args, int expectedExit,
                                std::vector<std::string> extraEnvironment) const {
    std::vector<std::string> all = {"--json"};
    all.insert(all.end(), args.begin(), args.end());
    CliRun shown = run(all, std::move(extraEnvironment));
    EXPECT_EQ(shown.exitCode, expectedExit) << shown.err;
    return nlohmann::json::parse(shown.out, nullptr, false);
}

std::unique_ptr<PagewellProcess> CmsCliTest::start(
    const std::vector<std::string>& args, std::vector<std::string> extraEnvironment) const {
    return std::make_unique<PagewellProcess>(data(), withConfig(args),
                                             withEnvironment(std::move(extraEnvironment)));
}

CliRun CmsCliTest::login(const std::string& user, const std::string& password) const {
    return run({"login", "--user", user, "--password-stdin"}, {}, password + "\n");
}

void CmsCliTest::signIn(const std::string& user, const std::string& password) const {
    CliRun signedIn = login(user, password);
    ASSERT_EQ(signedIn.exitCode, 0) << "login as " << user << ": " << signedIn.err;
    CliRun chosen = run({"locale", "use", "1"});
    ASSERT_EQ(chosen.exitCode, 0) << chosen.err;
}

}  // namespace pagewell
