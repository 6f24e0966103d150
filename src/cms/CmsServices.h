#pragma once
// What every endpoint group of the server works with: the live catalogue, the state clients
// changed, the tokens, the fault hooks, the request log and the options the server was started
// with. The server owns them all and outlives every handler; each member states its own threading
// rule.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "cms/CatalogueState.h"
#include "cms/CmsStateStore.h"
#include "cms/FaultInjector.h"
#include "cms/RequestLog.h"
#include "cms/RouteTable.h"
#include "cms/TokenStore.h"

namespace pagewell::cms {

struct CmsServerOptions {
    std::filesystem::path catalogue;
    std::string bind = "127.0.0.1";
    int port = 0;  // 0: a free port chosen by the system
    std::chrono::seconds tokenLifetime{3600};
    std::string appSecret;            // empty: the X-App-Secret header is not checked
    std::filesystem::path stateFile;  // where server-side changes persist; empty: memory only
    bool testHooks = false;
    std::string minimumClientVersion;  // empty: every client version is accepted
    bool maintenance = false;          // what "check/maintenance" reports
};

struct CmsServices {
    CatalogueState& catalogue;
    CmsStateStore& state;
    TokenStore& tokens;
    FaultInjector& faults;
    RequestLog& requestLog;
    const CmsServerOptions& options;

    // The user behind the request's "token" query value, when it is valid.
    std::optional<int> authenticatedUser(const CmsRequest& request) const {
        auto token = request.queryValue("token");
        return token ? tokens.userFor(*token) : std::nullopt;
    }
};

// The framed API lives under this path, "auth/forgot" under kPlainApiBase.
inline constexpr const char* kApiBase = "/api2";
inline constexpr const char* kPlainApiBase = "/api";

}  // namespace pagewell::cms
