#pragma once
// All drawn objects of the open document by page, the selection, the undo history (50 steps)
// and the document's saved set: "<base>/<stem>.redlining.plist" per document id (see
// RedliningFileName). Undo steps are data: a removed object travels archived, a move as the
// transform to restore, so a history can be stored and read back.
// Saving writes atomically and owner-only. A set that was not read completely (an unreadable
// file, skipped objects) is not overwritten silently: the first save over it keeps the
// original as "<name>.unreadable".
// One process-wide instance (getInstance); main queue only.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "platform/UndoManager.h"
#include "redlining/RedliningArchive.h"

namespace pagewell {

class VXRedliningObjectManager {
  public:
    static constexpr std::size_t kUndoLevels = 50;
    static constexpr std::uintmax_t kMaxFileBytes = 256ull << 20;

    VXRedliningObjectManager();
    static VXRedliningObjectManager& getInstance();

    // Objects by page. Adding and removing register their inverse for undo.
    void addRedliningObject(RedliningObjectPtr object, int page);
    void removeRedliningObject(const RedliningObjectPtr& object, int page);
    void removeRedliningObjectsForPage(int page);
    void removeAllRedliningObjects();
    const std::vector<RedliningObjectPtr>* getRedliningObjectsForPage(int page) const;
    const RedliningPageMap& getRedliningObjects() const { return pages_; }
    bool pageHasRedlining(int page) const;
    bool pdfHasRedlining() const { return !pages_.empty(); }
    // Another document's set, read from its file; the open document is left alone.
    bool pdfHasRedlining(const std::string& pdfId) const;

    // Moves, scales or turns objects (one undo step); each composes with the object's transform.
    void transformObjects(const std::vector<RedliningObjectPtr>& objects,
                          const RedliningTransform& change);

    // Style changes; the old value is registered for undo only while undoing or redoing.
    void setLineWidth(const RedliningObjectPtr& object, double width);
    void setLineColor(const RedliningObjectPtr& object, const RedliningColor& color);
    void setLineAlpha(const RedliningObjectPtr& object, double alpha);
    void setLineDashPattern(const RedliningObjectPtr& object, std::vector<double> pattern);

    void selectRedliningObject(const RedliningObjectPtr& object);
    void deselectRedliningObject(const RedliningObjectPtr& object);
    void deselectAllRedliningObjects();
    bool isObjectSelected(const RedliningObjectPtr& object) const;
    const std::vector<RedliningObjectPtr>& getSelectedObjects() const { return selected_; }

    void showRedliningObjects() { hidden_ = false; }
    void hideRedliningObjects() { hidden_ = true; }
    bool areRedliningObjectsHidden() const { return hidden_; }

    // A different id drops the loaded map and the undo history.
    void setPDFID(const std::string& pdfId);
    const std::string& pdfId() const { return pdfId_; }
    void setRedliningSaveBasePath(std::filesystem::path base) { basePath_ = std::move(base); }
    const std::filesystem::path& redliningSaveBasePath() const { return basePath_; }
    std::filesystem::path redliningSavePathForPdfId(const std::string& pdfId) const;
    std::filesystem::path redliningSavePath() const { return redliningSavePathForPdfId(pdfId_); }

    // Reads the file (the current document's when none is given) unless a map is loaded.
    // False when the file exists but cannot be read; logged "Exception[…]: …".
    bool loadRedliningFromFile(const std::optional<std::filesystem::path>& path = {});
    // Writes the map (deselecting and showing everything first).
    Status saveRedliningToFile(const std::optional<std::filesystem::path>& path = {});
    Status deleteRedliningFile(const std::optional<std::filesystem::path>& path = {});
    // True when the last load left part of the file behind; the next save keeps the original.
    bool loadWasIncomplete() const { return loadIncomplete_; }
    // Where the last save moved an incompletely read original; empty when it moved none.
    const std::filesystem::path& lastKeptOriginal() const { return keptOriginal_; }

    bool redliningHasUnsavedChanges() const { return changed_; }
    void setRedliningHasChanges(bool changed) { changed_ = changed; }
    UndoManager& undoManager() { return undo_; }

    // Reads another id's set without touching the open document.
    static Result<RedliningArchive::Decoded> loadRedliningForPDFID(
        const std::filesystem::path& base, const std::string& pdfId);
    static Result<RedliningArchive::Decoded> readSet(const std::filesystem::path& path);
    static bool pdfHasRedlining(const std::filesystem::path& base, const std::string& pdfId);
    // Writes a page map under an id (the link basket's copy).
    static Status writeSet(const std::filesystem::path& base, const std::string& pdfId,
                           const RedliningPageMap& pages);

  private:
    void perform(const UndoAction& action);
    void insertAt(RedliningObjectPtr object, int page, std::size_t index);
    std::optional<std::size_t> indexOf(const RedliningObjectPtr& object, int page) const;
    RedliningObjectPtr objectAt(const PlistValue& arguments) const;
    void registerStyle(const RedliningObjectPtr& object, const char* name, PlistValue old);

    RedliningPageMap pages_;
    std::vector<RedliningObjectPtr> selected_;
    std::string pdfId_;
    std::filesystem::path basePath_;
    std::optional<std::filesystem::path> loadPath_;
    bool loaded_ = false;
    bool hidden_ = false;
    bool changed_ = false;
    bool loadIncomplete_ = false;
    std::filesystem::path keptOriginal_;
    UndoManager undo_;
};

}  // namespace pagewell
