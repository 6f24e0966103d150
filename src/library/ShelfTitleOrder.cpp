#include "library/ShelfTitleOrder.h"

#include <unicode/coll.h>
#include <unicode/locid.h>

#include <memory>

#include "app/LanguageSwitcher.h"
#include "library/TitleKeyword.h"
#include "store/Database.h"

namespace pagewell {

std::string ShelfTitleOrder::collationName(std::string_view language) {
    std::string name = "shelf_title_";
    for (char c : language) {
        const bool plain =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        name += plain ? c : '_';
    }
    return name;
}

Result<std::string> ShelfTitleOrder::install(Database& database) {
    return install(database, LanguageSwitcher::shared().getCurrentLanguage());
}

Result<std::string> ShelfTitleOrder::install(Database& database, std::string_view language) {
    if (!database.hasTextFunction(kFoldFunction)) {
        auto added = database.addTextFunction(
            kFoldFunction, [](std::string_view text) { return TitleKeyword::folded(text); });
        if (!added.ok()) {
            return added.error();
        }
    }
    std::string name = collationName(language);
    if (database.hasCollation(name)) {
        return name;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Locale locale =
        language.empty() ? icu::Locale::getRoot() : icu::Locale(std::string(language).c_str());
    std::shared_ptr<icu::Collator> collator(icu::Collator::createInstance(locale, status));
    if (U_FAILURE(status) || !collator) {
        return Error::make("VXErrorDomain", -1,
                           std::string("No title order for language ") + std::string(language));
    }
    collator->setStrength(icu::Collator::PRIMARY);
    collator->setAttribute(UCOL_NUMERIC_COLLATION, UCOL_ON, status);
    if (U_FAILURE(status)) {
        return Error::make("VXErrorDomain", -1, "No numeric title order");
    }
    auto added =
        database.addCollation(name, [collator](std::string_view left, std::string_view right) {
            UErrorCode compareStatus = U_ZERO_ERROR;
            const UCollationResult result = collator->compareUTF8(
                icu::StringPiece(left.data(), static_cast<int32_t>(left.size())),
                icu::StringPiece(right.data(), static_cast<int32_t>(right.size())), compareStatus);
            if (U_FAILURE(compareStatus)) {
                return left.compare(right) < 0 ? -1 : (left == right ? 0 : 1);
            }
            return static_cast<int>(result);
        });
    if (!added.ok()) {
        return added.error();
    }
    return name;
}

}  // namespace pagewell
