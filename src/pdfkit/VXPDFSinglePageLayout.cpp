#include "pdfkit/VXPDFSinglePageLayout.h"

namespace pagewell {

std::unique_ptr<VXPDFLayout> VXPDFSinglePageLayout::layout() {
    return std::make_unique<VXPDFSinglePageLayout>();
}

void VXPDFSinglePageLayout::configureRenderview(
    VXPDFPageView& renderview, VXPDFInterfaceOrientation interfaceOrientation) const {
    renderview.pdfOrientation = isPortrait(interfaceOrientation)
                                    ? VXPDFTransform::kOrientationCentered
                                    : static_cast<int>(interfaceOrientation);
}

double VXPDFSinglePageLayout::pageWidthForOrientation(VXPDFInterfaceOrientation /*orientation*/,
                                                      const PdfSize& scrollView,
                                                      int /*pageNumber*/) const {
    return scrollView.width;
}

int VXPDFSinglePageLayout::willAnimateRotationPageCorrection(
    int page, VXPDFInterfaceOrientation /*orientation*/) const {
    return page;
}

}  // namespace pagewell
