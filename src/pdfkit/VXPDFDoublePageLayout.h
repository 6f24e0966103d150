#pragma once
// Two pages per screen in every orientation: each page takes half the strip, odd pages pushed
// to the left edge of their slot and even pages to the right, and page views do not zoom by
// themselves (the viewer's zoom container zooms the spread).

#include "pdfkit/VXPDFLayout.h"

namespace pagewell {

class VXPDFDoublePageLayout : public VXPDFLayout {
  public:
    static std::unique_ptr<VXPDFLayout> layout();

    void configureRenderview(VXPDFPageView& renderview,
                             VXPDFInterfaceOrientation interfaceOrientation) const override;
    double pageWidthForOrientation(VXPDFInterfaceOrientation orientation, const PdfSize& scrollView,
                                   int pageNumber) const override;
    int willAnimateRotationPageCorrection(int page,
                                          VXPDFInterfaceOrientation orientation) const override;
    std::string name() const override { return "double"; }

  protected:
    bool addsTrailingSlotInLandscape() const override { return true; }
};

}  // namespace pagewell
