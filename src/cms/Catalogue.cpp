#include "cms/Catalogue.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <system_error>

#include "cms/CataloguePaths.h"
#include "platform/FileSystem.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

// Reads manifest objects and remembers the first problem with the place it was found, so a
// hand-written catalogue gets "files[3].categories: ..." instead of a bare type error.
class ManifestReader {
  public:
    std::optional<Error> error;

    bool fail(const std::string& where, const std::string& what) {
        if (!error) {
            error = Error::make(Catalogue::kErrorDomain, 1,
                                std::string(Catalogue::kManifestName) + ": " + where + ": " + what);
        }
        return false;
    }

    bool keys(const json& object, const std::string& where,
              std::initializer_list<const char*> allowed) {
        if (!object.is_object()) {
            return fail(where, "must be an object");
        }
        for (const auto& [key, value] : object.items()) {
            if (std::none_of(allowed.begin(), allowed.end(),
                             [&](const char* name) { return key == name; })) {
                return fail(where, "unknown key \"" + key + "\"");
            }
        }
        return true;
    }

    bool integer(const json& object, const char* key, const std::string& where, int& out,
                 std::optional<int> fallback = std::nullopt) {
        auto it = object.find(key);
        if (it == object.end()) {
            if (fallback) {
                out = *fallback;
                return true;
            }
            return fail(where, std::string("missing \"") + key + "\"");
        }
        if (!it->is_number_integer()) {
            return fail(where + "." + key, "must be an integer");
        }
        const auto value = it->get<long long>();
        if (value < INT32_MIN || value > INT32_MAX) {
            return fail(where + "." + key, "out of range");
        }
        out = static_cast<int>(value);
        return true;
    }

    bool identifier(const json& object, const char* key, const std::string& where, int& out) {
        if (!integer(object, key, where, out)) {
            return false;
        }
        return out > 0 || fail(where + "." + key, "must be a positive integer");
    }

    bool text(const json& object, const char* key, const std::string& where, std::string& out,
              std::optional<std::string> fallback = std::nullopt) {
        auto it = object.find(key);
        if (it == object.end()) {
            if (fallback) {
                out = *fallback;
                return true;
            }
            return fail(where, std::string("missing \"") + key + "\"");
        }
        if (!it->is_string()) {
            return fail(where + "." + key, "must be a text");
        }
        out = it->get<std::string>();
        return true;
    }

    bool date(const json& object, const char* key, const std::string& where, std::string& out) {
        auto it = object.find(key);
        if (it == object.end() || it->is_null()) {
            out.clear();
            return true;
        }
        if (!it->is_string() || !isServerDateText(it->get<std::string>())) {
            return fail(where + "." + key, "must be a date \"yyyy-MM-dd HH:mm:ss\" or empty");
        }
        out = it->get<std::string>();
        return true;
    }

    bool boolean(const json& object, const char* key, const std::string& where, bool& out,
                 bool fallback) {
        auto it = object.find(key);
        if (it == object.end()) {
            out = fallback;
            return true;
        }
        if (!it->is_boolean()) {
            return fail(where + "." + key, "must be true or false");
        }
        out = it->get<bool>();
        return true;
    }

    bool integers(const json& object, const char* key, const std::string& where,
                  std::vector<int>& out) {
        auto it = object.find(key);
        out.clear();
        if (it == object.end()) {
            return true;
        }
        if (!it->is_array()) {
            return fail(where + "." + key, "must be a list of integers");
        }
        for (const auto& entry : *it) {
            if (!entry.is_number_integer()) {
                return fail(where + "." + key, "must be a list of integers");
            }
            out.push_back(entry.get<int>());
        }
        return true;
    }

    bool optionalIntegers(const json& object, const char* key, const std::string& where,
                          std::optional<std::vector<int>>& out) {
        out.reset();
        if (!object.contains(key) || object.at(key).is_null()) {
            return true;
        }
        std::vector<int> values;
        if (!integers(object, key, where, values)) {
            return false;
        }
        out = std::move(values);
        return true;
    }

    bool texts(const json& object, const char* key, const std::string& where,
               std::vector<std::string>& out) {
        auto it = object.find(key);
        out.clear();
        if (it == object.end()) {
            return true;
        }
        if (!it->is_array()) {
            return fail(where + "." + key, "must be a list of texts");
        }
        for (const auto& entry : *it) {
            if (!entry.is_string()) {
                return fail(where + "." + key, "must be a list of texts");
            }
            out.push_back(entry.get<std::string>());
        }
        return true;
    }

    // Calls `each` for every element of the optional array `key`, with its place for messages.
    bool list(const json& object, const char* key, const std::string& prefix,
              const std::function<bool(const json&, const std::string&)>& each) {
        auto it = object.find(key);
        if (it == object.end()) {
            return true;
        }
        if (!it->is_array()) {
            return fail(prefix + key, "must be a list");
        }
        for (std::size_t i = 0; i < it->size(); ++i) {
            if (!each((*it)[i], prefix + key + "[" + std::to_string(i) + "]")) {
                return false;
            }
        }
        return true;
    }
};

std::string mimeTypeForPath(const std::string& path) {
    static const std::map<std::string, std::string> kTypes = {
        {".pdf", "application/pdf"}, {".png", "image/png"},  {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},     {".txt", "text/plain"}, {".html", "text/html"},
        {".mp4", "video/mp4"},       {".gif", "image/gif"},  {".zip", "application/zip"},
    };
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto it = kTypes.find(extension);
    return it == kTypes.end() ? "application/octet-stream" : it->second;
}

bool readWindow(ManifestReader& reader, const json& file, const char* key, const std::string& where,
                std::string& start, std::string& end) {
    auto it = file.find(key);
    if (it == file.end()) {
        return true;
    }
    const std::string place = where + "." + key;
    return reader.keys(*it, place, {"start", "end"}) && reader.date(*it, "start", place, start) &&
           reader.date(*it, "end", place, end);
}

bool readFile(ManifestReader& reader, const json& object, const std::string& where,
              CatalogueFile& file) {
    if (!reader.keys(object, where,
                     {"id",
                      "title",
                      "titles",
                      "path",
                      "location",
                      "mime_type",
                      "created",
                      "modified",
                      "orientation",
                      "published_for_form_factor",
                      "shareable",
                      "publication",
                      "highlight_window",
                      "metatags",
                      "read_confirmation",
                      "thumbnail",
                      "locales",
                      "categories",
                      "positions",
                      "users",
                      "annotations",
                      "beacons",
                      "customers",
                      "customer_groups",
                      "qrcodes"})) {
        return false;
    }
    bool ok =
        reader.identifier(object, "id", where, file.id) &&
        reader.text(object, "title", where, file.title) &&
        reader.text(object, "path", where, file.path) &&
        reader.text(object, "location", where, file.location, "") &&
        reader.text(object, "mime_type", where, file.mimeType, mimeTypeForPath(file.path)) &&
        reader.date(object, "created", where, file.created) &&
        reader.date(object, "modified", where, file.modified) &&
        reader.integer(object, "orientation", where, file.orientation, 0) &&
        reader.integer(object, "published_for_form_factor", where, file.formFactor, 0) &&
        reader.boolean(object, "shareable", where, file.shareable, true) &&
        readWindow(reader, object, "publication", where, file.publishStart, file.publishEnd) &&
        readWindow(reader, object, "highlight_window", where, file.highlightStart,
                   file.highlightEnd) &&
        reader.texts(object, "metatags", where, file.metatags) &&
        reader.boolean(object, "read_confirmation", where, file.needsReadConfirmation, false) &&
        reader.text(object, "thumbnail", where, file.thumbnailPath, "") &&
        reader.integers(object, "locales", where, file.locales) &&
        reader.integers(object, "categories", where, file.categories) &&
        reader.optionalIntegers(object, "users", where, file.users) &&
        reader.integers(object, "beacons", where, file.beacons) &&
        reader.integers(object, "customers", where, file.customers) &&
        reader.integers(object, "customer_groups", where, file.customerGroups) &&
        reader.integers(object, "qrcodes", where, file.qrcodes);
    if (!ok) {
        return false;
    }
    if (auto it = object.find("titles"); it != object.end()) {
        if (!it->is_object()) {
            return reader.fail(where + ".titles", "must map locale ids to texts");
        }
        for (const auto& [key, value] : it->items()) {
            int locale = std::atoi(key.c_str());
            if (locale <= 0 || std::to_string(locale) != key || !value.is_string()) {
                return reader.fail(where + ".titles", "must map locale ids to texts");
            }
            file.localizedTitles[locale] = value.get<std::string>();
        }
    }
    if (auto it = object.find("positions"); it != object.end()) {
        if (!it->is_object()) {
            return reader.fail(where + ".positions", "must map category ids to integers");
        }
        for (const auto& [key, value] : it->items()) {
            int category = std::atoi(key.c_str());
            if (category <= 0 || std::to_string(category) != key || !value.is_number_integer()) {
                return reader.fail(where + ".positions", "must map category ids to integers");
            }
            file.positions[category] = value.get<int>();
        }
    }
    return reader.list(
        object, "annotations", where + ".", [&](const json& entry, const std::string& place) {
            CatalogueAnnotation annotation;
            if (!reader.keys(entry, place, {"id", "page", "assets"}) ||
                !reader.identifier(entry, "id", place, annotation.id) ||
                !reader.integer(entry, "page", place, annotation.page)) {
                return false;
            }
            if (!reader.list(
                    entry, "assets", place + ".",
                    [&](const json& item, const std::string& itemPlace) {
                        CatalogueAsset asset;
                        if (!reader.keys(item, itemPlace, {"id", "path", "type", "position"}) ||
                            !reader.identifier(item, "id", itemPlace, asset.id) ||
                            !reader.text(item, "path", itemPlace, asset.path) ||
                            !reader.integer(item, "type", itemPlace, asset.type, 0) ||
                            !reader.integer(item, "position", itemPlace, asset.position, 0)) {
                            return false;
                        }
                        annotation.assets.push_back(std::move(asset));
                        return true;
                    })) {
                return false;
            }
            file.annotations.push_back(std::move(annotation));
            return true;
        });
}

json windowJson(const std::string& start, const std::string& end) {
    return json{{"start", start}, {"end", end}};
}

json optionalList(const std::optional<std::vector<int>>& values) {
    return values ? json(*values) : json(nullptr);
}

template <class T>
bool uniqueIds(ManifestReader& reader, const std::vector<T>& items, const char* kind) {
    std::set<int> seen;
    for (const auto& item : items) {
        if (!seen.insert(item.id).second) {
            return reader.fail(kind, "id " + std::to_string(item.id) + " is used twice");
        }
    }
    return true;
}

}  // namespace

bool isServerDateText(std::string_view text) {
    if (text.empty()) {
        return true;
    }
    static constexpr std::string_view kPattern = "dddd-dd-dd dd:dd:dd";
    if (text.size() != kPattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if ((kPattern[i] == 'd') != digit || (kPattern[i] != 'd' && text[i] != kPattern[i])) {
            return false;
        }
    }
    auto number = [&](std::size_t at, std::size_t length) {
        return std::stoi(std::string(text.substr(at, length)));
    };
    return number(5, 2) >= 1 && number(5, 2) <= 12 && number(8, 2) >= 1 && number(8, 2) <= 31 &&
           number(11, 2) <= 23 && number(14, 2) <= 59 && number(17, 2) <= 59;
}

const std::string& CatalogueFile::titleFor(int locale) const {
    auto it = localizedTitles.find(locale);
    return it == localizedTitles.end() ? title : it->second;
}

Result<Catalogue> Catalogue::load(const std::filesystem::path& directory) {
    auto text = FileSystem::readFile(directory / kManifestName);
    if (!text.ok()) {
        return Error::make(kErrorDomain, 2,
                           "cannot read " + (directory / kManifestName).string() + ": " +
                               text.error().description);
    }
    return parse(text.value(), directory);
}

Result<Catalogue> Catalogue::parse(std::string_view manifest,
                                   const std::filesystem::path& directory) {
    json root = json::parse(manifest, nullptr, false);
    if (root.is_discarded()) {
        return Error::make(kErrorDomain, 1, std::string(kManifestName) + ": not valid JSON");
    }
    ManifestReader reader;
    Catalogue catalogue;
    catalogue.directory = directory;
    if (!root.is_object()) {
        reader.fail("top level", "must be an object");
        return *reader.error;
    }
    int format = 0;
    if (!reader.integer(root, "format", "top level", format)) {
        return *reader.error;
    }
    if (format != kFormatVersion) {
        reader.fail("format", "version " + std::to_string(format) + " is not supported");
        return *reader.error;
    }
    static const std::set<std::string> kKnown = {
        "format",   "users",   "locales",   "categories",      "files",   "highlights",
        "imprints", "beacons", "customers", "customer_groups", "qrcodes", "favorite_folders"};
    for (const auto& [key, value] : root.items()) {
        if (!kKnown.contains(key)) {
            catalogue.extensions[key] = value.dump();
        }
    }

    bool ok = reader.list(
                  root, "users", "",
                  [&](const json& o, const std::string& w) {
                      CatalogueUser user;
                      std::string secret;
                      if (!reader.keys(o, w, {"id", "username", "password", "secret", "locales"}) ||
                          !reader.identifier(o, "id", w, user.id) ||
                          !reader.text(o, "username", w, user.username) ||
                          !reader.text(o, "password", w, user.password) ||
                          !reader.optionalIntegers(o, "locales", w, user.locales)) {
                          return false;
                      }
                      if (o.contains("secret") && !o.at("secret").is_null()) {
                          if (!reader.text(o, "secret", w, secret)) {
                              return false;
                          }
                          user.secret = secret;
                      }
                      if (user.username.empty()) {
                          return reader.fail(w + ".username", "must not be empty");
                      }
                      catalogue.users.push_back(std::move(user));
                      return true;
                  }) &&
              reader.list(root, "locales", "",
                          [&](const json& o, const std::string& w) {
                              CatalogueLocale locale;
                              if (!reader.keys(o, w, {"id", "title", "iso_full", "iso5", "iso2"}) ||
                                  !reader.identifier(o, "id", w, locale.id) ||
                                  !reader.text(o, "title", w, locale.title) ||
                                  !reader.text(o, "iso_full", w, locale.isoFull, "") ||
                                  !reader.text(o, "iso5", w, locale.iso5, "") ||
                                  !reader.text(o, "iso2", w, locale.iso2, "")) {
                                  return false;
                              }
                              catalogue.locales.push_back(std::move(locale));
                              return true;
                          }) &&
              reader.list(
                  root, "categories", "",
                  [&](const json& o, const std::string& w) {
                      CatalogueCategory category;
                      if (!reader.keys(o, w,
                                       {"id", "locale", "title", "modified", "parents", "positions",
                                        "users"}) ||
                          !reader.identifier(o, "id", w, category.id) ||
                          !reader.identifier(o, "locale", w, category.locale) ||
                          !reader.text(o, "title", w, category.title) ||
                          !reader.date(o, "modified", w, category.modified) ||
                          !reader.integers(o, "parents", w, category.parents) ||
                          !reader.optionalIntegers(o, "users", w, category.users)) {
                          return false;
                      }
                      if (!reader.list(
                              o, "positions", w + ".", [&](const json& p, const std::string& pw) {
                                  CategoryPosition position;
                                  if (!reader.keys(p, pw, {"parent", "position", "sorting_id"}) ||
                                      !reader.integer(p, "parent", pw, position.parent, 0) ||
                                      !reader.integer(p, "position", pw, position.position) ||
                                      !reader.integer(p, "sorting_id", pw, position.sortingId, 0)) {
                                      return false;
                                  }
                                  category.positions.push_back(position);
                                  return true;
                              })) {
                          return false;
                      }
                      catalogue.categories.push_back(std::move(category));
                      return true;
                  }) &&
              reader.list(root, "files", "",
                          [&](const json& o, const std::string& w) {
                              CatalogueFile file;
                              if (!readFile(reader, o, w, file)) {
                                  return false;
                              }
                              catalogue.files.push_back(std::move(file));
                              return true;
                          }) &&
              reader.integers(root, "highlights", "top level", catalogue.highlights) &&
              reader.list(root, "imprints", "",
                          [&](const json& o, const std::string& w) {
                              CatalogueImprint imprint;
                              if (!reader.keys(o, w, {"id", "locale", "text"}) ||
                                  !reader.identifier(o, "id", w, imprint.id) ||
                                  !reader.identifier(o, "locale", w, imprint.locale) ||
                                  !reader.text(o, "text", w, imprint.text)) {
                                  return false;
                              }
                              catalogue.imprints.push_back(std::move(imprint));
                              return true;
                          }) &&
              reader.list(root, "beacons", "",
                          [&](const json& o, const std::string& w) {
                              CatalogueBeacon beacon;
                              if (!reader.keys(o, w, {"id", "uuid", "major", "minor", "name"}) ||
                                  !reader.identifier(o, "id", w, beacon.id) ||
                                  !reader.text(o, "uuid", w, beacon.uuid) ||
                                  !reader.text(o, "major", w, beacon.major, "") ||
                                  !reader.text(o, "minor", w, beacon.minor, "") ||
                                  !reader.text(o, "name", w, beacon.name, "")) {
                                  return false;
                              }
                              catalogue.beacons.push_back(std::move(beacon));
                              return true;
                          }) &&
              reader.list(root, "customers", "",
                          [&](const json& o, const std::string& w) {
                              CatalogueCustomer customer;
                              if (!reader.keys(o, w, {"id", "name", "lat", "lng"}) ||
                                  !reader.identifier(o, "id", w, customer.id) ||
                                  !reader.text(o, "name", w, customer.name) ||
                                  !reader.text(o, "lat", w, customer.lat) ||
                                  !reader.text(o, "lng", w, customer.lng)) {
                                  return false;
                              }
                              catalogue.customers.push_back(std::move(customer));
                              return true;
                          }) &&
              reader.list(root, "customer_groups", "",
                          [&](const json& o, const std::string& w) {
                              CatalogueCustomerGroup group;
                              if (!reader.keys(o, w, {"id", "name", "customers"}) ||
                                  !reader.identifier(o, "id", w, group.id) ||
                                  !reader.text(o, "name", w, group.name) ||
                                  !reader.integers(o, "customers", w, group.customers)) {
                                  return false;
                              }
                              catalogue.customerGroups.push_back(std::move(group));
                              return true;
                          }) &&
              reader.list(root, "qrcodes", "",
                          [&](const json& o, const std::string& w) {
                              CatalogueQRCode code;
                              if (!reader.keys(o, w, {"id", "url", "name"}) ||
                                  !reader.identifier(o, "id", w, code.id) ||
                                  !reader.text(o, "url", w, code.url) ||
                                  !reader.text(o, "name", w, code.name, "")) {
                                  return false;
                              }
                              catalogue.qrcodes.push_back(std::move(code));
                              return true;
                          }) &&
              reader.list(root, "favorite_folders", "", [&](const json& o, const std::string& w) {
                  CatalogueFavoriteFolder folder;
                  if (!reader.keys(o, w, {"id", "user", "locale", "name", "files"}) ||
                      !reader.identifier(o, "id", w, folder.id) ||
                      !reader.identifier(o, "user", w, folder.user) ||
                      !reader.identifier(o, "locale", w, folder.locale) ||
                      !reader.text(o, "name", w, folder.name) ||
                      !reader.integers(o, "files", w, folder.files)) {
                      return false;
                  }
                  catalogue.favoriteFolders.push_back(std::move(folder));
                  return true;
              });
    if (!ok) {
        return *reader.error;
    }
    if (Status derived = catalogue.computeDerivedValues(); !derived.ok()) {
        return derived.error();
    }
    if (Status valid = catalogue.validate(); !valid.ok()) {
        return valid.error();
    }
    return catalogue;
}

Status Catalogue::computeDerivedValues() {
    auto sizeOf = [&](const std::string& relative,
                      const std::string& where) -> Result<std::uint64_t> {
        auto real = CataloguePaths::resolve(directory, relative);
        if (!real.ok()) {
            return Error::make(
                kErrorDomain, 3,
                std::string(kManifestName) + ": " + where + ": " + real.error().description);
        }
        std::error_code ec;
        auto size = std::filesystem::file_size(real.value(), ec);
        if (ec) {
            return Error::make(kErrorDomain, 3, where + ": " + ec.message());
        }
        return static_cast<std::uint64_t>(size);
    };
    int nextSorting = 0;
    for (const auto& category : categories) {
        for (const auto& position : category.positions) {
            nextSorting = std::max(nextSorting, position.sortingId);
        }
    }
    for (auto& category : categories) {
        for (auto& position : category.positions) {
            if (position.sortingId == 0) {
                position.sortingId = ++nextSorting;
            }
        }
    }
    for (auto& file : files) {
        const std::string where = "file " + std::to_string(file.id);
        auto size = sizeOf(file.path, where + " path");
        if (!size.ok()) {
            return size.error();
        }
        file.size = size.value();
        if (!file.thumbnailPath.empty()) {
            auto thumbnailSize = sizeOf(file.thumbnailPath, where + " thumbnail");
            if (!thumbnailSize.ok()) {
                return thumbnailSize.error();
            }
            file.thumbnailSize = thumbnailSize.value();
        }
        for (auto& annotation : file.annotations) {
            for (auto& asset : annotation.assets) {
                auto assetSize = sizeOf(asset.path, where + " asset " + std::to_string(asset.id));
                if (!assetSize.ok()) {
                    return assetSize.error();
                }
                asset.size = assetSize.value();
            }
        }
    }
    return {};
}

Status Catalogue::validate() const {
    ManifestReader reader;
    auto known = [](const auto& items, int id) {
        return std::any_of(items.begin(), items.end(), [&](const auto& x) { return x.id == id; });
    };
    auto allKnown = [&](const auto& items, const std::vector<int>& ids, const std::string& where,
                        const char* kind) {
        for (int id : ids) {
            if (!known(items, id)) {
                return reader.fail(where,
                                   std::string("unknown ") + kind + " " + std::to_string(id));
            }
        }
        return true;
    };
    bool ok = uniqueIds(reader, users, "users") && uniqueIds(reader, locales, "locales") &&
              uniqueIds(reader, files, "files") && uniqueIds(reader, imprints, "imprints") &&
              uniqueIds(reader, beacons, "beacons") && uniqueIds(reader, customers, "customers") &&
              uniqueIds(reader, customerGroups, "customer_groups") &&
              uniqueIds(reader, qrcodes, "qrcodes") &&
              uniqueIds(reader, favoriteFolders, "favorite_folders");
    std::set<std::string> usernames;
    for (const auto& user : users) {
        const std::string where = "user " + std::to_string(user.id);
        ok = ok && (usernames.insert(user.username).second ||
                    reader.fail(where, "username \"" + user.username + "\" is used twice"));
        ok = ok && (!user.locales || allKnown(locales, *user.locales, where, "locale"));
    }
    std::set<std::pair<int, int>> categoryKeys;
    std::set<int> sortingIds;
    for (const auto& category : categories) {
        const std::string where = "category " + std::to_string(category.id) + " (locale " +
                                  std::to_string(category.locale) + ")";
        ok = ok && (known(locales, category.locale) ||
                    reader.fail(where, "unknown locale " + std::to_string(category.locale)));
        ok = ok && (categoryKeys.insert({category.id, category.locale}).second ||
                    reader.fail(where, "is defined twice"));
        ok = ok && (!category.users || allKnown(users, *category.users, where, "user"));
        for (int parent : category.parents) {
            ok = ok && (parent != category.id || reader.fail(where, "is its own parent"));
            ok = ok && (this->category(parent, category.locale) != nullptr ||
                        reader.fail(where, "unknown parent " + std::to_string(parent)));
        }
        for (const auto& position : category.positions) {
            ok = ok && (position.parent == 0 ||
                        std::find(category.parents.begin(), category.parents.end(),
                                  position.parent) != category.parents.end() ||
                        reader.fail(where, "position under " + std::to_string(position.parent) +
                                               ", which is not a parent"));
            ok = ok && (sortingIds.insert(position.sortingId).second ||
                        reader.fail(where, "sorting id " + std::to_string(position.sortingId) +
                                               " is used twice"));
        }
    }
    // A cycle would send a client walking the tree in circles.
    std::map<std::pair<int, int>, int> state;  // 1 visiting, 2 done
    std::function<bool(const CatalogueCategory&)> visit = [&](const CatalogueCategory& category) {
        auto key = std::make_pair(category.id, category.locale);
        if (state[key] == 2) {
            return true;
        }
        if (state[key] == 1) {
            return reader.fail("category " + std::to_string(category.id),
                               "its parents form a cycle");
        }
        state[key] = 1;
        for (int parent : category.parents) {
            if (const auto* p = this->category(parent, category.locale); p && !visit(*p)) {
                return false;
            }
        }
        state[key] = 2;
        return true;
    };
    for (const auto& category : categories) {
        ok = ok && visit(category);
    }
    std::set<int> assetIds, annotationIds;
    std::set<std::string> fileLocations;
    for (const auto& file : files) {
        const std::string where = "file " + std::to_string(file.id);
        ok = ok && (!file.locales.empty() || reader.fail(where, "has no locale"));
        ok = ok && allKnown(locales, file.locales, where, "locale");
        for (const auto& [locale, title] : file.localizedTitles) {
            ok = ok && (std::find(file.locales.begin(), file.locales.end(), locale) !=
                            file.locales.end() ||
                        reader.fail(where, "title for locale " + std::to_string(locale) +
                                               ", which the file is not in"));
        }
        for (int category : file.categories) {
            bool inSomeLocale = std::any_of(file.locales.begin(), file.locales.end(),
                                            [&](int l) { return this->category(category, l); });
            ok = ok && (inSomeLocale || reader.fail(where, "category " + std::to_string(category) +
                                                               " exists in none of its locales"));
        }
        for (const auto& [category, position] : file.positions) {
            ok = ok && (std::find(file.categories.begin(), file.categories.end(), category) !=
                            file.categories.end() ||
                        reader.fail(where, "position in category " + std::to_string(category) +
                                               ", which it is not in"));
        }
        ok = ok && (!file.users || allKnown(users, *file.users, where, "user"));
        ok = ok && allKnown(beacons, file.beacons, where, "beacon") &&
             allKnown(customers, file.customers, where, "customer") &&
             allKnown(customerGroups, file.customerGroups, where, "customer group") &&
             allKnown(qrcodes, file.qrcodes, where, "QR code");
        ok = ok && (file.location.empty() || file.location.rfind("/media/files/", 0) == 0 ||
                    reader.fail(where, "location must begin with /media/files/"));
        ok = ok && (fileLocations
                        .insert(file.location.empty() ? defaultLocation(file.id, file.path)
                                                      : file.location)
                        .second ||
                    reader.fail(where, "location is used by another file"));
        for (const auto& annotation : file.annotations) {
            ok = ok && (annotationIds.insert(annotation.id).second ||
                        reader.fail(where, "annotation id " + std::to_string(annotation.id) +
                                               " is used twice"));
            for (const auto& asset : annotation.assets) {
                ok = ok && (assetIds.insert(asset.id).second ||
                            reader.fail(where,
                                        "asset id " + std::to_string(asset.id) + " is used twice"));
            }
        }
    }
    std::set<int> highlighted;
    for (int id : highlights) {
        ok = ok && (file(id) != nullptr ||
                    reader.fail("highlights", "unknown file " + std::to_string(id)));
        ok = ok && (highlighted.insert(id).second ||
                    reader.fail("highlights", "file " + std::to_string(id) + " is listed twice"));
    }
    std::set<int> imprintLocales;
    for (const auto& imprint : imprints) {
        const std::string where = "imprint " + std::to_string(imprint.id);
        ok = ok && (known(locales, imprint.locale) ||
                    reader.fail(where, "unknown locale " + std::to_string(imprint.locale)));
        ok = ok && (imprintLocales.insert(imprint.locale).second ||
                    reader.fail(where, "a second imprint for its locale"));
    }
    for (const auto& group : customerGroups) {
        ok = ok && allKnown(customers, group.customers,
                            "customer group " + std::to_string(group.id), "customer");
    }
    for (const auto& folder : favoriteFolders) {
        const std::string where = "favourite folder " + std::to_string(folder.id);
        ok = ok && (known(users, folder.user) || reader.fail(where, "unknown user")) &&
             (known(locales, folder.locale) || reader.fail(where, "unknown locale")) &&
             allKnown(files, folder.files, where, "file");
    }
    if (!ok) {
        return *reader.error;
    }
    return {};
}

std::string Catalogue::toManifest() const {
    json root = json::object();
    root["format"] = kFormatVersion;
    for (const auto& [key, text] : extensions) {
        root[key] = json::parse(text, nullptr, false);
    }
    root["users"] = json::array();
    for (const auto& user : users) {
        root["users"].push_back({{"id", user.id},
                                 {"username", user.username},
                                 {"password", user.password},
                                 {"secret", user.secret ? json(*user.secret) : json(nullptr)},
                                 {"locales", optionalList(user.locales)}});
    }
    root["locales"] = json::array();
    for (const auto& locale : locales) {
        root["locales"].push_back({{"id", locale.id},
                                   {"title", locale.title},
                                   {"iso_full", locale.isoFull},
                                   {"iso5", locale.iso5},
                                   {"iso2", locale.iso2}});
    }
    root["categories"] = json::array();
    for (const auto& category : categories) {
        json positions = json::array();
        for (const auto& position : category.positions) {
            positions.push_back({{"parent", position.parent},
                                 {"position", position.position},
                                 {"sorting_id", position.sortingId}});
        }
        root["categories"].push_back({{"id", category.id},
                                      {"locale", category.locale},
                                      {"title", category.title},
                                      {"modified", category.modified},
                                      {"parents", category.parents},
                                      {"positions", positions},
                                      {"users", optionalList(category.users)}});
    }
    root["files"] = json::array();
    for (const auto& file : files) {
        json titles = json::object();
        for (const auto& [locale, title] : file.localizedTitles) {
            titles[std::to_string(locale)] = title;
        }
        json positions = json::object();
        for (const auto& [category, position] : file.positions) {
            positions[std::to_string(category)] = position;
        }
        json annotations = json::array();
        for (const auto& annotation : file.annotations) {
            json assets = json::array();
            for (const auto& asset : annotation.assets) {
                assets.push_back({{"id", asset.id},
                                  {"path", asset.path},
                                  {"type", asset.type},
                                  {"position", asset.position}});
            }
            annotations.push_back(
                {{"id", annotation.id}, {"page", annotation.page}, {"assets", assets}});
        }
        json entry = {{"id", file.id},
                      {"title", file.title},
                      {"titles", titles},
                      {"path", file.path},
                      {"mime_type", file.mimeType},
                      {"created", file.created},
                      {"modified", file.modified},
                      {"orientation", file.orientation},
                      {"published_for_form_factor", file.formFactor},
                      {"shareable", file.shareable},
                      {"publication", windowJson(file.publishStart, file.publishEnd)},
                      {"highlight_window", windowJson(file.highlightStart, file.highlightEnd)},
                      {"metatags", file.metatags},
                      {"read_confirmation", file.needsReadConfirmation},
                      {"thumbnail", file.thumbnailPath},
                      {"locales", file.locales},
                      {"categories", file.categories},
                      {"positions", positions},
                      {"users", optionalList(file.users)},
                      {"annotations", annotations},
                      {"beacons", file.beacons},
                      {"customers", file.customers},
                      {"customer_groups", file.customerGroups},
                      {"qrcodes", file.qrcodes}};
        if (!file.location.empty()) {
            entry["location"] = file.location;
        }
        root["files"].push_back(std::move(entry));
    }
    root["highlights"] = highlights;
    root["imprints"] = json::array();
    for (const auto& imprint : imprints) {
        root["imprints"].push_back(
            {{"id", imprint.id}, {"locale", imprint.locale}, {"text", imprint.text}});
    }
    root["beacons"] = json::array();
    for (const auto& beacon : beacons) {
        root["beacons"].push_back({{"id", beacon.id},
                                   {"uuid", beacon.uuid},
                                   {"major", beacon.major},
                                   {"minor", beacon.minor},
                                   {"name", beacon.name}});
    }
    root["customers"] = json::array();
    for (const auto& customer : customers) {
        root["customers"].push_back({{"id", customer.id},
                                     {"name", customer.name},
                                     {"lat", customer.lat},
                                     {"lng", customer.lng}});
    }
    root["customer_groups"] = json::array();
    for (const auto& group : customerGroups) {
        root["customer_groups"].push_back(
            {{"id", group.id}, {"name", group.name}, {"customers", group.customers}});
    }
    root["qrcodes"] = json::array();
    for (const auto& code : qrcodes) {
        root["qrcodes"].push_back({{"id", code.id}, {"url", code.url}, {"name", code.name}});
    }
    root["favorite_folders"] = json::array();
    for (const auto& folder : favoriteFolders) {
        root["favorite_folders"].push_back({{"id", folder.id},
                                            {"user", folder.user},
                                            {"locale", folder.locale},
                                            {"name", folder.name},
                                            {"files", folder.files}});
    }
    return root.dump(2) + "\n";
}

Status Catalogue::save() const {
    return FileSystem::writeFileAtomically(directory / kManifestName, toManifest());
}

const CatalogueUser* Catalogue::user(int id) const {
    for (const auto& u : users) {
        if (u.id == id) {
            return &u;
        }
    }
    return nullptr;
}

const CatalogueUser* Catalogue::userNamed(std::string_view username) const {
    for (const auto& u : users) {
        if (u.username == username) {
            return &u;
        }
    }
    return nullptr;
}

const CatalogueLocale* Catalogue::locale(int id) const {
    for (const auto& l : locales) {
        if (l.id == id) {
            return &l;
        }
    }
    return nullptr;
}

const CatalogueCategory* Catalogue::category(int id, int localeId) const {
    for (const auto& c : categories) {
        if (c.id == id && c.locale == localeId) {
            return &c;
        }
    }
    return nullptr;
}

CatalogueCategory* Catalogue::category(int id, int localeId) {
    return const_cast<CatalogueCategory*>(std::as_const(*this).category(id, localeId));
}

const CatalogueFile* Catalogue::file(int id) const {
    for (const auto& f : files) {
        if (f.id == id) {
            return &f;
        }
    }
    return nullptr;
}

CatalogueFile* Catalogue::file(int id) {
    return const_cast<CatalogueFile*>(std::as_const(*this).file(id));
}

namespace {

// The last segment of a served address: the file's own name with anything that would need
// escaping in a URL replaced, so addresses compare equal before and after decoding.
std::string addressName(const std::string& path) {
    std::string name = std::filesystem::path(path).filename().string();
    for (char& c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
        if (!plain) {
            c = '_';
        }
    }
    return name.empty() ? "file" : name;
}

}  // namespace

std::string Catalogue::defaultLocation(int fileId, const std::string& path) {
    return "/media/files/" + std::to_string(fileId) + "/" + addressName(path);
}

std::string Catalogue::thumbnailLocation(int fileId, const std::string& path, int width) {
    return "/media/thumbs/" + std::to_string(fileId) + "/" + std::to_string(width) + "/" +
           addressName(path);
}

std::string Catalogue::assetLocation(int assetId, const std::string& path) {
    return "/media/assets/" + std::to_string(assetId) + "/" + addressName(path);
}

}  // namespace pagewell::cms
