#include "cms/DemoCatalogue.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <set>

#include "TestSupport.h"
#include "cms/Catalogue.h"
#include "cms/DemoPdf.h"
#include "platform/FileSystem.h"

namespace pagewell::cms {
namespace {

namespace fs = std::filesystem;

std::string bytesOf(const fs::path& file) {
    auto bytes = FileSystem::readFile(file);
    return bytes.ok() ? bytes.value() : std::string();
}

// What the reader sees of one PDF: its link targets per page, turned pages and the outline.
struct PdfFacts {
    bool opened = false;
    bool warnings = true;
    int pages = 0;
    std::map<int, std::vector<std::string>> uris;        // page -> /URI of its link actions
    std::map<int, std::vector<std::string>> namedDests;  // page -> named /Dest of its links
    std::set<std::string> destinationNames;              // the catalogue's /Dests name tree
    std::set<int> rotated;                               // pages with /Rotate 90
    int outlineEntries = 0;
};

int countOutline(const std::vector<QPDFOutlineObjectHelper>& entries) {
    int count = 0;
    for (auto entry : entries) {
        count += 1 + countOutline(entry.getKids());
    }
    return count;
}

// Opens the file with qpdf, decodes every stream and collects the facts above.
PdfFacts inspect(const fs::path& file) {
    PdfFacts facts;
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(file.c_str());
        for (auto& object : pdf.getAllObjects()) {
            if (object.isStream()) {
                object.getStreamData(qpdf_dl_generalized);
            }
        }
        auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
        facts.pages = static_cast<int>(pages.size());
        for (int i = 0; i < facts.pages; ++i) {
            auto page = pages[i].getObjectHandle();
            if (page.getKey("/Rotate").isInteger() && page.getKey("/Rotate").getIntValue() == 90) {
                facts.rotated.insert(i + 1);
            }
            auto annotations = page.getKey("/Annots");
            for (int a = 0; annotations.isArray() && a < annotations.getArrayNItems(); ++a) {
                auto annotation = annotations.getArrayItem(a);
                auto action = annotation.getKey("/A");
                if (action.isDictionary() && action.getKey("/URI").isString()) {
                    facts.uris[i + 1].push_back(action.getKey("/URI").getStringValue());
                }
                if (annotation.getKey("/Dest").isString()) {
                    facts.namedDests[i + 1].push_back(annotation.getKey("/Dest").getStringValue());
                }
            }
        }
        // Asking a non-dictionary for a key is itself a qpdf warning, so each step is checked.
        auto names = pdf.getRoot().getKey("/Names");
        names = names.isDictionary() ? names.getKey("/Dests") : names;
        names = names.isDictionary() ? names.getKey("/Names") : names;
        for (int n = 0; names.isArray() && n < names.getArrayNItems(); n += 2) {
            facts.destinationNames.insert(names.getArrayItem(n).getStringValue());
        }
        facts.outlineEntries = countOutline(QPDFOutlineDocumentHelper(pdf).getTopLevelOutlines());
        facts.warnings = pdf.anyWarnings();
        facts.opened = true;
    } catch (const std::exception& e) {
        ADD_FAILURE() << file << ": " << e.what();
    }
    return facts;
}

bool qpdfToolInstalled() {
    return std::system("command -v qpdf > /dev/null 2>&1") == 0;
}

// `qpdf --check` exits 0 only for a file without syntax or stream errors and without warnings.
int qpdfCheck(const fs::path& file) {
    const std::string command = "qpdf --check '" + file.string() + "' > /dev/null 2>&1";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class DemoCatalogueTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        directory_ = std::make_unique<TemporaryDirectory>();
        auto built = DemoCatalogue::build(directory_->path());
        ASSERT_TRUE(built.ok()) << built.error().description;
        auto loaded = Catalogue::load(directory_->path());
        ASSERT_TRUE(loaded.ok()) << loaded.error().description;
        catalogue_ = std::make_unique<Catalogue>(std::move(loaded).value());
    }
    static void TearDownTestSuite() {
        catalogue_.reset();
        directory_.reset();
    }
    void SetUp() override { ASSERT_NE(catalogue_, nullptr) << "the demo did not build or load"; }

    static const Catalogue& demo() { return *catalogue_; }
    static fs::path path(const std::string& relative) { return directory_->path() / relative; }

    static inline std::unique_ptr<TemporaryDirectory> directory_;
    static inline std::unique_ptr<Catalogue> catalogue_;
};

TEST_F(DemoCatalogueTest, ServerLoaderAcceptsUsersLanguagesAndTree) {
    const Catalogue& c = demo();
    ASSERT_EQ(c.locales.size(), 2u);
    for (const char* name : {"demo", "demo2"}) {
        ASSERT_NE(c.userNamed(name), nullptr) << name;
        EXPECT_EQ(c.userNamed(name)->password, "demo");
    }
    EXPECT_GE(c.files.size(), 25u);
    EXPECT_LE(c.files.size(), 40u);

    // Every category exists in both languages under different titles; one has two parents;
    // the tree is three levels deep.
    int twoParents = 0;
    int deepest = 0;
    for (const auto& category : c.categories) {
        const auto* other = c.category(category.id, category.locale == 1 ? 2 : 1);
        ASSERT_NE(other, nullptr) << category.id;
        EXPECT_NE(other->title, category.title) << category.id;
        twoParents += category.parents.size() == 2 ? 1 : 0;
        EXPECT_EQ(category.positions.size(), std::max<std::size_t>(1, category.parents.size()));
        int depth = 1;
        for (const auto* at = &category; !at->parents.empty(); ++depth) {
            at = c.category(at->parents.front(), at->locale);
        }
        deepest = std::max(deepest, depth);
    }
    EXPECT_EQ(twoParents, 2);  // once per language
    EXPECT_EQ(deepest, 3);

    for (const auto& file : c.files) {
        EXPECT_FALSE(file.mimeType.empty()) << file.path;
        EXPECT_GT(file.size, 0u) << file.path;
        EXPECT_GT(file.thumbnailSize, 0u) << file.path;
        EXPECT_EQ(bytesOf(path(file.thumbnailPath)).substr(1, 3), "PNG") << file.thumbnailPath;
        if (file.locales.size() == 2) {
            EXPECT_NE(file.titleFor(1), file.titleFor(2)) << file.path;
        }
    }
}

TEST_F(DemoCatalogueTest, CoversTheCasesTheClientHandles) {
    const Catalogue& c = demo();
    auto count = [&](const std::function<bool(const CatalogueFile&)>& test) {
        return std::count_if(c.files.begin(), c.files.end(), test);
    };
    int withWindow = 0;
    int withoutWindow = 0;
    for (int id : c.highlights) {
        ASSERT_NE(c.file(id), nullptr);
        (c.file(id)->highlightEnd.empty() ? withoutWindow : withWindow) += 1;
    }
    EXPECT_GE(withWindow, 1);
    EXPECT_GE(withoutWindow, 1);
    // Dates compare as text in this fixed format.
    EXPECT_GE(count([](const auto& f) {
                  return !f.publishEnd.empty() && f.publishEnd < "2024-01-01 00:00:00";
              }),
              1);
    EXPECT_GE(count([](const auto& f) { return f.needsReadConfirmation; }), 2);
    EXPECT_GE(count([](const auto& f) { return !f.shareable; }), 2);
    EXPECT_GE(count([](const auto& f) { return !f.metatags.empty(); }), 3);
    EXPECT_GE(count([](const auto& f) { return f.users.has_value(); }), 1);
    EXPECT_GE(count([](const auto& f) { return f.locales == std::vector<int>{2}; }), 1);
    EXPECT_GE(count([](const auto& f) { return !f.beacons.empty(); }), 1);
    EXPECT_GE(count([](const auto& f) { return !f.customers.empty(); }), 1);
    EXPECT_GE(count([](const auto& f) { return !f.customerGroups.empty(); }), 1);
    EXPECT_GE(count([](const auto& f) { return !f.qrcodes.empty(); }), 1);
    std::set<std::string> mimeTypes;
    for (const auto& file : c.files) {
        mimeTypes.insert(file.mimeType);
    }
    for (const char* type : {"application/pdf", "image/png", "image/jpeg", "text/plain"}) {
        EXPECT_EQ(mimeTypes.count(type), 1u) << type;
    }

    for (const auto& customer : c.customers) {
        EXPECT_NE(std::stod(customer.lat), 0.0) << customer.name;
        EXPECT_NE(std::stod(customer.lng), 0.0) << customer.name;
    }
    EXPECT_FALSE(c.customerGroups.empty());
    EXPECT_FALSE(c.beacons.empty());
    const int demoUser = c.userNamed("demo")->id;
    EXPECT_TRUE(std::any_of(c.favoriteFolders.begin(), c.favoriteFolders.end(),
                            [&](const auto& f) { return f.user == demoUser && !f.files.empty(); }));
    std::set<int> imprintLocales;
    for (const auto& imprint : c.imprints) {
        imprintLocales.insert(imprint.locale);
    }
    EXPECT_EQ(imprintLocales, (std::set<int>{1, 2}));
    ASSERT_EQ(c.extensions.count("theme"), 1u);
    auto theme = nlohmann::json::parse(c.extensions.at("theme"));
    EXPECT_TRUE(theme["color"].contains("highlight"));
    // The logos are paths inside the catalogue, the form the server's theme answer serves.
    for (const char* key : {"logo", "login_screen_logo"}) {
        EXPECT_EQ(bytesOf(path(theme[key].get<std::string>())).substr(1, 3), "PNG") << key;
    }
}

TEST_F(DemoCatalogueTest, EveryPdfPassesQpdfsChecks) {
    const bool tool = qpdfToolInstalled();
    int pdfs = 0;
    for (const auto& file : demo().files) {
        if (file.mimeType != "application/pdf") {
            continue;
        }
        ++pdfs;
        const PdfFacts facts = inspect(path(file.path));
        EXPECT_TRUE(facts.opened) << file.path;
        EXPECT_FALSE(facts.warnings) << file.path;
        EXPECT_GE(facts.pages, 4) << file.path;
        EXPECT_GE(facts.outlineEntries, facts.pages - 1) << file.path;
        // Every named destination a link uses is in the name tree, so the jump lands.
        for (const auto& [page, names] : facts.namedDests) {
            for (const auto& name : names) {
                EXPECT_EQ(facts.destinationNames.count(name), 1u) << file.path << " " << name;
            }
        }
        EXPECT_FALSE(facts.namedDests.empty()) << file.path;
        if (tool) {
            EXPECT_EQ(qpdfCheck(path(file.path)), 0) << "qpdf --check " << file.path;
        }
    }
    EXPECT_GE(pdfs, 15);
}

// The manifest's annotations must sit on the pages whose links play their assets, or the
// client attaches the resources to the wrong page.
TEST_F(DemoCatalogueTest, AnnotationPagesCarryTheLinksThatPlayTheirAssets) {
    int slideshows = 0;
    int videos = 0;
    bool rotated = false;
    bool external = false;
    for (const auto& file : demo().files) {
        if (file.mimeType != "application/pdf") {
            continue;
        }
        const PdfFacts facts = inspect(path(file.path));
        rotated = rotated || !facts.rotated.empty();
        for (const auto& [page, uris] : facts.uris) {
            for (const auto& uri : uris) {
                external = external || uri.rfind("https://", 0) == 0;
            }
        }
        for (const auto& annotation : file.annotations) {
            ASSERT_EQ(facts.uris.count(annotation.page), 1u)
                << file.path << " page " << annotation.page;
            const auto& uris = facts.uris.at(annotation.page);
            for (const auto& asset : annotation.assets) {
                const std::string name = fs::path(asset.path).filename().string();
                const std::string scheme =
                    asset.type == DemoCatalogue::kAssetTypeVideo ? "video://" : "img://";
                EXPECT_TRUE(std::any_of(uris.begin(), uris.end(),
                                        [&](const std::string& uri) {
                                            return uri.rfind(scheme, 0) == 0 &&
                                                   uri.find(name) != std::string::npos;
                                        }))
                    << file.path << ": no " << scheme << " link naming " << name;
                (asset.type == DemoCatalogue::kAssetTypeVideo ? videos : slideshows) += 1;
                EXPECT_GT(asset.size, 0u);
            }
        }
    }
    EXPECT_GE(slideshows, 2);
    EXPECT_GE(videos, 1);
    EXPECT_TRUE(rotated);
    EXPECT_TRUE(external);
}

TEST_F(DemoCatalogueTest, TwoBuildsWriteTheSameBytes) {
    TemporaryDirectory second;
    auto built = DemoCatalogue::build(second.path());
    ASSERT_TRUE(built.ok()) << built.error().description;
    EXPECT_EQ(bytesOf(second.path() / Catalogue::kManifestName),
              bytesOf(path(Catalogue::kManifestName)));
    for (const auto& entry : fs::recursive_directory_iterator(second.path())) {
        if (entry.is_regular_file()) {
            const auto relative = fs::relative(entry.path(), second.path());
            EXPECT_EQ(bytesOf(entry.path()), bytesOf(path(relative.string()))) << relative;
        }
    }
}

TEST(DemoCatalogueSyntheticTest, SpreadsFilesOverCategoriesWithRepeatableSizes) {
    TemporaryDirectory first, second;
    ASSERT_TRUE(DemoCatalogue::buildSynthetic(first.path(), 200).ok());
    ASSERT_TRUE(DemoCatalogue::buildSynthetic(second.path(), 200).ok());
    auto loaded = Catalogue::load(first.path());
    ASSERT_TRUE(loaded.ok()) << loaded.error().description;
    const Catalogue& c = loaded.value();
    EXPECT_EQ(c.files.size(), 200u);
    std::map<int, int> perCategory;
    for (const auto& category : c.categories) {
        perCategory[category.id] = 0;
    }
    EXPECT_EQ(perCategory.size(), 4u);
    std::set<std::uint64_t> sizes;
    for (const auto& file : c.files) {
        ASSERT_EQ(file.categories.size(), 1u);
        perCategory[file.categories.front()] += 1;
        sizes.insert(file.size);
        EXPECT_EQ(bytesOf(first.path() / file.path), bytesOf(second.path() / file.path));
    }
    for (const auto& [category, files] : perCategory) {
        EXPECT_EQ(files, 50) << "category " << category;
    }
    EXPECT_GT(sizes.size(), 100u);  // sizes differ from file to file
    const PdfFacts facts = inspect(first.path() / c.files.front().path);
    EXPECT_TRUE(facts.opened);
    EXPECT_FALSE(facts.warnings);
    EXPECT_EQ(facts.pages, 1);
}

TEST(DemoCatalogueSyntheticTest, RefusesImpossibleRequests) {
    TemporaryDirectory dir;
    EXPECT_FALSE(DemoCatalogue::buildSynthetic(dir.path(), 0).ok());
    ASSERT_TRUE(FileSystem::writeFileAtomically(dir.path() / "plain-file", "x").ok());
    EXPECT_FALSE(DemoCatalogue::build(dir.path() / "plain-file").ok());
}

// The padded one-page PDF has exactly the asked size whenever that is above its bare size,
// including sizes that change the number of digits in /Length and in the offsets.
TEST(DemoPdfTest, MinimalPdfHasTheAskedSizeAndParses) {
    const std::size_t bare = DemoPdf::minimalPdf("Title (1)", 0).size();
    TemporaryDirectory dir;
    for (std::size_t size : {bare + 1, bare + 2, bare + 81, std::size_t(999), std::size_t(1000),
                             std::size_t(10000), std::size_t(65536)}) {
        const std::string pdf = DemoPdf::minimalPdf("Title (1)", size);
        EXPECT_EQ(pdf.size(), size);
        const fs::path file = dir.path() / ("m" + std::to_string(size) + ".pdf");
        ASSERT_TRUE(FileSystem::writeFileAtomically(file, pdf).ok());
        const PdfFacts facts = inspect(file);
        EXPECT_TRUE(facts.opened) << size;
        EXPECT_FALSE(facts.warnings) << size;
        if (qpdfToolInstalled()) {
            EXPECT_EQ(qpdfCheck(file), 0) << size;
        }
    }
    EXPECT_EQ(DemoPdf::minimalPdf("Title (1)", 10).size(), bare);  // too small: left bare
}

}  // namespace
}  // namespace pagewell::cms
