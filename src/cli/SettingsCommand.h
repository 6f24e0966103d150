#pragma once
// `pagewell settings list | get GROUP KEY | set GROUP KEY VALUE`.

#include <string>

namespace CLI {
class App;
}

namespace pagewell::cli {

struct CommandContext;

class SettingsCommand {
  public:
    explicit SettingsCommand(CommandContext& context) : context_(context) {}

    // Adds the command to `parent`; the chosen subcommand stores its exit code in `exitCode`.
    void add(CLI::App& parent, int& exitCode);

    static int list(const CommandContext& context);
    static int get(const CommandContext& context, const std::string& group, const std::string& key);
    static int set(const CommandContext& context, const std::string& group, const std::string& key,
                   const std::string& value);

  private:
    CommandContext& context_;
    std::string group_;
    std::string key_;
    std::string value_;
};

}  // namespace pagewell::cli
