#include "pdfkit/VXPDFTransform.h"

#include <gtest/gtest.h>

#include <cmath>

namespace pagewell {
namespace {

constexpr double kTolerance = 1e-3;

void expectRectNear(const PdfRect& actual, const PdfRect& expected) {
    EXPECT_NEAR(actual.x, expected.x, kTolerance);
    EXPECT_NEAR(actual.y, expected.y, kTolerance);
    EXPECT_NEAR(actual.width, expected.width, kTolerance);
    EXPECT_NEAR(actual.height, expected.height, kTolerance);
}

// A landscape 200 × 100 page drawn into a 400 × 400 square. The page's top-left corner
// (0, 100) shows where the page turned: /Rotate turns it clockwise.
struct RotationCase {
    int pageRotation;
    int extraRotation;
    PdfRect displayed;  // the page's area in the (y-up) view
    PdfPoint topLeft;   // where the page's own top-left corner lands
    float padding;
};

class DrawingTransformRotation : public ::testing::TestWithParam<RotationCase> {};

TEST_P(DrawingTransformRotation, turnsScalesAndCentresThePage) {
    const RotationCase& c = GetParam();
    const PdfRect box{0, 0, 200, 100};
    const PdfRect dest{0, 0, 400, 400};
    const PdfAffineTransform t = VXPDFTransform::myPageGetDrawingTransform(
        box, c.pageRotation, dest, c.extraRotation, true, VXPDFTransform::kOrientationCentered);
    expectRectNear(t.apply(box), c.displayed);
    const PdfPoint corner = t.apply(PdfPoint{0, 100});
    EXPECT_NEAR(corner.x, c.topLeft.x, kTolerance);
    EXPECT_NEAR(corner.y, c.topLeft.y, kTolerance);
    EXPECT_FLOAT_EQ(
        VXPDFTransform::getPagePadding(box, c.pageRotation, dest, c.extraRotation, true),
        c.padding);
}

INSTANTIATE_TEST_SUITE_P(
    Rotations, DrawingTransformRotation,
    ::testing::Values(
        // Upright: scale 2, 400 × 200 centred vertically, no horizontal room.
        RotationCase{0, 0, {0, 100, 400, 200}, {0, 300}, 0.0f},
        // A quarter turn swaps width and height: 200 × 400 with 100 points each side.
        RotationCase{90, 0, {100, 0, 200, 400}, {300, 400}, 100.0f},
        RotationCase{180, 0, {0, 100, 400, 200}, {400, 100}, 0.0f},
        RotationCase{270, 0, {100, 0, 200, 400}, {100, 0}, 100.0f},
        // Negative and above 359 reduce modulo 360.
        RotationCase{-90, 0, {100, 0, 200, 400}, {100, 0}, 100.0f},
        RotationCase{450, 0, {100, 0, 200, 400}, {300, 400}, 100.0f},
        // The extra rotation adds to the page's own.
        RotationCase{90, 90, {0, 100, 400, 200}, {400, 100}, 0.0f},
        RotationCase{0, -90, {100, 0, 200, 400}, {100, 0}, 100.0f}));

TEST(VXPDFTransform, keepsTheAspectRatioOnlyWhenAsked) {
    const PdfRect box{0, 0, 200, 100};
    const PdfRect dest{0, 0, 400, 400};
    const auto stretched = VXPDFTransform::myPageGetDrawingTransform(box, 0, dest, 0, false, 2);
    expectRectNear(stretched.apply(box), dest);
    EXPECT_NEAR(stretched.a, 2.0, 1e-6);
    EXPECT_NEAR(stretched.d, 4.0, 1e-6);

    const auto kept = VXPDFTransform::myPageGetDrawingTransform(box, 0, dest, 0, true, 2);
    EXPECT_NEAR(kept.a, kept.d, 1e-6);

    // Without the aspect kept the padding uses the horizontal scale: the page fills the width.
    EXPECT_FLOAT_EQ(VXPDFTransform::getPagePadding(box, 90, dest, 0, false), 0.0f);
    EXPECT_FLOAT_EQ(VXPDFTransform::getPagePadding(box, 90, dest, 0, true), 100.0f);
}

TEST(VXPDFTransform, pushesThePageToTheEdgeItsOrientationCodeNames) {
    // A portrait 100 × 200 page in a 400 × 400 slot leaves 100 points each side.
    const PdfRect box{0, 0, 100, 200};
    const PdfRect dest{0, 0, 400, 400};
    struct Case {
        int orientation;
        double left;
    } cases[] = {{0, 0}, {1, 200}, {2, 100}, {3, 100}, {4, 100}, {-1, 100}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.orientation);
        const auto t =
            VXPDFTransform::myPageGetDrawingTransform(box, 0, dest, 0, true, c.orientation);
        expectRectNear(t.apply(box), {c.left, 0, 200, 400});
    }
}

TEST(VXPDFTransform, centresABoxThatDoesNotStartAtTheOriginInAnOffsetTarget) {
    const PdfRect box{50, 60, 200, 100};
    const PdfRect dest{10, 20, 100, 100};
    const auto t = VXPDFTransform::myPageGetDrawingTransform(box, 0, dest, 0, true, 2);
    expectRectNear(t.apply(box), {10, 45, 100, 50});
    // Corners written the other way round describe the same box.
    const auto swapped =
        VXPDFTransform::myPageGetDrawingTransform({250, 160, -200, -100}, 0, dest, 0, true, 2);
    expectRectNear(swapped.apply(box), {10, 45, 100, 50});
}

TEST(VXPDFTransform, usesTheSinglePrecisionPi) {
    // cos(π/2) with π = 3.1415927 is not exactly zero; the drawing transform keeps that.
    const auto t =
        VXPDFTransform::myPageGetDrawingTransform({0, 0, 1, 1}, 90, {0, 0, 1, 1}, 0, true, 2);
    EXPECT_DOUBLE_EQ(t.a, std::cos(-90 * 3.1415927 / 180));
    EXPECT_NE(t.a, 0.0);
}

TEST(VXPDFTransform, normalizesAnglesIntoZeroTo359) {
    const std::pair<int, int> cases[] = {{0, 0},      {90, 90}, {-90, 270}, {450, 90},
                                         {-450, 270}, {360, 0}, {720, 0},   {-180, 180}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(VXPDFTransform::normalizedAngle(in), out) << in;
    }
}

TEST(VXPDFTransform, scaledPageRectSwapsAtAQuarterTurnAndFitsWithSinglePrecisionCeilings) {
    const PdfRect letter{0, 0, 612, 792};
    // No target: the rotated box itself (-90 is 270: width and height swap).
    expectRectNear(VXPDFTransform::scaledPageRect(letter, -90, {}), {0, 0, 792, 612});
    expectRectNear(VXPDFTransform::scaledPageRect(letter, 180, {}), letter);

    // 151 × (100 / 151) is a hair above 100 in double precision; in single precision it is 100.
    const PdfRect fitted = VXPDFTransform::scaledPageRect({0, 0, 80, 151}, 90, {0, 0, 100, 100});
    EXPECT_EQ(fitted.width, 100);
    EXPECT_EQ(fitted.height, 53);  // ceil(80 × 0.6622…) = ceil(52.98)
    EXPECT_EQ(fitted.x, 0);
    EXPECT_EQ(fitted.y, 23.5);

    // Origin relative to the target: centred inside it, whatever the target's own origin.
    const PdfRect inOffsetTarget =
        VXPDFTransform::scaledPageRect({0, 0, 100, 50}, 0, {500, 500, 300, 300});
    expectRectNear(inOffsetTarget, {0, 75, 300, 150});
}

}  // namespace
}  // namespace pagewell
