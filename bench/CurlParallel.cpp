#include "CurlParallel.h"

#include <cstdlib>
#include <fstream>

#include "DiskUsage.h"

namespace pagewell::bench {

Result<CurlParallel> CurlParallel::prepare(const std::filesystem::path& work,
                                           const std::vector<std::string>& urls) {
    std::error_code failed;
    const auto into = work / "into";
    std::filesystem::create_directories(into, failed);
    const auto config = work / "curl.config";
    std::ofstream out(config);
    int number = 0;
    for (const auto& url : urls) {
        out << "url = \"" << url << "\"\n"
            << "output = \"" << (into / std::to_string(++number)).string() << "\"\n";
    }
    out.close();
    if (failed || !out) {
        return Error::make("CurlParallel", 1, "cannot write " + config.string());
    }
    return CurlParallel(into,
                        "curl --parallel --parallel-max 4 --silent --no-progress-meter "
                        "--show-error --fail --config '" +
                            config.string() + "'");
}

bool CurlParallel::run() const {
    return std::system(command_.c_str()) == 0;
}

std::uintmax_t CurlParallel::takeBytes() const {
    const std::uintmax_t bytes = bytesBelow(into_);
    std::error_code ignored;
    std::filesystem::remove_all(into_, ignored);
    std::filesystem::create_directories(into_, ignored);
    return bytes;
}

}  // namespace pagewell::bench
