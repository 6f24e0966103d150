#pragma once
// Draws the pages of a local PDF file through a given drawing transform. The renderer reads
// the file with its own parser; the page's box and /Rotate come from the object layer's page
// of the same file, so that both agree on the geometry the transform was made for.
//
// Threading rule: every method may be called from any thread; mutex_ serialises the use of the
// underlying document, which is not thread-safe.

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "pdfkit/PdfAffineTransform.h"
#include "pdfkit/PdfGeometry.h"
#include "platform/Error.h"

namespace pagewell {

class PdfPage;
class PdfPageImage;
struct VXPDFPageView;

class PdfPageRenderer {
  public:
    static constexpr const char* kErrorDomain = "PdfPageRenderer";

    // Opens the file at a local path; an error when it is no PDF the renderer can read.
    static Result<std::shared_ptr<PdfPageRenderer>> open(const std::string& path);

    ~PdfPageRenderer();
    PdfPageRenderer(const PdfPageRenderer&) = delete;
    PdfPageRenderer& operator=(const PdfPageRenderer&) = delete;

    int numberOfPages() const;

    // Draws `page` into `image`: the page's visible rectangle (crop box ∩ media box) filled
    // white, then the page's content, both through `transform`, which maps the page's user
    // space into the image's y-up view space (see VXPDFTransform). `renderingQuality` 0 draws
    // without anti-aliasing, 1 fast, 2 good, 3 and above best.
    Status drawPage(const PdfPage& page, PdfPageImage& image, const PdfAffineTransform& transform,
                    int renderingQuality) const;

    // Draws `page` as a page view shows it: an image of the view's frame size with the page
    // fitted in (visible box, no extra rotation, aspect kept, the view's orientation code).
    Result<PdfPageImage> drawPageView(const PdfPage& page, const VXPDFPageView& view,
                                      int renderingQuality) const;

    // The drawing transform drawPageView uses: the page's user space into the view's bounds
    // (origin at 0, 0, y up). Overlays drawn over a page view use it too.
    static PdfAffineTransform pageViewTransform(const PdfPage& page, const VXPDFPageView& view);

    // Bounded checks that keep a hostile page from stalling the renderer, which cannot be
    // interrupted once it draws: every content stream must use general-purpose filters and
    // decode to at most kMaximumContentBytes; every image the page draws directly must declare
    // at most kMaximumImagePixels; no Type 3 font reachable from the page's resources (through
    // fonts, forms and patterns) may draw itself or nest deeper than the search follows forms.
    // drawPage refuses a page that fails them.
    static Status checkDrawable(const PdfPage& page);
    static constexpr std::size_t kMaximumContentBytes = 64 * 1024 * 1024;
    static constexpr double kMaximumImagePixels = 256.0 * 1024 * 1024;

    // The rectangle a page shows: crop box ∩ media box, or the media box when they do not meet.
    static PdfRect visibleBox(const PdfPage& page);

  private:
    struct Impl;
    explicit PdfPageRenderer(std::unique_ptr<Impl> impl);

    mutable std::mutex mutex_;
    std::unique_ptr<Impl> impl_;  // its document is used under mutex_
};

}  // namespace pagewell
