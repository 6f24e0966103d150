#include "cms/DemoImage.h"

#include <cairo.h>
#include <turbojpeg.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>

#include "platform/FileSystem.h"

namespace pagewell::cms {

namespace {

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using ContextPtr = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

struct Colour {
    double r, g, b;
};

// A small palette indexed by the seed keeps the pictures recognisably different.
Colour paletteColour(int index) {
    static const Colour kPalette[] = {
        {0.10, 0.34, 0.60}, {0.85, 0.45, 0.10}, {0.20, 0.55, 0.30}, {0.60, 0.15, 0.35},
        {0.30, 0.30, 0.65}, {0.75, 0.65, 0.15}, {0.15, 0.50, 0.55}, {0.55, 0.35, 0.20},
    };
    constexpr int kCount = sizeof(kPalette) / sizeof(kPalette[0]);
    return kPalette[((index % kCount) + kCount) % kCount];
}

// Draws the picture into a fresh image surface; the caller checks the surface status.
SurfacePtr draw(const DemoPicture& picture) {
    SurfacePtr surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width, picture.height),
        cairo_surface_destroy);
    ContextPtr cr(cairo_create(surface.get()), cairo_destroy);
    const double w = picture.width;
    const double h = picture.height;
    const Colour top = paletteColour(picture.seed);
    const Colour bottom = paletteColour(picture.seed + 3);

    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, h);
    cairo_pattern_add_color_stop_rgb(gradient, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(gradient, 1, bottom.r * 0.6, bottom.g * 0.6, bottom.b * 0.6);
    cairo_set_source(cr.get(), gradient);
    cairo_paint(cr.get());
    cairo_pattern_destroy(gradient);

    // A few translucent shapes placed by the seed.
    for (int i = 0; i < 5; ++i) {
        const int k = picture.seed * 7 + i * 13;
        const Colour c = paletteColour(k);
        cairo_set_source_rgba(cr.get(), c.r, c.g, c.b, 0.55);
        const double cx = w * (0.1 + 0.8 * ((k * 37) % 100) / 100.0);
        const double cy = h * (0.1 + 0.6 * ((k * 53) % 100) / 100.0);
        const double size = std::min(w, h) * (0.08 + ((k * 17) % 20) / 100.0);
        if (i % 2 == 0) {
            cairo_arc(cr.get(), cx, cy, size, 0, 2 * M_PI);
        } else {
            cairo_rectangle(cr.get(), cx - size, cy - size * 0.6, size * 2, size * 1.2);
        }
        cairo_fill(cr.get());
    }

    // The marker that moves from left to right over the frames of a clip.
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_arc(cr.get(), w * (0.1 + 0.8 * picture.phase), h * 0.5, std::min(w, h) * 0.06, 0,
              2 * M_PI);
    cairo_fill(cr.get());

    if (!picture.caption.empty()) {
        cairo_set_source_rgba(cr.get(), 0, 0, 0, 0.45);
        cairo_rectangle(cr.get(), 0, h * 0.78, w, h * 0.22);
        cairo_fill(cr.get());
        cairo_select_font_face(cr.get(), "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_BOLD);
        double fontSize = h * 0.09;
        cairo_set_font_size(cr.get(), fontSize);
        cairo_text_extents_t extents;
        cairo_text_extents(cr.get(), picture.caption.c_str(), &extents);
        if (extents.x_advance > w * 0.9) {
            fontSize *= w * 0.9 / extents.x_advance;
            cairo_set_font_size(cr.get(), fontSize);
        }
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_move_to(cr.get(), w * 0.05, h * 0.78 + h * 0.11 + fontSize * 0.35);
        cairo_show_text(cr.get(), picture.caption.c_str());
    }
    cairo_surface_flush(surface.get());
    return surface;
}

Error drawingError(const char* what, cairo_status_t status) {
    return Error::make(DemoImage::kErrorDomain, static_cast<int>(status),
                       std::string(what) + ": " + cairo_status_to_string(status));
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Result<std::string> DemoImage::pngBytes(const DemoPicture& picture) {
    SurfacePtr surface = draw(picture);
    if (auto status = cairo_surface_status(surface.get()); status != CAIRO_STATUS_SUCCESS) {
        return drawingError("cannot draw the picture", status);
    }
    std::string bytes;
    if (auto status = cairo_surface_write_to_png_stream(surface.get(), appendToString, &bytes);
        status != CAIRO_STATUS_SUCCESS) {
        return drawingError("cannot encode the PNG", status);
    }
    return bytes;
}

Result<std::string> DemoImage::jpegBytes(const DemoPicture& picture, int quality) {
    SurfacePtr surface = draw(picture);
    if (auto status = cairo_surface_status(surface.get()); status != CAIRO_STATUS_SUCCESS) {
        return drawingError("cannot draw the picture", status);
    }
    std::unique_ptr<void, decltype(&tjDestroy)> encoder(tjInitCompress(), tjDestroy);
    if (!encoder) {
        return Error::make(kErrorDomain, 1, "cannot start the JPEG encoder");
    }
    // Cairo's RGB24 keeps each pixel in a native-endian 32-bit word: B, G, R, X in memory on the
    // little-endian machines this runs on.
    static_assert(std::endian::native == std::endian::little);
    unsigned char* jpeg = nullptr;
    unsigned long jpegSize = 0;
    const int rc =
        tjCompress2(encoder.get(), cairo_image_surface_get_data(surface.get()), picture.width,
                    cairo_image_surface_get_stride(surface.get()), picture.height, TJPF_BGRX, &jpeg,
                    &jpegSize, TJSAMP_420, quality, TJFLAG_ACCURATEDCT);
    std::unique_ptr<unsigned char, decltype(&tjFree)> owned(jpeg, tjFree);
    if (rc != 0) {
        return Error::make(kErrorDomain, 2,
                           std::string("cannot encode the JPEG: ") + tjGetErrorStr2(encoder.get()));
    }
    return std::string(reinterpret_cast<const char*>(jpeg), jpegSize);
}

Status DemoImage::writePng(const std::filesystem::path& file, const DemoPicture& picture) {
    auto bytes = pngBytes(picture);
    if (!bytes.ok()) {
        return bytes.error();
    }
    return FileSystem::writeFileAtomically(file, bytes.value());
}

Status DemoImage::writeJpeg(const std::filesystem::path& file, const DemoPicture& picture) {
    auto bytes = jpegBytes(picture);
    if (!bytes.ok()) {
        return bytes.error();
    }
    return FileSystem::writeFileAtomically(file, bytes.value());
}

}  // namespace pagewell::cms
