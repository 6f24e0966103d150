#pragma once
// The file form of a document's drawings: a keyed archive whose root is a dictionary from page
// numbers to lists of drawn objects. Decoding takes what it can: an object of an unknown
// class, a second reference to an object already read, or a page number out of range is
// skipped and logged, and the result says the set was not read completely. Stateless.

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"
#include "redlining/VXRedliningObject.h"

namespace pagewell {

using RedliningObjectPtr = std::shared_ptr<VXRedliningObject>;
using RedliningPageMap = std::map<int, std::vector<RedliningObjectPtr>>;

class RedliningArchive {
  public:
    static constexpr std::size_t kMaxObjects = 200'000;
    static constexpr std::size_t kMaxPathElements = 4'000'000;
    static constexpr int kMaxPage = 1'000'000;

    struct Decoded {
        RedliningPageMap pages;
        std::size_t skipped = 0;
        bool complete() const { return skipped == 0; }
    };

    static std::string encode(const RedliningPageMap& pages);
    static Result<Decoded> decode(std::string_view bytes);

    // One object on its own (undo steps keep removed objects this way).
    static std::string encodeObject(const VXRedliningObject& object);
    static Result<RedliningObjectPtr> decodeObject(std::string_view bytes);

    static constexpr const char* kErrorDomain = "RedliningArchiveErrorDomain";
};

}  // namespace pagewell
