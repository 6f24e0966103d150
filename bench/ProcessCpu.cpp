#include "ProcessCpu.h"

#include <sys/resource.h>

namespace pagewell::bench {

double ProcessCpu::nowMs() const {
    rusage usage{};
    ::getrusage(of_ == Of::ThisProcess ? RUSAGE_SELF : RUSAGE_CHILDREN, &usage);
    auto ms = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) * 1000.0 +
               static_cast<double>(time.tv_usec) / 1000.0;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

}  // namespace pagewell::bench
