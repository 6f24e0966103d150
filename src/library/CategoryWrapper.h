#pragma once
// One node of the download view's category tree: a kept category with its kept subcategories
// in tree order (see CategoryTree). A category that is its own ancestor (a cycle in the
// server's graph) is not listed again below itself, so every tree is finite. Plain value.

#include <string>
#include <vector>

#include "library/CategoryFilterType.h"
#include "library/CategoryTree.h"
#include "platform/Error.h"
#include "store/FileCategory.h"

namespace pagewell {

struct CategoryWrapper {
    FileCategory fileCategory;
    std::vector<CategoryWrapper> wrappedSubcategories;

    // The kept roots of `tree`, each with its kept subtree.
    static Result<std::vector<CategoryWrapper>> wrappedRootCategories(CategoryTree& tree,
                                                                      const CategoryFilter& filter);
    static Result<std::vector<CategoryWrapper>> wrappedRootCategoriesWithFilterType(
        CategoryTree& tree, CategoryFilterType type) {
        return wrappedRootCategories(tree, CategoryFilter::withType(type));
    }
    static Result<std::vector<CategoryWrapper>> wrappedRootCategoriesWithKeyword(
        CategoryTree& tree, const std::string& keyword) {
        return wrappedRootCategories(tree, CategoryFilter::withKeyword(keyword));
    }

    // A wrapper for `category` whose subtree is built at once; the category itself is taken
    // as given, kept or not.
    static Result<CategoryWrapper> wrap(CategoryTree& tree, const FileCategory& category,
                                        const CategoryFilter& filter);
};

}  // namespace pagewell
