#pragma once
// Plain libcurl transfers for the benchmarks' floors and hooks: what a minimal client does,
// with none of the app's framing. A BenchHttp keeps its connection alive between requests.
//
// Threading: one thread uses an instance at a time; instances are independent.

#include <memory>
#include <string>

#include "platform/Error.h"

namespace pagewell::bench {

class BenchHttp {
  public:
    // `acceptEncodings`: offer gzip and deflate, as the app's session does (the server may then
    // compress its answers); otherwise answers come as they are.
    explicit BenchHttp(bool acceptEncodings = false);
    ~BenchHttp();
    BenchHttp(const BenchHttp&) = delete;
    BenchHttp& operator=(const BenchHttp&) = delete;

    // The body of a 2xx answer to `method` `url` (with `body` sent when not empty).
    Result<std::string> fetch(const std::string& url, const std::string& method = "GET",
                              const std::string& body = {});

  private:
    struct Handle;
    const bool acceptEncodings_;
    std::unique_ptr<Handle> handle_;
};

}  // namespace pagewell::bench
