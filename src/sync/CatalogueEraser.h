#pragma once
// Erases the synchronised catalogue: every File (each through its deletion rule, so local
// copies, resources and annotation sets go as well), then every FileCategory, then every
// Locale, in one transaction saved at the end, so an interrupted erase leaves the store as it
// was. Users and their settings stay.
//
// Threading: stateless; runs on the thread that owns the context (a private context on a
// background queue, as erasing many files takes a while).

#include <functional>

#include "platform/Error.h"

namespace pagewell {

class StoreContext;

class CatalogueEraser {
  public:
    // `progress` hears 0.25 after the files, 0.5 after the categories and 0.75 after the
    // languages, on the calling thread, before the save. A failure rolls everything back.
    static Status eraseAll(StoreContext& context, const std::function<void(double)>& progress);
};

}  // namespace pagewell
