#include "redlining/RedliningPdfExport.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFMatrix.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <memory>

#include "platform/FileSystem.h"
#include "redlining/RedliningPainter.h"
#include "redlining/VXRedliningTextObject.h"

namespace pagewell {

namespace {

cairo_status_t appendBytes(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

// The drawings of one page as a one-page PDF of the shown size.
std::string drawingPdf(const std::vector<RedliningObjectPtr>& objects, double width,
                       double height) {
    std::string bytes;
    cairo_surface_t* surface =
        cairo_pdf_surface_create_for_stream(appendBytes, &bytes, width, height);
    cairo_t* cr = cairo_create(surface);
    RedliningPainter::drawObjects(cr, objects, {0, 0, width, height});
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    cairo_surface_destroy(surface);
    return bytes;
}

QPDFObjectHandle::Rectangle visibleBox(QPDFPageObjectHelper& page) {
    QPDFObjectHandle::Rectangle media = page.getMediaBox().getArrayAsRectangle();
    QPDFObjectHandle crop = page.getCropBox();
    if (!crop.isRectangle()) {
        return media;
    }
    QPDFObjectHandle::Rectangle c = crop.getArrayAsRectangle();
    QPDFObjectHandle::Rectangle r(std::max(std::min(c.llx, c.urx), std::min(media.llx, media.urx)),
                                  std::max(std::min(c.lly, c.ury), std::min(media.lly, media.ury)),
                                  std::min(std::max(c.llx, c.urx), std::max(media.llx, media.urx)),
                                  std::min(std::max(c.lly, c.ury), std::max(media.lly, media.ury)));
    return (r.urx > r.llx && r.ury > r.lly) ? r : media;
}

// A markup annotation for one object whose appearance is that object's drawing: the form
// covers the whole page as shown, clipped by its box to the object's bounds, and is placed by
// the same matrix that would place the drawing over the page.
QPDFObjectHandle markup(QPDF& pdf, QPDFPageObjectHelper& page, QPDFObjectHandle form,
                        const VXRedliningObject& object, QPDFObjectHandle::Rectangle box,
                        double height) {
    RedliningRect copyBounds = object.boundsOnOverlay();
    double margin = 1;
    QPDFObjectHandle::Rectangle bbox(
        copyBounds.x - margin, height - (copyBounds.y + copyBounds.height) - margin,
        copyBounds.x + copyBounds.width + margin, height - copyBounds.y + margin);
    QPDFMatrix matrix = page.getMatrixForFormXObjectPlacement(form, box, true, true, true);
    QPDFObjectHandle dict = form.getDict();
    dict.replaceKey("/BBox", QPDFObjectHandle::newFromRectangle(bbox));
    dict.replaceKey("/Matrix", QPDFObjectHandle::newFromMatrix(matrix));
    static const char* subtypes[] = {"/Ink", "/Circle", "/Square", "/FreeText", "/Stamp"};
    QPDFObjectHandle annot = QPDFObjectHandle::newDictionary();
    annot.replaceKey("/Type", QPDFObjectHandle::newName("/Annot"));
    annot.replaceKey("/Subtype",
                     QPDFObjectHandle::newName(subtypes[static_cast<int>(object.kind())]));
    annot.replaceKey("/Rect", QPDFObjectHandle::newFromRectangle(matrix.transformRectangle(bbox)));
    annot.replaceKey("/F", QPDFObjectHandle::newInteger(4));  // printed
    const RedliningColor& c = object.strokeColor();
    QPDFObjectHandle colour = QPDFObjectHandle::newArray();
    for (double v : {c.red, c.green, c.blue}) {
        colour.appendItem(QPDFObjectHandle::newReal(v, 4));
    }
    annot.replaceKey("/C", colour);
    if (object.kind() == VXRedliningObject::Kind::Stroke && object.path()) {
        // The stroke's points, for readers that rebuild the look from them.
        QPDFMatrix toPage = matrix;
        QPDFObjectHandle list = QPDFObjectHandle::newArray();
        RedliningTransform t = object.toOverlay();
        for (const auto& e : object.path()->elements()) {
            int count = e.kind == RedliningPath::Kind::Cubic   ? 3
                        : e.kind == RedliningPath::Kind::Quad  ? 2
                        : e.kind == RedliningPath::Kind::Close ? 0
                                                               : 1;
            if (count == 0) {
                continue;
            }
            RedliningPoint p = t.apply(e.points[count - 1]);
            double x = 0, y = 0;
            toPage.transform(p.x, height - p.y, x, y);
            list.appendItem(QPDFObjectHandle::newReal(x, 2));
            list.appendItem(QPDFObjectHandle::newReal(y, 2));
        }
        QPDFObjectHandle ink = QPDFObjectHandle::newArray();
        ink.appendItem(list);
        annot.replaceKey("/InkList", ink);
    }
    if (object.kind() == VXRedliningObject::Kind::Text) {
        if (const auto* text = dynamic_cast<const VXRedliningTextObject*>(&object)) {
            annot.replaceKey("/Contents", QPDFObjectHandle::newUnicodeString(text->text()));
        }
        annot.replaceKey("/DA", QPDFObjectHandle::newString("/Helv 14 Tf 0 g"));
    }
    QPDFObjectHandle ap = QPDFObjectHandle::newDictionary();
    ap.replaceKey("/N", form);
    annot.replaceKey("/AP", ap);
    annot.replaceKey("/P", page.getObjectHandle());
    return pdf.makeIndirectObject(annot);
}

}  // namespace

Result<RedliningPdfExport::Summary> RedliningPdfExport::burnIn(const std::filesystem::path& input,
                                                               const std::filesystem::path& output,
                                                               const RedliningPageMap& pages,
                                                               const std::vector<int>& onlyPages) {
    return write(input, output, pages, onlyPages, false);
}

Result<RedliningPdfExport::Summary> RedliningPdfExport::asAnnotations(
    const std::filesystem::path& input, const std::filesystem::path& output,
    const RedliningPageMap& pages, const std::vector<int>& onlyPages) {
    return write(input, output, pages, onlyPages, true);
}

Result<RedliningPdfExport::Summary> RedliningPdfExport::write(const std::filesystem::path& input,
                                                              const std::filesystem::path& output,
                                                              const RedliningPageMap& pages,
                                                              const std::vector<int>& onlyPages,
                                                              bool annotations) {
    try {
        QPDF pdf;
        pdf.processFile(input.c_str());
        std::vector<QPDFPageObjectHelper> all = QPDFPageDocumentHelper(pdf).getAllPages();
        Summary summary;
        summary.pages = static_cast<int>(all.size());
        // The drawings' documents and their bytes (which qpdf reads in place, late) are kept
        // until the copy is written.
        std::vector<std::unique_ptr<std::string>> drawings;
        std::vector<std::unique_ptr<QPDF>> overlays;
        for (const auto& [number, objects] : pages) {
            if (number < 1 || number > summary.pages || objects.empty() ||
                (!onlyPages.empty() &&
                 std::find(onlyPages.begin(), onlyPages.end(), number) == onlyPages.end())) {
                continue;
            }
            QPDFPageObjectHelper& page = all[static_cast<std::size_t>(number - 1)];
            QPDFObjectHandle::Rectangle box = visibleBox(page);
            QPDFObjectHandle rotateKey = page.getAttribute("/Rotate", false);
            long long rotate = rotateKey.isInteger() ? rotateKey.getIntValue() : 0;
            rotate = ((rotate % 360) + 360) % 360;
            double width = box.urx - box.llx;
            double height = box.ury - box.lly;
            if (rotate == 90 || rotate == 270) {
                std::swap(width, height);
            }
            if (annotations) {
                QPDFObjectHandle annots = page.getObjectHandle().getKey("/Annots");
                if (!annots.isArray()) {
                    annots = QPDFObjectHandle::newArray();
                    page.getObjectHandle().replaceKey("/Annots", annots);
                }
                for (const auto& object : objects) {
                    drawings.push_back(
                        std::make_unique<std::string>(drawingPdf({object}, width, height)));
                    auto overlay = std::make_unique<QPDF>();
                    overlay->processMemoryFile("drawing", drawings.back()->data(),
                                               drawings.back()->size());
                    QPDFObjectHandle form = pdf.copyForeignObject(QPDFPageDocumentHelper(*overlay)
                                                                      .getAllPages()
                                                                      .front()
                                                                      .getFormXObjectForPage());
                    overlays.push_back(std::move(overlay));
                    annots.appendItem(markup(pdf, page, form, *object, box, height));
                }
                summary.annotatedPages.push_back(number);
                continue;
            }
            auto overlay = std::make_unique<QPDF>();
            drawings.push_back(std::make_unique<std::string>(drawingPdf(objects, width, height)));
            overlay->processMemoryFile("drawings", drawings.back()->data(),
                                       drawings.back()->size());
            QPDFObjectHandle form = pdf.copyForeignObject(
                QPDFPageDocumentHelper(*overlay).getAllPages().front().getFormXObjectForPage());
            overlays.push_back(std::move(overlay));

            QPDFObjectHandle resources = page.getAttribute("/Resources", true);
            if (!resources.isDictionary()) {
                resources = QPDFObjectHandle::newDictionary();
                page.getObjectHandle().replaceKey("/Resources", resources);
            }
            if (!resources.getKey("/XObject").isDictionary()) {
                resources.replaceKey("/XObject", QPDFObjectHandle::newDictionary());
            }
            int suffix = 0;
            std::string name = resources.getUniqueResourceName("/Fx", suffix);
            resources.getKey("/XObject").replaceKey(name, form);
            std::string placement = page.placeFormXObject(form, name, box, true, true, true);
            page.addPageContents(QPDFObjectHandle::newStream(&pdf, "q\n"), true);
            page.addPageContents(QPDFObjectHandle::newStream(&pdf, "\nQ\n" + placement), false);
            summary.annotatedPages.push_back(number);
        }
        std::filesystem::path temporary = output;
        temporary += ".part";
        {
            QPDFWriter writer(pdf, temporary.c_str());
            writer.write();
        }
        std::error_code error;
        std::filesystem::rename(temporary, output, error);
        if (error) {
            std::filesystem::remove(temporary, error);
            return Error::fromErrno(error.value(), "Writing " + output.filename().string());
        }
        return summary;
    } catch (const std::exception& failure) {
        return Error::make(kErrorDomain, 1,
                           std::string("The copy cannot be written: ") + failure.what());
    }
}

}  // namespace pagewell
