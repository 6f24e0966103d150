#pragma once
// An open PDF document: the one place that owns the PDF library's document object. Pages,
// dictionaries and streams reached through it keep it alive.
//
// Threading: one thread at a time uses a handle and everything reached through it (the library
// is not thread-safe); background work opens its own handle on the same file.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdfkit/PdfDictionary.h"
#include "platform/Error.h"

namespace pagewell {

class PdfPage;
struct QpdfDocument;

class PdfDocumentHandle : public std::enable_shared_from_this<PdfDocumentHandle> {
  public:
    // Opens a local file. Damaged files are repaired where the library can; a file that is
    // no readable PDF (or is encrypted with a password we do not have) is an error.
    static Result<std::shared_ptr<PdfDocumentHandle>> createWithPath(const std::string& path);
    // Opens a document held in memory; `description` names it in messages.
    static Result<std::shared_ptr<PdfDocumentHandle>> createWithData(std::string data,
                                                                     std::string description);

    ~PdfDocumentHandle();
    PdfDocumentHandle(const PdfDocumentHandle&) = delete;
    PdfDocumentHandle& operator=(const PdfDocumentHandle&) = delete;

    const std::string& path() const { return path_; }
    int numberOfPages() const;
    // Pages count from 1; nullopt out of range.
    std::optional<PdfPage> page(int pageNumber) const;
    PdfDictionary catalog() const;
    PdfDictionary trailer() const;

    // Internal: the library document, for other adapters of this folder.
    const std::shared_ptr<QpdfDocument>& document() const { return document_; }

  private:
    PdfDocumentHandle(std::shared_ptr<QpdfDocument> document, std::string path);

    std::shared_ptr<QpdfDocument> document_;
    std::string path_;
};

}  // namespace pagewell
