#include "platform/KeyedUnarchiver.h"

#include <plist/plist.h>

#include <cstdlib>
#include <limits>

namespace pagewell {

namespace {

Error malformed(const std::string& what) {
    return Error::make(KeyedUnarchiver::kErrorDomain, 1, "Not a keyed archive: " + what);
}

std::optional<double> numberOf(plist_t node) {
    if (node == nullptr) {
        return std::nullopt;
    }
    switch (plist_get_node_type(node)) {
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return value;
        }
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            return static_cast<double>(static_cast<std::int64_t>(value));
        }
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return value ? 1.0 : 0.0;
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::string> stringOf(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    char* text = nullptr;
    plist_get_string_val(node, &text);
    std::string value = text ? text : "";
    std::free(text);
    return value;
}

std::optional<std::string> dataOf(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_DATA) {
        return std::nullopt;
    }
    char* bytes = nullptr;
    uint64_t length = 0;
    plist_get_data_val(node, &bytes, &length);
    std::string value(bytes ? bytes : "", bytes ? length : 0);
    std::free(bytes);
    return value;
}

std::optional<std::uint64_t> uidOf(plist_t node) {
    if (node == nullptr || plist_get_node_type(node) != PLIST_UID) {
        return std::nullopt;
    }
    uint64_t value = 0;
    plist_get_uid_val(node, &value);
    return value;
}

}  // namespace

struct KeyedUnarchiver::State {
    plist_t tree = nullptr;
    std::vector<plist_t> objects;
    Ref root = 0;

    ~State() { plist_free(tree); }

    plist_t at(Ref ref) const { return ref < objects.size() ? objects[ref] : nullptr; }

    plist_t member(Ref object, std::string_view key) const {
        plist_t node = at(object);
        if (node == nullptr || plist_get_node_type(node) != PLIST_DICT) {
            return nullptr;
        }
        return plist_dict_get_item(node, std::string(key).c_str());
    }

    // The member itself, or the entry it refers to.
    plist_t resolved(Ref object, std::string_view key) const {
        plist_t node = member(object, key);
        if (auto uid = uidOf(node)) {
            return at(*uid);
        }
        return node;
    }
};

KeyedUnarchiver::KeyedUnarchiver(std::unique_ptr<State> state) : state_(std::move(state)) {}
KeyedUnarchiver::~KeyedUnarchiver() = default;

Result<std::unique_ptr<KeyedUnarchiver>> KeyedUnarchiver::fromBytes(
    std::string_view bytes, const BinaryPlistCheck::Limits& limits) {
    if (Status checked = BinaryPlistCheck::check(bytes, limits); !checked) {
        return checked.error();
    }
    if (bytes.size() > std::numeric_limits<uint32_t>::max()) {
        return malformed("too large");
    }
    auto state = std::make_unique<State>();
    plist_from_bin(bytes.data(), static_cast<uint32_t>(bytes.size()), &state->tree);
    if (state->tree == nullptr || plist_get_node_type(state->tree) != PLIST_DICT) {
        return malformed("the top level is not a dictionary");
    }
    plist_t objects = plist_dict_get_item(state->tree, "$objects");
    if (objects == nullptr || plist_get_node_type(objects) != PLIST_ARRAY) {
        return malformed("no object list");
    }
    // Array lookups by index walk a list inside libplist; index them once.
    plist_array_iter iter = nullptr;
    plist_array_new_iter(objects, &iter);
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(objects, iter, &item);
        if (item == nullptr) {
            break;
        }
        state->objects.push_back(item);
    }
    std::free(iter);
    plist_t top = plist_dict_get_item(state->tree, "$top");
    std::optional<std::uint64_t> root;
    if (top != nullptr && plist_get_node_type(top) == PLIST_DICT) {
        root = uidOf(plist_dict_get_item(top, "root"));
    }
    if (!root || *root >= state->objects.size()) {
        return malformed("no root object");
    }
    state->root = *root;
    return std::unique_ptr<KeyedUnarchiver>(new KeyedUnarchiver(std::move(state)));
}

KeyedUnarchiver::Ref KeyedUnarchiver::root() const {
    return state_->root;
}

std::size_t KeyedUnarchiver::objectCount() const {
    return state_->objects.size();
}

std::vector<std::string> KeyedUnarchiver::classesOf(Ref object) const {
    std::vector<std::string> names;
    auto classRef = uidOf(state_->member(object, "$class"));
    if (!classRef) {
        return names;
    }
    plist_t info = state_->at(*classRef);
    if (info == nullptr || plist_get_node_type(info) != PLIST_DICT) {
        return names;
    }
    plist_t list = plist_dict_get_item(info, "$classes");
    if (list != nullptr && plist_get_node_type(list) == PLIST_ARRAY) {
        uint32_t count = plist_array_get_size(list);
        for (uint32_t i = 0; i < count && i < 64; ++i) {
            if (auto name = stringOf(plist_array_get_item(list, i))) {
                names.push_back(*name);
            }
        }
    }
    if (names.empty()) {
        if (auto name = stringOf(plist_dict_get_item(info, "$classname"))) {
            names.push_back(*name);
        }
    }
    return names;
}

bool KeyedUnarchiver::isKindOf(Ref object, std::string_view className) const {
    for (const auto& name : classesOf(object)) {
        if (name == className) {
            return true;
        }
    }
    return false;
}

bool KeyedUnarchiver::contains(Ref object, std::string_view key) const {
    return state_->member(object, key) != nullptr;
}

std::optional<double> KeyedUnarchiver::decodeDouble(Ref object, std::string_view key) const {
    return numberOf(state_->resolved(object, key));
}

std::optional<bool> KeyedUnarchiver::decodeBool(Ref object, std::string_view key) const {
    auto number = decodeDouble(object, key);
    if (!number) {
        return std::nullopt;
    }
    return *number != 0.0;
}

std::optional<std::string> KeyedUnarchiver::decodeString(Ref object, std::string_view key) const {
    plist_t node = state_->member(object, key);
    if (auto uid = uidOf(node)) {
        return stringAt(*uid);
    }
    return stringOf(node);
}

std::optional<std::string> KeyedUnarchiver::decodeData(Ref object, std::string_view key) const {
    plist_t node = state_->member(object, key);
    if (auto uid = uidOf(node)) {
        return dataAt(*uid);
    }
    return dataOf(node);
}

std::optional<KeyedUnarchiver::Ref> KeyedUnarchiver::decodeReference(Ref object,
                                                                     std::string_view key) const {
    auto uid = uidOf(state_->member(object, key));
    if (!uid || *uid >= state_->objects.size()) {
        return std::nullopt;
    }
    return *uid;
}

std::optional<std::vector<KeyedUnarchiver::Ref>> KeyedUnarchiver::decodeReferences(
    Ref object, std::string_view key) const {
    plist_t list = state_->member(object, key);
    if (list == nullptr || plist_get_node_type(list) != PLIST_ARRAY) {
        return std::nullopt;
    }
    std::vector<Ref> refs;
    plist_array_iter iter = nullptr;
    plist_array_new_iter(list, &iter);
    for (;;) {
        plist_t item = nullptr;
        plist_array_next_item(list, iter, &item);
        if (item == nullptr) {
            break;
        }
        auto uid = uidOf(item);
        if (uid && *uid < state_->objects.size()) {
            refs.push_back(*uid);
        }
    }
    std::free(iter);
    return refs;
}

std::optional<double> KeyedUnarchiver::doubleAt(Ref ref) const {
    return numberOf(state_->at(ref));
}

std::optional<std::string> KeyedUnarchiver::stringAt(Ref ref) const {
    // A string object (NSString, NSMutableString) keeps its text under "NS.string", in place or
    // by reference, or as bytes; following a few references is enough and stops loops.
    for (int hops = 0; hops < 4; ++hops) {
        plist_t node = state_->at(ref);
        if (auto text = stringOf(node)) {
            return text;
        }
        if (auto bytes = dataOf(state_->member(ref, "NS.bytes"))) {
            return bytes;
        }
        plist_t inner = state_->member(ref, "NS.string");
        if (auto text = stringOf(inner)) {
            return text;
        }
        auto uid = uidOf(inner);
        if (!uid) {
            return std::nullopt;
        }
        ref = *uid;
    }
    return std::nullopt;
}

std::optional<std::string> KeyedUnarchiver::dataAt(Ref ref) const {
    plist_t node = state_->at(ref);
    if (auto bytes = dataOf(node)) {
        return bytes;
    }
    return dataOf(state_->member(ref, "NS.data"));
}

}  // namespace pagewell
