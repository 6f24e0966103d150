#include "pdfkit/VXPDFSelectionManager.h"

#include <utility>

#include "platform/NotificationCenter.h"

namespace pagewell {

VXPDFSelectionManager::VXPDFSelectionManager(std::shared_ptr<NotificationCenter> center)
    : center_(std::move(center)) {}

NotificationCenter& VXPDFSelectionManager::center() const {
    return center_ ? *center_ : NotificationCenter::shared();
}

void VXPDFSelectionManager::addPDFSelections(std::vector<VXPDFSelection> selections, int page) {
    {
        std::lock_guard lock(mutex_);
        selections_.try_emplace(page, std::move(selections));
    }
    center().post(kAddSelectionsForPageEvent, page);
}

std::vector<VXPDFSelection> VXPDFSelectionManager::getPDFSelectionsForPage(int page) const {
    std::lock_guard lock(mutex_);
    auto found = selections_.find(page);
    return found == selections_.end() ? std::vector<VXPDFSelection>{} : found->second;
}

void VXPDFSelectionManager::removePDFSelectionsForPage(int page) {
    {
        std::lock_guard lock(mutex_);
        selections_.erase(page);
    }
    center().post(kRemoveSelectionsForPageEvent, page);
}

void VXPDFSelectionManager::removeAllPDFSelections() {
    {
        std::lock_guard lock(mutex_);
        selections_.clear();
    }
    center().post(kRemoveAllSelectionsEvent);
}

int VXPDFSelectionManager::getCount() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(selections_.size());
}

std::vector<int> VXPDFSelectionManager::pages() const {
    std::lock_guard lock(mutex_);
    std::vector<int> result;
    result.reserve(selections_.size());
    for (const auto& entry : selections_) {
        result.push_back(entry.first);
    }
    return result;
}

}  // namespace pagewell
