#pragma once
// The category trees of the download view: which categories of the current user and locale
// are listed, in which order, and which of their files count under a filter type or a title
// keyword (CategoryFilter).
//
//   roots          "supercategories.@count == 0 AND users CONTAINS U AND locale == L", by name
//   subcategories  "users CONTAINS U AND locale = L" over `subcategories`, by name
//   counting files every file linked to the category that passes the filter, by title, but
//                  none the server removed for U (FileState.removedByServer)
//                  (download errors: store order); a keyword keeps "title CONTAINS[cd] k"
//   kept           a category with a counting file, or with a kept subcategory
//
// The category graph comes from the server and may hold cycles (a category listed as its own
// child, two categories each other's child). Every walk here remembers the categories it has
// entered, so none runs forever: a category reachable along several paths or around a cycle
// is looked at once per walk.
//
// A tree remembers, for its lifetime, which categories it found kept and which files count:
// make a new one after the store changed. Threading: belongs to the thread that owns the
// context; the download-error test is called on that thread.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "library/CategoryFilterType.h"
#include "platform/Error.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/StoreContext.h"

namespace pagewell {

class CategoryTree {
  public:
    // Whether a download error is kept for the file with that cmsID (the sync manager's
    // errors). Without one, filter type 3 counts no file.
    using DownloadErrorTest = std::function<bool(std::int64_t fileID)>;

    // Whose tree: row keys of the user and the locale; none means the current selection at the
    // time the tree is made.
    struct Scope {
        std::optional<std::int64_t> userKey;
        std::optional<std::int64_t> localeKey;
    };

    explicit CategoryTree(StoreContext& context, DownloadErrorTest hasDownloadError = nullptr,
                          Scope scope = {});

    // ---- unfiltered (the category screens)

    Result<std::vector<FileCategory>> sortedRootCategories();
    Result<std::vector<FileCategory>> sortedSubcategories(const FileCategory& category);
    // "users CONTAINS U AND locales CONTAINS L" over the category's files, by title.
    Result<std::vector<File>> sortedFiles(const FileCategory& category);

    // ---- filtered (the download view)

    // The kept roots, by name.
    Result<std::vector<FileCategory>> filteredRootCategories(const CategoryFilter& filter);
    // The kept subcategories of `category`, by name.
    Result<std::vector<FileCategory>> filteredSubcategories(const FileCategory& category,
                                                            const CategoryFilter& filter);
    // The counting files of `category`.
    Result<std::vector<File>> filteredFiles(const FileCategory& category,
                                            const CategoryFilter& filter);
    // Whether `category` has a counting file or a kept subcategory (recursively).
    Result<bool> isKept(const FileCategory& category, const CategoryFilter& filter);
    // `category` and every kept category below it, each once, depth first in the order above
    // (a category met again along another path or around a cycle is not repeated). What a
    // download or a disk-space sum over a category and its subcategories walks.
    Result<std::vector<FileCategory>> filteredCategoryClosure(const FileCategory& category,
                                                              const CategoryFilter& filter);

    // The same under the names the download view uses.
    Result<std::vector<FileCategory>> filteredRootcategoriesWithFilterType(
        CategoryFilterType type) {
        return filteredRootCategories(CategoryFilter::withType(type));
    }
    Result<std::vector<FileCategory>> filteredRootCategoriesWithKeyword(
        const std::string& keyword) {
        return filteredRootCategories(CategoryFilter::withKeyword(keyword));
    }
    Result<std::vector<FileCategory>> filteredSubcategoriesWithFilterType(
        const FileCategory& category, CategoryFilterType type) {
        return filteredSubcategories(category, CategoryFilter::withType(type));
    }
    Result<std::vector<FileCategory>> filteredSubcategoriesWithKeyword(const FileCategory& category,
                                                                       const std::string& keyword) {
        return filteredSubcategories(category, CategoryFilter::withKeyword(keyword));
    }
    Result<std::vector<File>> filteredFilesWithFilterType(const FileCategory& category,
                                                          CategoryFilterType type) {
        return filteredFiles(category, CategoryFilter::withType(type));
    }
    Result<std::vector<File>> filteredFilesWithKeyword(const FileCategory& category,
                                                       const std::string& keyword) {
        return filteredFiles(category, CategoryFilter::withKeyword(keyword));
    }

    StoreContext& context() { return context_; }

  private:
    // Every file linked to the category, by title (then row key), read once per tree; not those
    // the server removed for the scope's user.
    Result<const std::vector<File>*> filesOf(std::int64_t categoryKey);
    Result<const std::vector<FileCategory>*> childrenOf(const FileCategory& category);
    bool counts(const File& file, const CategoryFilter& filter) const;
    Result<bool> hasCountingFile(const FileCategory& category, const CategoryFilter& filter);
    static std::string filterKey(const CategoryFilter& filter);

    StoreContext& context_;
    DownloadErrorTest hasDownloadError_;
    Scope scope_;
    std::map<std::int64_t, std::vector<File>> files_;
    std::map<std::int64_t, std::vector<FileCategory>> children_;
    // Per filter: the categories found kept and those found not kept.
    std::map<std::string, std::map<std::int64_t, bool>> kept_;
};

}  // namespace pagewell
