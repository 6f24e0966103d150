#include <cairo.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <csignal>

#include "CmsCliTest.h"
#include "PagewellProcess.h"
#include "TestCatalogue.h"
#include "TestSupport.h"
#include "cms/CmsServer.h"
#include "cms/DemoPdf.h"
#include "platform/FileSystem.h"
#include "store/Database.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

namespace pagewell::cli {
namespace {

constexpr const char* kAppSecret = "cli-annotate-secret";

// `pagewell annotate` on the test catalogue's Pump guide (100), downloaded and then replaced
// on the device by a two-page demo brochure, so that the pages are real.
class AnnotateCliTest : public CmsCliTest {
  protected:
    std::filesystem::path brochure_;
    void SetUp() override {
        std::filesystem::path catalogue = home.path() / "catalogue";
        nlohmann::json manifest = cms::test::testManifest();
        manifest["files"][1]["thumbnail"] = "thumbs/guide.png";
        cms::test::writeTestCatalogue(catalogue, manifest);
        cms::CmsServerOptions options;
        ASSERT_TRUE(serve(catalogue, kAppSecret, options));
        environment.push_back("PAGEWELL_LOCK_WAIT_MS=200");
    }

    void downloadBrochure(bool rotatedAndCropped = false) {
        signIn("demo", "demo");
        // `pagewell run --now` imports the catalogue and fetches every file.
        PagewellProcess running(data(), withConfig({"run", "--now"}), environment);
        ASSERT_TRUE(running.waitForLine("Synchronisation finished")) << running.err();
        running.signal(SIGTERM);
        ASSERT_EQ(running.wait(), 0) << running.err();
        auto database = Database::open(storePath(), Database::Options{15'000, true});
        ASSERT_TRUE(database.ok());
        auto statement = database.value()->prepare("SELECT filePath FROM File WHERE cmsID = 100");
        ASSERT_TRUE(statement.ok() && statement.value()->step().valueOr(false));
        cms::DemoBrochure brochure;
        brochure.title = "Pumps";
        brochure.sections = {"Overview"};
        if (rotatedAndCropped) {
            brochure.rotatedPage = 2;
        }
        std::filesystem::path local = data() / statement.value()->text(0).substr(1);
        brochure_ = local;
        std::filesystem::remove(local);
        auto written = cms::DemoPdf::writeBrochure(local, brochure);
        ASSERT_TRUE(written.ok()) << local << ": " << written.error().toString();
        if (rotatedAndCropped) {
            // A visible box that does not start at the origin.
            QPDF pdf;
            pdf.processFile(local.c_str());
            auto page = QPDFPageDocumentHelper(pdf).getAllPages()[1];
            ASSERT_EQ(page.getAttribute("/Rotate", false).getIntValue(), 90);
            auto media = page.getMediaBox().getArrayAsRectangle();
            page.getObjectHandle().replaceKey(
                "/CropBox", QPDFObjectHandle::newFromRectangle(QPDFObjectHandle::Rectangle(
                                media.llx + 40, media.lly + 25, media.urx - 10, media.ury - 30)));
            QPDFWriter writer(pdf, (local.string() + ".new").c_str());
            writer.write();
            std::filesystem::rename(local.string() + ".new", local);
        }
    }
};

TEST_F(AnnotateCliTest, DrawsListsErasesAndUndoesWithExitCodesForBadInput) {
    EXPECT_EQ(run({"annotate", "100", "list"}).exitCode, 4);  // nobody signed in
    downloadBrochure();

    EXPECT_EQ(json({"annotate", "100", "list"})["pages"], nlohmann::json::array());
    auto added = json({"annotate", "100", "--page", "2", "add", "rect", "100,100", "200,150",
                       "--color", "#0000FF"});
    EXPECT_EQ(added["pages"], nlohmann::json({2}));
    EXPECT_EQ(added["indices"], nlohmann::json({0}));
    // Five touch points make one curve segment.
    json({"annotate", "100", "--page", "2", "add", "pen", "50,300", "60,310", "70,300", "80,310",
          "90,300"});

    auto listed = json({"annotate", "100", "list"});
    ASSERT_EQ(listed["pages"].size(), 1u);
    const auto& objects = listed["pages"][0]["objects"];
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(objects[0]["kind"], "rect");
    EXPECT_EQ(objects[0]["color"], "#0000FFFF");
    EXPECT_EQ(objects[1]["kind"], "stroke");
    EXPECT_EQ(objects[0]["dash"], nullptr);
    EXPECT_NEAR(objects[0]["bounds"][0].get<double>(), 99, 1e-6);
    EXPECT_TRUE(listed["canUndo"].get<bool>());
    EXPECT_EQ(
        json({"annotate", "100", "--page", "2", "list", "--at", "100,125"})["pages"][0]["objects"]
            .size(),
        1u);

    // The set drawn over the page: the rectangle's blue outline where it was put.
    auto setFile = data() / "Documents" / "redlining" / "100_demo.redlining.plist";
    auto png = home.path() / "page.png";
    auto rendered = json({"pdf", "render", brochure_.string(), "--page", "2", "--annotations",
                          setFile.string(), "-o", png.string()});
    EXPECT_EQ(rendered["annotations"], 2);
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS);
    double scale = cairo_image_surface_get_width(image) / rendered["width"].get<double>();
    auto pixel = [&](double x, double y) {
        const auto* row = cairo_image_surface_get_data(image) +
                          static_cast<int>(y * scale) * cairo_image_surface_get_stride(image);
        return reinterpret_cast<const std::uint32_t*>(row)[static_cast<int>(x * scale)];
    };
    EXPECT_EQ(pixel(100, 125) & 0x00FFFFFF, 0x0000FFu);
    EXPECT_NE(pixel(150, 125) & 0x00FFFFFF, 0x0000FFu);
    cairo_surface_destroy(image);
    // By id the user's own set is drawn, unless left out.
    auto byId = home.path() / "by-id.png";
    EXPECT_EQ(
        json({"pdf", "render", "--id", "100", "--page", "2", "-o", byId.string()})["annotations"],
        2);
    auto plain = json(
        {"pdf", "render", "--id", "100", "--page", "2", "--no-annotations", "-o", byId.string()});
    EXPECT_FALSE(plain.contains("annotations"));

    json({"annotate", "100", "--page", "2", "erase", "--at", "100,125"});
    EXPECT_EQ(json({"annotate", "100", "list"})["pages"][0]["objects"].size(), 1u);
    json({"annotate", "100", "undo"});
    EXPECT_EQ(json({"annotate", "100", "list"})["pages"][0]["objects"].size(), 2u);
    json({"annotate", "100", "redo"});
    EXPECT_EQ(json({"annotate", "100", "list"})["pages"][0]["objects"].size(), 1u);
    auto moved = json({"annotate", "100", "--page", "2", "move", "0", "--by", "10,5"});
    EXPECT_EQ(moved["indices"], nlohmann::json({0}));
    EXPECT_EQ(json({"annotate", "100", "list"})["pages"][0]["objects"][0]["transform"][4], 10);

    struct Case {
        std::vector<std::string> args;
        int exit;
    };
    const Case cases[] = {
        {{"annotate", "100", "--page", "2", "add", "pen", "1,1", "2,2", "3,3"}, 2},
        {{"annotate", "100", "--page", "2", "add", "rect", "nan,1", "5,5"}, 2},
        {{"annotate", "100", "--page", "2", "add", "rect", "5,5", "5,5"}, 1},  // shows nothing
        {{"annotate", "100", "--page", "9", "list"}, 1},
        {{"annotate", "100", "--page", "2", "erase", "7"}, 1},
        {{"annotate", "100", "--page", "2", "scale", "0", "--by", "0"}, 2},
        {{"annotate", "100", "add", "image", "1,1", "50,50", "--image", "/etc/hostname"}, 1},
        {{"annotate", "101", "list"}, 1},  // not on this device
    };
    for (const auto& c : cases) {
        CliRun result = run(c.args);
        EXPECT_EQ(result.exitCode, c.exit) << ::testing::PrintToString(c.args) << result.err;
    }

    // The history follows the file; drawings changed elsewhere drop it with a note.
    ASSERT_TRUE(std::filesystem::exists(setFile));
    std::string saved = FileSystem::readFile(setFile).value();
    json({"annotate", "100", "--page", "2", "add", "ellipse", "300,300", "350,340"});
    ASSERT_TRUE(FileSystem::writeFileAtomically(setFile, saved).ok());
    CliRun dropped = run({"annotate", "100", "undo"});
    EXPECT_EQ(dropped.exitCode, 1);
    EXPECT_NE(dropped.err.find("undo history was dropped"), std::string::npos) << dropped.err;
}

// The colour at a point of a page as shown (points), in a PNG drawn at `width` points wide.
std::uint32_t pixelAt(const std::filesystem::path& png, double width, double x, double y) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(png.c_str());
    double scale = cairo_image_surface_get_width(image) / width;
    const auto* row = cairo_image_surface_get_data(image) +
                      static_cast<int>(y * scale) * cairo_image_surface_get_stride(image);
    std::uint32_t value = reinterpret_cast<const std::uint32_t*>(row)[static_cast<int>(x * scale)];
    cairo_surface_destroy(image);
    return value & 0x00FFFFFF;
}

TEST_F(AnnotateCliTest, ExportBurnsDrawingsInWhereTheyAreShownOnATurnedCroppedPage) {
    downloadBrochure(true);
    json({"annotate", "100", "--page", "2", "add", "rect", "60,40", "160,90", "--color", "#0000FF",
          "--width", "4"});
    auto setFile = data() / "Documents" / "redlining" / "100_demo.redlining.plist";
    auto before = home.path() / "before.png";
    auto shown = json({"pdf", "render", brochure_.string(), "--page", "2", "--annotations",
                       setFile.string(), "-o", before.string()});
    auto out = home.path() / "out.pdf";
    auto exported = json({"annotate", "100", "export", "-o", out.string()});
    EXPECT_EQ(exported["annotatedPages"], nlohmann::json({2}));
    EXPECT_EQ(exported["mode"], "burned-in");
    auto after = home.path() / "after.png";
    auto drawn = json({"pdf", "render", out.string(), "--page", "2", "-o", after.string()});
    EXPECT_EQ(drawn["width"], shown["width"]);
    double width = shown["width"].get<double>();
    for (auto [x, y] : {std::pair{60.0, 65.0}, {160.0, 65.0}, {110.0, 40.0}}) {
        EXPECT_EQ(pixelAt(before, width, x, y), 0x0000FFu) << x << "," << y;
        EXPECT_EQ(pixelAt(after, width, x, y), 0x0000FFu) << x << "," << y;
    }
    EXPECT_NE(pixelAt(after, width, 110, 65), 0x0000FFu);

    // As annotations: one Square annotation on page 2, drawn in the same place.
    auto annotated = home.path() / "annotated.pdf";
    auto asAnnotations =
        json({"annotate", "100", "export", "--as-annotations", "-o", annotated.string()});
    EXPECT_EQ(asAnnotations["mode"], "annotations");
    {
        QPDF pdf;
        pdf.processFile(annotated.c_str());
        auto annots =
            QPDFPageDocumentHelper(pdf).getAllPages()[1].getObjectHandle().getKey("/Annots");
        ASSERT_TRUE(annots.isArray());
        ASSERT_EQ(annots.getArrayNItems(), 1);
        EXPECT_EQ(annots.getArrayItem(0).getKey("/Subtype").getName(), "/Square");
    }
    auto annotatedPng = home.path() / "annotated.png";
    json({"pdf", "render", annotated.string(), "--page", "2", "-o", annotatedPng.string()});
    for (auto [x, y] : {std::pair{60.0, 65.0}, {160.0, 65.0}, {110.0, 40.0}}) {
        EXPECT_EQ(pixelAt(annotatedPng, width, x, y), 0x0000FFu) << x << "," << y;
    }
    // The text of the page is still text.
    EXPECT_EQ(run({"pdf", "text", out.string(), "--page", "2"}).exitCode, 0);
}

}  // namespace
}  // namespace pagewell::cli
