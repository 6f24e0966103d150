#pragma once
// A debugging aid: a dictionary's keys with their object types, one line each, between
// "===== PDFDictionary =====" and "=========================".

#include <string>

namespace pagewell {

class PdfDictionary;

class VXPDFDictionaryDump {
  public:
    static std::string describe(const PdfDictionary& dictionary);
    // Writes the description to the debug log.
    static void log(const PdfDictionary& dictionary);
};

}  // namespace pagewell
