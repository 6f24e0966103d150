#pragma once
// A picture of a page (or a slot of the page strip): 32-bit ARGB pixels, premultiplied,
// origin at the top-left, transparent until something is drawn. Pages are drawn into it by
// PdfPageRenderer; overlays (search hits, annotations) draw on its cairo context afterwards.
//
// Threading rule: one thread at a time.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "pdfkit/PdfAffineTransform.h"
#include "platform/Error.h"

typedef struct _cairo cairo_t;

namespace pagewell {

class PdfPageImage {
  public:
    static constexpr const char* kErrorDomain = "PdfPageImage";

    // An error for sizes that are not positive or too large (beyond 16384 pixels a side).
    static Result<PdfPageImage> create(int width, int height);

    PdfPageImage(PdfPageImage&&) noexcept;
    PdfPageImage& operator=(PdfPageImage&&) noexcept;
    ~PdfPageImage();

    int width() const;
    int height() const;

    // The pixel at column x, row y (from the top) as 0xAARRGGBB, premultiplied; 0 outside.
    std::uint32_t pixel(int x, int y) const;

    // The transform from the image's y-up view space (origin at the bottom-left, as the
    // drawing transform produces) to its pixel grid. The y flip happens here and nowhere else.
    PdfAffineTransform viewToImage() const;

    // The drawing context, for overlays drawn by this folder's .cpp files. Its matrix is the
    // identity (pixels, y down) whenever a draw call returns.
    cairo_t* context() const;

    // The image as PNG bytes.
    Result<std::string> pngData() const;
    // Writes the PNG through a temporary file in the same directory and a rename.
    Status writePng(const std::filesystem::path& path) const;

  private:
    struct Impl;
    explicit PdfPageImage(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace pagewell
