#include "cms/DemoPdf.h"

#include <cairo-pdf.h>
#include <cairo.h>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <cmath>
#include <exception>
#include <memory>
#include <sstream>

#include "cms/DemoImage.h"
#include "platform/FileSystem.h"

namespace pagewell::cms {

namespace {

using SurfacePtr = std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)>;
using ContextPtr = std::unique_ptr<cairo_t, decltype(&cairo_destroy)>;

constexpr double kPageWidth = 595;  // A4 in points
constexpr double kPageHeight = 842;
constexpr double kMargin = 56;

// Ligature glyphs placed directly, since the toy text API does no shaping: U+FB03 "ffi" and
// U+FB01 "fi".
constexpr const char* kLigatureLine =
    "Set with ligature glyphs: o\xEF\xAC\x83"
    "ce, \xEF\xAC\x81nd, e\xEF\xAC\x83"
    "cient, \xEF\xAC\x81ne.";

const std::vector<std::string>& sentences(bool german) {
    static const std::vector<std::string> kEnglish = {
        "Our office team will find the right offer for every plant and every budget.",
        "Each unit is tested on the bench before it leaves the factory floor.",
        "The efficient drive saves energy in continuous operation and at partial load.",
        "Service partners in forty countries keep spare parts within a day's reach.",
        "Fine-tuned seals and bearings give long intervals between inspections.",
        "The modular design lets installers fit the unit into existing pipework.",
        "All figures below were measured under the conditions named in the data sheet.",
        "Ask your sales contact for the configuration that suits your site.",
    };
    static const std::vector<std::string> kGerman = {
        "Unser Vertriebsteam findet für jede Anlage das passende Angebot.",
        "Jedes Gerät wird vor der Auslieferung auf dem Prüfstand getestet.",
        "Der effiziente Antrieb spart Energie im Dauerbetrieb und in Teillast.",
        "Servicepartner in vierzig Ländern halten Ersatzteile bereit.",
        "Fein abgestimmte Dichtungen und Lager verlängern die Wartungsintervalle.",
        "Die modulare Bauweise erleichtert den Einbau in bestehende Leitungen.",
        "Alle Werte wurden unter den im Datenblatt genannten Bedingungen gemessen.",
        "Fragen Sie Ihren Ansprechpartner nach der passenden Ausführung.",
    };
    return german ? kGerman : kEnglish;
}

// Escapes a text for a single-quoted cairo tag attribute.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "'";
}

std::string rectAttribute(double x, double y, double w, double h) {
    std::ostringstream out;
    out << "rect=[" << x << " " << y << " " << w << " " << h << "]";
    return out.str();
}

// Draws onto the current page from the top down, wrapping paragraphs at the text width.
class PageComposer {
  public:
    PageComposer(cairo_t* cr, double width) : cr_(cr), width_(width) {}

    void font(const char* family, double size, cairo_font_slant_t slant = CAIRO_FONT_SLANT_NORMAL,
              cairo_font_weight_t weight = CAIRO_FONT_WEIGHT_NORMAL) {
        cairo_select_font_face(cr_, family, slant, weight);
        cairo_set_font_size(cr_, size);
        size_ = size;
    }

    void paragraph(const std::string& text, double spacingAfter = 8) {
        std::istringstream words(text);
        std::string line, word;
        while (words >> word) {
            std::string candidate = line.empty() ? word : line + " " + word;
            cairo_text_extents_t extents;
            cairo_text_extents(cr_, candidate.c_str(), &extents);
            if (extents.x_advance > width_ - 2 * kMargin && !line.empty()) {
                emit(line);
                line = word;
            } else {
                line = std::move(candidate);
            }
        }
        if (!line.empty()) {
            emit(line);
        }
        y_ += spacingAfter;
    }

    void skip(double points) { y_ += points; }
    double y() const { return y_; }
    void setY(double y) { y_ = y; }

  private:
    void emit(const std::string& line) {
        y_ += size_ * 1.35;
        cairo_move_to(cr_, kMargin, y_);
        cairo_show_text(cr_, line.c_str());
    }

    cairo_t* cr_;
    double width_;
    double size_ = 11;
    double y_ = kMargin;
};

void setColour(cairo_t* cr, int seed, double shade = 1.0) {
    const double r = 0.15 + 0.1 * (seed % 4);
    const double g = 0.30 + 0.08 * (seed % 5);
    const double b = 0.55 - 0.05 * (seed % 3);
    cairo_set_source_rgb(cr, r * shade, g * shade, b * shade);
}

// A picture from DemoImage, decoded into a cairo surface for placing on a page.
SurfacePtr pictureSurface(const DemoPicture& picture) {
    struct Reader {
        const std::string* bytes;
        std::size_t offset = 0;
    };
    auto png = DemoImage::pngBytes(picture);
    if (!png.ok()) {
        return SurfacePtr(cairo_image_surface_create(CAIRO_FORMAT_INVALID, 0, 0),
                          cairo_surface_destroy);
    }
    Reader reader{&png.value()};
    auto read = [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<Reader*>(closure);
        if (r->offset + length > r->bytes->size()) {
            return CAIRO_STATUS_READ_ERROR;
        }
        std::copy_n(r->bytes->data() + r->offset, length, data);
        r->offset += length;
        return CAIRO_STATUS_SUCCESS;
    };
    return SurfacePtr(cairo_image_surface_create_from_png_stream(read, &reader),
                      cairo_surface_destroy);
}

void placePicture(cairo_t* cr, cairo_surface_t* picture, double x, double y, double width) {
    const double scale = width / cairo_image_surface_get_width(picture);
    cairo_save(cr);
    cairo_translate(cr, x, y);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, picture, 0, 0);
    cairo_paint(cr);
    cairo_restore(cr);
}

void footer(cairo_t* cr, int page, int pages, const std::string& title) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 8);
    cairo_set_source_rgb(cr, 0.4, 0.4, 0.4);
    const std::string text =
        title + "  \xE2\x80\x94  " + std::to_string(page) + " / " + std::to_string(pages);
    cairo_move_to(cr, kMargin, kPageHeight - 30);
    cairo_show_text(cr, text.c_str());
}

void link(cairo_t* cr, const std::string& target, double x, double y, double w, double h) {
    const std::string attributes = target + " " + rectAttribute(x, y, w, h);
    cairo_tag_begin(cr, CAIRO_TAG_LINK, attributes.c_str());
    cairo_tag_end(cr, CAIRO_TAG_LINK);
}

std::string sectionDestination(int page) {
    return "section-" + std::to_string(page);
}

void drawCover(cairo_t* cr, const DemoBrochure& b, int pages) {
    setColour(cr, b.seed);
    cairo_rectangle(cr, 0, 0, kPageWidth, 170);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    PageComposer text(cr, kPageWidth);
    text.setY(60);
    text.font("serif", 30, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    text.paragraph(b.title, 4);
    text.font("sans-serif", 14, CAIRO_FONT_SLANT_ITALIC);
    text.paragraph(b.subtitle);

    SurfacePtr picture = pictureSurface({480, 270, b.seed, b.title, 0.3});
    if (cairo_surface_status(picture.get()) == CAIRO_STATUS_SUCCESS) {
        placePicture(cr, picture.get(), kMargin, 200, kPageWidth - 2 * kMargin);
    }

    // Table of contents: each line links to its page.
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    text.setY(510);
    text.font("serif", 16, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    text.paragraph(b.german ? "Inhalt" : "Contents", 2);
    text.font("sans-serif", 11);
    for (std::size_t i = 0; i < b.sections.size(); ++i) {
        const int page = static_cast<int>(i) + 2;
        const double top = text.y() + 3;
        text.paragraph(std::to_string(page) + "   " + b.sections[i], 2);
        // Forward links go through named destinations: cairo drops links that name a page
        // it has not drawn yet.
        link(cr, "dest='" + sectionDestination(page) + "'", kMargin, top, kPageWidth - 2 * kMargin,
             text.y() - top + 2);
    }
    const double top = text.y() + 3;
    text.paragraph(std::to_string(pages) + "   " + (b.german ? "Kontakt" : "Contact"), 2);
    link(cr, "dest='contact'", kMargin, top, kPageWidth - 2 * kMargin, text.y() - top + 2);

    if (!b.externalLink.empty()) {
        text.setY(kPageHeight - 80);
        text.font("monospace", 10);
        cairo_set_source_rgb(cr, 0.1, 0.2, 0.7);
        text.paragraph(b.externalLink, 0);
        link(cr, "uri=" + quoted(b.externalLink), kMargin, kPageHeight - 80,
             kPageWidth - 2 * kMargin, 20);
    }
}

void drawSpecTable(cairo_t* cr, PageComposer& text, int seed, int section) {
    text.font("monospace", 9);
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    for (int row = 0; row < 5; ++row) {
        const int value = (seed * 31 + section * 17 + row * 7) % 90 + 10;
        std::ostringstream line;
        line << "PW-" << seed << section << row << "    flow " << value * 3 << " l/min    head "
             << value / 2 << " m    " << (value % 3 == 0 ? "IP55" : "IP54");
        text.paragraph(line.str(), 0);
    }
    text.skip(8);
}

void drawSection(cairo_t* cr, const DemoBrochure& b, int page, const std::string& heading) {
    const int section = page - 1;
    PageComposer text(cr, kPageWidth);
    setColour(cr, b.seed, 0.8);
    text.font("serif", 22, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    const std::string destination = "name='" + sectionDestination(page) + "'";
    cairo_tag_begin(cr, CAIRO_TAG_DEST, destination.c_str());
    text.paragraph(heading, 6);
    cairo_tag_end(cr, CAIRO_TAG_DEST);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    text.font("serif", 12, CAIRO_FONT_SLANT_ITALIC);
    text.paragraph(b.title, 10);

    const auto& pool = sentences(b.german);
    text.font("sans-serif", 11);
    for (int paragraph = 0; paragraph < 3; ++paragraph) {
        std::string body;
        for (int s = 0; s < 4; ++s) {
            body += pool[(b.seed + section * 3 + paragraph * 5 + s) % pool.size()] + " ";
        }
        text.paragraph(body);
    }
    text.font("sans-serif", 11, CAIRO_FONT_SLANT_ITALIC);
    text.paragraph(kLigatureLine);
    text.font("serif", 14, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    text.paragraph(b.german ? "Technische Daten" : "Technical data", 2);
    drawSpecTable(cr, text, b.seed, section);

    if (page == b.slideshowPage) {
        const double top = text.y() + 10;
        for (int i = 0; i < 3; ++i) {
            SurfacePtr slide = pictureSurface({240, 160, b.seed + i, "", 0});
            if (cairo_surface_status(slide.get()) == CAIRO_STATUS_SUCCESS) {
                placePicture(cr, slide.get(), kMargin + i * 165, top, 150);
            }
        }
        text.setY(top + 100);
        text.font("sans-serif", 10, CAIRO_FONT_SLANT_ITALIC);
        text.paragraph(b.german ? "Bildergalerie: zum Blättern tippen"
                                : "Slideshow: tap to browse");
        link(cr, "uri=" + quoted(b.slideshowLink), kMargin, top, kPageWidth - 2 * kMargin, 100);
    }
    if (page == b.videoPage) {
        const double top = text.y() + 10;
        cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
        cairo_rectangle(cr, kMargin, top, 320, 180);
        cairo_fill(cr);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_move_to(cr, kMargin + 140, top + 60);
        cairo_line_to(cr, kMargin + 190, top + 90);
        cairo_line_to(cr, kMargin + 140, top + 120);
        cairo_close_path(cr);
        cairo_fill(cr);
        link(cr, "uri=" + quoted(b.videoLink), kMargin, top, 320, 180);
    }

    // Every page leads back to the contents.
    text.setY(kPageHeight - 70);
    cairo_set_source_rgb(cr, 0.1, 0.2, 0.7);
    text.font("sans-serif", 9);
    text.paragraph(b.german ? "\xE2\x86\x90 Zum Inhalt" : "\xE2\x86\x90 Back to contents", 0);
    link(cr, "page=1 pos=[0 500]", kMargin, kPageHeight - 80, 150, 16);
}

// Drawn sideways: the page is portrait on the PDF surface and carries /Rotate 90, so the reader
// shows a landscape table upright.
void drawLandscape(cairo_t* cr, const DemoBrochure& b, int page, const std::string& heading) {
    cairo_save(cr);
    cairo_translate(cr, 0, kPageHeight);
    cairo_rotate(cr, -M_PI / 2);
    PageComposer text(cr, kPageHeight);
    setColour(cr, b.seed, 0.8);
    text.font("serif", 22, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    const std::string destination = "name='" + sectionDestination(page) + "'";
    cairo_tag_begin(cr, CAIRO_TAG_DEST, destination.c_str());
    text.paragraph(heading + (b.german ? " (Querformat)" : " (landscape)"), 8);
    cairo_tag_end(cr, CAIRO_TAG_DEST);
    cairo_set_source_rgb(cr, 0.15, 0.15, 0.15);
    text.font("monospace", 10);
    for (int row = 0; row < 18; ++row) {
        std::ostringstream line;
        line << "PW-" << b.seed << "-" << row;
        for (int column = 0; column < 8; ++column) {
            line << "    " << ((b.seed * 13 + row * 7 + column * 11) % 900 + 100);
        }
        text.paragraph(line.str(), 0);
    }
    cairo_restore(cr);
    footer(cr, page, DemoPdf::pageCount(b), b.title);
}

void drawContact(cairo_t* cr, const DemoBrochure& b) {
    cairo_tag_begin(cr, CAIRO_TAG_DEST, "name='contact'");
    PageComposer text(cr, kPageWidth);
    setColour(cr, b.seed, 0.8);
    text.font("serif", 22, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    text.paragraph(b.german ? "Kontakt" : "Contact", 10);
    cairo_tag_end(cr, CAIRO_TAG_DEST);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.1);
    text.font("sans-serif", 11);
    text.paragraph("Pagewell Demo GmbH");
    text.font("monospace", 10);
    text.paragraph(
        "Musterstra\xC3\x9F"
        "e 1, 80331 M\xC3\xBCnchen");
    text.paragraph("sales@pagewell.example");
}

// Writes cairo's output again through qpdf, turning one page when asked. Cairo 1.16 reserves an
// object number for every link annotation twice and writes only one of them, which leaves
// cross-reference entries pointing at the wrong objects; qpdf writes only the objects reachable
// from the document, with a correct table and a deterministic /ID. Its warnings about the
// rebuilt table are expected here and not passed on.
Result<std::string> rewrite(const std::string& pdf, int rotatedPage) {
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        document.processMemoryFile("brochure", pdf.data(), pdf.size());
        if (rotatedPage > 0) {
            auto pages = QPDFPageDocumentHelper(document).getAllPages();
            if (rotatedPage > static_cast<int>(pages.size())) {
                return Error::make(DemoPdf::kErrorDomain, 2,
                                   "no page " + std::to_string(rotatedPage) + " to turn");
            }
            pages[rotatedPage - 1].rotatePage(90, false);
        }
        QPDFWriter writer(document);
        writer.setOutputMemory();
        writer.setDeterministicID(true);
        writer.write();
        std::unique_ptr<Buffer> buffer(writer.getBuffer());
        return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
    } catch (const std::exception& e) {
        return Error::make(DemoPdf::kErrorDomain, 3,
                           std::string("cannot finish the brochure: ") + e.what());
    }
}

cairo_status_t appendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::string pdfString(const std::string& text) {
    std::string out = "(";
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + ")";
}

}  // namespace

Result<std::string> DemoPdf::brochureBytes(const DemoBrochure& b) {
    const int pages = pageCount(b);
    if (b.rotatedPage == 1 || b.rotatedPage >= pages) {
        return Error::make(kErrorDomain, 1, "only a section page can be turned");
    }
    std::string bytes;
    {
        SurfacePtr surface(
            cairo_pdf_surface_create_for_stream(appendToString, &bytes, kPageWidth, kPageHeight),
            cairo_surface_destroy);
        // Fixed dates keep the output the same on every build.
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, b.title.c_str());
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_AUTHOR,
                                       "Pagewell demo catalogue");
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR,
                                       "pagewell-cms build-demo");
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE,
                                       b.date.c_str());
        cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_MOD_DATE, b.date.c_str());

        ContextPtr cr(cairo_create(surface.get()), cairo_destroy);
        const int cover = cairo_pdf_surface_add_outline(surface.get(), CAIRO_PDF_OUTLINE_ROOT,
                                                        b.german ? "Titelseite" : "Cover", "page=1",
                                                        CAIRO_PDF_OUTLINE_FLAG_OPEN);
        drawCover(cr.get(), b, pages);
        footer(cr.get(), 1, pages, b.title);
        for (std::size_t i = 0; i < b.sections.size(); ++i) {
            cairo_show_page(cr.get());
            const int page = static_cast<int>(i) + 2;
            const std::string target = "page=" + std::to_string(page);
            const int entry = cairo_pdf_surface_add_outline(
                surface.get(), cover, b.sections[i].c_str(), target.c_str(),
                static_cast<cairo_pdf_outline_flags_t>(0));
            if (page == b.rotatedPage) {
                drawLandscape(cr.get(), b, page, b.sections[i]);
                continue;
            }
            cairo_pdf_surface_add_outline(
                surface.get(), entry, b.german ? "Technische Daten" : "Technical data",
                (target + " pos=[0 420]").c_str(), CAIRO_PDF_OUTLINE_FLAG_ITALIC);
            drawSection(cr.get(), b, page, b.sections[i]);
            footer(cr.get(), page, pages, b.title);
        }
        cairo_show_page(cr.get());
        cairo_pdf_surface_add_outline(surface.get(), CAIRO_PDF_OUTLINE_ROOT,
                                      b.german ? "Kontakt" : "Contact", "dest='contact'",
                                      static_cast<cairo_pdf_outline_flags_t>(0));
        drawContact(cr.get(), b);
        footer(cr.get(), pages, pages, b.title);
        cr.reset();
        cairo_surface_finish(surface.get());
        if (auto status = cairo_surface_status(surface.get()); status != CAIRO_STATUS_SUCCESS) {
            return Error::make(
                kErrorDomain, static_cast<int>(status),
                std::string("cannot draw the brochure: ") + cairo_status_to_string(status));
        }
    }
    return rewrite(bytes, b.rotatedPage);
}

Status DemoPdf::writeBrochure(const std::filesystem::path& file, const DemoBrochure& brochure) {
    auto bytes = brochureBytes(brochure);
    if (!bytes.ok()) {
        return bytes.error();
    }
    return FileSystem::writeFileAtomically(file, bytes.value());
}

std::string DemoPdf::minimalPdf(const std::string& title, std::size_t size) {
    auto build = [&](std::size_t padding) {
        std::string content = "BT /F1 24 Tf 72 720 Td " + pdfString(title) + " Tj ET\n";
        // Comment lines fill the stream; readers skip them. No line is shorter than "%\n", so a
        // single byte left over becomes a space.
        while (padding >= 2) {
            std::size_t line = std::min<std::size_t>(padding, 80);
            if (padding - line == 1) {
                --line;
            }
            content += '%';
            content.append(line - 2, 'x');
            content += '\n';
            padding -= line;
        }
        if (padding == 1) {
            content += ' ';
        }
        const std::vector<std::string> objects = {
            "<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R "
            "/Resources << /Font << /F1 5 0 R >> >> >>",
            "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                "endstream",
            "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
        };
        std::string pdf = "%PDF-1.4\n";
        std::vector<std::size_t> offsets;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            offsets.push_back(pdf.size());
            pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
        }
        const std::size_t xref = pdf.size();
        pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
        for (std::size_t offset : offsets) {
            char entry[21];
            std::snprintf(entry, sizeof entry, "%010zu 00000 n \n", offset);
            pdf += entry;
        }
        pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
               " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return pdf;
    };
    std::string pdf = build(0);
    std::size_t padding = 0;
    // The padding changes the digits of /Length and the offsets, so settle it in a few rounds.
    for (int round = 0; round < 4 && pdf.size() != size && size > pdf.size() - padding; ++round) {
        if (pdf.size() < size) {
            padding += size - pdf.size();
        } else {
            padding -= std::min(padding, pdf.size() - size);
        }
        pdf = build(padding);
    }
    return pdf;
}

}  // namespace pagewell::cms
