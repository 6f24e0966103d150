#pragma once
// The content-language chooser: the signed-in user's languages sorted by title. With exactly
// one language it makes that one current and finishes at once; otherwise it asks through the
// Presenter's choice list, and the chosen row becomes current.
//
// Threading: main queue only (the Presenter answers there).

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "store/Locale.h"
#include "store/StoreContext.h"

namespace pagewell {

class LocaleManager;

class LocaleViewController : public std::enable_shared_from_this<LocaleViewController> {
  public:
    // Called once: true when a language was made current, false when the chooser was closed
    // without a choice.
    using Completion = std::function<void(bool chosen)>;

    explicit LocaleViewController(std::shared_ptr<LocaleManager> manager);

    // Reads the rows: the signed-in user's languages, sorted by title.
    Status loadRows(StoreContext& context);
    const std::vector<Locale>& rows() const { return rows_; }
    // What each row shows: the title, or "#<id>" for a language without one.
    std::vector<std::string> rowTitles() const;

    // Exactly one row: it becomes current and `completion(true)` runs before this returns.
    // Otherwise the rows are offered through Presenter::choose; a choice makes that row current
    // and completes with true, a cancel completes with false. Keeps itself alive until then.
    void present(Completion completion);

    // Makes the row current; false (nothing changes) for an index out of range.
    bool didSelectRow(std::size_t index);

    static constexpr const char* kTitleKey = "CHOOSE_LOCALE";
    static constexpr const char* kTitle = "Choose your content language";

  private:
    std::shared_ptr<LocaleManager> manager_;
    std::vector<Locale> rows_;
};

}  // namespace pagewell
