#pragma once
// The orientation of the screen the viewer is shown on. The numbers are the platform's own:
// the single-page layout hands a landscape orientation's number to its page views as their
// orientation code, and the drawing transform centres any code other than 0 and 1.

namespace pagewell {

enum class VXPDFInterfaceOrientation : int {
    Portrait = 1,
    PortraitUpsideDown = 2,
    LandscapeRight = 3,
    LandscapeLeft = 4,
};

inline bool isLandscape(VXPDFInterfaceOrientation orientation) {
    return orientation == VXPDFInterfaceOrientation::LandscapeLeft ||
           orientation == VXPDFInterfaceOrientation::LandscapeRight;
}

inline bool isPortrait(VXPDFInterfaceOrientation orientation) {
    return !isLandscape(orientation);
}

}  // namespace pagewell
