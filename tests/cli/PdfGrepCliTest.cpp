// `pagewell pdf grep` and the multi-file `pdf render`, run as a user runs them, on small PDFs
// written by the fixture helper.

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "CliRunner.h"
#include "PdfFixture.h"
#include "TestSupport.h"

namespace pagewell {
namespace {

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        result.push_back(line);
    }
    return result;
}

class PdfGrepCliTest : public ::testing::Test {
  protected:
    // A PDF whose pages each show `text` once, set at (72, 700) in 12 pt, written to `name`
    // below the temporary directory (parents created). Every glyph of its font is 500 units
    // wide; the font reaches from 200 units below the baseline to 800 above.
    std::string writePdf(const std::string& name, const std::string& text, int pages = 1,
                         std::optional<int> rotate = {}) {
        test::PdfFixture fixture;
        const std::string font = fixture.addType1Font(
            "Helvetica",
            "/FontDescriptor << /Type /FontDescriptor /FontName /Helvetica /Flags 32 "
            "/FontBBox [0 -200 1000 800] /ItalicAngle 0 /Ascent 800 /Descent -200 "
            "/CapHeight 700 /StemV 80 /MissingWidth 500 >>");
        for (int i = 0; i < pages; ++i) {
            test::PdfFixturePage page("BT /F1 12 Tf 72 700 Td (" + text + ") Tj ET");
            page.resources = "<< /Font << /F1 " + font + " >> >>";
            page.rotate = rotate;
            fixture.addPage(page);
        }
        const auto path = directory.path() / name;
        std::filesystem::create_directories(path.parent_path());
        fixture.write(path);
        return path.string();
    }
    std::string writeFile(const std::string& name, const std::string& bytes) {
        const auto path = directory.path() / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    CliRun run(const std::vector<std::string>& args) {
        return runPagewell({}, args, {"NO_COLOR=1"});
    }

    TemporaryDirectory directory;
};

TEST_F(PdfGrepCliTest, PrintsFilesInTheOrderNamedWithWordsAroundEachHitAndItsPlace) {
    // The first file is by far the slowest: its results still come first.
    const auto big = writePdf("big.pdf", "the big one", 300);
    const auto small = writePdf("small.pdf", "Other words");
    const auto none = writePdf("none.pdf", "nothing here");
    const auto middle = writePdf("middle.pdf", "then again");
    auto result = run({"pdf", "grep", "the", big, small, none, middle});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const auto printed = lines(result.out);
    ASSERT_EQ(printed.size(), 302u);
    EXPECT_EQ(printed[0].rfind(big + ":1: the big one [x 72.0 y ", 0), 0u) << printed[0];
    EXPECT_EQ(printed[299].rfind(big + ":300: ", 0), 0u);
    EXPECT_EQ(printed[300].rfind(small + ":1: Other words [x ", 0), 0u) << printed[300];
    EXPECT_EQ(printed[301].rfind(middle + ":1: then again [x ", 0), 0u) << printed[301];
    // The rectangle is on the displayed page, from its top-left corner: 72 pt from the left;
    // the font's top 700 + 9.6 pt up a 792 pt page, so 82.4 pt from the top; three glyphs of
    // 6 pt; 12 pt high.
    EXPECT_EQ(printed[0].substr(printed[0].find('[')), "[x 72.0 y 82.4 w 18.0 h 12.0]");
}

TEST_F(PdfGrepCliTest, AFileThatFailsGetsOneLineAndTheOthersArePrinted) {
    const auto good = writePdf("good.pdf", "the good one");
    const auto broken = writeFile("broken.pdf", "%PDF-1.4\nthis is no PDF at all\n");
    const auto missing = (directory.path() / "missing.pdf").string();
    const auto last = writePdf("last.pdf", "the last one");
    auto result = run({"pdf", "grep", "the", good, broken, missing, last});
    EXPECT_EQ(result.exitCode, 3);
    const auto errors = lines(result.err);
    ASSERT_EQ(errors.size(), 2u) << result.err;
    EXPECT_EQ(errors[0].rfind("pagewell: " + broken + ": ", 0), 0u) << errors[0];
    EXPECT_EQ(errors[1], "pagewell: " + missing + ": No such file or directory");
    const auto printed = lines(result.out);
    ASSERT_EQ(printed.size(), 2u);
    EXPECT_EQ(printed[0].rfind(good + ":1: ", 0), 0u);
    EXPECT_EQ(printed[1].rfind(last + ":1: ", 0), 0u);
}

TEST_F(PdfGrepCliTest, RecursiveWalkTakesPdfNamesInOrderSkipsOthersAndSurvivesLinkLoops) {
    writePdf("tree/b.PDF", "the b");
    writePdf("tree/a.pdf", "the a");
    writePdf("tree/sub/c.pdf", "the c");
    writePdf("tree/sub/deeper/d.pdf", "the d");
    writeFile("tree/notes.txt", "the notes");
    writePdf("tree/renamed.bin", "the PDF without its name");
    ASSERT_EQ(::symlink("..", (directory.path() / "tree/sub/loop").c_str()), 0);
    ASSERT_EQ(::symlink("../a.pdf", (directory.path() / "tree/sub/link.pdf").c_str()), 0);
    const auto tree = (directory.path() / "tree").string();

    auto result = run({"pdf", "grep", "-r", "--count", "the", tree});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(lines(result.out),
              (std::vector<std::string>{tree + "/a.pdf:1", tree + "/b.PDF:1", tree + "/sub/c.pdf:1",
                                        tree + "/sub/deeper/d.pdf:1"}));

    // Without -r a folder is an error, as in grep.
    auto flat = run({"pdf", "grep", "the", tree});
    EXPECT_EQ(flat.exitCode, 3);
    EXPECT_EQ(flat.err, "pagewell: " + tree + ": Is a directory\n");
}

TEST_F(PdfGrepCliTest, CountsPerFileLikeGrepAndTellsWhenNothingWasFound) {
    const auto three = writePdf("three.pdf", "The theme of the day", 1);
    const auto none = writePdf("none.pdf", "nothing");
    auto counted = run({"pdf", "grep", "-c", "the", three, none});
    ASSERT_EQ(counted.exitCode, 0) << counted.err;
    EXPECT_EQ(counted.out, three + ":3\n" + none + ":0\n");
    // One file alone: the count only, as grep -c prints it.
    EXPECT_EQ(run({"pdf", "grep", "-c", "THE", three}).out, "3\n");

    auto nothing = run({"pdf", "grep", "absent", three, none});
    EXPECT_EQ(nothing.exitCode, 1);
    EXPECT_EQ(nothing.out, "");
    EXPECT_EQ(nothing.err, "");
}

TEST_F(PdfGrepCliTest, JsonHasOneSearchDocumentPerFileWithItsName) {
    const auto two = writePdf("two.pdf", "the end", 2);
    const auto broken = writeFile("broken.pdf", "not a PDF");
    auto result = run({"--json", "pdf", "grep", "the", two, broken});
    EXPECT_EQ(result.exitCode, 3);
    const auto document = nlohmann::json::parse(result.out);
    ASSERT_EQ(document["files"].size(), 2u);
    const auto& first = document["files"][0];
    EXPECT_EQ(first["file"], two);
    EXPECT_EQ(first["keyword"], "the");
    ASSERT_EQ(first["pages"].size(), 2u);
    EXPECT_EQ(first["pages"][1]["page"], 2);
    const auto& hit = first["pages"][0]["hits"][0];
    for (const char* key : {"x", "y", "width", "height"}) {
        EXPECT_TRUE(hit[key].is_number()) << key;
    }
    EXPECT_EQ(hit["transform"].size(), 6u);
    // The same document `pdf search --json` prints for that file, with "file" added.
    auto single = nlohmann::json::parse(run({"--json", "pdf", "search", two, "the"}).out);
    single["file"] = two;
    EXPECT_EQ(first, single);
    EXPECT_EQ(document["files"][1]["file"], broken);
    EXPECT_TRUE(document["files"][1]["error"]["message"].is_string());

    auto counted = nlohmann::json::parse(run({"--json", "pdf", "grep", "-c", "the", two}).out);
    EXPECT_EQ(counted["files"][0]["count"], 2);
}

TEST_F(PdfGrepCliTest, SearchShowsWordsAroundHitsAndWhereTheyAreOnARotatedPage) {
    // A page turned a quarter clockwise: its left edge is at the top. Text set from (72, 700)
    // in the user space of a 612 × 792 page runs down the 792 × 612 displayed page, 700 pt from
    // its left edge, starting 72 pt from the top.
    const auto turned = writePdf("turned.pdf", "see the turn", 1, 90);
    auto result = run({"pdf", "search", turned, "turn"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const auto printed = lines(result.out);
    ASSERT_EQ(printed.size(), 3u) << result.out;
    EXPECT_EQ(printed[0], "page 1: 1 hit");
    EXPECT_EQ(printed[1].rfind("  see the turn [x ", 0), 0u) << printed[1];
    // "turn" begins after the 8 glyphs of "see the " (48 pt) and runs 4 glyphs (24 pt) down;
    // across, the font reaches from 700 − 2.4 to 700 + 9.6 pt.
    EXPECT_EQ(printed[1].substr(printed[1].find('[')), "[x 697.6 y 120.0 w 12.0 h 24.0]");
}

TEST_F(PdfGrepCliTest, RenderDrawsManyFilesIntoAFolderUnderSafeNames) {
    const auto first = writePdf("a/x y.pdf", "one");
    const auto second = writePdf("b/x y.pdf", "two");
    const auto broken = writeFile("c/broken.pdf", "not a PDF");
    const auto out = directory.path() / "out";
    auto result = run({"pdf", "render", first, broken, second, "--page", "1", "--width", "60", "-o",
                       out.string()});
    EXPECT_EQ(result.exitCode, 3);
    const auto errors = lines(result.err);
    ASSERT_EQ(errors.size(), 1u) << result.err;
    EXPECT_EQ(errors[0].rfind("pagewell: " + broken + ": ", 0), 0u);
    EXPECT_TRUE(std::filesystem::is_regular_file(out / "x_y-1.png"));
    EXPECT_TRUE(std::filesystem::is_regular_file(out / "x_y-1_2.png"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out),
                            std::filesystem::directory_iterator()),
              2);
    EXPECT_EQ(lines(result.out).size(), 2u);

    // One file with a file name: the single form as before.
    const auto single = (directory.path() / "single.png").string();
    auto alone = run({"pdf", "render", first, "--page", "1", "-o", single});
    EXPECT_EQ(alone.exitCode, 0) << alone.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(single));
}

}  // namespace
}  // namespace pagewell
