#include "sync/CatalogueEraser.h"

#include "store/EntityRows.h"
#include "store/File.h"
#include "store/FileCategory.h"
#include "store/Locale.h"
#include "store/StoreContext.h"

namespace pagewell {

namespace {

// Deletes every record the query lists, each through its own deletion rule.
template <class T>
Status deleteEvery(StoreContext& context, const char* sql) {
    auto records = EntityRows::records<T>(context, sql);
    if (!records.ok()) {
        return records.error();
    }
    for (T& record : records.value()) {
        Status deleted = record.deleteRecord(context);
        if (!deleted.ok()) {
            return deleted;
        }
    }
    return {};
}

}  // namespace

Status CatalogueEraser::eraseAll(StoreContext& context,
                                 const std::function<void(double)>& progress) {
    auto report = [&progress](double fraction) {
        if (progress) {
            progress(fraction);
        }
    };
    Status erased = context.beginWrite();
    if (erased.ok()) {
        erased = deleteEvery<File>(context, "SELECT pk FROM File ORDER BY pk");
    }
    if (erased.ok()) {
        report(0.25);
        erased = deleteEvery<FileCategory>(context, "SELECT pk FROM FileCategory ORDER BY pk");
    }
    if (erased.ok()) {
        report(0.5);
        erased = deleteEvery<Locale>(context, "SELECT pk FROM Locale ORDER BY pk");
    }
    if (erased.ok()) {
        report(0.75);
        erased = context.save();
    }
    if (!erased.ok()) {
        context.rollback();
    }
    return erased;
}

}  // namespace pagewell
