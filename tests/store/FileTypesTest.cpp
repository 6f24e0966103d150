#include "store/FileTypes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pagewell {
namespace {

TEST(FileTypesTest, ExtensionOfTheAddressPath) {
    const struct {
        const char* url;
        const char* extension;
    } cases[] = {
        {"/files/12/Brochure.PDF", "pdf"},
        {"https://cms.example/files/plan.dwg?token=abc#page=2", "dwg"},
        {"https://cms.example/download?file=a.pdf", ""},  // the query is not the path
        {"https://cms.example/files/archive.tar.gz", "gz"},
        {"https://cms.example", ""},
        {"https://cms.example.pdf/", ""},  // the host is not the path
        {"/files/folder.pdf/", "pdf"},
        {"/files/.profile", ""},
        {"/files/name.", ""},
        {"/files.d/name", ""},
        {"report.Docx", "docx"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(FileTypes::pathExtension(c.url), c.extension);
    }
}

TEST(FileTypesTest, PdfByExtensionOrElseByMimeType) {
    const struct {
        const char* url;
        const char* mime;
        bool pdf;
    } cases[] = {
        {"/files/Brochure.PDF", "", true},
        {"/files/Brochure.pdf?v=2", "application/octet-stream", true},
        {"/files/download", "application/pdf", true},
        {"/files/movie.mp4", "application/pdf", true},
        {"/files/download", "application/PDF", false},  // the type is compared exactly
        {"/files/download", "", false},
        {"/files/Brochure.pdfx", "", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.url) + " " + c.mime);
        EXPECT_EQ(FileTypes::isPDFFile(c.url, c.mime), c.pdf);
    }
}

TEST(FileTypesTest, TypeNamesWithoutTranslations) {
    const struct {
        const char* url;
        const char* name;
    } cases[] = {
        {"/f/song.aac", "Audio"},    {"/f/song.MP3", "Audio"},   {"/f/book.aax", "Audio"},
        {"/f/s.aiff", "Audio"},      {"/f/s.wav", "Audio"},      {"/f/clip.m4v", "Video"},
        {"/f/clip.mp4", "Video"},    {"/f/clip.mov", "Video"},   {"/f/clip.avi", "Video"},
        {"/f/p.jpg", "Image"},       {"/f/p.jpeg", "Image"},     {"/f/p.tiff", "Image"},
        {"/f/p.gif", "Image"},       {"/f/p.png", "Image"},      {"/f/p.bmp", "Image"},
        {"/f/d.doc", "Word"},        {"/f/d.docx", "Word"},      {"/f/h.htm", "Homepage"},
        {"/f/h.html", "Homepage"},   {"/f/k.key", "Keynote"},    {"/f/n.numbers", "Numbers"},
        {"/f/p.pages", "Pages"},     {"/f/Brochure.PDF", "PDF"}, {"/f/s.ppt", "PowerPoint"},
        {"/f/s.pptx", "PowerPoint"}, {"/f/t.txt", "Text"},       {"/f/t.rtf", "Text"},
        {"/f/x.xls", "Excel"},       {"/f/x.xlsx", "Excel"},     {"/f/plan.dwg", "Dwg"},
        {"/f/PLAN.DWG", "Dwg"},      {"/f/model.3ds", "3ds"},    {"/f/noextension", ""},
        {"/f/tif.tif", "Tif"},  // only "tiff" is in the image list
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        EXPECT_EQ(FileTypes::getFileTypeString(c.url), c.name);
    }
}

TEST(FileTypesTest, MediaKindsAreLookedUpOthersAreNot) {
    std::vector<std::string> asked;
    const FileTypes::TextLookup german = [&](std::string_view key, std::string_view fallback) {
        asked.emplace_back(key);
        if (key == "FILE_TYPE_IMAGE") {
            return std::string("Bild");
        }
        return std::string(fallback);
    };
    EXPECT_EQ(FileTypes::getFileTypeString("/f/p.png", german), "Bild");
    EXPECT_EQ(FileTypes::getFileTypeString("/f/v.mov", german), "Video");
    EXPECT_EQ(FileTypes::getFileTypeString("/f/a.wav", german), "Audio");
    EXPECT_EQ(FileTypes::getFileTypeString("/f/b.pdf", german), "PDF");
    EXPECT_EQ(FileTypes::getFileTypeString("/f/plan.dwg", german), "Dwg");
    EXPECT_EQ(asked,
              (std::vector<std::string>{"FILE_TYPE_IMAGE", "FILE_TYPE_VIDEO", "FILE_TYPE_AUDIO"}));
}

}  // namespace
}  // namespace pagewell
