#pragma once
// The search hits of the open document, by page number. The search writes them from its worker
// thread and page views read them on the main thread after the notifications below.
//
// Threading rule: every method may be called from any thread; mutex_ guards selections_.
// Notifications are posted on the calling thread after the lock is released, with the page
// number (int) as user info ("removeAllSelectionsEvent" has none).

#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "pdfkit/VXPDFSelection.h"

namespace pagewell {

class NotificationCenter;

inline constexpr const char* kAddSelectionsForPageEvent = "addSelectionsForPageEvent";
inline constexpr const char* kRemoveSelectionsForPageEvent = "removeSelectionsForPageEvent";
inline constexpr const char* kRemoveAllSelectionsEvent = "removeAllSelectionsEvent";

class VXPDFSelectionManager {
  public:
    // Posts through `center`, or through NotificationCenter::shared() when none is given.
    explicit VXPDFSelectionManager(std::shared_ptr<NotificationCenter> center = nullptr);
    VXPDFSelectionManager(const VXPDFSelectionManager&) = delete;
    VXPDFSelectionManager& operator=(const VXPDFSelectionManager&) = delete;

    // Stores `selections` for `page` unless the page already has hits (the first list stays);
    // posts "addSelectionsForPageEvent" either way.
    void addPDFSelections(std::vector<VXPDFSelection> selections, int page);
    // The page's hits; empty when it has none.
    std::vector<VXPDFSelection> getPDFSelectionsForPage(int page) const;
    // Posts "removeSelectionsForPageEvent".
    void removePDFSelectionsForPage(int page);
    // Posts "removeAllSelectionsEvent".
    void removeAllPDFSelections();
    // Number of pages with hits.
    int getCount() const;
    // The pages with hits, ascending.
    std::vector<int> pages() const;

  private:
    NotificationCenter& center() const;

    std::shared_ptr<NotificationCenter> center_;
    mutable std::mutex mutex_;
    std::map<int, std::vector<VXPDFSelection>> selections_;  // guarded by mutex_
};

}  // namespace pagewell
