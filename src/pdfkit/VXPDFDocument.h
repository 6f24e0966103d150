#pragma once
// The one open document of the viewer. Every engine class reaches the open document through
// getInstance(): its pages, catalog, file path and name, the rendering quality page views draw
// with, the page renderer, and the search hits' selection manager.
//
//   openDocument(url) ── no URL ─────────────────────────▶ error "PDF url is nil"
//        │            ── not a file:// URL ──────────────▶ error "PDFOpenException"
//        ▼ close any open document ("pdfClosedEvent")
//   record path and name ── file unreadable as PDF ──────▶ error "PDFDocumentRef is nil"
//        ▼
//   completion()
//
// Threading rule: open, close and the setters run on the main thread. Every getter may be
// called from any thread; mutex_ guards every member. A document handle is used by one thread
// at a time (see PdfDocumentHandle): background work (search, export) opens its own handle on
// getFilePath().

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "pdfkit/PdfDictionary.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfGeometry.h"
#include "pdfkit/PdfPage.h"
#include "platform/Error.h"

namespace pagewell {

class PdfPageRenderer;
class VXPDFSelectionManager;

class VXPDFDocument {
  public:
    static constexpr const char* kErrorDomain = "VXPDFDocument";
    static constexpr int kErrorCode = -1;
    static constexpr const char* kUrlIsNil = "PDF url is nil";
    static constexpr const char* kDocumentRefIsNil = "PDFDocumentRef is nil";
    // A URL of a file that is not on this device: the caller must download it first.
    static constexpr const char* kOpenExceptionName = "PDFOpenException";
    static constexpr const char* kOpenExceptionReason =
        "Please download the PDF first and then try to open it";
    static constexpr const char* kPdfClosedEvent = "pdfClosedEvent";
    static constexpr int kDefaultRenderingQuality = 3;

    using Completion = std::function<void()>;
    using ErrorCallback = std::function<void(const Error& error)>;

    VXPDFDocument();
    ~VXPDFDocument();
    VXPDFDocument(const VXPDFDocument&) = delete;
    VXPDFDocument& operator=(const VXPDFDocument&) = delete;

    // The process-wide document; created on first use unless a test replaced it.
    static VXPDFDocument& getInstance();
    static void setShared(std::shared_ptr<VXPDFDocument> document);

    // Opens the file at a "file://" URL (nullopt or empty: no URL). Exactly one of the callbacks
    // is called, once, before this returns. Errors have domain "VXPDFDocument" and code -1;
    // a URL that is not a file URL gives domain "PDFOpenException" with its reason.
    void openDocument(const std::optional<std::string>& url, const Completion& completion,
                      const ErrorCallback& errorBlock);
    // Removes every search hit, drops the selection manager, posts "pdfClosedEvent" and
    // releases the document. Nothing happens when no document is open.
    void closeDocument();
    bool isOpen() const;

    // 1-based; nullopt when closed or out of range.
    std::optional<PdfPage> getPage(int pageNumber) const;
    // 0 when closed.
    int getNumberOfPages() const;
    std::optional<PdfDictionary> getCatalog() const;
    // The open document's handle (main thread only, see above); nullptr when closed.
    std::shared_ptr<PdfDocumentHandle> documentHandle() const;

    // The local path: the URL without "file://localhost" (or "file://"), percent-decoded.
    std::string getFilePath() const;
    // The URL's last path component, percent-decoded.
    std::string fileName() const;

    // The page's displayed rectangle: crop box ∩ media box, turned by /Rotate, fitted into
    // `target` (see VXPDFTransform::scaledPageRect). An empty rectangle when there is no such
    // page.
    PdfRect getRectForPage(int pageNumber, const PdfRect& target = {}) const;

    void setRenderingQuality(int quality);
    int getRenderingQuality() const;

    // Draws pages of the open document; opened on first use, nullptr when closed or when the
    // renderer cannot read the file.
    std::shared_ptr<PdfPageRenderer> pageRenderer();

    // The search hits of the open document; created on first use, dropped on close.
    std::shared_ptr<VXPDFSelectionManager> selectionManager();

    // "file:///a/b%20c.pdf" and "file://localhost/a/b c.pdf" give "/a/b c.pdf"; nullopt for a
    // text that is not a file URL.
    static std::optional<std::string> pathFromFileURL(const std::string& url);
    // The file URL for a local path (made absolute), percent-encoding what a URL cannot hold.
    static std::string fileURLForPath(const std::string& path);

  private:
    void reportError(const ErrorCallback& errorBlock, Error error) const;

    mutable std::mutex mutex_;
    std::shared_ptr<PdfDocumentHandle> document_;        // guarded by mutex_
    std::shared_ptr<PdfPageRenderer> renderer_;          // guarded by mutex_
    std::shared_ptr<VXPDFSelectionManager> selections_;  // guarded by mutex_
    std::string filePath_;                               // guarded by mutex_
    std::string fileName_;                               // guarded by mutex_
    int renderingQuality_ = kDefaultRenderingQuality;    // guarded by mutex_
};

}  // namespace pagewell
