#include "cli/PdfPathList.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <utility>

namespace pagewell::cli {

namespace {

struct DirCloser {
    void operator()(DIR* directory) const { ::closedir(directory); }
};

std::string joined(const std::string& directory, const std::string& name) {
    if (!directory.empty() && directory.back() == '/') {
        return directory + name;
    }
    return directory + "/" + name;
}

std::string errorText(int error) {
    return std::strerror(error);
}

// One directory being walked: its entries in name order and the next one to look at.
struct Frame {
    std::string path;
    std::vector<std::string> names;
    std::size_t next = 0;
};

// A recursive walk of one directory operand. Depth first with an explicit stack, so that a
// deep tree cannot exhaust the call stack.
class Walk {
  public:
    explicit Walk(std::vector<PdfPathList::Entry>& entries) : entries_(entries) {}

    void run(const std::string& root) {
        enter(root);
        while (!frames_.empty()) {
            Frame& frame = frames_.back();
            if (frame.next == frame.names.size()) {
                frames_.pop_back();
                continue;
            }
            const std::string& name = frame.names[frame.next++];
            const std::string child = joined(frame.path, name);
            struct stat status {};
            if (::lstat(child.c_str(), &status) != 0) {
                entries_.push_back({child, errorText(errno)});
            } else if (S_ISDIR(status.st_mode)) {
                enter(child);  // may grow frames_: `frame` is not used after this
            } else if (S_ISREG(status.st_mode) && PdfPathList::hasPdfName(name)) {
                entries_.push_back({child, std::nullopt});
            }
        }
    }

  private:
    void enter(const std::string& path) {
        struct stat status {};
        if (::stat(path.c_str(), &status) != 0) {
            entries_.push_back({path, errorText(errno)});
            return;
        }
        if (!visited_.insert({status.st_dev, status.st_ino}).second) {
            return;
        }
        std::unique_ptr<DIR, DirCloser> directory(::opendir(path.c_str()));
        if (!directory) {
            entries_.push_back({path, errorText(errno)});
            return;
        }
        Frame frame;
        frame.path = path;
        while (const dirent* entry = ::readdir(directory.get())) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                frame.names.push_back(std::move(name));
            }
        }
        std::sort(frame.names.begin(), frame.names.end());
        frames_.push_back(std::move(frame));
    }

    std::vector<PdfPathList::Entry>& entries_;
    std::vector<Frame> frames_;
    std::set<std::pair<dev_t, ino_t>> visited_;
};

}  // namespace

bool PdfPathList::hasPdfName(const std::string& name) {
    if (name.size() < 4) {
        return false;
    }
    std::string extension = name.substr(name.size() - 4);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension == ".pdf";
}

std::vector<PdfPathList::Entry> PdfPathList::expand(const std::vector<std::string>& operands,
                                                    bool recursive) {
    std::vector<Entry> entries;
    for (const std::string& operand : operands) {
        struct stat status {};
        if (::stat(operand.c_str(), &status) != 0) {
            entries.push_back({operand, errorText(errno)});
        } else if (S_ISDIR(status.st_mode)) {
            if (recursive) {
                Walk(entries).run(operand);
            } else {
                entries.push_back({operand, errorText(EISDIR)});
            }
        } else {
            entries.push_back({operand, std::nullopt});
        }
    }
    return entries;
}

}  // namespace pagewell::cli
