#include "cms/DemoCatalogue.h"

#include <cmath>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>

#include "cms/DemoImage.h"
#include "cms/DemoPdf.h"
#include "cms/DemoVideo.h"
#include "platform/FileSystem.h"

namespace pagewell::cms {

namespace {

constexpr int kEnglish = 1;
constexpr int kGerman = 2;
constexpr int kDemoUser = 1;
constexpr int kSecondUser = 2;
constexpr const char* kCreated = "2024-01-15 08:00:00";
constexpr const char* kCategoriesModified = "2024-03-01 09:00:00";

enum class Kind { Brochure, Png, Jpeg, Text, Video };

const char* mimeType(Kind kind) {
    switch (kind) {
        case Kind::Brochure:
            return "application/pdf";
        case Kind::Png:
            return "image/png";
        case Kind::Jpeg:
            return "image/jpeg";
        case Kind::Text:
            return "text/plain";
        case Kind::Video:
            return "video/x-msvideo";
    }
    return "application/octet-stream";
}

struct FileEntry {
    int id;
    Kind kind;
    const char* name;
    const char* english;  // nullptr: the file is German only
    const char* german;
    std::vector<int> categories;
};

// The content of the demo; the special cases (windows, confirmations, side lists) are set on
// top of it in DemoBuilder::specialise().
const std::vector<FileEntry>& fileEntries() {
    static const std::vector<FileEntry> kFiles = {
        {100,
         Kind::Brochure,
         "pump-overview.pdf",
         "Pump overview",
         "Pumpen\xC3\xBC"
         "bersicht",
         {11}},
        {101, Kind::Brochure, "pump-series-a.pdf", "Series A pumps", "Pumpen Serie A", {11, 13}},
        {102, Kind::Brochure, "pump-series-b.pdf", "Series B pumps", "Pumpen Serie B", {11}},
        {103, Kind::Brochure, "valve-handbook.pdf", "Valve handbook", "Ventilhandbuch", {12}},
        {104,
         Kind::Brochure,
         "spare-parts-catalogue.pdf",
         "Spare parts catalogue",
         "Ersatzteilkatalog",
         {13}},
        {105, Kind::Brochure, "seal-kits.pdf", "Seal kits", "Dichtungss\xC3\xA4tze", {13, 12}},
        {106, Kind::Brochure, "price-list-2024.pdf", "Price list 2024", "Preisliste 2024", {21}},
        {107,
         Kind::Brochure,
         "trade-fair-guide.pdf",
         "Trade fair guide",
         "Messef\xC3\xBChrer",
         {22}},
        {108, Kind::Brochure, "company-profile.pdf", "Company profile", "Unternehmensprofil", {30}},
        {109,
         Kind::Brochure,
         "sustainability-report.pdf",
         "Sustainability report",
         "Nachhaltigkeitsbericht",
         {30}},
        {110, Kind::Brochure, "service-contract.pdf", "Service contract", "Servicevertrag", {21}},
        {111,
         Kind::Brochure,
         "installation-guide.pdf",
         "Installation guide",
         "Installationsanleitung",
         {11, 12}},
        {112,
         Kind::Brochure,
         "product-launch-2023.pdf",
         "Product launch 2023",
         "Produktneuheiten 2023",
         {22}},
        {113, Kind::Brochure, "gesamtkatalog.pdf", nullptr, "Gesamtkatalog", {10}},
        {114,
         Kind::Brochure,
         "maintenance-checklist.pdf",
         "Maintenance checklist",
         "Wartungscheckliste",
         {11, 13}},
        {115,
         Kind::Brochure,
         "safety-data-sheet.pdf",
         "Safety data sheet",
         "Sicherheitsdatenblatt",
         {12}},
        {116, Kind::Brochure, "warranty-terms.pdf", "Warranty terms", "Garantiebedingungen", {21}},
        {117, Kind::Brochure, "valve-series-v.pdf", "Series V valves", "Ventile Serie V", {12}},
        {118, Kind::Png, "pump-cutaway.png", "Pump cutaway", "Pumpe im Schnitt", {31, 11}},
        {119, Kind::Png, "valve-diagram.png", "Valve diagram", "Ventilschema", {31, 12}},
        {120, Kind::Png, "plant-layout.png", "Plant layout", "Anlagenplan", {31}},
        {121, Kind::Jpeg, "factory-hall.jpg", "Factory hall", "Werkshalle", {31, 30}},
        {122, Kind::Jpeg, "trade-fair-stand.jpg", "Trade fair stand", "Messestand", {22, 31}},
        {123, Kind::Jpeg, "service-team.jpg", "Service team", "Serviceteam", {31}},
        {124, Kind::Jpeg, "product-range.jpg", "Product range", "Produktpalette", {10, 31}},
        {125, Kind::Text, "release-notes.txt", "Release notes", "Versionshinweise", {30}},
        {126, Kind::Text, "terms-of-sale.txt", "Terms of sale", "Verkaufsbedingungen", {21}},
        {127, Kind::Video, "product-film.avi", "Product film", "Produktfilm", {31}},
        {128,
         Kind::Brochure,
         "partner-newsletter.pdf",
         "Partner newsletter",
         "Partner-Newsletter",
         {20}},
        {129,
         Kind::Brochure,
         "sales-presentation.pdf",
         "Sales presentation",
         "Vertriebspr\xC3\xA4sentation",
         {20}},
    };
    return kFiles;
}

struct CategoryEntry {
    int id;
    const char* english;
    const char* german;
    std::vector<std::pair<int, int>> places;  // (parent, position); parent 0: a root
    std::optional<std::vector<int>> users;
};

const std::vector<CategoryEntry>& categoryEntries() {
    static const std::vector<CategoryEntry> kCategories = {
        {10, "Products", "Produkte", {{0, 1}}, std::nullopt},
        {11, "Pumps", "Pumpen", {{10, 1}}, std::nullopt},
        {12, "Valves", "Ventile", {{10, 2}}, std::nullopt},
        // Reached from both product lines: the one category with two parents.
        {13, "Spare parts", "Ersatzteile", {{11, 3}, {12, 3}}, std::nullopt},
        {20, "Sales", "Vertrieb", {{0, 2}}, std::nullopt},
        {21, "Price lists", "Preislisten", {{20, 1}}, std::vector<int>{kDemoUser}},
        {22, "Trade fair", "Messe", {{20, 2}}, std::nullopt},
        {30, "Company", "Unternehmen", {{0, 3}}, std::nullopt},
        {31, "Media", "Medien", {{30, 1}}, std::nullopt},
    };
    return kCategories;
}

std::vector<std::string> sectionTitles(int seed, bool german, int count) {
    static const std::vector<std::string> kEnglishSections = {
        "Overview", "Applications", "Design", "Performance", "Installation", "Service"};
    static const std::vector<std::string> kGermanSections = {
        "\xC3\x9C"
        "berblick",
        "Anwendungen",
        "Konstruktion",
        "Leistung",
        "Einbau",
        "Service"};
    const auto& pool = german ? kGermanSections : kEnglishSections;
    std::vector<std::string> titles;
    for (int i = 0; i < count; ++i) {
        titles.push_back(pool[(seed + i) % pool.size()]);
    }
    return titles;
}

// Minutes of the fixed modification times.
std::string twoDigits(int value) {
    const std::string digits = std::to_string(value % 60);
    return digits.size() == 1 ? "0" + digits : digits;
}

// Collects the catalogue and the first failure while files are written.
class DemoBuilder {
  public:
    explicit DemoBuilder(std::filesystem::path directory) { catalogue_.directory = directory; }

    Result<Catalogue> build() {
        step(prepareDirectories());
        addUsersAndLocales();
        addCategories();
        for (std::size_t i = 0; i < fileEntries().size() && !error_; ++i) {
            addFile(fileEntries()[i], static_cast<int>(i));
        }
        if (!error_) {
            specialise();
            addSideLists();
            step(addTheme());
        }
        return finish();
    }

    Result<Catalogue> buildSynthetic(
        int fileCount, std::optional<DemoCatalogue::SyntheticSizes> sizes = {},
        int filesPerCategory = DemoCatalogue::kSyntheticFilesPerCategory) {
        if (fileCount <= 0) {
            return Error::make(DemoCatalogue::kErrorDomain, 1,
                               "a synthetic catalogue needs at least one file");
        }
        step(prepareDirectories());
        addUsersAndLocales();
        const int categoryCount = std::max(1, fileCount / std::max(1, filesPerCategory));
        int sorting = 0;
        for (int c = 1; c <= categoryCount; ++c) {
            for (int locale : {kEnglish, kGerman}) {
                CatalogueCategory category;
                category.id = c;
                category.locale = locale;
                category.title =
                    (locale == kEnglish ? "Category " : "Kategorie ") + std::to_string(c);
                category.modified = kCategoriesModified;
                category.positions.push_back({++sorting, 0, c});
                catalogue_.categories.push_back(std::move(category));
            }
        }
        const std::string thumbnail = "thumbs/synthetic.png";
        step(DemoImage::writePng(catalogue_.directory / thumbnail, {150, 200, 1, "PDF", 0}));
        for (int i = 1; i <= fileCount && !error_; ++i) {
            // A multiplicative hash spreads the sizes over 1 KiB to 16 KiB.
            const std::size_t size =
                sizes ? sizedFile(i, *sizes)
                      : 1024 + (static_cast<std::uint64_t>(i) * 2654435761u) % (15 * 1024);
            CatalogueFile file;
            file.id = i;
            file.title = "Synthetic file " + std::to_string(i);
            file.localizedTitles[kGerman] = "Synthetische Datei " + std::to_string(i);
            file.path =
                "files/" + std::to_string(i / 1000) + "/synthetic-" + std::to_string(i) + ".pdf";
            file.mimeType = "application/pdf";
            file.created = kCreated;
            file.modified = kCategoriesModified;
            file.thumbnailPath = thumbnail;
            file.locales = {kEnglish, kGerman};
            const int category = (i - 1) % categoryCount + 1;
            file.categories = {category};
            file.positions[category] = (i - 1) / categoryCount + 1;
            step(FileSystem::createDirectories((catalogue_.directory / file.path).parent_path()));
            step(writeQuickly(file.path, DemoPdf::minimalPdf(file.title, size)));
            catalogue_.files.push_back(std::move(file));
        }
        for (int i = 1; i <= std::min(fileCount, 10); ++i) {
            catalogue_.highlights.push_back(i);
        }
        addImprints();
        return finish();
    }

  private:
    // The size of synthetic file `number` between the bounds (see DemoCatalogue.h).
    static std::size_t sizedFile(int number, const DemoCatalogue::SyntheticSizes& sizes) {
        constexpr double kGoldenRatio = 0.6180339887498949;
        const double spread = std::fmod(number * kGoldenRatio, 1.0);
        const double ratio = static_cast<double>(std::max(sizes.largest, sizes.smallest)) /
                             static_cast<double>(std::max<std::size_t>(sizes.smallest, 1));
        return static_cast<std::size_t>(static_cast<double>(sizes.smallest) *
                                        std::pow(ratio, std::pow(spread, 1.6)));
    }

    void step(const Status& status) {
        if (!status.ok() && !error_) {
            error_ = status.error();
        }
    }

    Status write(const std::string& relative, const std::string& bytes) {
        return FileSystem::writeFileAtomically(catalogue_.directory / relative, bytes);
    }

    // Synthetic catalogues run to tens of thousands of files; syncing each one to disk as the
    // atomic write does would take minutes, and a half-written benchmark catalogue is simply
    // built again.
    Status writeQuickly(const std::string& relative, const std::string& bytes) {
        const auto target = catalogue_.directory / relative;
        std::ofstream out(target, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            return Error::make(DemoCatalogue::kErrorDomain, 2, "cannot write " + target.string());
        }
        return {};
    }

    Status prepareDirectories() {
        for (const char* sub : {"", "files", "thumbs", "assets", "theme"}) {
            if (Status made = FileSystem::createDirectories(catalogue_.directory / sub);
                !made.ok()) {
                return made;
            }
        }
        return {};
    }

    void addUsersAndLocales() {
        catalogue_.locales = {
            {kEnglish, "English", "English", "en_GB", "en"},
            {kGerman, "Deutsch", "German", "de_DE", "de"},
        };
        // demo sees both languages; demo2 only English, and none of the restricted content.
        catalogue_.users = {
            {kDemoUser, "demo", "demo", "demo-user-secret-1", std::nullopt},
            {kSecondUser, "demo2", "demo", "demo-user-secret-2", std::vector<int>{kEnglish}},
        };
    }

    void addCategories() {
        int sorting = 0;
        for (int locale : {kEnglish, kGerman}) {
            for (const auto& entry : categoryEntries()) {
                CatalogueCategory category;
                category.id = entry.id;
                category.locale = locale;
                category.title = locale == kEnglish ? entry.english : entry.german;
                category.modified = kCategoriesModified;
                category.users = entry.users;
                for (const auto& [parent, position] : entry.places) {
                    if (parent != 0) {
                        category.parents.push_back(parent);
                    }
                    category.positions.push_back({++sorting, parent, position});
                }
                catalogue_.categories.push_back(std::move(category));
            }
        }
    }

    void addFile(const FileEntry& entry, int index) {
        CatalogueFile file;
        file.id = entry.id;
        file.title = entry.english ? entry.english : entry.german;
        file.path = std::string("files/") + entry.name;
        file.mimeType = mimeType(entry.kind);
        file.created = kCreated;
        file.modified =
            "2024-03-0" + std::to_string(1 + index % 9) + " 10:" + twoDigits(index * 7) + ":00";
        if (entry.english) {
            file.locales = {kEnglish, kGerman};
            file.localizedTitles[kGerman] = entry.german;
        } else {
            file.locales = {kGerman};
        }
        file.categories = entry.categories;
        for (int category : entry.categories) {
            file.positions[category] = ++positions_[category];
        }
        const bool germanOnly = entry.english == nullptr;

        DemoPicture picture{800, 600, entry.id, file.title, 0.5};
        DemoPicture thumbnail{200, 150, entry.id, file.title, 0.5};
        switch (entry.kind) {
            case Kind::Brochure: {
                DemoBrochure brochure;
                brochure.title = file.title;
                brochure.subtitle = germanOnly ? "Pagewell Demo \xE2\x80\x94 Ausgabe 2024"
                                               : "Pagewell demo \xE2\x80\x94 edition 2024";
                brochure.german = germanOnly;
                brochure.seed = entry.id;
                brochure.sections = sectionTitles(entry.id, germanOnly, 3 + entry.id % 4);
                brochure.externalLink =
                    "https://pagewell.example/products/" + std::to_string(entry.id);
                brochure.date = "2024-01-15T08:00:00";
                specialiseBrochure(file, brochure);
                step(DemoPdf::writeBrochure(catalogue_.directory / file.path, brochure));
                // A portrait cover picture stands in for the first page.
                thumbnail = {150, 212, entry.id, file.title, 0.3};
                break;
            }
            case Kind::Png:
                step(DemoImage::writePng(catalogue_.directory / file.path, picture));
                break;
            case Kind::Jpeg:
                step(DemoImage::writeJpeg(catalogue_.directory / file.path, picture));
                break;
            case Kind::Text:
                step(write(file.path, textDocument(entry.id)));
                break;
            case Kind::Video:
                step(DemoVideo::writeAvi(catalogue_.directory / file.path,
                                         {320, 240, 36, 12, entry.id, file.title}));
                break;
        }
        file.thumbnailPath = "thumbs/" + std::to_string(entry.id) + ".png";
        step(DemoImage::writePng(catalogue_.directory / file.thumbnailPath, thumbnail));
        catalogue_.files.push_back(std::move(file));
    }

    // The interactive brochures: where their annotations sit and what assets they play.
    void specialiseBrochure(CatalogueFile& file, DemoBrochure& brochure) {
        if (file.id == 100) {
            brochure.sections = sectionTitles(0, false, 5);
            brochure.slideshowPage = 3;
            std::string link = "img://";
            CatalogueAnnotation slideshow{500, brochure.slideshowPage, {}};
            for (int i = 1; i <= 3; ++i) {
                const std::string name = "f100-slide-" + std::to_string(i) + ".jpg";
                link += (i > 1 ? ";" : "") + name;
                step(DemoImage::writeJpeg(catalogue_.directory / "assets" / name,
                                          {640, 400, 40 + i, "Slide " + std::to_string(i), 0}));
                slideshow.assets.push_back(
                    {900 + i - 1, "assets/" + name, DemoCatalogue::kAssetTypeImage, i - 1, 0});
            }
            brochure.slideshowLink = link;
            brochure.videoPage = 4;
            brochure.videoLink = "video://demo/f100-pump-in-action.avi";
            step(DemoVideo::writeAvi(catalogue_.directory / "assets/f100-pump-in-action.avi",
                                     {320, 240, 24, 12, 7, "Pump in action"}));
            file.annotations = {
                std::move(slideshow),
                {501,
                 brochure.videoPage,
                 {{903, "assets/f100-pump-in-action.avi", DemoCatalogue::kAssetTypeVideo, 0, 0}}},
            };
        } else if (file.id == 107) {
            brochure.videoPage = 2;
            brochure.videoLink = "video://demo/f107-stand-tour.avi?autoplay=true";
            step(DemoVideo::writeAvi(catalogue_.directory / "assets/f107-stand-tour.avi",
                                     {320, 240, 24, 12, 9, "Stand tour"}));
            file.annotations = {
                {502,
                 brochure.videoPage,
                 {{904, "assets/f107-stand-tour.avi", DemoCatalogue::kAssetTypeVideo, 0, 0}}}};
        } else if (file.id == 103) {
            brochure.rotatedPage = 3;
        }
    }

    static std::string textDocument(int id) {
        if (id == 125) {
            return "Pagewell demo catalogue \xE2\x80\x94 release notes\n"
                   "=============================================\n\n"
                   "2024-03  Series A and B pump brochures revised; new spare parts catalogue.\n"
                   "2024-02  Valve handbook with a landscape table of flow figures.\n"
                   "2024-01  Trade fair guide with a stand tour video.\n";
        }
        return "Terms of sale\n"
               "=============\n\n"
               "1. Offers are valid for thirty days from their date.\n"
               "2. Prices are net, ex works, plus the statutory value-added tax.\n"
               "3. Payment is due within thirty days of the invoice date without deduction.\n"
               "4. Goods remain our property until they are paid in full.\n"
               "Please confirm that you have read these terms.\n";
    }

    void specialise() {
        auto set = [&](int id, const std::function<void(CatalogueFile&)>& change) {
            change(*catalogue_.file(id));
        };
        // Highlights: one with a running window, one without, one that started and has no
        // end, one whose window has passed.
        catalogue_.highlights = {107, 108, 100, 122};
        set(107, [](CatalogueFile& f) {
            f.highlightStart = "2024-01-01 00:00:00";
            f.highlightEnd = "2035-12-31 23:59:59";
        });
        set(100, [](CatalogueFile& f) { f.highlightStart = "2024-06-01 00:00:00"; });
        set(122, [](CatalogueFile& f) {
            f.highlightStart = "2023-01-01 00:00:00";
            f.highlightEnd = "2023-06-30 23:59:59";
        });
        // Published until the end of 2023 only: outside its window from then on.
        set(112, [](CatalogueFile& f) {
            f.publishStart = "2023-01-01 00:00:00";
            f.publishEnd = "2023-12-31 23:59:59";
        });
        set(109, [](CatalogueFile& f) { f.publishStart = "2024-01-01 00:00:00"; });
        for (int id : {106, 110, 126}) {
            set(id, [](CatalogueFile& f) { f.needsReadConfirmation = true; });
        }
        for (int id : {106, 110, 116}) {
            set(id, [](CatalogueFile& f) { f.shareable = false; });
        }
        // Price lists are for the first user only; the newsletter for the second.
        set(106, [](CatalogueFile& f) { f.users = std::vector<int>{kDemoUser}; });
        set(128, [](CatalogueFile& f) { f.users = std::vector<int>{kSecondUser}; });
        const std::vector<std::pair<int, std::vector<std::string>>> tags = {
            {100, {"pump", "centrifugal", "energy"}},
            {101, {"pump", "series a"}},
            {103, {"valve", "handbook"}},
            {104, {"spare parts", "seal"}},
            {107, {"trade fair"}},
            {118, {"pump", "drawing"}},
            {125, {"release"}},
        };
        for (const auto& [id, words] : tags) {
            set(id, [&](CatalogueFile& f) { f.metatags = words; });
        }
        set(118, [](CatalogueFile& f) { f.orientation = 1; });
        set(100, [](CatalogueFile& f) {
            f.beacons = {2};
            f.qrcodes = {1};
        });
        set(107, [](CatalogueFile& f) { f.beacons = {1}; });
        set(122, [](CatalogueFile& f) { f.beacons = {1, 2}; });
        set(104, [](CatalogueFile& f) { f.qrcodes = {2}; });
        set(106, [](CatalogueFile& f) { f.customers = {1}; });
        set(101, [](CatalogueFile& f) { f.customers = {2}; });
        set(129, [](CatalogueFile& f) { f.customers = {1, 2, 3}; });
        set(111, [](CatalogueFile& f) { f.customerGroups = {1}; });
    }

    void addSideLists() {
        catalogue_.beacons = {
            {1, "F7826DA6-4FA2-4E98-8024-BC5B71E0893E", "100", "1", "Hall A entrance"},
            {2, "F7826DA6-4FA2-4E98-8024-BC5B71E0893E", "100", "2", "Hall B stand"},
        };
        catalogue_.customers = {
            {1, "Stadtwerke M\xC3\xBCnchen", "48.137154", "11.576124"},
            {2, "Hafen Hamburg Logistik", "53.546100", "9.966100"},
            {3, "Berliner Wasserbetriebe", "52.520008", "13.404954"},
        };
        catalogue_.customerGroups = {{1, "Municipal utilities", {1, 3}}};
        catalogue_.qrcodes = {
            {1, "https://pagewell.example/qr/pump-overview", "Pump overview poster"},
            {2, "https://pagewell.example/qr/spare-parts", "Spare parts counter"},
        };
        catalogue_.favoriteFolders = {
            {1, kDemoUser, kEnglish, "Customer visit", {100, 106, 111}},
            {2, kDemoUser, kGerman, "Messe", {107, 122}},
        };
        addImprints();
    }

    void addImprints() {
        catalogue_.imprints = {
            {1, kEnglish,
             "Pagewell Demo GmbH, Musterstra\xC3\x9F"
             "e 1, 80331 Munich, Germany. Managing director: A. Example. "
             "Register court Munich, HRB 000000. Contact: info@pagewell.example"},
            {2, kGerman,
             "Pagewell Demo GmbH, Musterstra\xC3\x9F"
             "e 1, 80331 M\xC3\xBCnchen. Gesch\xC3\xA4"
             "ftsf\xC3\xBChrer: A. Beispiel. "
             "Registergericht M\xC3\xBCnchen, HRB 000000. Kontakt: info@pagewell.example"},
        };
    }

    // The theme in the catalogue's format: colours as the client reads them, logos as paths
    // inside the catalogue (the server hands them out under its logo path).
    Status addTheme() {
        if (Status logo = DemoImage::writePng(catalogue_.directory / "theme/logo.png",
                                              {400, 100, 3, "Pagewell", 0});
            !logo.ok()) {
            return logo;
        }
        if (Status loginLogo = DemoImage::writePng(catalogue_.directory / "theme/loginLogo.png",
                                                   {800, 300, 3, "Pagewell Demo", 0});
            !loginLogo.ok()) {
            return loginLogo;
        }
        const nlohmann::json theme = {
            {"color",
             {{"highlight", "#0A5599"},
              {"background_light", "#EEF2F6"},
              {"background_dark", "#D5DDE6"},
              {"text", "#333333"},
              {"head_text", "#FFFFFF"},
              {"text_button", "#8899AA"},
              {"button", "#F5F5F5"},
              {"login_screen_color_top", "#0A5599"},
              {"login_screen_color_bottom", "#06335C"},
              {"shadow_color", "#FFFFFF"}}},
            {"text_shadow", false},
            {"logo", "theme/logo.png"},
            {"login_screen_logo", "theme/loginLogo.png"},
        };
        catalogue_.extensions["theme"] = theme.dump();
        return {};
    }

    Result<Catalogue> finish() {
        if (error_) {
            return *error_;
        }
        if (Status valid = catalogue_.validate(); !valid.ok()) {
            return valid.error();
        }
        if (Status saved = catalogue_.save(); !saved.ok()) {
            return saved.error();
        }
        return std::move(catalogue_);
    }

    Catalogue catalogue_;
    std::map<int, int> positions_;  // category id -> files placed in it so far
    std::optional<Error> error_;
};

}  // namespace

Result<Catalogue> DemoCatalogue::build(const std::filesystem::path& directory) {
    return DemoBuilder(directory).build();
}

Result<Catalogue> DemoCatalogue::buildSynthetic(const std::filesystem::path& directory,
                                                int fileCount) {
    return DemoBuilder(directory).buildSynthetic(fileCount);
}

Result<Catalogue> DemoCatalogue::buildSynthetic(const std::filesystem::path& directory,
                                                int fileCount, SyntheticSizes sizes) {
    if (sizes.smallest == 0 || sizes.largest < sizes.smallest) {
        return Error::make(kErrorDomain, 3, "synthetic file sizes need 0 < smallest <= largest");
    }
    return DemoBuilder(directory).buildSynthetic(fileCount, sizes);
}

Result<Catalogue> DemoCatalogue::buildSynthetic(const std::filesystem::path& directory,
                                                int fileCount, SyntheticSizes sizes,
                                                int filesPerCategory) {
    if (sizes.smallest == 0 || sizes.largest < sizes.smallest) {
        return Error::make(kErrorDomain, 3, "synthetic file sizes need 0 < smallest <= largest");
    }
    if (filesPerCategory <= 0) {
        return Error::make(kErrorDomain, 4, "a synthetic category needs at least one file");
    }
    return DemoBuilder(directory).buildSynthetic(fileCount, sizes, filesPerCategory);
}

}  // namespace pagewell::cms
