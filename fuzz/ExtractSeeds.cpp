// Writes fuzz seeds from real PDF files: every font's decoded /ToUnicode stream into
// OUT/cmap and every page's decoded content into OUT/content, one file per distinct stream.
// Usage: pagewell_extract_seeds OUT_DIR FILE.pdf...

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>

#include "pdfkit/PdfDocumentHandle.h"
#include "pdfkit/PdfPage.h"
#include "pdfkit/PdfStream.h"

namespace {

constexpr int kPagesPerFile = 20;
constexpr std::size_t kLargestSeed = 64 * 1024;  // libFuzzer works best on small inputs

void writeSeed(const std::filesystem::path& directory, const std::string& data,
               std::set<std::size_t>& written) {
    if (data.empty() || data.size() > kLargestSeed)
        return;
    std::size_t hash = std::hash<std::string>{}(data);
    if (!written.insert(hash).second)
        return;
    std::ofstream(directory / std::to_string(hash), std::ios::binary) << data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR FILE.pdf...\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    std::filesystem::create_directories(out / "cmap");
    std::filesystem::create_directories(out / "content");
    std::set<std::size_t> cmaps;
    std::set<std::size_t> contents;
    for (int i = 2; i < argc; ++i) {
        auto opened = pagewell::PdfDocumentHandle::createWithPath(argv[i]);
        if (!opened.ok())
            continue;
        const auto& document = opened.value();
        const int pages = std::min(document->numberOfPages(), kPagesPerFile);
        for (int number = 1; number <= pages; ++number) {
            auto page = document->page(number);
            if (!page)
                continue;
            if (auto content = page->contentData(); content.ok()) {
                writeSeed(out / "content", content.value(), contents);
            }
            auto resources = page->resources();
            auto fonts = resources ? resources->getDictionary("Font") : std::nullopt;
            if (!fonts)
                continue;
            fonts->applyFunction([&](const std::string&, const pagewell::PdfObject& value) {
                auto font = value.getDictionary();
                auto map = font ? font->getStream("ToUnicode") : std::nullopt;
                if (!map)
                    return;
                if (auto data = map->copyData(); data.ok()) {
                    writeSeed(out / "cmap", data.value(), cmaps);
                }
            });
        }
    }
    std::printf("%zu character maps, %zu contents\n", cmaps.size(), contents.size());
    return 0;
}
