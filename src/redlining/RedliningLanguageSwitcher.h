#pragma once
// The drawing menu's own texts: each key is looked up in "<resources>/<language>.lproj/
// Redlining.plist" for the interface's current language, and the given default is shown when
// the table or the key is missing. Tables are read once per language. Main queue only.

#include <map>
#include <string>

namespace pagewell {

class RedliningLanguageSwitcher {
  public:
    static std::string get(const std::string& key, const std::string& alter);

  private:
    static std::map<std::string, std::string>& tableFor(const std::string& language);
};

}  // namespace pagewell
