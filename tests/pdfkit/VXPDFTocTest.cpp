#include "pdfkit/VXPDFToc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "PdfFixture.h"
#include "pdfkit/PdfDocumentHandle.h"

namespace pagewell {
namespace {

// Three pages; outline items are added by the tests and hung under /Outlines.
class VXPDFTocTest : public ::testing::Test {
  protected:
    VXPDFTocTest() {
        for (int i = 0; i < 3; ++i) {
            fixture.addPage(test::PdfFixturePage(""));
        }
    }

    std::string item(const std::string& entries) {
        return fixture.addObject("<< " + entries + " >>");
    }

    std::optional<std::vector<VXPDFTocEntry>> outline(const std::string& first) {
        const std::string outlines =
            fixture.addObject("<< /Type /Outlines /First " + first + " >>");
        fixture.setCatalogEntry("Outlines", outlines);
        handle = fixture.open();
        return VXPDFToc(handle).getTOC();
    }

    test::PdfFixture fixture;
    std::shared_ptr<PdfDocumentHandle> handle;
};

TEST_F(VXPDFTocTest, listsItemsDepthFirstWithLevelsAndEveryTargetForm) {
    const std::string dests =
        fixture.addObject("<< /Names [(chapter) [" + fixture.pageReference(3) + " /Fit]] >>");
    fixture.setCatalogEntry("Names", "<< /Dests " + dests + " >>");
    const std::string last = item("/Title (Index) /A << /S /URI /URI (http://x) >>");
    const std::string grandchild =
        item("/Title (Deep) /A << /S /GoTo /D [" + fixture.pageReference(2) + " /XYZ 0 0 0] >>");
    const std::string sibling = item("/Title (Named) /Dest (chapter)");
    const std::string child = item("/Title (Child) /Dest [" + fixture.pageReference(1) +
                                   " /Fit] /First " + grandchild + " /Next " + sibling);
    const std::string top = item("/Title <FEFF00C400DF> /A << /S /GoTo /D (chapter) >> /First " +
                                 child + " /Next " + last);
    const std::vector<VXPDFTocEntry> expected{
        {"\u00c4\u00df", 0, 3}, {"Child", 1, 1}, {"Deep", 2, 2}, {"Named", 1, 3}, {"Index", 0, -1}};
    EXPECT_EQ(outline(top), expected);
}

TEST_F(VXPDFTocTest, visitsEachItemOnceWhenNextOrFirstLoopsBack) {
    const std::string second = item("/Title (Second)");
    const std::string first = item("/Title (First) /Next " + second);
    fixture.replaceObject(second,
                          "<< /Title (Second) /Next " + first + " /First " + second + " >>");
    const std::vector<VXPDFTocEntry> expected{{"First", 0, -1}, {"Second", 0, -1}};
    EXPECT_EQ(outline(first), expected);
}

TEST_F(VXPDFTocTest, anItemWithoutTitleEndsItsChainOfSiblings) {
    const std::string hidden = item("/Title (Hidden)");
    const std::string untitled = item("/Next " + hidden);
    const std::string top =
        item("/Title (Top) /First " + untitled + " /Next " + item("/Title (After)"));
    const std::vector<VXPDFTocEntry> expected{{"Top", 0, -1}, {"After", 0, -1}};
    EXPECT_EQ(outline(top), expected);
}

TEST_F(VXPDFTocTest, noOutlineOrNoPagesGivesNone) {
    handle = fixture.open();
    EXPECT_FALSE(VXPDFToc(handle).getTOC());
    EXPECT_FALSE(VXPDFToc(nullptr).getTOC());
}

TEST_F(VXPDFTocTest, tellsTheDelegateOfEachEntryAndStopsWhenCancelled) {
    const std::string third = item("/Title (C)");
    const std::string second = item("/Title (B) /Next " + third);
    const std::string first = item("/Title (A) /Next " + second);
    fixture.setCatalogEntry("Outlines", fixture.addObject("<< /First " + first + " >>"));
    handle = fixture.open();
    std::vector<std::string> told;
    VXPDFToc* running = nullptr;
    VXPDFToc toc(handle, [&](const VXPDFTocEntry& entry) {
        told.push_back(entry.title);
        if (told.size() == 2) {
            running->cancel();
        }
    });
    running = &toc;
    const auto entries = toc.getTOC();
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u);
    EXPECT_EQ(told, (std::vector<std::string>{"A", "B"}));
}

}  // namespace
}  // namespace pagewell
