#include "platform/JsonDecoder.h"

#include <algorithm>
#include <optional>
#include <string>

namespace pagewell {

namespace {

using Json = nlohmann::json;
using TreeParser = nlohmann::detail::json_sax_dom_parser<Json>;

// Hands every event to nlohmann's own tree builder, counting open arrays and objects on the
// way: past the bound it stops the parse, so nothing deeper is ever built. The entries of a
// packed list are built one at a time beside the tree and enter it as their MessagePack bytes.
class BoundedTreeBuilder {
  public:
    BoundedTreeBuilder(Json& root, const JsonDecoder::Options& options)
        : tree_(root, false), options_(options) {}

    bool null() { return target().null(); }
    bool boolean(bool value) { return target().boolean(value); }
    bool number_integer(Json::number_integer_t value) { return target().number_integer(value); }
    bool number_unsigned(Json::number_unsigned_t value) { return target().number_unsigned(value); }
    bool number_float(Json::number_float_t value, const Json::string_t& text) {
        return target().number_float(value, text);
    }
    bool string(Json::string_t& value) { return target().string(value); }
    bool binary(Json::binary_t& value) { return target().binary(value); }
    bool key(Json::string_t& value) {
        if (depth_ == 1 && !entry_) {
            topKey_ = value;
        }
        return target().key(value);
    }

    bool start_object(std::size_t size) { return open(false) && target().start_object(size); }
    bool end_object() { return close(target().end_object()); }
    bool start_array(std::size_t size) { return open(true) && target().start_array(size); }
    bool end_array() { return close(target().end_array()); }

    bool parse_error(std::size_t position, const std::string& token,
                     const nlohmann::detail::exception& error) {
        return tree_.parse_error(position, token, error);
    }

    bool tooDeep() const { return tooDeep_; }

  private:
    // Levels open around the one being opened, which must stay within the bound.
    bool open(bool array) {
        if (++depth_ >= options_.maxDepth) {
            tooDeep_ = true;
            return false;
        }
        if (depth_ == 1) {
            rootIsObject_ = !array;
        } else if (depth_ == 2 && array && rootIsObject_ && !entry_) {
            inPackedList_ = std::find(options_.packedLists.begin(), options_.packedLists.end(),
                                      topKey_) != options_.packedLists.end();
        } else if (depth_ == 3 && inPackedList_ && !entry_) {
            entry_.emplace();
            entryParser_.emplace(*entry_, false);
        }
        return true;
    }

    // After the closing event went to its target: an entry of a packed list that just closed
    // enters the tree as its bytes.
    bool close(bool accepted) {
        if (depth_ == 3 && entry_) {
            Json::binary_t packed(Json::to_msgpack(*entry_));
            entryParser_.reset();
            entry_.reset();
            accepted = accepted && tree_.binary(packed);
        } else if (depth_ == 2) {
            inPackedList_ = false;
        }
        --depth_;
        return accepted;
    }

    TreeParser& target() { return entryParser_ ? *entryParser_ : tree_; }

    TreeParser tree_;
    const JsonDecoder::Options& options_;
    int depth_ = 0;
    bool tooDeep_ = false;
    bool rootIsObject_ = false;
    bool inPackedList_ = false;
    std::string topKey_;
    std::optional<Json> entry_;
    std::optional<TreeParser> entryParser_;
};

// Counts levels and builds nothing.
class DepthCounter {
  public:
    explicit DepthCounter(int maxDepth) : maxDepth_(maxDepth) {}

    bool null() { return true; }
    bool boolean(bool) { return true; }
    bool number_integer(Json::number_integer_t) { return true; }
    bool number_unsigned(Json::number_unsigned_t) { return true; }
    bool number_float(Json::number_float_t, const Json::string_t&) { return true; }
    bool string(Json::string_t&) { return true; }
    bool binary(Json::binary_t&) { return true; }
    bool key(Json::string_t&) { return true; }
    bool start_object(std::size_t) { return ++depth_ < maxDepth_; }
    bool end_object() { return --depth_ >= 0; }
    bool start_array(std::size_t) { return ++depth_ < maxDepth_; }
    bool end_array() { return --depth_ >= 0; }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
        return false;
    }

  private:
    const int maxDepth_;
    int depth_ = 0;
};

}  // namespace

bool JsonDecoder::nestsWithin(std::string_view text, int maxDepth) {
    DepthCounter counter(maxDepth);
    return Json::sax_parse(text.begin(), text.end(), &counter);
}

JsonDecoder::Decoded JsonDecoder::decode(std::string_view text, const Options& options) {
    Decoded decoded;
    BoundedTreeBuilder builder(decoded.value, options);
    if (Json::sax_parse(text.begin(), text.end(), &builder)) {
        decoded.outcome = Outcome::Decoded;
        return decoded;
    }
    decoded.outcome = builder.tooDeep() ? Outcome::TooDeep : Outcome::NotJson;
    decoded.value = nullptr;
    return decoded;
}

const nlohmann::json& JsonDecoder::unpack(const nlohmann::json& entry, nlohmann::json& storage) {
    if (!entry.is_binary()) {
        return entry;
    }
    storage = Json::from_msgpack(entry.get_binary(), true, false);
    if (storage.is_discarded()) {
        storage = nullptr;
    }
    return storage;
}

}  // namespace pagewell
