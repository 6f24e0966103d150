#include "redlining/RedliningImage.h"

#include <cairo.h>
#include <turbojpeg.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace pagewell {

namespace {

Error imageError(int code, const std::string& text) {
    return Error::make(RedliningImage::kErrorDomain, code, text);
}

bool isPng(std::string_view b) {
    return b.size() >= 24 && b.substr(0, 8) == "\x89PNG\r\n\x1a\n";
}
bool isJpeg(std::string_view b) {
    return b.size() >= 4 && b.substr(0, 2) == "\xff\xd8";
}

std::uint32_t be32(const unsigned char* p) {
    return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

struct PngReader {
    std::string_view bytes;
    std::size_t at = 0;
};

cairo_status_t readPng(void* closure, unsigned char* data, unsigned int length) {
    auto* reader = static_cast<PngReader*>(closure);
    if (reader->bytes.size() - reader->at < length) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(data, reader->bytes.data() + reader->at, length);
    reader->at += length;
    return CAIRO_STATUS_SUCCESS;
}

cairo_status_t writePng(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

struct TurboHandle {
    tjhandle handle = tjInitDecompress();
    ~TurboHandle() {
        if (handle) {
            tjDestroy(handle);
        }
    }
    TurboHandle() = default;
    TurboHandle(const TurboHandle&) = delete;
    TurboHandle& operator=(const TurboHandle&) = delete;
};

}  // namespace

void RedliningSurfaceDeleter::operator()(cairo_surface_t* surface) const {
    cairo_surface_destroy(surface);
}

std::optional<RedliningImage::Size> RedliningImage::pixelSize(std::string_view bytes) {
    if (isPng(bytes)) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        std::uint32_t w = be32(p + 16);
        std::uint32_t h = be32(p + 20);
        if (w == 0 || h == 0 || w > 1'000'000 || h > 1'000'000) {
            return std::nullopt;
        }
        return Size{static_cast<int>(w), static_cast<int>(h)};
    }
    if (isJpeg(bytes)) {
        TurboHandle tj;
        int w = 0, h = 0, subsampling = 0, colorspace = 0;
        if (!tj.handle ||
            tjDecompressHeader3(tj.handle, reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<unsigned long>(bytes.size()), &w, &h, &subsampling,
                                &colorspace) != 0 ||
            w <= 0 || h <= 0) {
            return std::nullopt;
        }
        return Size{w, h};
    }
    return std::nullopt;
}

int RedliningImage::exifOrientation(std::string_view bytes) {
    if (!isJpeg(bytes)) {
        return 1;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    std::size_t at = 2;
    while (at + 4 <= n && p[at] == 0xFF) {
        unsigned marker = p[at + 1];
        std::size_t length = std::size_t{p[at + 2]} << 8 | p[at + 3];
        if (marker == 0xDA || length < 2 || at + 2 + length > n) {
            break;
        }
        const unsigned char* seg = p + at + 4;
        std::size_t segLength = length - 2;
        if (marker == 0xE1 && segLength >= 14 && std::memcmp(seg, "Exif\0\0", 6) == 0) {
            const unsigned char* tiff = seg + 6;
            std::size_t size = segLength - 6;
            bool little = tiff[0] == 'I';
            auto u16 = [&](std::size_t o) -> unsigned {
                return little ? tiff[o] | tiff[o + 1] << 8 : tiff[o] << 8 | tiff[o + 1];
            };
            auto u32 = [&](std::size_t o) -> std::size_t {
                return little ? std::size_t{tiff[o]} | std::size_t{tiff[o + 1]} << 8 |
                                    std::size_t{tiff[o + 2]} << 16 | std::size_t{tiff[o + 3]} << 24
                              : std::size_t{be32(tiff + o)};
            };
            std::size_t ifd = u32(4);
            if (ifd + 2 > size) {
                return 1;
            }
            unsigned count = u16(ifd);
            for (unsigned i = 0; i < count; ++i) {
                std::size_t entry = ifd + 2 + i * 12;
                if (entry + 12 > size) {
                    break;
                }
                if (u16(entry) == 0x0112) {
                    return static_cast<int>(u16(entry + 8));
                }
            }
            return 1;
        }
        at += 2 + length;
    }
    return 1;
}

Result<RedliningSurface> RedliningImage::decode(std::string_view bytes) {
    auto size = pixelSize(bytes);
    if (!size) {
        return imageError(1, "Not a PNG or JPEG picture");
    }
    if (static_cast<long long>(size->width) * size->height > kMaxSourcePixels ||
        size->width > 32767 || size->height > 32767) {
        return imageError(2, "The picture has too many pixels");
    }
    if (isPng(bytes)) {
        PngReader reader{bytes, 0};
        RedliningSurface surface(cairo_image_surface_create_from_png_stream(readPng, &reader));
        if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
            return imageError(1, "The PNG picture cannot be read");
        }
        return surface;
    }
    RedliningSurface surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, size->width, size->height));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) {
        return imageError(2, "The picture has too many pixels");
    }
    cairo_surface_flush(surface.get());
    TurboHandle tj;
    int stride = cairo_image_surface_get_stride(surface.get());
    if (!tj.handle || tjDecompress2(tj.handle, reinterpret_cast<const unsigned char*>(bytes.data()),
                                    static_cast<unsigned long>(bytes.size()),
                                    cairo_image_surface_get_data(surface.get()), size->width,
                                    stride, size->height, TJPF_BGRX, 0) != 0) {
        return imageError(1, "The JPEG picture cannot be read");
    }
    cairo_surface_mark_dirty(surface.get());
    return surface;
}

Result<std::string> RedliningImage::prepare(std::string_view bytes, int orientation) {
    if (orientation == 0) {
        orientation = exifOrientation(bytes);
    }
    if (orientation < 1 || orientation > 8) {
        return imageError(3, "Invalid image orientation");
    }
    auto decoded = decode(bytes);
    if (!decoded) {
        return decoded.error();
    }
    cairo_surface_t* src = decoded.value().get();
    int w = cairo_image_surface_get_width(src);
    int h = cairo_image_surface_get_height(src);
    bool swap = orientation >= 5;
    int uprightW = swap ? h : w;
    int uprightH = swap ? w : h;
    double scale = std::min(1.0, static_cast<double>(kMaxSide) / std::max(uprightW, uprightH));
    int outW = std::max(1, static_cast<int>(std::lround(uprightW * scale)));
    int outH = std::max(1, static_cast<int>(std::lround(uprightH * scale)));
    RedliningSurface out(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, outW, outH));
    cairo_t* cr = cairo_create(out.get());
    cairo_scale(cr, scale, scale);
    const double W = w, H = h;
    const double m[9][6] = {{},
                            {1, 0, 0, 1, 0, 0},
                            {-1, 0, 0, 1, W, 0},
                            {-1, 0, 0, -1, W, H},
                            {1, 0, 0, -1, 0, H},
                            {0, 1, 1, 0, 0, 0},
                            {0, 1, -1, 0, H, 0},
                            {0, -1, -1, 0, H, W},
                            {0, -1, 1, 0, 0, W}};
    cairo_matrix_t matrix;
    const double* v = m[orientation];
    cairo_matrix_init(&matrix, v[0], v[1], v[2], v[3], v[4], v[5]);
    cairo_transform(cr, &matrix);
    cairo_set_source_surface(cr, src, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    std::string png;
    if (cairo_surface_write_to_png_stream(out.get(), writePng, &png) != CAIRO_STATUS_SUCCESS) {
        return imageError(4, "The picture cannot be stored");
    }
    return png;
}

}  // namespace pagewell
