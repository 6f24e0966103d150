#include "pdfkit/PdfPageRenderer.h"

#include <cairo.h>
#include <glib.h>
#include <poppler.h>
#include <qpdf/Pipeline.hh>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "pdfkit/PdfArray.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfPageImage.h"
#include "pdfkit/PdfPageSpace.h"
#include "pdfkit/PdfStream.h"
#include "pdfkit/QpdfBridge.h"
#include "pdfkit/VXPDFPageView.h"
#include "pdfkit/VXPDFScanner.h"
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

// Finds Type 3 fonts whose glyphs draw themselves, directly or through other fonts, forms and
// patterns (a glyph filled with a pattern that shows the same glyph). The renderer draws each
// Type 3 glyph with a fresh interpreter that does not know which glyphs are being drawn, so
// such a font recurses until memory runs out. The walk goes over resource dictionaries only
// (no content is parsed), keeps the Type 3 fonts of the current path, and is bounded by a
// number of visits and by the nesting depth the search allows forms.
class Type3Walk {
  public:
    static constexpr std::size_t kMaximumVisits = 20'000;
    // Forms and patterns nested deeper than this are not followed (the renderer bounds their
    // nesting itself; only Type 3 glyphs escape its bookkeeping).
    static constexpr std::size_t kMaximumDepth = 32;

    // Empty when the resources are safe to draw; otherwise why not.
    std::optional<std::string> check(const PdfDictionary& resources) {
        walkResources(resources, resources.object().objectId());
        return problem_;
    }

  private:
    using Id = std::pair<int, int>;

    static std::optional<PdfDictionary> dictionaryOf(const PdfObject& value) {
        if (auto stream = value.getStream()) {
            return stream->dictionary();
        }
        return value.getDictionary();
    }

    bool spent() {
        if (problem_) {
            return true;
        }
        if (++visits_ > kMaximumVisits) {
            problem_ = "resources too intricate to draw safely";
            return true;
        }
        return false;
    }

    // `id` names the resources by their owner when they are a direct dictionary (a form's,
    // a pattern's or a font's own object), so that a form listing itself is still seen.
    void walkResources(const PdfDictionary& resources, Id id) {
        if (spent() || depth_ >= kMaximumDepth) {
            return;
        }
        if (auto own = resources.object().objectId(); own.first != 0) {
            id = own;
        }
        if (id.first != 0) {
            // A resource dictionary on the current path (a form drawing itself) adds nothing;
            // one explored before without any Type 3 font below it is safe anywhere.
            if (clean_.count(id) != 0 || !onPath_.insert(id).second) {
                return;
            }
        }
        ++depth_;
        const std::size_t fontsBefore = type3Seen_;
        for (const char* category : {"Font", "XObject", "Pattern"}) {
            auto entries = resources.getDictionary(category);
            if (!entries) {
                continue;
            }
            entries->applyFunction([&](const std::string&, const PdfObject& value) {
                if (problem_) {
                    return;
                }
                auto dictionary = dictionaryOf(value);
                if (!dictionary) {
                    return;
                }
                if (std::string(category) == "Font") {
                    walkFont(*dictionary, value.objectId());
                } else if (auto inner = dictionary->getDictionary("Resources")) {
                    walkResources(*inner, value.objectId());
                }
            });
        }
        if (id.first != 0) {
            onPath_.erase(id);
            if (!problem_ && type3Seen_ == fontsBefore) {
                clean_.insert(id);
            }
        }
        --depth_;
    }

    void walkFont(const PdfDictionary& font, const Id& id) {
        if (font.getName("Subtype") != std::optional<std::string>("Type3")) {
            return;
        }
        ++type3Seen_;
        if (id.first != 0 &&
            std::find(type3Path_.begin(), type3Path_.end(), id) != type3Path_.end()) {
            problem_ = "a Type 3 font whose glyphs draw themselves";
            return;
        }
        if (static_cast<int>(type3Path_.size()) >= VXPDFScanner::kMaxFormDepth) {
            problem_ = "Type 3 fonts nested more than " +
                       std::to_string(VXPDFScanner::kMaxFormDepth) + " deep";
            return;
        }
        auto resources = font.getDictionary("Resources");
        if (!resources) {
            return;
        }
        type3Path_.push_back(id);
        walkResources(*resources, id);
        type3Path_.pop_back();
    }

    std::vector<Id> type3Path_;
    std::set<Id> onPath_;
    std::set<Id> clean_;
    std::size_t type3Seen_ = 0;
    std::size_t visits_ = 0;
    std::size_t depth_ = 0;
    std::optional<std::string> problem_;
};

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
    if (!resources) {
        return {};
    }
    if (auto problem = Type3Walk().check(*resources)) {
        return renderError("Page " + std::to_string(number) + " cannot be drawn: " + *problem);
    }
    auto xobjects = resources->getDictionary("XObject");
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
    return PdfPageSpace::visibleBox(page);
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

    // The renderer draws the page turned by its /Rotate with the top-left corner of its crop
    // box (already clipped to the media box) at the origin and y downwards: page space.
    PopplerRectangle crop;
    poppler_page_get_crop_box(popplerPage.get(), &crop);
    const PdfRect rendererBox =
        standardizedRect({crop.x1, crop.y1, crop.x2 - crop.x1, crop.y2 - crop.y1});
    const int angle = VXPDFTransform::normalizedAngle(page.rotationAngle());

    const PdfAffineTransform userToImage = transform.concat(image.viewToImage());
    PdfAffineTransform rendererToUser;
    if (rendererBox.isEmpty() ||
        !invert(PdfPageSpace::fromUserSpace(rendererBox, angle), rendererToUser)) {
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
