// The highlight overlay: yellow multiplied over the page at alpha 0.6, placed through the
// page's drawing transform and the hit's own transform.

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>

#include "PdfFixture.h"
#include "SearchFixtures.h"
#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFHighlightLayer.h"
#include "pdfkit/VXPDFScanner.h"

namespace pagewell {
namespace {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << "(" << c.r << ", " << c.g << ", " << c.b << ")";
}

Rgb pixel(cairo_surface_t* surface, int x, int y) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    std::uint32_t value = 0;
    std::memcpy(&value, data + y * stride + x * 4, 4);
    return {static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
            static_cast<int>(value & 0xFF)};
}

TEST(VXPDFHighlightLayerTest, DrawsYellowMultipliedBoxesAtTheHits) {
    // A 200 × 100 page with "hello" at (20, 50), size 10: the hit covers x 20..45 and, with
    // descent 2.5 and height 10, y 47.5..57.5 in page space (y up).
    test::PdfFixture fixture;
    const std::string font = test::addSearchFont(fixture);
    fixture.addPage(test::searchPage("BT /F1 10 Tf 20 50 Td (hello) Tj ET",
                                     "<< /Font << /F1 " + font + " >> >>", {0, 0, 200, 100}));
    auto document = fixture.open();
    VXPDFScanner scanner;
    scanner.setKeyword("hello");
    scanner.scanPage(*document->page(1));
    ASSERT_EQ(scanner.selectionsArray().size(), 1u);

    // Twice the page size: the page transform scales by 2.
    std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, 400, 200), &cairo_surface_destroy);
    std::unique_ptr<cairo_t, decltype(&cairo_destroy)> context(cairo_create(surface.get()),
                                                               &cairo_destroy);
    cairo_set_source_rgb(context.get(), 1, 1, 1);
    cairo_paint(context.get());
    // Dark "ink" under the right end of the hit (page x 40..45, device x 80..90).
    cairo_set_source_rgb(context.get(), 0, 0, 0);
    cairo_rectangle(context.get(), 80, 0, 10, 200);
    cairo_fill(context.get());

    VXPDFHighlightLayer::drawSelections(context.get(), {400, 200}, PdfAffineTransform::scale(2, 2),
                                        scanner.selectionsArray());

    // Page (30, 52) is device (60, 200 - 104 = 96).
    EXPECT_EQ(pixel(surface.get(), 60, 96), (Rgb{255, 255, 102})) << "white under 60% yellow";
    EXPECT_EQ(pixel(surface.get(), 85, 96), (Rgb{0, 0, 0})) << "multiply keeps ink dark";
    EXPECT_EQ(pixel(surface.get(), 60, 60), (Rgb{255, 255, 255})) << "above the hit";
    EXPECT_EQ(pixel(surface.get(), 30, 96), (Rgb{255, 255, 255})) << "left of the hit";
    EXPECT_EQ(pixel(surface.get(), 100, 96), (Rgb{255, 255, 255})) << "right of the hit";
    EXPECT_EQ(pixel(surface.get(), 60, 120), (Rgb{255, 255, 255})) << "below the hit";
}

}  // namespace
}  // namespace pagewell
