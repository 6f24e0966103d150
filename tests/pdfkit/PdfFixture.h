#pragma once
// Writes small, real PDF files for tests: pages with given content streams, resources, boxes
// and rotation; fonts, ToUnicode maps, form XObjects and name trees as further objects; and a
// page tree whose /Pages node may carry resources for its pages to inherit.
//
// Objects are written in PDF syntax and parsed by the PDF library; indirect objects are
// referred to by the reference text the add* calls return ("5 0 R").

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfRect.h"

namespace pagewell::test {

struct PdfFixturePage {
    PdfFixturePage() = default;
    explicit PdfFixturePage(std::string contentStream) : content(std::move(contentStream)) {}

    std::string content;              // the content stream, uncompressed
    std::string resources = "<< >>";  // a dictionary in PDF syntax; empty: no /Resources
    PdfRect mediaBox{0, 0, 612, 792};
    std::optional<PdfRect> cropBox;
    std::optional<int> rotate;
    std::string extraEntries;  // further page entries in PDF syntax, e.g. "/Annots [...]"
};

class PdfFixture {
  public:
    PdfFixture();
    ~PdfFixture();
    PdfFixture(const PdfFixture&) = delete;
    PdfFixture& operator=(const PdfFixture&) = delete;

    // Adds an indirect object from PDF syntax; returns its reference text.
    std::string addObject(const std::string& pdfSyntax);
    // Adds a stream with the given (unfiltered) data and dictionary entries, e.g.
    // "/Type /XObject /Subtype /Form /BBox [0 0 100 100]"; returns its reference text.
    std::string addStream(const std::string& data, const std::string& dictionaryEntries = "");
    // Replaces an object added earlier (to build loops and other damaged structures).
    void replaceObject(const std::string& reference, const std::string& pdfSyntax);
    // A simple font with a standard 14 base font and any further entries ("/Encoding ...").
    std::string addType1Font(const std::string& baseFont = "Helvetica",
                             const std::string& extraEntries = "");

    // Appends a page under the root /Pages node (or under an intermediate /Pages node when
    // `intermediateParent` is set, see addIntermediatePagesNode). Returns the page number.
    int addPage(const PdfFixturePage& page, std::optional<int> intermediateParent = {});
    // Adds a /Pages node below the root with the given extra entries (e.g. "/Resources <<...>>");
    // returns its index for addPage.
    int addIntermediatePagesNode(const std::string& extraEntries = "");
    // Puts entries on the root /Pages node, e.g. "/Resources << /Font << ... >> >>".
    void setRootPagesEntries(const std::string& extraEntries);
    // Sets a catalog entry, e.g. key "Names" with value "<< /Dests 7 0 R >>".
    void setCatalogEntry(const std::string& key, const std::string& pdfSyntax);
    // Reference text of a page added earlier (1-based); valid before write().
    std::string pageReference(int pageNumber) const;

    // The whole file.
    std::string bytes();
    void write(const std::filesystem::path& path);
    // Writes and opens the file in memory.
    std::shared_ptr<PdfDocumentHandle> open();

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace pagewell::test
