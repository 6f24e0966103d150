#pragma once
// A PDF string object's value: its raw bytes (not terminated, may hold zeros) and, on request,
// the text it stands for under PDF text-string rules (UTF-16BE with a byte-order mark, UTF-8
// with its mark, otherwise PDFDocEncoding). A plain value, safe to copy between threads.

#include <string>
#include <string_view>

namespace pagewell {

class PdfString {
  public:
    PdfString() = default;
    explicit PdfString(std::string bytes) : bytes_(std::move(bytes)) {}

    // The raw bytes exactly as stored in the file after unescaping.
    const std::string& bytes() const { return bytes_; }
    std::size_t length() const { return bytes_.size(); }

    // The string as UTF-8 text.
    std::string copyTextString() const;

    bool operator==(const PdfString&) const = default;

  private:
    std::string bytes_;
};

}  // namespace pagewell
