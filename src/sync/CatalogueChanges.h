#pragma once
// What one catalogue synchronisation changed for a user in a content language: the server
// identifiers (cmsID) of the categories and files that appeared, changed or disappeared, each
// list in ascending order. Made by CatalogueSnapshot::changesSince.

#include <cstdint>
#include <vector>

namespace pagewell {

struct CatalogueChanges {
    struct Lists {
        std::vector<std::int64_t> added;
        std::vector<std::int64_t> changed;
        std::vector<std::int64_t> removed;

        bool empty() const { return added.empty() && changed.empty() && removed.empty(); }
        bool operator==(const Lists&) const = default;
    };

    Lists categories;
    Lists files;

    bool empty() const { return categories.empty() && files.empty(); }
    bool operator==(const CatalogueChanges&) const = default;
};

}  // namespace pagewell
