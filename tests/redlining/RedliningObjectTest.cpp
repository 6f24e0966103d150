#include <cairo.h>
#include <gtest/gtest.h>

#include <cmath>

#include "platform/KeyedArchiver.h"
#include "redlining/RedliningArchive.h"
#include "redlining/RedliningImage.h"
#include "redlining/VXRedliningCircleObject.h"
#include "redlining/VXRedliningImageObject.h"
#include "redlining/VXRedliningLineObject.h"
#include "redlining/VXRedliningRectObject.h"
#include "redlining/VXRedliningStateManager.h"
#include "redlining/VXRedliningTextObject.h"

namespace pagewell {
namespace {

const RedliningRect kOverlay{0, 0, 400, 600};

std::shared_ptr<VXRedliningObject> stroke(const std::vector<RedliningPoint>& points) {
    std::shared_ptr<VXRedliningObject> object = VXRedliningObject::create(0, kOverlay);
    for (std::size_t i = 0; i < points.size(); ++i) {
        object->performDrawOperation(points[i], i == 0 ? VXRedliningObject::Began
                                                : i + 1 == points.size()
                                                    ? VXRedliningObject::Ended
                                                    : VXRedliningObject::Changed);
    }
    return object;
}

std::shared_ptr<VXRedliningObject> shape(int type, RedliningPoint from, RedliningPoint to) {
    std::shared_ptr<VXRedliningObject> object = VXRedliningObject::create(type, kOverlay);
    object->performDrawOperation(from, VXRedliningObject::Began);
    object->performDrawOperation(to, VXRedliningObject::Changed);
    object->performDrawOperation(to, VXRedliningObject::Ended);
    return object;
}

class RedliningObjectTest : public ::testing::Test {
  protected:
    void SetUp() override { VXRedliningStateManager::getInstance().resetToDefaultState(); }
    void TearDown() override { VXRedliningStateManager::getInstance().resetToDefaultState(); }
};

TEST_F(RedliningObjectTest, StrokeBuilderMakesOneSegmentPerFourMovesAndDropsTheTail) {
    // Began plus four changes give one cubic segment; a shorter stroke draws nothing.
    auto five = stroke({{0, 0}, {10, 0}, {20, 0}, {30, 0}, {40, 0}, {40, 0}});
    ASSERT_TRUE(five->path());
    ASSERT_EQ(five->path()->elements().size(), 2u);
    EXPECT_EQ(five->path()->elements()[1].kind, RedliningPath::Kind::Cubic);
    EXPECT_EQ(five->path()->elements()[1].points[2], (RedliningPoint{30, 0}));  // between 2 and 4
    EXPECT_TRUE(five->drawsSomething());

    auto three = stroke({{0, 0}, {10, 0}, {20, 0}});
    EXPECT_FALSE(three->drawsSomething());
    EXPECT_FALSE(three->pathHitTest({10, 0}));

    // A tap with the rectangle tool has no size; a flat rectangle is still a line one can hit.
    EXPECT_FALSE(shape(3, {50, 50}, {50, 50})->drawsSomething());
    EXPECT_TRUE(shape(2, {50, 50}, {90, 50})->drawsSomething());
}

TEST_F(RedliningObjectTest, HitTestReachesFivePointsAroundTheTouch) {
    auto line = shape(3, {100, 100}, {200, 200});  // a 2-point-wide outline
    struct Case {
        RedliningPoint touch;
        bool hit;
    };
    const Case cases[] = {
        {{100, 150}, true},   // on the left edge
        {{95, 150}, true},    // 5 beside
        {{94, 150}, false},   // 6 beside: one past the reach plus half the line width
        {{150, 150}, false},  // inside, far from the outline
        {{150, 205}, true},   // 5 below the bottom edge
        {{500, 500}, false},  // out of reach, rejected by the bounds
    };
    for (const auto& c : cases) {
        EXPECT_EQ(line->pathHitTest(c.touch), c.hit) << c.touch.x << "," << c.touch.y;
    }
    // Moved objects are hit where they are shown.
    line->translateLayerWithSize(300, 0);
    EXPECT_FALSE(line->pathHitTest({100, 150}));
    EXPECT_TRUE(line->pathHitTest({400, 150}));
}

TEST_F(RedliningObjectTest, RotatedObjectRescaledToDoubleWidthAndBackKeepsItsFrame) {
    auto rect = shape(3, {10, 20}, {110, 70});
    rect->rotateLayerWithRadians(M_PI / 2);
    rect->translateLayerWithSize(5, 7);
    RedliningRect frame = rect->frame();
    RedliningTransform transform = rect->transform();
    ASSERT_TRUE(rect->scaleToFrame({0, 0, 800, 600}));
    EXPECT_EQ(rect->frame().width, frame.width * 2);
    ASSERT_TRUE(rect->scaleToFrame({0, 0, 400, 600}));
    EXPECT_EQ(rect->frame(), frame);
    EXPECT_NEAR(rect->transform().tx, transform.tx, 1e-9);
    EXPECT_NEAR(rect->rotation(), M_PI / 2, 1e-9);

    // Factors that are not finite and above zero leave the object alone.
    for (RedliningRect bad : {RedliningRect{0, 0, 0, 600}, RedliningRect{0, 0, NAN, 600},
                              RedliningRect{0, 0, INFINITY, 600}}) {
        EXPECT_FALSE(rect->scaleToFrame(bad));
        EXPECT_EQ(rect->frame(), frame);
    }
    auto zeroFrame = shape(3, {10, 20}, {110, 70});
    zeroFrame->setFrame({});
    EXPECT_FALSE(zeroFrame->scaleToFrame({0, 0, 800, 600}));
    auto zeroOld = shape(3, {10, 20}, {110, 70});
    zeroOld->setSuperLayerFrame({});
    EXPECT_FALSE(zeroOld->scaleToFrame({0, 0, 800, 600}));  // 0/0
}

TEST_F(RedliningObjectTest, ArchiveRoundTripKeepsStyleTransformAndPage) {
    auto& state = VXRedliningStateManager::getInstance();
    state.setCurrentColor({0, 0.5, 1, 1});
    state.setCurrentLineWidth(14);
    state.setCurrentAlphaValue(0.4);
    state.setCurrentLineDashPattern({14, 7});
    state.setCurrentText("Gr\u00fc\u00dfe");
    RedliningPageMap pages;
    pages[0].push_back(stroke({{0, 0}, {10, 5}, {20, 0}, {30, 5}, {40, 0}, {50, 5}}));
    pages[0].push_back(shape(2, {10, 10}, {60, 40}));
    pages[3].push_back(shape(4, {10, 10}, {160, 80}));
    pages[0][1]->rotateLayerWithRadians(0.5);
    pages[0][1]->scaleLayerWithFactor(1.5);
    for (auto& [page, list] : pages) {
        for (auto& object : list) {
            object->setPage(page);
        }
    }
    std::string bytes = RedliningArchive::encode(pages);
    auto decoded = RedliningArchive::decode(bytes);
    ASSERT_TRUE(decoded.ok()) << decoded.error().toString();
    ASSERT_TRUE(decoded.value().complete());
    const auto& back = decoded.value().pages;
    ASSERT_EQ(back.size(), 2u);
    ASSERT_EQ(back.at(0).size(), 2u);
    const auto* ellipse = dynamic_cast<const VXRedliningCircleObject*>(back.at(0)[1].get());
    ASSERT_NE(ellipse, nullptr);
    EXPECT_EQ(ellipse->strokeColor(), (RedliningColor{0, 0.5, 1, 1}));
    EXPECT_EQ(ellipse->lineWidth(), 14);
    EXPECT_EQ(ellipse->opacity(), 0.4);
    EXPECT_EQ(ellipse->lineDashPattern(), (std::vector<double>{14, 7}));
    EXPECT_NEAR(ellipse->transform().a, pages[0][1]->transform().a, 1e-12);
    EXPECT_EQ(back.at(0)[0]->path()->elements().size(), pages[0][0]->path()->elements().size());
    const auto* text = dynamic_cast<const VXRedliningTextObject*>(back.at(3)[0].get());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(), "Gr\u00fc\u00dfe");
    EXPECT_EQ(text->frame(), (RedliningRect{10, 10, 150, 70}));
    EXPECT_EQ(back.at(3)[0]->page(), 3);
    // Saving again gives the same bytes: nothing is lost or invented on the way.
    EXPECT_EQ(RedliningArchive::encode(back), bytes);
}

// An archive the way the mobile app writes some values: grey colours, geometry inside value
// objects, a text view with an attributed string, an unknown object class.
TEST_F(RedliningObjectTest, ReadsPlatformValueFormsAndSkipsUnknownObjects) {
    KeyedArchiver a;
    a.beginObject({"UIColor", "NSObject"});
    a.encodeInteger("UIColorComponentCount", 2);
    a.encodeDouble("UIWhite", 0.5);
    a.encodeDouble("UIAlpha", 1);
    auto grey = a.endObject();
    a.beginObject({"NSValue", "NSObject"});
    a.encodeString("NS.rectval", "{{20, 30}, {100, 40}}");
    auto frameValue = a.endObject();
    a.beginObject({"NSString", "NSObject"});
    a.encodeString("NS.string", "hello");
    auto string = a.endObject();
    a.beginObject({"NSAttributedString", "NSObject"});
    a.encodeReference("NSString", string);
    auto attributed = a.endObject();
    a.beginObject({"UITextView", "UIView", "NSObject"});
    a.encodeReference("UIAttributedText", attributed);
    auto view = a.endObject();
    a.beginObject({"VXRedliningTextObject", "VXRedliningObject", "NSObject"});
    a.encodeReference("frame", frameValue);
    a.encodeReference("foregroundColor", grey);
    a.encodeReference("superTextView", view);
    a.encodeString("affineTransform", "[1, 0, 0, 1, nan, 0]");  // refused, default kept
    a.encodeDouble("page", 2);
    auto text = a.endObject();
    a.beginObject({"VXSomethingNew", "NSObject"});
    auto unknown = a.endObject();
    a.beginObject({"NSArray", "NSObject"});
    a.encodeReferences("NS.objects", {text, unknown, text});
    auto list = a.endObject();
    a.beginObject({"NSDictionary", "NSObject"});
    a.encodeReferences("NS.keys", {a.addInteger(2)});
    a.encodeReferences("NS.objects", {list});
    a.setRoot(a.endObject());

    auto decoded = RedliningArchive::decode(a.finish());
    ASSERT_TRUE(decoded.ok()) << decoded.error().toString();
    EXPECT_EQ(decoded.value().skipped, 2u);  // the unknown class and the second reference
    ASSERT_EQ(decoded.value().pages.at(2).size(), 1u);
    const auto* object =
        dynamic_cast<const VXRedliningTextObject*>(decoded.value().pages.at(2)[0].get());
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(object->text(), "hello");
    EXPECT_EQ(object->foregroundColor(), (RedliningColor{0.5, 0.5, 0.5, 1}));
    EXPECT_EQ(object->frame(), (RedliningRect{20, 30, 100, 40}));
    EXPECT_TRUE(object->transform().isIdentity());
    EXPECT_TRUE(object->pathHitTest({30, 40}));
}

TEST_F(RedliningObjectTest, PathDataRefusesMalformedRuns) {
    RedliningPath path;
    path.moveTo({1, 2});
    path.curveTo({3, 4}, {5, 6}, {7, 8});
    path.close();
    std::string data = path.encode();
    EXPECT_EQ(data.size(), 16u + 32u + 8u);
    EXPECT_EQ(RedliningPath::decode(data), path);
    std::string wrongCount = data;
    wrongCount[4] = 2;  // a move with two points
    std::string nan = data;
    nan.replace(8, 4, std::string("\x00\x00\xc0\x7f", 4));
    for (const std::string& bad : {data.substr(0, 20), wrongCount, nan,
                                   std::string("\x09\x00\x00\x00\x00\x00\x00\x00", 8)}) {
        EXPECT_FALSE(RedliningPath::decode(bad));
    }
}

std::string pngOfSize(int width, int height) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    std::string png;
    cairo_surface_write_to_png_stream(
        surface,
        [](void* closure, const unsigned char* data, unsigned int length) {
            static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
            return CAIRO_STATUS_SUCCESS;
        },
        &png);
    cairo_surface_destroy(surface);
    return png;
}

TEST_F(RedliningObjectTest, PicturesAreTurnedUprightAndBounded) {
    // A 4×2 picture with orientation 6 (turned a quarter) is stored 2×4.
    std::string png = pngOfSize(4, 2);
    auto upright = RedliningImage::prepare(png, 6);
    ASSERT_TRUE(upright.ok());
    auto size = RedliningImage::pixelSize(upright.value());
    ASSERT_TRUE(size);
    EXPECT_EQ(size->width, 2);
    EXPECT_EQ(size->height, 4);
    auto big = RedliningImage::pixelSize(RedliningImage::prepare(pngOfSize(6000, 10)).value());
    EXPECT_EQ(big->width, 3000);
    EXPECT_EQ(RedliningImage::prepare(png, 9).error().description, "Invalid image orientation");
    EXPECT_FALSE(RedliningImage::prepare("not a picture").ok());
    // A header claiming 100,000 × 100,000 pixels is refused before decoding.
    std::string bomb = png;
    bomb.replace(16, 8, std::string("\x00\x01\x86\xa0\x00\x01\x86\xa0", 8));
    EXPECT_EQ(RedliningImage::prepare(bomb).error().code, 2);
}

}  // namespace
}  // namespace pagewell
