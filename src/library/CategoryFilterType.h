#pragma once
// Which files of a category the download view counts, and the value that selects them: one of
// the filter types, or a title keyword that replaces the type while a search text is entered.
// Plain values; any thread.

#include <cstdint>
#include <optional>
#include <string>

namespace pagewell {

enum class CategoryFilterType : std::int32_t {
    All = 0,              // every file of the category
    Downloaded = 1,       // "downloaded = 1"
    NotDownloaded = 2,    // "downloaded = 0"
    DownloadError = 3,    // files the sync manager keeps a download error for (store order)
    UpdateAvailable = 4,  // "downloaded = 1 AND updateAvailable = 1"
};

// The type with that number, or none for a number outside 0 to 4.
std::optional<CategoryFilterType> categoryFilterTypeFromInt(std::int64_t value);

// The localisation key and English default of the type's name on the filter control.
struct CategoryFilterLabel {
    const char* key;
    const char* fallback;
};
CategoryFilterLabel categoryFilterLabel(CategoryFilterType type);

// A filter type, or a title keyword ("title CONTAINS[cd]"): a keyword, when set, decides alone.
struct CategoryFilter {
    CategoryFilterType type = CategoryFilterType::All;
    std::optional<std::string> keyword;

    static CategoryFilter withType(CategoryFilterType type) { return CategoryFilter{type, {}}; }
    static CategoryFilter withKeyword(std::string keyword) {
        return CategoryFilter{CategoryFilterType::All, std::move(keyword)};
    }
    bool isKeyword() const { return keyword.has_value(); }
};

}  // namespace pagewell
