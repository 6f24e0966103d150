#include "cli/Output.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "cli/TerminalText.h"

namespace pagewell::cli {

void Output::result(const std::string& plain, const nlohmann::json& document) const {
    if (json_) {
        std::string dumped = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fprintf(stdout, "%s\n", dumped.c_str());
    } else {
        text(plain);
    }
    std::fflush(stdout);
}

void Output::text(const std::string& plain) const {
    // Whatever a command composed, no server or user text in it reaches the terminal as a
    // control sequence; commands escape single fields themselves so they cannot break lines.
    std::fputs(TerminalText::escapeKeepingLines(plain).c_str(), stdout);
    if (!plain.empty() && plain.back() != '\n') {
        std::fputc('\n', stdout);
    }
}

void Output::failure(const std::string& message, const Error* error) const {
    std::fprintf(stderr, "pagewell: %s\n", TerminalText::escapeKeepingLines(message).c_str());
    if (json_) {
        nlohmann::json document = {{"error", {{"message", message}}}};
        if (error) {
            document["error"]["domain"] = error->domain;
            document["error"]["code"] = error->code;
            document["error"]["description"] = error->description;
            if (!error->serverMessage.empty()) {
                document["error"]["serverMessage"] = error->serverMessage;
            }
        }
        std::string dumped = document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fprintf(stdout, "%s\n", dumped.c_str());
        std::fflush(stdout);
    }
}

void Output::note(const std::string& message) const {
    std::fprintf(stderr, "%s\n", TerminalText::escapeKeepingLines(message).c_str());
}

}  // namespace pagewell::cli
