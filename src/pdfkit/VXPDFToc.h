#pragma once
// The document outline as a flat list: each item's title, its depth (0 for the top level) and
// the page it leads to (-1 when the target cannot be resolved). Items are visited depth first;
// each item is visited once, so /Next or /First chains that loop back end the walk instead of
// running forever. An item without a /Title ends its chain of siblings, its subtree included.
//
// Threading: runs on the thread that uses the document handle; cancel() may be called from any
// thread. The delegate is called on the calling thread, once per entry as it is found.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pagewell {

class PdfDocumentHandle;

struct VXPDFTocEntry {
    std::string title;
    int level = 0;
    int page = -1;

    bool operator==(const VXPDFTocEntry&) const = default;
};

class VXPDFToc {
  public:
    using Delegate = std::function<void(const VXPDFTocEntry& entry)>;

    explicit VXPDFToc(std::shared_ptr<PdfDocumentHandle> document, Delegate delegate = {});

    // The entries, or nullopt when the document has no pages or no outline.
    std::optional<std::vector<VXPDFTocEntry>> getTOC();
    void cancel() { cancelled_ = true; }
    // The level of the entry found last.
    int currentLevel() const { return level_; }
    int count() const { return static_cast<int>(entries_.size()); }

  private:
    std::shared_ptr<PdfDocumentHandle> document_;
    Delegate delegate_;
    std::vector<VXPDFTocEntry> entries_;
    int level_ = 0;
    std::atomic<bool> cancelled_{false};
};

}  // namespace pagewell
