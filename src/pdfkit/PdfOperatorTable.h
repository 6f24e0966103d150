#pragma once
// Maps content-stream operator names ("Tj", "TJ", "'", ...) to callbacks. Operators without a
// callback are skipped by the scanner. Build a table once and reuse it for many scans.

#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace pagewell {

class PdfContentScanner;

class PdfOperatorTable {
  public:
    // Called with the scanner whose operand stack holds the operator's operands.
    using Callback = std::function<void(PdfContentScanner& scanner)>;

    void setCallback(std::string operatorName, Callback callback);
    // Nullptr when the operator has no callback.
    const Callback* callbackFor(std::string_view operatorName) const;

  private:
    std::unordered_map<std::string, Callback> callbacks_;
};

}  // namespace pagewell
