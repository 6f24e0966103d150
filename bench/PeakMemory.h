#pragma once
// The peak resident memory of this process over one stretch of a benchmark. start() lowers
// the kernel's high-water mark (VmHWM) to the current resident size by writing "5" to
// /proc/self/clear_refs; peakMiB() reads the mark back. What a stretch adds is the peak minus
// the resident size at its start (growthMiB()), which leaves out what earlier benchmarks of the
// run still hold. Where the mark cannot be lowered (an old kernel), the peak is that of the
// whole process so far, which is an upper bound.
//
// Threading: any thread; reads and writes only /proc/self.

namespace pagewell::bench {

class PeakMemory {
  public:
    void start();
    double peakMiB() const;
    double growthMiB() const { return peakMiB() - startMiB_; }
    double startMiB() const { return startMiB_; }

  private:
    double startMiB_ = 0;
};

}  // namespace pagewell::bench
