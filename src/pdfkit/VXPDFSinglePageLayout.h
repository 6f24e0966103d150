#pragma once
// One page per screen in every orientation. In landscape the page view's orientation code is
// the interface orientation's own number, which the drawing transform centres. Zoom ranges are
// left as the page view has them.

#include "pdfkit/VXPDFLayout.h"

namespace pagewell {

class VXPDFSinglePageLayout : public VXPDFLayout {
  public:
    static std::unique_ptr<VXPDFLayout> layout();

    void configureRenderview(VXPDFPageView& renderview,
                             VXPDFInterfaceOrientation interfaceOrientation) const override;
    double pageWidthForOrientation(VXPDFInterfaceOrientation orientation, const PdfSize& scrollView,
                                   int pageNumber) const override;
    int willAnimateRotationPageCorrection(int page,
                                          VXPDFInterfaceOrientation orientation) const override;
    std::string name() const override { return "single"; }
};

}  // namespace pagewell
