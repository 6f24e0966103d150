#include "pdfkit/PdfPageImage.h"

#include <cairo.h>

#include <cstring>

#include "platform/FileSystem.h"

namespace pagewell {

namespace {

constexpr int kMaximumSide = 16384;

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* context) const { cairo_destroy(context); }
};

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

struct PdfPageImage::Impl {
    std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface;
    std::unique_ptr<cairo_t, ContextDeleter> context;
};

PdfPageImage::PdfPageImage(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PdfPageImage::PdfPageImage(PdfPageImage&&) noexcept = default;
PdfPageImage& PdfPageImage::operator=(PdfPageImage&&) noexcept = default;
PdfPageImage::~PdfPageImage() = default;

Result<PdfPageImage> PdfPageImage::create(int width, int height) {
    if (width <= 0 || height <= 0 || width > kMaximumSide || height > kMaximumSide) {
        return Error::make(
            kErrorDomain, -1,
            "Image size out of range: " + std::to_string(width) + " x " + std::to_string(height));
    }
    auto impl = std::make_unique<Impl>();
    impl->surface.reset(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height));
    if (cairo_surface_status(impl->surface.get()) != CAIRO_STATUS_SUCCESS) {
        return Error::make(kErrorDomain, -1,
                           std::string("Cannot create the image: ") +
                               cairo_status_to_string(cairo_surface_status(impl->surface.get())));
    }
    impl->context.reset(cairo_create(impl->surface.get()));
    return PdfPageImage(std::move(impl));
}

int PdfPageImage::width() const {
    return cairo_image_surface_get_width(impl_->surface.get());
}

int PdfPageImage::height() const {
    return cairo_image_surface_get_height(impl_->surface.get());
}

std::uint32_t PdfPageImage::pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width() || y >= height()) {
        return 0;
    }
    cairo_surface_flush(impl_->surface.get());
    const unsigned char* row =
        cairo_image_surface_get_data(impl_->surface.get()) +
        static_cast<std::ptrdiff_t>(y) * cairo_image_surface_get_stride(impl_->surface.get());
    std::uint32_t value = 0;
    std::memcpy(&value, row + static_cast<std::ptrdiff_t>(x) * 4, sizeof value);
    return value;
}

PdfAffineTransform PdfPageImage::viewToImage() const {
    return {1, 0, 0, -1, 0, static_cast<double>(height())};
}

cairo_t* PdfPageImage::context() const {
    return impl_->context.get();
}

Result<std::string> PdfPageImage::pngData() const {
    std::string bytes;
    cairo_surface_flush(impl_->surface.get());
    const cairo_status_t status =
        cairo_surface_write_to_png_stream(impl_->surface.get(), appendToString, &bytes);
    if (status != CAIRO_STATUS_SUCCESS) {
        return Error::make(kErrorDomain, -1,
                           std::string("Cannot encode the PNG: ") + cairo_status_to_string(status));
    }
    return bytes;
}

Status PdfPageImage::writePng(const std::filesystem::path& path) const {
    Result<std::string> bytes = pngData();
    if (!bytes.ok()) {
        return bytes.error();
    }
    return FileSystem::writeFileAtomically(path, bytes.value());
}

}  // namespace pagewell
