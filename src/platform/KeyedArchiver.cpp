#include "platform/KeyedArchiver.h"

#include <plist/plist.h>

#include <cassert>
#include <map>

namespace pagewell {

struct KeyedArchiver::State {
    std::vector<plist_t> objects;
    std::vector<std::size_t> open;  // indices of objects being built, innermost last
    std::map<std::string, Ref> classRefs;
    Ref root = kNullRef;

    ~State() {
        for (plist_t node : objects) {
            plist_free(node);
        }
    }

    Ref append(plist_t node) {
        objects.push_back(node);
        return objects.size() - 1;
    }

    plist_t current() {
        assert(!open.empty());
        return objects[open.back()];
    }

    void set(std::string_view key, plist_t node) {
        plist_dict_set_item(current(), std::string(key).c_str(), node);
    }

    Ref classRef(const std::vector<std::string>& classes) {
        std::string joined;
        for (const auto& name : classes) {
            joined += name;
            joined += '\n';
        }
        auto found = classRefs.find(joined);
        if (found != classRefs.end()) {
            return found->second;
        }
        plist_t dict = plist_new_dict();
        plist_dict_set_item(dict, "$classname",
                            plist_new_string(classes.empty() ? "" : classes.front().c_str()));
        plist_t list = plist_new_array();
        for (const auto& name : classes) {
            plist_array_append_item(list, plist_new_string(name.c_str()));
        }
        plist_dict_set_item(dict, "$classes", list);
        Ref ref = append(dict);
        classRefs.emplace(joined, ref);
        return ref;
    }
};

KeyedArchiver::KeyedArchiver() : state_(std::make_unique<State>()) {
    state_->append(plist_new_string("$null"));
}

KeyedArchiver::~KeyedArchiver() = default;

void KeyedArchiver::beginObject(const std::vector<std::string>& classes) {
    Ref classRef = state_->classRef(classes);
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "$class", plist_new_uid(classRef));
    state_->open.push_back(state_->append(dict));
}

KeyedArchiver::Ref KeyedArchiver::endObject() {
    assert(!state_->open.empty());
    Ref ref = state_->open.back();
    state_->open.pop_back();
    return ref;
}

void KeyedArchiver::encodeBool(std::string_view key, bool value) {
    state_->set(key, plist_new_bool(value ? 1 : 0));
}

void KeyedArchiver::encodeInteger(std::string_view key, std::int64_t value) {
    state_->set(key, plist_new_uint(static_cast<std::uint64_t>(value)));
}

void KeyedArchiver::encodeDouble(std::string_view key, double value) {
    state_->set(key, plist_new_real(value));
}

void KeyedArchiver::encodeReference(std::string_view key, Ref ref) {
    state_->set(key, plist_new_uid(ref));
}

void KeyedArchiver::encodeReferences(std::string_view key, const std::vector<Ref>& refs) {
    plist_t list = plist_new_array();
    for (Ref ref : refs) {
        plist_array_append_item(list, plist_new_uid(ref));
    }
    state_->set(key, list);
}

KeyedArchiver::Ref KeyedArchiver::addString(std::string_view text) {
    return state_->append(plist_new_string(std::string(text).c_str()));
}

KeyedArchiver::Ref KeyedArchiver::addData(std::string_view bytes) {
    return state_->append(plist_new_data(bytes.data(), bytes.size()));
}

KeyedArchiver::Ref KeyedArchiver::addDouble(double value) {
    return state_->append(plist_new_real(value));
}

KeyedArchiver::Ref KeyedArchiver::addInteger(std::int64_t value) {
    return state_->append(plist_new_uint(static_cast<std::uint64_t>(value)));
}

void KeyedArchiver::setRoot(Ref root) {
    state_->root = root;
}

std::string KeyedArchiver::finish() {
    assert(state_->open.empty());
    plist_t archive = plist_new_dict();
    plist_dict_set_item(archive, "$archiver", plist_new_string("NSKeyedArchiver"));
    plist_dict_set_item(archive, "$version", plist_new_uint(100000));
    plist_t top = plist_new_dict();
    plist_dict_set_item(top, "root", plist_new_uid(state_->root));
    plist_dict_set_item(archive, "$top", top);
    plist_t objects = plist_new_array();
    for (plist_t node : state_->objects) {
        plist_array_append_item(objects, node);
    }
    state_->objects.clear();
    plist_dict_set_item(archive, "$objects", objects);
    char* bytes = nullptr;
    uint32_t length = 0;
    plist_to_bin(archive, &bytes, &length);
    std::string result(bytes ? bytes : "", bytes ? length : 0);
    plist_to_bin_free(bytes);
    plist_free(archive);
    state_ = std::make_unique<State>();
    state_->append(plist_new_string("$null"));
    return result;
}

}  // namespace pagewell
