#pragma once
// A store with the signed-in user and chosen locale of StoreFixture, and helpers that write
// categories, files and their links as rows, so that each test shows its tree at a glance.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/File.h"
#include "store/FileCategory.h"
#include "store/StoreFixture.h"

namespace pagewell {

class LibraryFixture : public StoreFixture {
  protected:
    using Keys = std::vector<std::int64_t>;

    // A category of the current locale seen by the current user, unless told otherwise.
    std::int64_t category(const std::optional<std::string>& name,
                          std::optional<std::int64_t> locale = std::nullopt,
                          std::optional<std::int64_t> user = std::nullopt) {
        std::int64_t pk =
            insertRow("INSERT INTO FileCategory (cmsID, locale, name) VALUES (?, ?, ?)",
                      ++nextCategoryID_, locale.value_or(localeKey_), name);
        insertRow("INSERT INTO FileCategory_users (category, user) VALUES (?, ?)", pk,
                  user.value_or(userKey_));
        return pk;
    }
    void link(std::int64_t parent, std::int64_t child) {
        insertRow("INSERT INTO FileCategory_subcategories (parent, child) VALUES (?, ?)", parent,
                  child);
    }
    // A file of the current user and locale in `categories`; `flags` is an SQL assignment.
    std::int64_t file(const std::optional<std::string>& title, const Keys& categories,
                      const char* flags = "") {
        std::int64_t pk =
            insertRow("INSERT INTO File (cmsID, title) VALUES (?, ?)", ++nextFileID_, title);
        insertRow("INSERT INTO File_users (file, user) VALUES (?, ?)", pk, userKey_);
        insertRow("INSERT INTO File_locales (file, locale) VALUES (?, ?)", pk, localeKey_);
        for (std::int64_t categoryKey : categories) {
            insertRow("INSERT INTO File_categories (file, category) VALUES (?, ?)", pk,
                      categoryKey);
        }
        if (*flags) {
            EXPECT_TRUE(main()
                            .database()
                            .run(std::string("UPDATE File SET ") + flags + " WHERE pk = ?", pk)
                            .ok());
        }
        return pk;
    }
    std::int64_t cmsIDOfFile(std::int64_t pk) {
        return scalar("SELECT cmsID FROM File WHERE pk = ?", pk);
    }
    FileCategory load(std::int64_t pk) { return *FileCategory::find(main(), pk).value(); }

    template <class T>
    static Keys keysOf(const Result<std::vector<T>>& rows) {
        EXPECT_TRUE(rows.ok()) << (rows.ok() ? "" : rows.error().description);
        Keys keys;
        if (rows.ok()) {
            for (const T& row : rows.value()) {
                keys.push_back(row.pk);
            }
        }
        return keys;
    }

    std::int64_t nextCategoryID_ = 100;
    std::int64_t nextFileID_ = 1000;
};

}  // namespace pagewell
