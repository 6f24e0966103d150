#pragma once
// PDF brochures for the demo catalogue, drawn with cairo's PDF surface: a cover with a picture
// and a table of contents linking to the pages, headings and body text in serif, sans-serif and
// monospace faces, ligature glyphs, an outline, an external web link, the "img://" slideshow and
// "video://" link annotations the reader turns into interactive content, and optionally one page
// drawn landscape and turned with /Rotate 90 (done with qpdf after cairo has written the file).
// Stateless; safe from any thread.

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/Error.h"

namespace pagewell::cms {

struct DemoBrochure {
    std::string title;
    std::string subtitle;
    std::vector<std::string> sections;         // one page each, after the cover
    int seed = 0;                              // varies the pictures and the body text
    bool german = false;                       // body text in German instead of English
    std::string externalLink;                  // placed on the cover when not empty
    int slideshowPage = 0;                     // 1-based page carrying `slideshowLink`; 0: none
    std::string slideshowLink;                 // "img://a.jpg;b.jpg"
    int videoPage = 0;                         // 1-based page carrying `videoLink`; 0: none
    std::string videoLink;                     // "video://host/clip.avi"
    int rotatedPage = 0;                       // 1-based section page shown landscape; 0: none
    std::string date = "2024-03-01T09:00:00";  // creation and modification date in the metadata
};

class DemoPdf {
  public:
    static constexpr const char* kErrorDomain = "DemoPdf";

    // Cover, one page per section, and a back page that is the target of a named destination.
    static int pageCount(const DemoBrochure& brochure) {
        return static_cast<int>(brochure.sections.size()) + 2;
    }

    static Result<std::string> brochureBytes(const DemoBrochure& brochure);
    static Status writeBrochure(const std::filesystem::path& file, const DemoBrochure& brochure);

    // A one-page PDF showing `title`, padded inside its content stream to exactly `size` bytes
    // when `size` is larger than the unpadded file: cheap content for large synthetic catalogues.
    static std::string minimalPdf(const std::string& title, std::size_t size);
};

}  // namespace pagewell::cms
