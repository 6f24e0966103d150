#pragma once
// Fonts and pages for the text-scanning tests: a simple font whose metrics make rectangles easy
// to check by hand (every glyph 500 units wide, the space 250; ascent 750, descent -250, so a
// line of size 10 is 10 high with its bottom 2.5 below the baseline).

#include <string>

#include "PdfFixture.h"

namespace pagewell::test {

// A page with the given content stream and resource dictionary.
inline PdfFixturePage searchPage(std::string content, std::string resources,
                                 PdfRect mediaBox = {0, 0, 612, 792}) {
    PdfFixturePage page(std::move(content));
    page.resources = std::move(resources);
    page.mediaBox = mediaBox;
    return page;
}

inline std::string searchFontWidths() {
    std::string widths = "[250";  // the space, code 32
    for (int code = 33; code <= 255; ++code) {
        widths += " 500";
    }
    return widths + "]";
}

inline std::string searchFontDescriptor() {
    return "<< /Type /FontDescriptor /FontName /Helvetica /Flags 32 /Ascent 750 /Descent -250 "
           "/CapHeight 700 /ItalicAngle 0 /StemV 80 /FontBBox [0 -250 1000 750] >>";
}

// A font with Windows code page 1252 text and the metrics above.
inline std::string addSearchFont(PdfFixture& fixture) {
    return fixture.addType1Font("Helvetica",
                                "/Encoding /WinAnsiEncoding /FirstChar 32 /LastChar "
                                "255 /Widths " +
                                    searchFontWidths() + " /FontDescriptor " +
                                    searchFontDescriptor());
}

// A font without encoding whose /ToUnicode map shows code 1 as the fi ligature (U+FB01) and
// code 2 as the ffi ligature (U+FB03); codes 32 to 126 are ASCII. Code 1 and 2 are 600 wide.
inline std::string addLigatureFont(PdfFixture& fixture) {
    const std::string cmap =
        "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
        "1 begincodespacerange\n<00> <FF>\nendcodespacerange\n"
        "2 beginbfchar\n<01> <FB01>\n<02> <FB03>\nendbfchar\n"
        "1 beginbfrange\n<20> <7E> <0020>\nendbfrange\n"
        "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    const std::string toUnicode = fixture.addStream(cmap);
    std::string widths = "[600 600";
    for (int code = 3; code <= 126; ++code) {
        widths += code == 32 ? " 250" : " 500";
    }
    return fixture.addType1Font("Helvetica", "/FirstChar 1 /LastChar 126 /Widths " + widths + "]" +
                                                 " /FontDescriptor " + searchFontDescriptor() +
                                                 " /ToUnicode " + toUnicode);
}

}  // namespace pagewell::test
