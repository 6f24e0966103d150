#pragma once
// `pagewell paths`: where data, logs and configuration live. Creates nothing.

namespace pagewell::cli {

struct CommandContext;

class PathsCommand {
  public:
    static int run(const CommandContext& context);
};

}  // namespace pagewell::cli
