#include "library/CategoryWrapper.h"

#include <set>
#include <utility>

namespace pagewell {

namespace {

// `ancestors` holds the categories on the way down to `category` (itself included): a kept
// subcategory that is one of them closes a cycle and is left out below.
Status wrapChildren(CategoryTree& tree, CategoryWrapper& wrapper, const CategoryFilter& filter,
                    std::set<std::int64_t>& ancestors) {
    auto children = tree.filteredSubcategories(wrapper.fileCategory, filter);
    if (!children.ok()) {
        return children.error();
    }
    for (FileCategory& child : children.value()) {
        if (ancestors.count(child.pk) > 0) {
            continue;
        }
        CategoryWrapper childWrapper{std::move(child), {}};
        ancestors.insert(childWrapper.fileCategory.pk);
        Status built = wrapChildren(tree, childWrapper, filter, ancestors);
        ancestors.erase(childWrapper.fileCategory.pk);
        if (!built.ok()) {
            return built;
        }
        wrapper.wrappedSubcategories.push_back(std::move(childWrapper));
    }
    return {};
}

}  // namespace

Result<std::vector<CategoryWrapper>> CategoryWrapper::wrappedRootCategories(
    CategoryTree& tree, const CategoryFilter& filter) {
    auto roots = tree.filteredRootCategories(filter);
    if (!roots.ok()) {
        return roots.error();
    }
    std::vector<CategoryWrapper> wrappers;
    for (FileCategory& root : roots.value()) {
        auto wrapped = wrap(tree, root, filter);
        if (!wrapped.ok()) {
            return wrapped.error();
        }
        wrappers.push_back(std::move(wrapped.value()));
    }
    return wrappers;
}

Result<CategoryWrapper> CategoryWrapper::wrap(CategoryTree& tree, const FileCategory& category,
                                              const CategoryFilter& filter) {
    CategoryWrapper wrapper{category, {}};
    std::set<std::int64_t> ancestors{category.pk};
    Status built = wrapChildren(tree, wrapper, filter, ancestors);
    if (!built.ok()) {
        return built.error();
    }
    return wrapper;
}

}  // namespace pagewell
