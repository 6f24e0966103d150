#include "redlining/RedliningArchive.h"

#include <set>

#include "platform/Logger.h"
#include "redlining/VXRedliningCircleObject.h"
#include "redlining/VXRedliningImageObject.h"
#include "redlining/VXRedliningLineObject.h"
#include "redlining/VXRedliningRectObject.h"
#include "redlining/VXRedliningTextObject.h"

namespace pagewell {

namespace {

KeyedArchiver::Ref addObject(KeyedArchiver& archiver, const VXRedliningObject& object) {
    archiver.beginObject(object.classChain());
    object.encodeWithCoder(archiver);
    return archiver.endObject();
}

RedliningObjectPtr makeObject(const std::vector<std::string>& classes) {
    for (const auto& name : classes) {
        if (name == "VXRedliningCircleObject") {
            return std::make_shared<VXRedliningCircleObject>();
        }
        if (name == "VXRedliningRectObject") {
            return std::make_shared<VXRedliningRectObject>();
        }
        if (name == "VXRedliningLineObject") {
            return std::make_shared<VXRedliningLineObject>();
        }
        if (name == "VXRedliningTextObject") {
            return std::make_shared<VXRedliningTextObject>();
        }
        if (name == "VXRedliningImageObject") {
            return std::make_shared<VXRedliningImageObject>();
        }
    }
    return nullptr;
}

Error archiveError(const std::string& text) {
    return Error::make(RedliningArchive::kErrorDomain, 1, text);
}

}  // namespace

std::string RedliningArchive::encode(const RedliningPageMap& pages) {
    KeyedArchiver archiver;
    std::vector<KeyedArchiver::Ref> keys;
    std::vector<KeyedArchiver::Ref> lists;
    for (const auto& [page, objects] : pages) {
        std::vector<KeyedArchiver::Ref> refs;
        refs.reserve(objects.size());
        for (const auto& object : objects) {
            refs.push_back(addObject(archiver, *object));
        }
        archiver.beginObject({"NSMutableArray", "NSArray", "NSObject"});
        archiver.encodeReferences("NS.objects", refs);
        lists.push_back(archiver.endObject());
        keys.push_back(archiver.addInteger(page));
    }
    archiver.beginObject({"NSMutableDictionary", "NSDictionary", "NSObject"});
    archiver.encodeReferences("NS.keys", keys);
    archiver.encodeReferences("NS.objects", lists);
    archiver.setRoot(archiver.endObject());
    return archiver.finish();
}

Result<RedliningArchive::Decoded> RedliningArchive::decode(std::string_view bytes) {
    auto opened = KeyedUnarchiver::fromBytes(bytes);
    if (!opened) {
        return opened.error();
    }
    const KeyedUnarchiver& archive = *opened.value();
    auto root = archive.root();
    auto keys = archive.decodeReferences(root, "NS.keys");
    auto lists = archive.decodeReferences(root, "NS.objects");
    if (!keys || !lists || keys->size() != lists->size()) {
        return archiveError("The drawings file holds no page dictionary");
    }
    Decoded decoded;
    std::set<KeyedUnarchiver::Ref> seen;
    std::size_t objects = 0;
    std::size_t elements = 0;
    for (std::size_t i = 0; i < keys->size(); ++i) {
        auto page = archive.doubleAt((*keys)[i]);
        auto items = archive.decodeReferences((*lists)[i], "NS.objects");
        if (!page || !(*page >= 0 && *page <= kMaxPage) || !items) {
            PW_LOG_WARNING("Drawings of a page skipped: bad page key or list");
            ++decoded.skipped;
            continue;
        }
        int pageNumber = static_cast<int>(*page);
        for (auto ref : *items) {
            if (!seen.insert(ref).second) {
                PW_LOG_WARNING("Drawn object referenced twice, read once");
                ++decoded.skipped;
                continue;
            }
            RedliningObjectPtr object = makeObject(archive.classesOf(ref));
            if (!object || ++objects > kMaxObjects) {
                PW_LOG_WARNING("Drawn object skipped: unknown class or too many objects");
                ++decoded.skipped;
                continue;
            }
            object->initWithCoder(archive, ref);
            std::size_t count = object->path() ? object->path()->elements().size() : 0;
            if ((elements += count) > kMaxPathElements) {
                PW_LOG_WARNING("Drawn object skipped: too many points in the file");
                ++decoded.skipped;
                continue;
            }
            object->setPage(pageNumber);
            decoded.pages[pageNumber].push_back(std::move(object));
        }
        if (auto found = decoded.pages.find(pageNumber);
            found != decoded.pages.end() && found->second.empty()) {
            decoded.pages.erase(found);
        }
    }
    return decoded;
}

std::string RedliningArchive::encodeObject(const VXRedliningObject& object) {
    KeyedArchiver archiver;
    archiver.setRoot(addObject(archiver, object));
    return archiver.finish();
}

Result<RedliningObjectPtr> RedliningArchive::decodeObject(std::string_view bytes) {
    auto opened = KeyedUnarchiver::fromBytes(bytes);
    if (!opened) {
        return opened.error();
    }
    const KeyedUnarchiver& archive = *opened.value();
    RedliningObjectPtr object = makeObject(archive.classesOf(archive.root()));
    if (!object) {
        return archiveError("Not a drawn object");
    }
    object->initWithCoder(archive, archive.root());
    return object;
}

}  // namespace pagewell
