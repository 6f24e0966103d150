#pragma once
// A title search as "title CONTAINS[cd] keyword": a substring match that ignores case and
// diacritics ("Katalog" finds "KATALÓG 2024"). An empty keyword matches nothing, as the
// platform's CONTAINS does. Immutable after construction; any thread.

#include <string>
#include <string_view>

namespace pagewell {

class TitleKeyword {
  public:
    explicit TitleKeyword(std::string_view keyword);

    bool matches(std::string_view title) const;

    // Full case folding of the text without its combining marks (NFD first), as UTF-8.
    static std::string folded(std::string_view text);

  private:
    std::string folded_;
};

}  // namespace pagewell
