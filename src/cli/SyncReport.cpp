#include "cli/SyncReport.h"

#include "cli/CommandContext.h"
#include "cli/TerminalText.h"
#include "net/InterfaceManager.h"
#include "platform/HttpResponse.h"

namespace pagewell::cli {

namespace {

nlohmann::json errorDocument(const std::string& message, const std::optional<Error>& error) {
    nlohmann::json document = {{"message", message}};
    if (error) {
        document["domain"] = error->domain;
        document["code"] = error->code;
        document["description"] = error->description;
        if (!error->serverMessage.empty()) {
            document["serverMessage"] = error->serverMessage;
        }
    }
    return document;
}

}  // namespace

int SyncReport::fail(const CommandContext& context, int exitCode, const std::string& message,
                     const std::optional<Error>& error, nlohmann::json document) {
    context.output.note("pagewell: " + message);
    if (error && !error->description.empty() &&
        message.find(error->description) == std::string::npos) {
        context.output.note("  " + TerminalText::escape(error->description));
    }
    if (error && !error->serverMessage.empty()) {
        context.output.note("  " + std::string(kServerSays) +
                            TerminalText::escape(error->serverMessage));
    }
    if (context.output.json()) {
        document["error"] = errorDocument(message, error);
        context.output.result("", document);
    }
    return exitCode;
}

bool SyncReport::isUnreachable(const Error& error) {
    if (error.domain == InterfaceManager::kUnreachableErrorDomain) {
        return true;
    }
    if (error.domain != HttpErrors::kNetworkDomain) {
        return false;
    }
    switch (error.code) {
        case HttpErrors::kTimedOut:
        case HttpErrors::kCannotFindHost:
        case HttpErrors::kCannotConnectToHost:
        case HttpErrors::kNetworkConnectionLost:
        case HttpErrors::kSecureConnectionFailed:
        case HttpErrors::kServerCertificateUntrusted:
            return true;
        default:
            return false;
    }
}

bool SyncReport::isSessionExpired(const Error& error) {
    return error.domain == InterfaceManager::kVXErrorDomain &&
           error.code == InterfaceManager::kSessionExpiredErrorCode;
}

}  // namespace pagewell::cli
