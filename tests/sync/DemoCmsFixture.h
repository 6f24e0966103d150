#pragma once
// The demo user signed in against pagewell-cms serving the demo catalogue on a loopback port,
// with the catalogue importer wired as the application wires it. Tests that drive the import,
// the downloads or the synchronisation screen against a real server start from here.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "cms/DemoCatalogue.h"
#include "net/CatalogueRequests.h"
#include "net/CurrentLocaleSource.h"
#include "net/EndpointDelegates.h"
#include "net/InterfaceManagerFixture.h"
#include "store/CurrentSelection.h"
#include "store/Database.h"
#include "store/PersistentStore.h"
#include "sync/ChangeTimestampsAdapter.h"
#include "sync/DataImporter.h"
#include "sync/TimestampManager.h"

namespace pagewell::test {

class DemoCmsFixture : public InterfaceManagerFixture {
  protected:
    class EnglishLocale final : public CurrentLocaleSource {
      public:
        std::optional<std::string> getCurrentLocaleID() override { return "1"; }
    };

    void TearDown() override {
        EndpointDelegates::shared().reset();
        manager_.reset();
        if (server_) {
            server_->stop();
        }
        InterfaceManagerFixture::TearDown();
    }

    // Builds the demo catalogue, serves it and signs in as "demo", who becomes the current user.
    void startServerAndSignIn(bool testHooks = false) {
        auto built = cms::DemoCatalogue::build(catalogue_.path());
        ASSERT_TRUE(built.ok()) << built.error().description;
        demo_ = std::move(built).value();
        cms::CmsServerOptions options;
        options.catalogue = catalogue_.path();
        options.appSecret = kAppSecret;
        options.testHooks = testHooks;
        auto created = cms::CmsServer::create(options);
        ASSERT_TRUE(created.ok()) << created.error().description;
        server_ = std::move(created).value();
        auto port = server_->start();
        ASSERT_TRUE(port.ok()) << port.error().description;
        writeAppSettings(server_->baseUrl());
        makeManager(InterfaceManager::defaultBaseURL());

        Outcome signedIn = login("demo", "demo");
        ASSERT_TRUE(signedIn.token) << (signedIn.error ? signedIn.error->description : "");
        userKey_ = scalar(PersistentStore::shared()->mainContext(),
                          "SELECT pk FROM User WHERE username = 'demo'");
        ASSERT_GT(userKey_, 0);
        CurrentSelection::setUser(userKey_, "demo");
    }

    // The importer with the signed-in user's change timestamps for English, the content
    // language "1".
    void wireImporter() {
        timestamps_ = std::make_shared<TimestampManager>(TimestampManager::Sources{
            [] { return CurrentSelection::userName(); },
            [] { return std::optional<std::string>("1"); }, [] { return true; }});
        EndpointDelegates::shared().reset();
        EndpointDelegates::shared().setTimestamps(
            std::make_shared<ChangeTimestampsAdapter>(timestamps_));
        EndpointDelegates::shared().setImporter(std::make_shared<DataImporter>(timestamps_));
        EndpointDelegates::shared().setLocaleSource(std::make_shared<EnglishLocale>());
    }

    // Imports the server's language list and makes English the current content language.
    void chooseEnglish() {
        bool done = false;
        CatalogueRequests().getAllLocales([&] { done = true; },
                                          [&](const Error& error) {
                                              done = true;
                                              ADD_FAILURE() << error.description;
                                          });
        ASSERT_TRUE(pump([&] { return done; }));
        englishKey_ = scalar(PersistentStore::shared()->mainContext(),
                             "SELECT pk FROM Locale WHERE cmsID = 1");
        ASSERT_GT(englishKey_, 0);
        CurrentSelection::setLocale(englishKey_);
    }

    // The first column of the first row, -1 when there is none.
    static std::int64_t scalar(StoreContext& context, const std::string& sql) {
        auto statement = context.database().prepare(sql);
        EXPECT_TRUE(statement.ok());
        auto row = statement.value()->step();
        std::int64_t value = row.ok() && row.value() ? statement.value()->integer(0) : -1;
        statement.value()->reset();
        return value;
    }

    TemporaryDirectory catalogue_;
    std::optional<cms::Catalogue> demo_;
    std::unique_ptr<cms::CmsServer> server_;
    std::shared_ptr<TimestampManager> timestamps_;
    std::int64_t userKey_ = 0;
    std::int64_t englishKey_ = 0;
};

}  // namespace pagewell::test
