#include "pdfkit/VXPDFDictionaryDump.h"

#include <fmt/format.h>

#include "pdfkit/PdfDictionary.h"
#include "platform/Logger.h"

namespace pagewell {

namespace {
constexpr const char* kDumpHeader = "===== PDFDictionary =====";
constexpr const char* kDumpFooter = "=========================";
constexpr const char* kDumpLine = "key: {} \t type: {}";
}  // namespace

std::string VXPDFDictionaryDump::describe(const PdfDictionary& dictionary) {
    std::string text = std::string(kDumpHeader) + "\n";
    dictionary.applyFunction([&](const std::string& key, const PdfObject& value) {
        text += fmt::format(fmt::runtime(kDumpLine), key, pdfObjectTypeName(value.type()));
        text += "\n";
    });
    text += kDumpFooter;
    text += "\n";
    return text;
}

void VXPDFDictionaryDump::log(const PdfDictionary& dictionary) {
    PW_LOG_DEBUG("{}", describe(dictionary));
}

}  // namespace pagewell
