#include "pdfkit/PdfOperatorTable.h"

namespace pagewell {

void PdfOperatorTable::setCallback(std::string operatorName, Callback callback) {
    callbacks_[std::move(operatorName)] = std::move(callback);
}

const PdfOperatorTable::Callback* PdfOperatorTable::callbackFor(
    std::string_view operatorName) const {
    auto found = callbacks_.find(std::string(operatorName));
    return found == callbacks_.end() || !found->second ? nullptr : &found->second;
}

}  // namespace pagewell
