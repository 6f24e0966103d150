#include "pdfkit/VXPDFTransform.h"

#include <algorithm>
#include <cmath>

namespace pagewell {

namespace {

bool isQuarterTurn(int angle) {
    return angle == 90 || angle == 270;
}

struct FitScale {
    double sx;
    double sy;
    double boxWidth;  // as displayed: swapped at a quarter turn
};

FitScale fitScale(const PdfRect& box, int angle, const PdfRect& destRect,
                  bool preserveAspectRatio) {
    double boxWidth = box.width;
    double boxHeight = box.height;
    if (isQuarterTurn(angle)) {
        std::swap(boxWidth, boxHeight);
    }
    double sx = destRect.width / boxWidth;
    double sy = destRect.height / boxHeight;
    if (preserveAspectRatio) {
        sx = sy = std::min(sx, sy);
    }
    return {sx, sy, boxWidth};
}

}  // namespace

int VXPDFTransform::normalizedAngle(int degrees) {
    int angle = degrees % 360;
    return angle < 0 ? angle + 360 : angle;
}

PdfAffineTransform VXPDFTransform::myPageGetDrawingTransform(const PdfRect& rawBox,
                                                             int pageRotation,
                                                             const PdfRect& destRect, int rotate,
                                                             bool preserveAspectRatio,
                                                             int orientation) {
    const PdfRect box = standardizedRect(rawBox);
    const int angle = normalizedAngle(pageRotation + rotate);
    const FitScale scale = fitScale(box, angle, destRect, preserveAspectRatio);

    PdfAffineTransform transform = PdfAffineTransform::translation(-midX(box), -midY(box))
                                       .thenRotate(-angle * kPi / 180)
                                       .thenScale(scale.sx, scale.sy)
                                       .thenTranslate(midX(destRect), midY(destRect));

    const double padding = (destRect.width - scale.sx * scale.boxWidth) / 2;
    if (orientation == kOrientationLeft) {
        transform = transform.thenTranslate(-padding, 0);
    } else if (orientation == kOrientationRight) {
        transform = transform.thenTranslate(padding, 0);
    }
    return transform;
}

float VXPDFTransform::getPagePadding(const PdfRect& rawBox, int pageRotation,
                                     const PdfRect& destRect, int rotate,
                                     bool preserveAspectRatio) {
    const PdfRect box = standardizedRect(rawBox);
    const int angle = normalizedAngle(pageRotation + rotate);
    const FitScale scale = fitScale(box, angle, destRect, preserveAspectRatio);
    return static_cast<float>((destRect.width - scale.sx * scale.boxWidth) / 2);
}

PdfRect VXPDFTransform::scaledPageRect(const PdfRect& rawBox, int rotation, const PdfRect& target) {
    PdfRect box = standardizedRect(rawBox);
    if (isQuarterTurn(normalizedAngle(rotation))) {
        std::swap(box.width, box.height);
    }
    if (target.isEmpty() || box.isEmpty()) {
        return box;
    }
    const double s = std::min(target.width / box.width, target.height / box.height);
    const double width = std::ceil(static_cast<float>(box.width * s));
    const double height = std::ceil(static_cast<float>(box.height * s));
    return {(target.width - width) / 2, (target.height - height) / 2, width, height};
}

}  // namespace pagewell
