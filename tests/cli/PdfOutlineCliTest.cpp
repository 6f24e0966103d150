// `pagewell pdf outline` as a user runs it, on small PDFs written by the fixture helper.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "CliRunner.h"
#include "PdfFixture.h"
#include "TestSupport.h"

namespace pagewell {
namespace {

class PdfOutlineCliTest : public ::testing::Test {
  protected:
    CliRun run(const std::vector<std::string>& args) {
        return runPagewell({}, args, {"NO_COLOR=1"});
    }
    TemporaryDirectory directory;
};

TEST_F(PdfOutlineCliTest, PrintsTitlesLevelsAndPagesOrNullWithoutAnOutline) {
    test::PdfFixture fixture;
    fixture.addPage(test::PdfFixturePage(""));
    fixture.addPage(test::PdfFixturePage(""));
    const std::string child =
        fixture.addObject("<< /Title <FEFF0050006100720074001B005B0032004A> /Dest [" +
                          fixture.pageReference(2) + " /Fit] >>");
    const std::string top = fixture.addObject("<< /Title (Intro) /First " + child + " /Dest [" +
                                              fixture.pageReference(1) + " /Fit] >>");
    fixture.setCatalogEntry("Outlines", fixture.addObject("<< /First " + top + " >>"));
    const auto withOutline = (directory.path() / "outline.pdf").string();
    fixture.write(withOutline);
    test::PdfFixture plain;
    plain.addPage(test::PdfFixturePage(""));
    const auto withoutOutline = (directory.path() / "plain.pdf").string();
    plain.write(withoutOutline);

    auto text = run({"pdf", "outline", withOutline});
    ASSERT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out.find('\033'), std::string::npos) << "control characters reach the terminal";
    EXPECT_NE(text.out.find("Intro  1\n  Part"), std::string::npos) << text.out;

    auto json = run({"--json", "pdf", "outline", withOutline});
    ASSERT_EQ(json.exitCode, 0) << json.err;
    EXPECT_EQ(nlohmann::json::parse(json.out),
              nlohmann::json::parse(R"([{"title": "Intro", "level": 0, "page": 1},
                                        {"title": "Part\u001b[2J", "level": 1, "page": 2}])"));

    auto none = run({"--json", "pdf", "outline", withoutOutline});
    ASSERT_EQ(none.exitCode, 0) << none.err;
    EXPECT_TRUE(nlohmann::json::parse(none.out).is_null());

    auto missing = run({"pdf", "outline", (directory.path() / "gone.pdf").string()});
    EXPECT_EQ(missing.exitCode, 1);
}

}  // namespace
}  // namespace pagewell
