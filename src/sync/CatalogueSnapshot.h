#pragma once
// A picture of the catalogue one user sees in one content language, taken before and after a
// synchronisation so that the difference can be told: which categories and files were added,
// changed or removed.
//
// A category is its record of that language the user is a member of; a file is a record that
// lists both the user and the language. A record counts as changed when anything the server
// sends about it differs: for a category its name, modification date, position and parents; for
// a file its title, modification date, address, size, highlight flag and the categories of the
// language that hold it. Download state is not part of the picture: it is the client's doing,
// not the server's.
//
// Threading: a snapshot is plain data; take() runs on the thread that owns the context.

#include <cstdint>
#include <map>
#include <string>

#include "platform/Error.h"
#include "sync/CatalogueChanges.h"

namespace pagewell {

class StoreContext;

class CatalogueSnapshot {
  public:
    // Reads the catalogue of the user and the locale (store row keys).
    static Result<CatalogueSnapshot> take(StoreContext& context, std::int64_t userKey,
                                          std::int64_t localeKey);

    // What happened between `before` and this snapshot.
    CatalogueChanges changesSince(const CatalogueSnapshot& before) const;

    std::size_t categoryCount() const { return categories_.size(); }
    std::size_t fileCount() const { return files_.size(); }

  private:
    // cmsID → everything compared about the record, as one text.
    using Fingerprints = std::map<std::int64_t, std::string>;

    static CatalogueChanges::Lists compare(const Fingerprints& before, const Fingerprints& after);

    Fingerprints categories_;
    Fingerprints files_;
};

}  // namespace pagewell
