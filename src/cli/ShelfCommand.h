#pragma once
// `pagewell shelf`: a shelf screen on the terminal. The shelf reloads as the screen does when
// shown, then lists its files as the list cells show them: id, title, status words, dates,
// size and type.
//
//   pagewell shelf [highlights | categories [ID] | favourites [FOLDER] |
//                   locations [--beacon ID | --customer ID | --qrcode ID] |
//                   search TEXT [--local]]
//                  [--sort title|date|server|manual] [--mark-read] [--refresh]
//                  [--move FROM TO] [--covers]
//
// `categories ID` fetches that category's files and lists its subcategories; without ID the
// root categories are listed beside the highlights. FOLDER is a favourite folder's id or
// title. `search` is the search button (a server search, then the store); `--local` is typing
// (the store only). `--move FROM TO` drags row FROM to row TO (1-based, as listed); `manual`
// and `--move` belong to favourites shelves only. `--covers` fetches missing covers and
// prepares them (the cover step the command line hands in).
//
// When another process holds the data directory, the shelf lists the store as it is, without
// reloading or writing, and says so on stderr; --mark-read and --move then exit 6.
//
// --json: {"title", "source", "offline", "sort", "categories": [{"id", "name", "position",
// "hasSubcategories"}], "files": [{"id", "title", "badges", "new", "created", "modified",
// "size", "type", "cover"}]}; dates as "yyyy-MM-dd HH:mm:ss" in local time, "cover" a path or
// null. Exit codes: 0 shown, 1 failure or unknown id, 2 bad command line or non-numeric id,
// 4 nobody signed in, 5 the server was needed and could not be reached, 6 busy (writes only).

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/Error.h"
#include "store/File.h"

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class ShelfCommand {
  public:
    // What `--covers` and the "cover" field use: given the shown files (fetch: whether missing
    // covers are to be fetched and prepared), the prepared cover of each file by row key.
    using CoverStep = std::function<Result<std::map<std::int64_t, std::string>>(
        const std::vector<File>& files, bool fetch)>;

    // Without a cover step, "cover" is null and --covers is refused.
    explicit ShelfCommand(CommandContext& context, CoverStep covers = nullptr)
        : context_(context), coverStep_(std::move(covers)) {}

    void add(CLI::App& parent, int& exitCode);
    int run();

  private:
    CommandContext& context_;
    CoverStep coverStep_;
    std::vector<std::string> words_;
    std::optional<std::string> sort_;
    bool markRead_ = false;
    bool refresh_ = false;
    std::vector<std::string> move_;
    bool covers_ = false;
    bool local_ = false;
    std::optional<std::string> beacon_;
    std::optional<std::string> customer_;
    std::optional<std::string> qrcode_;
};

}  // namespace pagewell::cli
