#pragma once
// The bytes of one answer as the server sends them: a text held in memory, or a file on disk
// read in large blocks while the answer goes out, so a download neither loads the file whole
// nor copies it, and costs the same memory whatever the file's size. The size is fixed when the
// body is made (a file's size when it was opened).
//
// Also resolves a byte range asked for with a Range header against that size.
//
// Threading: one answer, one thread; the HTTP library's writer calls read() in order.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Error.h"

namespace pagewell::cms {

class ResponseBody {
  public:
    static constexpr const char* kErrorDomain = "ResponseBody";
    // Large enough that a file goes out in few system calls, small enough that many parallel
    // downloads cost little memory.
    static constexpr std::size_t kBlockBytes = 512 * 1024;

    // The first and last byte offset of a range, both included.
    struct Range {
        std::uint64_t first = 0;
        std::uint64_t last = 0;
        std::uint64_t length() const { return last - first + 1; }
        bool operator==(const Range&) const = default;
    };

    explicit ResponseBody(std::string text);
    static Result<std::unique_ptr<ResponseBody>> open(const std::filesystem::path& path);
    ~ResponseBody();
    ResponseBody(const ResponseBody&) = delete;
    ResponseBody& operator=(const ResponseBody&) = delete;

    std::uint64_t size() const { return size_; }

    // The next bytes from `offset` on: at most `maxLength` and at most kBlockBytes, none only at
    // the end. The view stays valid until the next call. An error when the file cannot be read or
    // ends before its size.
    Result<std::string_view> read(std::uint64_t offset, std::uint64_t maxLength);

    // The bytes a range asks for, in a body of `size` bytes: `first` none is a suffix range of
    // the last `last` bytes; `last` none (or past the end) runs to the end. None when the range
    // is unsatisfiable (starts at or after the end, or asks for no byte).
    static std::optional<Range> resolve(std::optional<std::uint64_t> first,
                                        std::optional<std::uint64_t> last, std::uint64_t size);

  private:
    ResponseBody(int fd, std::uint64_t size);

    int fd_ = -1;  // the open file; -1 for a text
    std::string text_;
    std::uint64_t size_ = 0;
    std::unique_ptr<char[]> buffer_;  // kBlockBytes, for a file
};

}  // namespace pagewell::cms
