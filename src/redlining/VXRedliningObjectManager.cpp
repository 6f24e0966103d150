#include "redlining/VXRedliningObjectManager.h"

#include <algorithm>
#include <system_error>

#include "platform/FileSystem.h"
#include "platform/Logger.h"
#include "redlining/VXRedliningLineObject.h"
#include "store/RedliningFileName.h"

namespace pagewell {

namespace {

PlistValue placeArguments(int page, std::size_t index) {
    PlistDict arguments;
    arguments["page"] = PlistValue(page);
    arguments["index"] = PlistValue(static_cast<std::int64_t>(index));
    return PlistValue(std::move(arguments));
}

}  // namespace

VXRedliningObjectManager::VXRedliningObjectManager() : undo_(kUndoLevels) {
    undo_.setPerformer([this](const UndoAction& action) { perform(action); });
}

VXRedliningObjectManager& VXRedliningObjectManager::getInstance() {
    static VXRedliningObjectManager instance;
    return instance;
}

std::optional<std::size_t> VXRedliningObjectManager::indexOf(const RedliningObjectPtr& object,
                                                             int page) const {
    auto found = pages_.find(page);
    if (found == pages_.end()) {
        return std::nullopt;
    }
    auto it = std::find(found->second.begin(), found->second.end(), object);
    if (it == found->second.end()) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(it - found->second.begin());
}

RedliningObjectPtr VXRedliningObjectManager::objectAt(const PlistValue& arguments) const {
    auto found = pages_.find(
        static_cast<int>(arguments.find("page") ? arguments.find("page")->integerValue(-1) : -1));
    const PlistValue* index = arguments.find("index");
    if (found == pages_.end() || index == nullptr || index->integerValue(-1) < 0 ||
        static_cast<std::size_t>(index->integerValue()) >= found->second.size()) {
        return nullptr;
    }
    return found->second[static_cast<std::size_t>(index->integerValue())];
}

void VXRedliningObjectManager::insertAt(RedliningObjectPtr object, int page, std::size_t index) {
    object->setPage(page);
    auto& list = pages_[page];
    index = std::min(index, list.size());
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(index), object);
    undo_.registerUndo({"remove", placeArguments(page, index)});
}

void VXRedliningObjectManager::addRedliningObject(RedliningObjectPtr object, int page) {
    std::size_t index = pages_.count(page) ? pages_[page].size() : 0;
    insertAt(std::move(object), page, index);
}

void VXRedliningObjectManager::removeRedliningObject(const RedliningObjectPtr& object, int page) {
    auto index = indexOf(object, page);
    if (!index) {
        return;
    }
    PlistValue arguments = placeArguments(page, *index);
    arguments.dict()->emplace("object", PlistData{RedliningArchive::encodeObject(*object)});
    undo_.registerUndo({"insert", std::move(arguments)});
    deselectRedliningObject(object);
    auto& list = pages_[page];
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(*index));
    if (list.empty()) {
        pages_.erase(page);
    }
}

void VXRedliningObjectManager::removeRedliningObjectsForPage(int page) {
    auto found = pages_.find(page);
    if (found == pages_.end()) {
        return;
    }
    std::vector<RedliningObjectPtr> objects = found->second;
    undo_.beginGroup();
    for (auto it = objects.rbegin(); it != objects.rend(); ++it) {
        removeRedliningObject(*it, page);
    }
    undo_.endGroup();
}

void VXRedliningObjectManager::removeAllRedliningObjects() {
    std::vector<int> pages;
    for (const auto& entry : pages_) {
        pages.push_back(entry.first);
    }
    undo_.beginGroup();
    for (int page : pages) {
        removeRedliningObjectsForPage(page);
    }
    undo_.endGroup();
}

const std::vector<RedliningObjectPtr>* VXRedliningObjectManager::getRedliningObjectsForPage(
    int page) const {
    auto found = pages_.find(page);
    return found == pages_.end() ? nullptr : &found->second;
}

bool VXRedliningObjectManager::pageHasRedlining(int page) const {
    return pages_.count(page) > 0;
}

void VXRedliningObjectManager::transformObjects(const std::vector<RedliningObjectPtr>& objects,
                                                const RedliningTransform& change) {
    undo_.beginGroup();
    for (const auto& object : objects) {
        auto index = indexOf(object, object->page());
        if (!index) {
            continue;
        }
        PlistValue arguments = placeArguments(object->page(), *index);
        arguments.dict()->emplace("transform",
                                  RedliningGeometry::formatTransform(object->transform()));
        undo_.registerUndo({"transform", std::move(arguments)});
        object->setTransform(change.after(object->transform()));
    }
    undo_.endGroup();
}

void VXRedliningObjectManager::registerStyle(const RedliningObjectPtr& object, const char* name,
                                             PlistValue old) {
    if (!undo_.isUndoing() && !undo_.isRedoing()) {
        return;
    }
    auto index = indexOf(object, object->page());
    if (!index) {
        return;
    }
    PlistValue arguments = placeArguments(object->page(), *index);
    arguments.dict()->emplace("value", std::move(old));
    undo_.registerUndo({name, std::move(arguments)});
}

void VXRedliningObjectManager::setLineWidth(const RedliningObjectPtr& object, double width) {
    if (auto* line = dynamic_cast<VXRedliningLineObject*>(object.get())) {
        registerStyle(object, "lineWidth", PlistValue(line->lineWidth()));
        line->setLineWidthAnimated(width);
    }
}

void VXRedliningObjectManager::setLineColor(const RedliningObjectPtr& object,
                                            const RedliningColor& color) {
    PlistArray old{PlistValue(object->strokeColor().red), PlistValue(object->strokeColor().green),
                   PlistValue(object->strokeColor().blue), PlistValue(object->strokeColor().alpha)};
    registerStyle(object, "lineColor", PlistValue(std::move(old)));
    object->setStrokeColor(color);
}

void VXRedliningObjectManager::setLineAlpha(const RedliningObjectPtr& object, double alpha) {
    if (auto* line = dynamic_cast<VXRedliningLineObject*>(object.get())) {
        registerStyle(object, "lineAlpha", PlistValue(line->opacity()));
        line->setLineAlphaAnimated(alpha);
    }
}

void VXRedliningObjectManager::setLineDashPattern(const RedliningObjectPtr& object,
                                                  std::vector<double> pattern) {
    if (auto* line = dynamic_cast<VXRedliningLineObject*>(object.get())) {
        PlistArray old;
        for (double v : line->selected() ? std::vector<double>{} : line->lineDashPattern()) {
            old.emplace_back(v);
        }
        registerStyle(object, "lineDash", PlistValue(std::move(old)));
        line->setLineDashPatternAnimated(std::move(pattern));
    }
}

void VXRedliningObjectManager::perform(const UndoAction& action) {
    const PlistValue& args = action.arguments;
    if (action.name == "insert") {
        const PlistValue* data = args.find("object");
        if (data == nullptr || !data->isData()) {
            return;
        }
        auto object = RedliningArchive::decodeObject(data->data()->bytes);
        if (!object) {
            PW_LOG_ERROR_VALUE(object.error());
            return;
        }
        int page = static_cast<int>(args.find("page") ? args.find("page")->integerValue() : 0);
        auto index = static_cast<std::size_t>(
            std::max<std::int64_t>(0, args.find("index") ? args.find("index")->integerValue() : 0));
        insertAt(std::move(object.value()), page, index);
        return;
    }
    RedliningObjectPtr object = objectAt(args);
    if (!object) {
        PW_LOG_WARNING("Undo step skipped: its object is gone");
        return;
    }
    const PlistValue* value = args.find("value");
    if (action.name == "remove") {
        removeRedliningObject(object, object->page());
    } else if (action.name == "transform") {
        const PlistValue* text = args.find("transform");
        auto t = text ? RedliningGeometry::parseTransform(text->stringValue()) : std::nullopt;
        if (t) {
            PlistValue arguments = args;
            (*arguments.dict())["transform"] =
                PlistValue(RedliningGeometry::formatTransform(object->transform()));
            undo_.registerUndo({"transform", std::move(arguments)});
            object->setTransform(*t);
        }
    } else if (action.name == "lineWidth" && value) {
        setLineWidth(object, value->realValue(2));
    } else if (action.name == "lineAlpha" && value) {
        setLineAlpha(object, value->realValue(1));
    } else if (action.name == "lineColor" && value && value->array() &&
               value->array()->size() == 4) {
        const auto& c = *value->array();
        setLineColor(object,
                     {c[0].realValue(), c[1].realValue(), c[2].realValue(), c[3].realValue()});
    } else if (action.name == "lineDash" && value && value->array()) {
        std::vector<double> pattern;
        for (const auto& v : *value->array()) {
            pattern.push_back(v.realValue());
        }
        setLineDashPattern(object, std::move(pattern));
    }
}

void VXRedliningObjectManager::selectRedliningObject(const RedliningObjectPtr& object) {
    if (isObjectSelected(object)) {
        return;
    }
    object->setupSelectedState();
    selected_.push_back(object);
}

void VXRedliningObjectManager::deselectRedliningObject(const RedliningObjectPtr& object) {
    auto it = std::find(selected_.begin(), selected_.end(), object);
    if (it == selected_.end()) {
        return;
    }
    object->setupDrawingState();
    selected_.erase(it);
}

void VXRedliningObjectManager::deselectAllRedliningObjects() {
    for (const auto& object : selected_) {
        object->setupDrawingState();
    }
    selected_.clear();
}

bool VXRedliningObjectManager::isObjectSelected(const RedliningObjectPtr& object) const {
    return std::find(selected_.begin(), selected_.end(), object) != selected_.end();
}

void VXRedliningObjectManager::setPDFID(const std::string& pdfId) {
    if (pdfId == pdfId_) {
        return;
    }
    pdfId_ = pdfId;
    pages_.clear();
    selected_.clear();
    loaded_ = false;
    loadPath_.reset();
    loadIncomplete_ = false;
    // Steps of the previous document would put its objects into this one.
    undo_.removeAllActions();
}

std::filesystem::path VXRedliningObjectManager::redliningSavePathForPdfId(
    const std::string& pdfId) const {
    return basePath_ / RedliningFileName::fileName(pdfId);
}

Result<RedliningArchive::Decoded> VXRedliningObjectManager::readSet(
    const std::filesystem::path& path) {
    std::error_code error;
    auto size = std::filesystem::file_size(path, error);
    if (error) {
        return Error::fromErrno(error.value(), "Reading " + path.filename().string());
    }
    if (size > kMaxFileBytes) {
        return Error::make(RedliningArchive::kErrorDomain, 2, "The drawings file is too large");
    }
    auto bytes = FileSystem::readFile(path);
    if (!bytes) {
        return bytes.error();
    }
    return RedliningArchive::decode(bytes.value());
}

bool VXRedliningObjectManager::loadRedliningFromFile(
    const std::optional<std::filesystem::path>& path) {
    std::filesystem::path file = path ? *path : redliningSavePath();
    loadPath_ = file;
    std::error_code error;
    if (loaded_ || !pages_.empty() || !std::filesystem::exists(file, error)) {
        loaded_ = true;
        return true;
    }
    auto decoded = readSet(file);
    loaded_ = true;
    if (!decoded) {
        PW_LOG_ERROR("Exception[{}]: {}", decoded.error().domain, decoded.error().description);
        loadIncomplete_ = true;
        return false;
    }
    pages_ = std::move(decoded.value().pages);
    loadIncomplete_ = !decoded.value().complete();
    changed_ = false;
    return true;
}

Status VXRedliningObjectManager::saveRedliningToFile(
    const std::optional<std::filesystem::path>& path) {
    std::filesystem::path file = path ? *path : loadPath_ ? *loadPath_ : redliningSavePath();
    deselectAllRedliningObjects();
    showRedliningObjects();
    if (Status created = FileSystem::createDirectories(file.parent_path()); !created) {
        return created;
    }
    keptOriginal_.clear();
    std::error_code error;
    if (loadIncomplete_ && std::filesystem::exists(file, error)) {
        std::filesystem::path kept = file;
        kept += ".unreadable";
        std::filesystem::rename(file, kept, error);
        if (error) {
            return Error::fromErrno(error.value(), "Keeping the unreadable drawings file");
        }
        PW_LOG_WARNING("Drawings file read only in part; original kept as {}",
                       kept.filename().string());
        keptOriginal_ = kept;
    }
    if (Status written = FileSystem::writeFileAtomically(file, RedliningArchive::encode(pages_));
        !written) {
        return written;
    }
    loadIncomplete_ = false;
    changed_ = false;
    return {};
}

Status VXRedliningObjectManager::deleteRedliningFile(
    const std::optional<std::filesystem::path>& path) {
    std::filesystem::path file = path ? *path : redliningSavePath();
    std::error_code error;
    if (!std::filesystem::remove(file, error) && error) {
        Error failure = Error::fromErrno(error.value(), "Removing the drawings file");
        PW_LOG_ERROR_VALUE(failure);
        return failure;
    }
    return {};
}

bool VXRedliningObjectManager::pdfHasRedlining(const std::string& pdfId) const {
    if (pdfId == pdfId_) {
        return pdfHasRedlining();
    }
    return pdfHasRedlining(basePath_, pdfId);
}

Result<RedliningArchive::Decoded> VXRedliningObjectManager::loadRedliningForPDFID(
    const std::filesystem::path& base, const std::string& pdfId) {
    return readSet(base / RedliningFileName::fileName(pdfId));
}

bool VXRedliningObjectManager::pdfHasRedlining(const std::filesystem::path& base,
                                               const std::string& pdfId) {
    auto decoded = loadRedliningForPDFID(base, pdfId);
    return decoded.ok() && !decoded.value().pages.empty();
}

Status VXRedliningObjectManager::writeSet(const std::filesystem::path& base,
                                          const std::string& pdfId, const RedliningPageMap& pages) {
    if (Status created = FileSystem::createDirectories(base); !created) {
        return created;
    }
    return FileSystem::writeFileAtomically(base / RedliningFileName::fileName(pdfId),
                                           RedliningArchive::encode(pages));
}

}  // namespace pagewell
