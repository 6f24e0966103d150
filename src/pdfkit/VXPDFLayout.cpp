#include "pdfkit/VXPDFLayout.h"

namespace pagewell {

std::unique_ptr<VXPDFLayout> VXPDFLayout::layout() {
    return std::make_unique<VXPDFLayout>();
}

void VXPDFLayout::configureRenderview(VXPDFPageView& renderview,
                                      VXPDFInterfaceOrientation interfaceOrientation) const {
    if (isPortrait(interfaceOrientation)) {
        renderview.pdfOrientation = VXPDFTransform::kOrientationCentered;
        renderview.setZoomRange(kMinimumZoom, kMaximumZoom);
        return;
    }
    // Odd pages sit on the left of a spread, pushed against its middle.
    renderview.pdfOrientation = renderview.pageNumber % 2 == 1 ? VXPDFTransform::kOrientationRight
                                                               : VXPDFTransform::kOrientationLeft;
    renderview.setZoomRange(kMinimumZoom, kMinimumZoom);
}

PdfSize VXPDFLayout::contentSizeForPagingScrollview(const PdfSize& scrollView,
                                                    VXPDFInterfaceOrientation orientation,
                                                    int numberOfPages) const {
    double width = 0;
    for (int page = 1; page <= numberOfPages; ++page) {
        width += pageWidthForOrientation(orientation, scrollView, page);
    }
    if (addsTrailingSlotInLandscape() && isLandscape(orientation) && numberOfPages >= 2 &&
        numberOfPages % 2 == 0) {
        width += pageWidthForOrientation(orientation, scrollView, 2);
    }
    return {width, scrollView.height};
}

double VXPDFLayout::pageWidthForOrientation(VXPDFInterfaceOrientation orientation,
                                            const PdfSize& scrollView, int /*pageNumber*/) const {
    return isPortrait(orientation) ? scrollView.width : scrollView.width / 2;
}

int VXPDFLayout::willAnimateRotationPageCorrection(int page,
                                                   VXPDFInterfaceOrientation orientation) const {
    if (isLandscape(orientation) && page % 2 == 0) {
        return page - 1;
    }
    return page;
}

}  // namespace pagewell
