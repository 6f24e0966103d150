#include "pdfkit/VXPDFDoublePageLayout.h"

namespace pagewell {

std::unique_ptr<VXPDFLayout> VXPDFDoublePageLayout::layout() {
    return std::make_unique<VXPDFDoublePageLayout>();
}

void VXPDFDoublePageLayout::configureRenderview(
    VXPDFPageView& renderview, VXPDFInterfaceOrientation /*interfaceOrientation*/) const {
    renderview.pdfOrientation = renderview.pageNumber % 2 == 1 ? VXPDFTransform::kOrientationLeft
                                                               : VXPDFTransform::kOrientationRight;
    renderview.setZoomRange(kMinimumZoom, kMinimumZoom);
}

double VXPDFDoublePageLayout::pageWidthForOrientation(VXPDFInterfaceOrientation /*orientation*/,
                                                      const PdfSize& scrollView,
                                                      int /*pageNumber*/) const {
    return scrollView.width / 2;
}

int VXPDFDoublePageLayout::willAnimateRotationPageCorrection(
    int page, VXPDFInterfaceOrientation /*orientation*/) const {
    return page;
}

}  // namespace pagewell
