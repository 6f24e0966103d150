#include "pdfkit/PdfPageSpace.h"

#include <utility>

#include "pdfkit/PdfGeometry.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/VXPDFSelection.h"
#include "pdfkit/VXPDFTransform.h"

namespace pagewell {

PdfRect PdfPageSpace::visibleBox(const PdfPage& page) {
    const PdfRect media = standardizedRect(page.boxRect(PdfBox::Media));
    const PdfRect visible = intersectRects(page.boxRect(PdfBox::Crop), media);
    return visible.isEmpty() ? media : visible;
}

PdfAffineTransform PdfPageSpace::fromUserSpace(const PdfRect& visibleBox, int rotation) {
    const PdfRect box = standardizedRect(visibleBox);
    double width = box.width;
    double height = box.height;
    PdfAffineTransform turn;  // clockwise by the rotation in a y-up space
    switch (VXPDFTransform::normalizedAngle(rotation)) {
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
    // Centre the box on the origin, turn it, flip y, and put the turned box's top-left corner
    // at the origin.
    return PdfAffineTransform::translation(-midX(box), -midY(box))
        .concat(turn)
        .thenScale(1, -1)
        .thenTranslate(width / 2, height / 2);
}

PdfAffineTransform PdfPageSpace::fromUserSpace(const PdfPage& page) {
    return fromUserSpace(visibleBox(page), page.rotationAngle());
}

PdfRect PdfPageSpace::rectOf(const VXPDFSelection& selection, const PdfAffineTransform& fromUser) {
    return selection.transform().concat(fromUser).apply(selection.rect());
}

}  // namespace pagewell
