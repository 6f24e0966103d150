#pragma once
// The content-language tests' environment: the login session's fixture (data directory, store,
// file keychain, scripted presenter, fresh main queue) plus a fresh LocaleManager, a language
// switcher over the shipped tables, and helpers to sign users in and give them languages.

#include <nlohmann/json.hpp>

#include <memory>
#include <string>
#include <vector>

#include "SessionFixture.h"
#include "app/LanguageSwitcher.h"
#include "app/LocaleManager.h"
#include "net/AccountManager.h"
#include "net/EndpointDelegates.h"
#include "store/Locale.h"
#include "store/User.h"
#include "sync/LocaleImporter.h"

namespace pagewell::test {

class LocaleFixture : public SessionFixture {
  protected:
    void SetUp() override {
        SessionFixture::SetUp();
        LocaleManager::setShared(nullptr);
        LanguageSwitcher::setShared(
            std::make_shared<LanguageSwitcher>(PAGEWELL_SHIPPED_DATA_DIR, "en"));
        EndpointDelegates::shared().reset();
    }

    void TearDown() override {
        EndpointDelegates::shared().reset();
        LocaleManager::setShared(nullptr);
        LanguageSwitcher::setShared(nullptr);
        SessionFixture::TearDown();
    }

    // Makes `name` the signed-in user, the way a login does (keychain first).
    User signIn(const std::string& name, std::int64_t cmsID) {
        keychain_->deleteCredentials();
        keychain_->saveUsername(name, "pw", "token");
        auto user = User::userWithID(main(), cmsID, name);
        EXPECT_TRUE(user.ok());
        EXPECT_TRUE(AccountManager::setCurrentUser(user.value()));
        return user.value();
    }

    // The server's entry for a language.
    static nlohmann::json entry(int id, const std::string& title, const std::string& iso2) {
        return {{"id", std::to_string(id)},
                {"title", title},
                {"iso_full", title},
                {"iso5", iso2 + "_XX"},
                {"iso2", iso2}};
    }

    // Imports a language list for the signed-in user, as the importer does.
    std::vector<Locale> importForCurrentUser(const std::vector<nlohmann::json>& entries) {
        auto imported =
            LocaleImporter::importLocalesWithJSON(main(), nlohmann::json{{"items", entries}});
        EXPECT_TRUE(imported.ok()) << (imported.ok() ? "" : imported.error().description);
        return imported.ok() ? imported.value() : std::vector<Locale>{};
    }

    Locale localeWithCmsID(std::int64_t cmsID) {
        auto found = Locale::findWithCmsID(main(), cmsID);
        EXPECT_TRUE(found.ok() && found.value().has_value());
        return found.ok() && found.value() ? *found.value() : Locale{};
    }
};

// An importer that does what the catalogue importer does with the language list: hands it to
// LocaleImporter on a context of its own. Everything else is not expected here.
class LocaleOnlyImporter final : public CatalogueImporting {
  public:
    Status importLocalesWithJSON(const nlohmann::json& json) override {
        ++calls;
        auto context = PersistentStore::shared()->newPrivateContext();
        if (!context.ok()) {
            return context.error();
        }
        auto imported = LocaleImporter::importLocalesWithJSON(*context.value(), json);
        if (!imported.ok()) {
            return imported.error();
        }
        return {};
    }
    Status importCategoriesWithJSON(const nlohmann::json&, const std::string&) override {
        return unexpected();
    }
    Status insertFilesWithJSON(const nlohmann::json&, std::int64_t) override {
        return unexpected();
    }
    Status importFilesWithJSON(const nlohmann::json&) override { return unexpected(); }
    Status importImprintWithJSON(const nlohmann::json&) override { return unexpected(); }
    Status importBeaconListWithJSON(const nlohmann::json&) override { return unexpected(); }
    Status importCustomerListWithJSON(const nlohmann::json&) override { return unexpected(); }
    Status importCustomerGroupListWithJSON(const nlohmann::json&) override { return unexpected(); }
    Status importQRCodesListWithJSON(const nlohmann::json&) override { return unexpected(); }
    Status importFavoriteFoldersWithJSON(const nlohmann::json&) override { return unexpected(); }
    Status importFavoriteFoldersFileRelationsWithJSON(const nlohmann::json&) override {
        return unexpected();
    }
    Status deleteCategoriesWithIDs(const std::vector<std::int64_t>&) override {
        return unexpected();
    }
    Status deleteCategoriesWithIDs(const std::vector<std::int64_t>&, const std::string&) override {
        return unexpected();
    }
    Result<std::vector<std::int64_t>> categoryIDsOfLocale(const std::string&) override {
        return unexpected();
    }
    Status removeFilesOfProximityEntry(ProximityKind, std::int64_t) override {
        return unexpected();
    }
    Status saveStore() override { return unexpected(); }

    std::atomic<int> calls{0};

  private:
    static Error unexpected() { return Error::make("Test", -1, "not expected here"); }
};

}  // namespace pagewell::test
