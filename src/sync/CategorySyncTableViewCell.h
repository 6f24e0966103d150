#pragma once
// One category row of the synchronisation screen, without a view: the category, its depth in
// the listed tree (shown as indentation), whether its subcategories and files are shown, and
// a download button that hands the whole category to the screen.
//
// Threading: belongs to the main thread.

#include <memory>

#include "store/FileCategory.h"

namespace pagewell {

class CategorySyncTableViewCell {
  public:
    // What the row asks of the screen it belongs to.
    class Screen {
      public:
        virtual ~Screen() = default;
        virtual void startDownloadWithCategoryCell(CategorySyncTableViewCell& cell) = 0;
    };

    CategorySyncTableViewCell(std::weak_ptr<Screen> screen, FileCategory category, int level);

    const FileCategory& category() const { return category_; }
    // 0 for a root, one more for each step down.
    int level() const { return level_; }
    bool isExpanded() const { return expanded_; }
    void setExpanded(bool expanded) { expanded_ = expanded; }

    // The row's download button: the screen downloads the category and its subcategories.
    void touchDownloadButton();

    static constexpr const char* kDownloadKey = "DOWNLOAD";
    static constexpr const char* kDownload = "Download";

  private:
    std::weak_ptr<Screen> screen_;
    FileCategory category_;
    int level_ = 0;
    bool expanded_ = false;
};

}  // namespace pagewell
