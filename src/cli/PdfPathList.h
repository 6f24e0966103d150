#pragma once
// The files `pagewell pdf grep` searches, from its PATH operands, in the order grep would take
// them:
// - a file operand (or a symbolic link to one) is searched whatever its name;
// - a directory operand is an error ("Is a directory") unless the walk is recursive;
// - a recursive walk takes, in name order (bytes), every regular file whose name ends in
//   ".pdf" in any case, and every subdirectory's files at the subdirectory's place. Choosing by
//   name, not by content, keeps the walk to directory listings (no file is opened to be
//   skipped) and matches what a person means by "the PDFs in this folder"; a misnamed ".pdf"
//   is searched and reported as unreadable.
// - symbolic links met inside the walk are not followed (grep -r does the same), so a link
//   loop cannot make it loop; a directory seen twice in one walk (a bind mount of its parent)
//   is skipped as well.
// Operands that do not exist and directories that cannot be read become error entries at their
// place, and the walk goes on.

#include <optional>
#include <string>
#include <vector>

namespace pagewell::cli {

class PdfPathList {
  public:
    struct Entry {
        std::string path;
        std::optional<std::string> error;  // why the path cannot be searched
    };

    static std::vector<Entry> expand(const std::vector<std::string>& operands, bool recursive);

    // Whether `name` ends in ".pdf", in any case.
    static bool hasPdfName(const std::string& name);
};

}  // namespace pagewell::cli
