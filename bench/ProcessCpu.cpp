#include "ProcessCpu.h"

#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace pagewell::bench {

double ProcessCpu::nowMs() const {
    if (of_ == Of::OtherProcess) {
        // Fields 14 and 15 of /proc/PID/stat, after the parenthesised command name.
        std::ifstream in("/proc/" + std::to_string(other_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto nameEnd = text.rfind(')');
        if (nameEnd == std::string::npos) {
            return 0;
        }
        std::istringstream fields(text.substr(nameEnd + 1));
        std::string skipped;
        for (int field = 3; field < 14; ++field) {
            fields >> skipped;
        }
        double user = 0;
        double system = 0;
        fields >> user >> system;
        return (user + system) * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
    }
    rusage usage{};
    ::getrusage(of_ == Of::ThisProcess ? RUSAGE_SELF : RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) * 1000.0 +
               static_cast<double>(time.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

}  // namespace pagewell::bench
