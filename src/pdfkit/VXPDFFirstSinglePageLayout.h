#pragma once
// A cover layout: single pages in portrait; in landscape page 1 alone and centred on the first
// screen, then spreads of an even and the following odd page (2–3, 4–5, ...).

#include "pdfkit/VXPDFLayout.h"

namespace pagewell {

class VXPDFFirstSinglePageLayout : public VXPDFLayout {
  public:
    static std::unique_ptr<VXPDFLayout> layout();

    void configureRenderview(VXPDFPageView& renderview,
                             VXPDFInterfaceOrientation interfaceOrientation) const override;
    double pageWidthForOrientation(VXPDFInterfaceOrientation orientation, const PdfSize& scrollView,
                                   int pageNumber) const override;
    int willAnimateRotationPageCorrection(int page,
                                          VXPDFInterfaceOrientation orientation) const override;
    std::string name() const override { return "cover"; }

  protected:
    bool addsTrailingSlotInLandscape() const override { return true; }
};

}  // namespace pagewell
