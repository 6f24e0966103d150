#include "platform/PropertyList.h"

#include <plist/plist.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "platform/FileSystem.h"

namespace pagewell {

namespace {

// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr std::int64_t kReferenceDateOffset = 978307200;

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
using PlistHandle = std::unique_ptr<void, PlistDeleter>;

PlistValue fromNode(plist_t node, int depth) {
    if (node == nullptr || depth > 256) {
        return {};
    }
    switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN: {
            uint8_t value = 0;
            plist_get_bool_val(node, &value);
            return PlistValue(value != 0);
        }
        case PLIST_UINT: {
            uint64_t value = 0;
            plist_get_uint_val(node, &value);
            // libplist keeps negative integers as their two's-complement bit pattern.
            return PlistValue(static_cast<std::int64_t>(value));
        }
        case PLIST_REAL: {
            double value = 0;
            plist_get_real_val(node, &value);
            return PlistValue(value);
        }
        case PLIST_STRING:
        case PLIST_KEY: {
            char* text = nullptr;
            plist_get_string_val(node, &text);
            std::string value = text ? text : "";
            std::free(text);
            return PlistValue(std::move(value));
        }
        case PLIST_DATA: {
            char* bytes = nullptr;
            uint64_t length = 0;
            plist_get_data_val(node, &bytes, &length);
            PlistData data{std::string(bytes ? bytes : "", bytes ? length : 0)};
            std::free(bytes);
            return PlistValue(std::move(data));
        }
        case PLIST_DATE: {
            int32_t seconds = 0;
            int32_t micros = 0;
            plist_get_date_val(node, &seconds, &micros);
            auto since = std::chrono::seconds(kReferenceDateOffset + seconds) +
                         std::chrono::microseconds(micros);
            return PlistValue(SystemTime(std::chrono::duration_cast<SystemTime::duration>(since)));
        }
        case PLIST_ARRAY: {
            PlistArray array;
            uint32_t count = plist_array_get_size(node);
            array.reserve(count);
            for (uint32_t i = 0; i < count; ++i) {
                array.push_back(fromNode(plist_array_get_item(node, i), depth + 1));
            }
            return PlistValue(std::move(array));
        }
        case PLIST_DICT: {
            PlistDict dict;
            plist_dict_iter iter = nullptr;
            plist_dict_new_iter(node, &iter);
            while (iter) {
                char* key = nullptr;
                plist_t value = nullptr;
                plist_dict_next_item(node, iter, &key, &value);
                if (key == nullptr) {
                    break;
                }
                dict[key] = fromNode(value, depth + 1);
                std::free(key);
            }
            std::free(iter);
            return PlistValue(std::move(dict));
        }
        default:
            return {};
    }
}

plist_t toNode(const PlistValue& value) {
    return std::visit(
        [](const auto& v) -> plist_t {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
                return plist_new_string("");
            } else if constexpr (std::is_same_v<T, bool>) {
                return plist_new_bool(v ? 1 : 0);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                return plist_new_uint(static_cast<uint64_t>(v));
            } else if constexpr (std::is_same_v<T, double>) {
                return plist_new_real(v);
            } else if constexpr (std::is_same_v<T, std::string>) {
                return plist_new_string(v.c_str());
            } else if constexpr (std::is_same_v<T, PlistArray>) {
                plist_t array = plist_new_array();
                for (const auto& item : v) {
                    plist_array_append_item(array, toNode(item));
                }
                return array;
            } else if constexpr (std::is_same_v<T, PlistDict>) {
                plist_t dict = plist_new_dict();
                for (const auto& [key, item] : v) {
                    plist_dict_set_item(dict, key.c_str(), toNode(item));
                }
                return dict;
            } else if constexpr (std::is_same_v<T, PlistData>) {
                return plist_new_data(v.bytes.data(), v.bytes.size());
            } else {
                auto micros =
                    std::chrono::duration_cast<std::chrono::microseconds>(v.time_since_epoch())
                        .count() -
                    kReferenceDateOffset * 1'000'000;
                auto seconds = static_cast<int32_t>(std::floor(micros / 1e6));
                auto rest = static_cast<int32_t>(micros - std::int64_t{seconds} * 1'000'000);
                return plist_new_date(seconds, rest);
            }
        },
        value.storage());
}

}  // namespace

bool PlistValue::boolValue(bool fallback) const {
    if (auto b = std::get_if<bool>(&storage_)) {
        return *b;
    }
    if (auto i = std::get_if<std::int64_t>(&storage_)) {
        return *i != 0;
    }
    if (auto r = std::get_if<double>(&storage_)) {
        return *r != 0.0;
    }
    if (auto s = std::get_if<std::string>(&storage_)) {
        if (*s == "YES" || *s == "yes" || *s == "true" || *s == "TRUE" || *s == "1") {
            return true;
        }
        if (*s == "NO" || *s == "no" || *s == "false" || *s == "FALSE" || *s == "0") {
            return false;
        }
    }
    return fallback;
}

std::int64_t PlistValue::integerValue(std::int64_t fallback) const {
    if (auto i = std::get_if<std::int64_t>(&storage_)) {
        return *i;
    }
    if (auto r = std::get_if<double>(&storage_)) {
        return std::isfinite(*r) ? static_cast<std::int64_t>(*r) : fallback;
    }
    if (auto b = std::get_if<bool>(&storage_)) {
        return *b ? 1 : 0;
    }
    return fallback;
}

double PlistValue::realValue(double fallback) const {
    if (auto r = std::get_if<double>(&storage_)) {
        return *r;
    }
    if (auto i = std::get_if<std::int64_t>(&storage_)) {
        return static_cast<double>(*i);
    }
    if (auto b = std::get_if<bool>(&storage_)) {
        return *b ? 1.0 : 0.0;
    }
    return fallback;
}

std::string PlistValue::stringValue(const std::string& fallback) const {
    if (auto s = std::get_if<std::string>(&storage_)) {
        return *s;
    }
    return fallback;
}

std::optional<SystemTime> PlistValue::date() const {
    if (auto d = std::get_if<SystemTime>(&storage_)) {
        return *d;
    }
    return std::nullopt;
}

const PlistValue* PlistValue::find(const std::string& key) const {
    if (auto d = dict()) {
        if (auto it = d->find(key); it != d->end()) {
            return &it->second;
        }
    }
    return nullptr;
}

PlistValue* PlistValue::find(const std::string& key) {
    if (auto d = dict()) {
        if (auto it = d->find(key); it != d->end()) {
            return &it->second;
        }
    }
    return nullptr;
}

Result<PlistValue> PropertyList::parse(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX) {
        return Error::make(kErrorDomain, 1, "not a property list");
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return Error::make(kErrorDomain, 1, "not a property list");
    }
    PlistHandle handle(root);
    return fromNode(root, 0);
}

Result<PlistValue> PropertyList::readFile(const std::string& path) {
    auto bytes = FileSystem::readFile(path);
    if (!bytes.ok()) {
        return bytes.error();
    }
    auto value = parse(bytes.value());
    if (!value.ok()) {
        return Error::make(kErrorDomain, 1, path + " is not a property list");
    }
    return value;
}

std::string PropertyList::toXml(const PlistValue& value) {
    PlistHandle root(toNode(value));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(static_cast<plist_t>(root.get()), &xml, &length);
    std::string text(xml ? xml : "", xml ? length : 0);
    plist_to_xml_free(xml);
    return text;
}

Status PropertyList::writeFile(const std::string& path, const PlistValue& value) {
    return FileSystem::writeFileAtomically(path, toXml(value));
}

}  // namespace pagewell
