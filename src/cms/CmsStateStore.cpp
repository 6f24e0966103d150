#include "cms/CmsStateStore.h"

#include "platform/FileSystem.h"

namespace pagewell::cms {

namespace {

using nlohmann::json;

constexpr const char* kSections[] = {"favorite_folders",   "read_confirmations", "share_links",
                                     "favorite_relations", "contacts",           "devices"};

Error stateError(int code, const std::string& description) {
    return Error::make(CmsStateStore::kErrorDomain, code, description);
}

json seedDocument(const Catalogue& catalogue) {
    json document = {{"format", CmsStateStore::kFormatVersion}, {"next_id", 0}};
    for (const char* section : kSections) {
        document[section] = json::array();
    }
    int highest = 0;
    for (const auto& folder : catalogue.favoriteFolders) {
        highest = std::max(highest, folder.id);
    }
    document["next_id"] = highest;
    for (const auto& folder : catalogue.favoriteFolders) {
        document["favorite_folders"].push_back({{"id", folder.id},
                                                {"user", folder.user},
                                                {"locale", folder.locale},
                                                {"name", folder.name}});
        for (int file : folder.files) {
            document["favorite_relations"].push_back({{"id", CmsStateStore::takeId(document)},
                                                      {"user", folder.user},
                                                      {"folder_id", folder.id},
                                                      {"file_id", file}});
        }
    }
    return document;
}

Status checkShape(const json& document) {
    if (!document.is_object() || document.value("format", 0) != CmsStateStore::kFormatVersion ||
        !document.contains("next_id") || !document["next_id"].is_number_integer()) {
        return stateError(1, "not a server state document of format 1");
    }
    for (const char* section : kSections) {
        if (!document.contains(section) || !document[section].is_array()) {
            return stateError(1, std::string("state section \"") + section + "\" is missing");
        }
    }
    return {};
}

bool isPlainName(const std::string& name) {
    return !name.empty() && name.size() < 200 && name.find('/') == std::string::npos &&
           name != "." && name != ".." && name.find('\0') == std::string::npos;
}

}  // namespace

CmsStateStore::CmsStateStore(std::filesystem::path file, Document document)
    : file_(std::move(file)), document_(std::move(document)) {}

Result<std::unique_ptr<CmsStateStore>> CmsStateStore::open(std::filesystem::path file,
                                                           const Catalogue& seed) {
    json document;
    std::error_code error;
    if (!file.empty() && std::filesystem::exists(file, error)) {
        auto text = FileSystem::readFile(file);
        if (!text.ok()) {
            return text.error();
        }
        document = json::parse(text.value(), nullptr, false);
        if (auto shape = checkShape(document); !shape.ok()) {
            return stateError(1, file.string() + ": " + shape.error().description);
        }
    } else {
        document = seedDocument(seed);
    }
    return std::unique_ptr<CmsStateStore>(new CmsStateStore(std::move(file), std::move(document)));
}

Status CmsStateStore::update(const std::function<Status(Document&)>& change) {
    std::lock_guard lock(mutex_);
    json changed = document_;
    if (auto status = change(changed); !status.ok()) {
        return status;
    }
    if (!file_.empty()) {
        if (auto written = FileSystem::writeFileAtomically(file_, changed.dump(1)); !written.ok()) {
            return written;
        }
    }
    document_ = std::move(changed);
    return {};
}

void CmsStateStore::read(const std::function<void(const Document&)>& reader) const {
    std::lock_guard lock(mutex_);
    reader(document_);
}

int CmsStateStore::takeId(Document& document) {
    const int id = document["next_id"].get<int>() + 1;
    document["next_id"] = id;
    return id;
}

std::filesystem::path CmsStateStore::uploadDirectory() const {
    return file_.parent_path() / (file_.filename().string() + ".uploads");
}

Status CmsStateStore::storeUpload(const std::string& name, const std::string& bytes) {
    if (!isPlainName(name)) {
        return stateError(2, "upload names are plain file names");
    }
    std::lock_guard lock(uploadsMutex_);
    if (file_.empty()) {
        uploads_[name] = bytes;
        return {};
    }
    if (auto made = FileSystem::createDirectories(uploadDirectory()); !made.ok()) {
        return made;
    }
    return FileSystem::writeFileAtomically(uploadDirectory() / name, bytes);
}

std::optional<std::string> CmsStateStore::upload(const std::string& name) const {
    if (!isPlainName(name)) {
        return std::nullopt;
    }
    std::lock_guard lock(uploadsMutex_);
    if (file_.empty()) {
        auto it = uploads_.find(name);
        return it == uploads_.end() ? std::nullopt : std::optional<std::string>(it->second);
    }
    auto bytes = FileSystem::readFile(uploadDirectory() / name);
    return bytes.ok() ? std::optional<std::string>(std::move(bytes).value()) : std::nullopt;
}

}  // namespace pagewell::cms
