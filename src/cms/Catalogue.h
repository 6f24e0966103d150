#pragma once
// The catalogue a pagewell-cms instance serves: a directory holding the manifest
// "catalogue.json" and the files it names. The manifest format is described in
// CatalogueFormat.md next to this header. A Catalogue is a plain value: loading validates every
// identifier, reference, date and path, so the server never meets a dangling reference later.
// Not synchronised; CatalogueState owns the live copy and guards it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace pagewell::cms {

// Server dates travel as "yyyy-MM-dd HH:mm:ss"; an empty text means "no date".
using ServerDateText = std::string;

struct CatalogueUser {
    int id = 0;
    std::string username;
    std::string password;
    std::optional<std::string> secret;        // the per-user secret handed out at sign-in
    std::optional<std::vector<int>> locales;  // none: every locale; empty: no locale at all
};

struct CatalogueLocale {
    int id = 0;
    std::string title;
    std::string isoFull;
    std::string iso5;
    std::string iso2;
};

// Where a category sits under one parent (parent 0: among the roots).
struct CategoryPosition {
    int sortingId = 0;
    int parent = 0;
    int position = 0;
};

// A node of one locale's category tree; the same id in two locales is two categories.
struct CatalogueCategory {
    int id = 0;
    int locale = 0;
    std::string title;
    ServerDateText modified;
    std::vector<int> parents;
    std::vector<CategoryPosition> positions;
    std::optional<std::vector<int>> users;  // none: every user
};

struct CatalogueAsset {
    int id = 0;
    std::string path;  // relative to the catalogue directory
    int type = 0;
    int position = 0;
    std::uint64_t size = 0;  // computed at load
};

// An interactive annotation of a PDF page and the assets it plays.
struct CatalogueAnnotation {
    int id = 0;
    int page = 0;
    std::vector<CatalogueAsset> assets;
};

struct CatalogueFile {
    int id = 0;
    std::string title;
    std::map<int, std::string> localizedTitles;  // locale id -> title, where it differs
    std::string path;                            // content, relative to the catalogue directory
    std::string location;  // server address of the content; derived from id and path when empty
    std::string mimeType;
    std::uint64_t size = 0;  // computed at load
    ServerDateText created;
    ServerDateText modified;
    int orientation = 0;
    int formFactor = 0;
    bool shareable = true;
    ServerDateText publishStart, publishEnd;
    ServerDateText highlightStart, highlightEnd;
    std::vector<std::string> metatags;
    bool needsReadConfirmation = false;
    std::string thumbnailPath;  // relative; empty when the file has no preview image
    std::uint64_t thumbnailSize = 0;
    std::vector<int> locales;
    std::vector<int> categories;
    std::map<int, int> positions;  // category id -> position in it
    std::optional<std::vector<int>> users;
    std::vector<CatalogueAnnotation> annotations;
    std::vector<int> beacons, customers, customerGroups, qrcodes;

    const std::string& titleFor(int locale) const;
};

struct CatalogueImprint {
    int id = 0;
    int locale = 0;
    std::string text;
};

struct CatalogueBeacon {
    int id = 0;
    std::string uuid;
    std::string major;
    std::string minor;
    std::string name;
};

struct CatalogueCustomer {
    int id = 0;
    std::string name;
    std::string lat;
    std::string lng;
};

struct CatalogueCustomerGroup {
    int id = 0;
    std::string name;
    std::vector<int> customers;
};

struct CatalogueQRCode {
    int id = 0;
    std::string url;
    std::string name;
};

struct CatalogueFavoriteFolder {
    int id = 0;
    int user = 0;
    int locale = 0;
    std::string name;
    std::vector<int> files;
};

class Catalogue {
  public:
    static constexpr const char* kManifestName = "catalogue.json";
    static constexpr int kFormatVersion = 1;
    static constexpr const char* kErrorDomain = "CatalogueFormat";

    // Reads DIR/catalogue.json and checks it against the files in DIR.
    static Result<Catalogue> load(const std::filesystem::path& directory);
    // The same for manifest text already in memory; paths are resolved against `directory`.
    static Result<Catalogue> parse(std::string_view manifest,
                                   const std::filesystem::path& directory);
    // Writes the manifest (computed sizes are left out) to DIR/catalogue.json.
    Status save() const;
    std::string toManifest() const;

    // Checks references, uniqueness and paths; load() and parse() call it, the demo builder
    // may call it before saving.
    Status validate() const;

    std::filesystem::path directory;
    std::vector<CatalogueUser> users;
    std::vector<CatalogueLocale> locales;
    std::vector<CatalogueCategory> categories;
    std::vector<CatalogueFile> files;
    std::vector<int> highlights;  // file ids in highlight order
    std::vector<CatalogueImprint> imprints;
    std::vector<CatalogueBeacon> beacons;
    std::vector<CatalogueCustomer> customers;
    std::vector<CatalogueCustomerGroup> customerGroups;
    std::vector<CatalogueQRCode> qrcodes;
    std::vector<CatalogueFavoriteFolder> favoriteFolders;
    // Top-level keys this loader does not know, kept as JSON text for the endpoints that do
    // (a theme, lead-capture products, ...).
    std::map<std::string, std::string> extensions;

    const CatalogueUser* user(int id) const;
    const CatalogueUser* userNamed(std::string_view username) const;
    const CatalogueLocale* locale(int id) const;
    const CatalogueCategory* category(int id, int locale) const;
    CatalogueCategory* category(int id, int locale);
    const CatalogueFile* file(int id) const;
    CatalogueFile* file(int id);

    // The address a file's content is served from when the manifest names none.
    static std::string defaultLocation(int fileId, const std::string& path);
    // "/media/thumbs/ID/WIDTH/NAME": the width is the second-to-last segment, as clients expect.
    static std::string thumbnailLocation(int fileId, const std::string& path, int width = 300);
    static std::string assetLocation(int assetId, const std::string& path);

    // Fills sizes and missing sorting ids; part of load().
    Status computeDerivedValues();
};

// True when `text` is empty or a valid "yyyy-MM-dd HH:mm:ss".
bool isServerDateText(std::string_view text);

}  // namespace pagewell::cms
