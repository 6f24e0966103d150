#include "pdfkit/PdfPageRenderer.h"

#include <cairo.h>
#include <glib.h>
#include <poppler.h>
#include <qpdf/Pipeline.hh>

#include <atomic>
#include <cmath>
#include <vector>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/QpdfBridge.h"
#include "pdfkit/VXPDFPageView.h"
#include "pdfkit/VXPDFTransform.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {

template <class T>
struct GObjectDeleter {
    void operator()(T* object) const {
        if (object != nullptr) {
            g_object_unref(object);
        }
    }
};
template <class T>
using GObjectPtr = std::unique_ptr<T, GObjectDeleter<T>>;

struct GErrorDeleter {
    void operator()(GError* error) const { g_error_free(error); }
};
struct GFreeDeleter {
    void operator()(gchar* text) const { g_free(text); }
};

// The renderer's parser reports damaged files through GLib's log; the engine keeps them in
// its own log instead of on the terminal.
void routeRendererMessages() {
    static std::atomic<bool> routed{false};
    if (routed.exchange(true)) {
        return;
    }
    g_log_set_handler(
        "Poppler", static_cast<GLogLevelFlags>(G_LOG_LEVEL_MASK | G_LOG_FLAG_FATAL),
        [](const gchar* /*domain*/, GLogLevelFlags /*level*/, const gchar* message,
           gpointer /*data*/) { PW_LOG_DEBUG("PDF renderer: {}", message ? message : ""); },
        nullptr);
}

cairo_matrix_t toCairo(const PdfAffineTransform& t) {
    cairo_matrix_t matrix;
    cairo_matrix_init(&matrix, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return matrix;
}

// The renderer draws a page turned by its /Rotate, with the top-left corner of the turned
// crop box at the origin and y growing downwards. This is the map from the page's user space
// to that space; angles are exact quarter turns.
PdfAffineTransform userToRendererSpace(const PdfRect& box, int angle) {
    double width = box.width;
    double height = box.height;
    PdfAffineTransform turn;  // clockwise by `angle` in a y-up space
    switch (angle) {
        case 90:
            turn = {0, -1, 1, 0, 0, 0};
            std::swap(width, height);
            break;
        case 180:
            turn = {-1, 0, 0, -1, 0, 0};
            break;
        case 270:
            turn = {0, 1, -1, 0, 0, 0};
            std::swap(width, height);
            break;
        default:
            break;
    }
    return PdfAffineTransform::translation(-midX(box), -midY(box))
        .concat(turn)
        .thenScale(1, -1)
        .thenTranslate(width / 2, height / 2);
}

bool invert(const PdfAffineTransform& t, PdfAffineTransform& inverse) {
    cairo_matrix_t matrix = toCairo(t);
    if (cairo_matrix_invert(&matrix) != CAIRO_STATUS_SUCCESS) {
        return false;
    }
    inverse = {matrix.xx, matrix.yx, matrix.xy, matrix.yy, matrix.x0, matrix.y0};
    return true;
}

cairo_antialias_t antialiasFor(int quality) {
    if (quality <= 0) {
        return CAIRO_ANTIALIAS_NONE;
    }
    if (quality == 1) {
        return CAIRO_ANTIALIAS_FAST;
    }
    if (quality == 2) {
        return CAIRO_ANTIALIAS_GOOD;
    }
    return CAIRO_ANTIALIAS_BEST;
}

Error renderError(const std::string& text) {
    return Error::make(PdfPageRenderer::kErrorDomain, -1, text);
}

// Counts decoded bytes and gives up past a limit, so that a decompression bomb costs no more
// than the limit.
class CountingPipeline : public Pipeline {
  public:
    struct LimitReached {};

    explicit CountingPipeline(std::size_t limit) : Pipeline("byte count", nullptr), limit_(limit) {}
    void write(unsigned char const* /*data*/, size_t length) override {
        count_ += length;
        if (count_ > limit_) {
            throw LimitReached{};
        }
    }
    void finish() override {}

  private:
    std::size_t limit_;
    std::size_t count_ = 0;
};

bool isImageCodec(const std::string& filter) {
    return filter == "JBIG2Decode" || filter == "DCTDecode" || filter == "JPXDecode" ||
           filter == "CCITTFaxDecode";
}

std::vector<std::string> filterNames(const PdfDictionary& dictionary) {
    std::vector<std::string> names;
    if (auto name = dictionary.getName("Filter")) {
        names.push_back(*name);
    } else if (auto array = dictionary.getArray("Filter")) {
        for (std::size_t i = 0; i < array->count(); ++i) {
            if (auto entry = array->getName(i)) {
                names.push_back(*entry);
            }
        }
    }
    return names;
}

Status checkContentStream(const PdfStream& stream, int pageNumber) {
    for (const std::string& filter : filterNames(stream.dictionary())) {
        if (isImageCodec(filter)) {
            return renderError("Page " + std::to_string(pageNumber) +
                               " has a content stream encoded as an image (" + filter + ")");
        }
    }
    QPDFObjectHandle handle = unwrapQpdfObject(stream.object());
    CountingPipeline counter(PdfPageRenderer::kMaximumContentBytes);
    try {
        handle.pipeStreamData(&counter, 0, qpdf_dl_generalized);
    } catch (const CountingPipeline::LimitReached&) {
        return renderError("Page " + std::to_string(pageNumber) + " has more than " +
                           std::to_string(PdfPageRenderer::kMaximumContentBytes >> 20) +
                           " MB of content");
    } catch (const std::exception&) {
        // Undecodable content is the renderer's to skip, as it does with damaged streams.
    }
    return {};
}

}  // namespace

struct PdfPageRenderer::Impl {
    GObjectPtr<PopplerDocument> document;
};

PdfPageRenderer::PdfPageRenderer(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
PdfPageRenderer::~PdfPageRenderer() = default;

Result<std::shared_ptr<PdfPageRenderer>> PdfPageRenderer::open(const std::string& path) {
    routeRendererMessages();
    GError* rawError = nullptr;
    std::unique_ptr<gchar, GFreeDeleter> uri(g_filename_to_uri(path.c_str(), nullptr, &rawError));
    if (!uri) {
        std::unique_ptr<GError, GErrorDeleter> error(rawError);
        return renderError("Not a usable file path " + path + ": " + error->message);
    }
    auto impl = std::make_unique<Impl>();
    impl->document.reset(poppler_document_new_from_file(uri.get(), nullptr, &rawError));
    if (!impl->document) {
        std::unique_ptr<GError, GErrorDeleter> error(rawError);
        return renderError("Cannot draw " + path + ": " +
                           (error ? error->message : "unknown error"));
    }
    return std::shared_ptr<PdfPageRenderer>(new PdfPageRenderer(std::move(impl)));
}

int PdfPageRenderer::numberOfPages() const {
    std::lock_guard lock(mutex_);
    return poppler_document_get_n_pages(impl_->document.get());
}

Status PdfPageRenderer::checkDrawable(const PdfPage& page) {
    const int number = page.pageNumber();
    if (auto contents = page.dictionary().getObject("Contents")) {
        if (auto stream = contents->getStream()) {
            if (Status checked = checkContentStream(*stream, number); !checked.ok()) {
                return checked;
            }
        } else if (auto array = contents->getArray()) {
            for (std::size_t i = 0; i < array->count(); ++i) {
                if (auto part = array->getStream(i)) {
                    if (Status checked = checkContentStream(*part, number); !checked.ok()) {
                        return checked;
                    }
                }
            }
        }
    }
    auto resources = page.resources();
    auto xobjects = resources ? resources->getDictionary("XObject") : std::nullopt;
    if (!xobjects) {
        return {};
    }
    Status result;
    xobjects->applyFunction([&](const std::string& name, const PdfObject& value) {
        auto stream = value.getStream();
        if (!result.ok() || !stream) {
            return;
        }
        const PdfDictionary image = stream->dictionary();
        if (image.getName("Subtype") != std::optional<std::string>("Image")) {
            return;
        }
        const double pixels =
            image.getNumber("Width").value_or(0) * image.getNumber("Height").value_or(0);
        if (pixels > kMaximumImagePixels) {
            result = renderError("Page " + std::to_string(number) + " has an image /" + name +
                                 " too large to draw");
        }
    });
    return result;
}

PdfRect PdfPageRenderer::visibleBox(const PdfPage& page) {
    const PdfRect media = standardizedRect(page.boxRect(PdfBox::Media));
    const PdfRect visible = intersectRects(page.boxRect(PdfBox::Crop), media);
    return visible.isEmpty() ? media : visible;
}

Status PdfPageRenderer::drawPage(const PdfPage& page, PdfPageImage& image,
                                 const PdfAffineTransform& transform, int renderingQuality) const {
    if (Status drawable = checkDrawable(page); !drawable.ok()) {
        return drawable;
    }
    std::lock_guard lock(mutex_);
    const int pageNumber = page.pageNumber();
    GObjectPtr<PopplerPage> popplerPage(
        poppler_document_get_page(impl_->document.get(), pageNumber - 1));
    if (!popplerPage) {
        return renderError("No page " + std::to_string(pageNumber));
    }

    // The renderer's crop box is already clipped to the media box.
    PopplerRectangle crop;
    poppler_page_get_crop_box(popplerPage.get(), &crop);
    const PdfRect rendererBox =
        standardizedRect({crop.x1, crop.y1, crop.x2 - crop.x1, crop.y2 - crop.y1});
    const int angle = VXPDFTransform::normalizedAngle(page.rotationAngle());

    const PdfAffineTransform userToImage = transform.concat(image.viewToImage());
    PdfAffineTransform rendererToUser;
    if (rendererBox.isEmpty() || !invert(userToRendererSpace(rendererBox, angle), rendererToUser)) {
        return renderError("Page " + std::to_string(pageNumber) + " has an empty box");
    }

    cairo_t* context = image.context();
    cairo_save(context);
    cairo_set_antialias(context, antialiasFor(renderingQuality));

    const cairo_matrix_t pageMatrix = toCairo(userToImage);
    cairo_set_matrix(context, &pageMatrix);
    const PdfRect box = visibleBox(page);
    cairo_rectangle(context, box.x, box.y, box.width, box.height);
    cairo_set_source_rgb(context, 1, 1, 1);
    cairo_fill_preserve(context);
    cairo_clip(context);

    const cairo_matrix_t rendererMatrix = toCairo(rendererToUser.concat(userToImage));
    cairo_set_matrix(context, &rendererMatrix);
    poppler_page_render(popplerPage.get(), context);

    cairo_restore(context);
    const cairo_status_t status = cairo_status(context);
    if (status != CAIRO_STATUS_SUCCESS) {
        return renderError("Drawing page " + std::to_string(pageNumber) +
                           " failed: " + cairo_status_to_string(status));
    }
    return {};
}

PdfAffineTransform PdfPageRenderer::pageViewTransform(const PdfPage& page,
                                                      const VXPDFPageView& view) {
    return VXPDFTransform::myPageGetDrawingTransform(visibleBox(page), page.rotationAngle(),
                                                     {0, 0, view.frame.width, view.frame.height}, 0,
                                                     true, view.pdfOrientation);
}

Result<PdfPageImage> PdfPageRenderer::drawPageView(const PdfPage& page, const VXPDFPageView& view,
                                                   int renderingQuality) const {
    const int width = static_cast<int>(std::ceil(view.frame.width));
    const int height = static_cast<int>(std::ceil(view.frame.height));
    Result<PdfPageImage> image = PdfPageImage::create(width, height);
    if (!image.ok()) {
        return image.error();
    }
    Status drawn = drawPage(page, image.value(), pageViewTransform(page, view), renderingQuality);
    if (!drawn.ok()) {
        return drawn.error();
    }
    return image;
}

}  // namespace pagewell
