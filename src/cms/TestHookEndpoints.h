#pragma once
// Hooks for integration tests, under "/__test/", added only when the server runs with
// --test-hooks and answered only to loopback clients:
//   POST   /__test/tokens/expire            every token handed out so far stops working
//   POST   /__test/faults                   {"prefix", "action": status|empty|stall|drop|
//                                             hold|hang|answer|nest|pad|strip, "count",
//                                             "status", "seconds", "content_type", "body",
//                                             "depth", "bytes", "keys"}
//   DELETE /__test/faults                   disarms every fault
//   POST   /__test/catalogue/ACTION         changes the catalogue (actions in the .cpp)
//   GET    /__test/requests                 the request log, secrets redacted
//   DELETE /__test/requests                 empties it

#include "cms/CmsServices.h"
#include "cms/RouteTable.h"

namespace pagewell::cms {

class TestHookEndpoints {
  public:
    static void addTo(RouteTable& routes, const CmsServices& services);
    static bool isLoopback(const std::string& address);
};

}  // namespace pagewell::cms
