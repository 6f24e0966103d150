#include "sync/CategorySyncTableViewCell.h"

#include <utility>

namespace pagewell {

CategorySyncTableViewCell::CategorySyncTableViewCell(std::weak_ptr<Screen> screen,
                                                     FileCategory category, int level)
    : screen_(std::move(screen)), category_(std::move(category)), level_(level) {}

void CategorySyncTableViewCell::touchDownloadButton() {
    if (auto screen = screen_.lock()) {
        screen->startDownloadWithCategoryCell(*this);
    }
}

}  // namespace pagewell
