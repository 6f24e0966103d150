#pragma once
// Writes a copy of a PDF with drawings burned in: each page's objects are drawn by cairo into a
// one-page PDF the size of the page as shown, and that page is placed on the original page as
// a form XObject over its content (which is wrapped in q … Q), upright whatever the page's
// /Rotate, filling its visible box. Text, links and the outline of the original stay. The copy
// is written through a temporary file and a rename. Stateless.

#include <filesystem>
#include <vector>

#include "platform/Error.h"
#include "redlining/RedliningArchive.h"

namespace pagewell {

class RedliningPdfExport {
  public:
    struct Summary {
        int pages = 0;
        std::vector<int> annotatedPages;
    };
    // `onlyPages` (1-based) limits which pages get drawings; empty: every page.
    static Result<Summary> burnIn(const std::filesystem::path& input,
                                  const std::filesystem::path& output,
                                  const RedliningPageMap& pages,
                                  const std::vector<int>& onlyPages = {});

    // The same drawings as markup annotations (Ink, Circle, Square, FreeText, Stamp), one per
    // object, each with its drawing as appearance; the page content is left as it was.
    static Result<Summary> asAnnotations(const std::filesystem::path& input,
                                         const std::filesystem::path& output,
                                         const RedliningPageMap& pages,
                                         const std::vector<int>& onlyPages = {});

    static constexpr const char* kErrorDomain = "RedliningPdfExportErrorDomain";

  private:
    static Result<Summary> write(const std::filesystem::path& input,
                                 const std::filesystem::path& output, const RedliningPageMap& pages,
                                 const std::vector<int>& onlyPages, bool annotations);
};

}  // namespace pagewell
