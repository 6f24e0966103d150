#pragma once
// Pictures placed on pages: PNG or JPEG in, turned upright by their orientation (the eight
// EXIF values), the longer side cut to 3000 pixels, PNG out. Sizes are read from the header
// before anything is decoded, so a picture claiming too many pixels is refused unread.
// Stateless; safe from any thread.

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

typedef struct _cairo_surface cairo_surface_t;

namespace pagewell {

struct RedliningSurfaceDeleter {
    void operator()(cairo_surface_t* surface) const;
};
using RedliningSurface = std::unique_ptr<cairo_surface_t, RedliningSurfaceDeleter>;

class RedliningImage {
  public:
    static constexpr int kMaxSide = 3000;
    static constexpr long long kMaxSourcePixels = 100'000'000;

    struct Size {
        int width = 0;
        int height = 0;
    };
    static std::optional<Size> pixelSize(std::string_view bytes);
    // The EXIF orientation of a JPEG; 1 when it has none.
    static int exifOrientation(std::string_view bytes);
    // `orientation` 0 takes the file's own. An error for other formats, oversized pictures and
    // orientations outside 1–8 ("Invalid image orientation").
    static Result<std::string> prepare(std::string_view bytes, int orientation = 0);
    // Decodes a PNG or JPEG within the pixel limit.
    static Result<RedliningSurface> decode(std::string_view bytes);

    static constexpr const char* kErrorDomain = "RedliningImageErrorDomain";
};

}  // namespace pagewell
