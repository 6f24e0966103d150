#pragma once
// `pagewell annotate ID [--page N] ACTION ...`: the signed-in user's drawings on a downloaded
// catalogue file. Points are on the page as shown (visible box, rotation applied, origin top
// left, y down), written "X,Y".
//   list [--at X,Y]                      the objects (of page N, or of every page)
//   add pen|marker X,Y X,Y X,Y X,Y X,Y... a stroke through the touch points (five or more)
//   add line|rect|ellipse X,Y X,Y        from one corner to the other
//   add text X,Y X,Y --text T            a text note in that box
//   add image X,Y X,Y --image FILE       a PNG or JPEG fitted into that box
//       (--color #RRGGBB[AA], --width W, --alpha A, --dash ON,OFF style what is added)
//   erase INDEX... | erase --at X,Y      removes objects of page N
//   move INDEX... --by DX,DY | scale INDEX... --by F | rotate INDEX... --by DEGREES
//   style INDEX... [--color] [--width] [--alpha] [--dash]
//   clear                                asks, then removes every object of the document
//   undo | redo
//   export -o OUT.pdf [--pages LIST] [--as-annotations]
//                                        a copy with the drawings burned in over the pages, or
//                                        as markup annotations with the drawings as appearance
// A changing action is one undo step, saved at once under the data-directory lock; the last 50
// steps are kept in "Library/Caches/redlining/<name>.history", tied to the set file's digest
// and dropped (with a note) when the file changed elsewhere.
// Exit codes: 4 nobody signed in; 1 file not on this device, no such page or object, nothing to
// undo or redo, unreadable set; 2 bad numbers; 6 data directory busy.

#include <cstdint>
#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class AnnotateCommand {
  public:
    struct Options {
        std::int64_t fileID = 0;
        int page = 0;  // 0: every page for list, page 1 otherwise
        std::string action;
        std::vector<std::string> arguments;
        std::string at;
        std::string color;
        std::string width;
        std::string alpha;
        std::string dash;
        std::string text;
        std::string image;
        std::string by;
        std::string output;
        std::string pages;
        bool asAnnotations = false;
    };

    explicit AnnotateCommand(CommandContext& context) : context_(context) {}
    void add(CLI::App& parent, int& exitCode);
    static int run(const CommandContext& context, const Options& options);

  private:
    CommandContext& context_;
    Options options_;
};

}  // namespace pagewell::cli
