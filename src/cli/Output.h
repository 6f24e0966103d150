#pragma once
// Where command results go: plain text or, with --json, one JSON document on stdout.
// Messages for the user (errors, notes) go to stderr. Text is printed with its control
// characters escaped except line breaks and tabs (TerminalText::escapeKeepingLines); JSON
// escapes them itself.

#include <nlohmann/json_fwd.hpp>

#include <string>

#include "platform/Error.h"

namespace pagewell::cli {

class Output {
  public:
    explicit Output(bool json) : json_(json) {}

    bool json() const { return json_; }

    // Prints `text` (a newline is added when missing), or `document` with --json.
    void result(const std::string& text, const nlohmann::json& document) const;
    void text(const std::string& text) const;

    // "pagewell: message" on stderr; with --json also {"error": {...}} on stdout so that
    // scripts always get one document.
    void failure(const std::string& message, const Error* error = nullptr) const;
    void note(const std::string& message) const;

  private:
    bool json_;
};

}  // namespace pagewell::cli
