#pragma once
// Where the operations that need the current content language read its server identifier. The
// content-language manager implements it; tests set a fixed language.
//
// Threading: called on the main queue only.

#include <optional>
#include <string>

namespace pagewell {

class CurrentLocaleSource {
  public:
    virtual ~CurrentLocaleSource() = default;
    // The current language's server identifier as decimal text; none when no language is chosen.
    virtual std::optional<std::string> getCurrentLocaleID() = 0;
};

}  // namespace pagewell
