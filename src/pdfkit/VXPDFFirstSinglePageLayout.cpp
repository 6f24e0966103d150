#include "pdfkit/VXPDFFirstSinglePageLayout.h"

namespace pagewell {

std::unique_ptr<VXPDFLayout> VXPDFFirstSinglePageLayout::layout() {
    return std::make_unique<VXPDFFirstSinglePageLayout>();
}

void VXPDFFirstSinglePageLayout::configureRenderview(
    VXPDFPageView& renderview, VXPDFInterfaceOrientation interfaceOrientation) const {
    if (isPortrait(interfaceOrientation) || renderview.pageNumber == 1) {
        renderview.pdfOrientation = VXPDFTransform::kOrientationCentered;
        renderview.setZoomRange(kMinimumZoom, kMaximumZoom);
        return;
    }
    // After the cover, spreads are an even page on the left and an odd page on the right.
    renderview.pdfOrientation = renderview.pageNumber % 2 == 1 ? VXPDFTransform::kOrientationLeft
                                                               : VXPDFTransform::kOrientationRight;
    renderview.setZoomRange(kMinimumZoom, kMinimumZoom);
}

double VXPDFFirstSinglePageLayout::pageWidthForOrientation(VXPDFInterfaceOrientation orientation,
                                                           const PdfSize& scrollView,
                                                           int pageNumber) const {
    if (pageNumber == 1 || isPortrait(orientation)) {
        return scrollView.width;
    }
    return scrollView.width / 2;
}

int VXPDFFirstSinglePageLayout::willAnimateRotationPageCorrection(
    int page, VXPDFInterfaceOrientation orientation) const {
    if (isLandscape(orientation) && page >= 2) {
        return page & ~1;
    }
    return page;
}

}  // namespace pagewell
