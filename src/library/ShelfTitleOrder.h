#pragma once
// The title order and the text folding the shelf's statements use, registered on a store
// connection:
//   COLLATE shelf_title_<language>  natural order in the interface language: digit runs
//                                   compare by value ("File 9" before "File 10"), case and
//                                   accents are ignored ("apple" = "Äpple")
//   shelf_fold(text)                the folding of TitleKeyword (case folded, marks dropped),
//                                   so "instr(shelf_fold(title), ?) > 0" is CONTAINS[cd]
// Threading: a connection belongs to one thread; so do the collators registered on it.

#include <string>
#include <string_view>

#include "platform/Error.h"

namespace pagewell {

class Database;

class ShelfTitleOrder {
  public:
    // Registers the folding function and the collation for `language` (an interface language
    // code such as "de"; empty: the root order) unless the connection has them; gives the
    // collation's name.
    static Result<std::string> install(Database& database, std::string_view language);
    // The same for the current interface language.
    static Result<std::string> install(Database& database);

    static std::string collationName(std::string_view language);

    static constexpr const char* kFoldFunction = "shelf_fold";
};

}  // namespace pagewell
