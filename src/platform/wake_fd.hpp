#pragma once
#include <cstdint>

namespace velunda {

// A descriptor one thread makes readable to wake another that sleeps in poll(): an eventfd.
// Notify may be called from any thread; the readable state lasts until Clear, so a wake
// given before the sleeper reaches poll() is not lost.
class WakeFd {
 public:
  WakeFd();
  ~WakeFd();
  WakeFd(const WakeFd&) = delete;
  WakeFd& operator=(const WakeFd&) = delete;

  int Fd() const { return fd_; }
  void Notify();
  void Clear();

 private:
  int fd_;
};

// Sleeps until one of the two descriptors (either may be -1) is readable or `timeoutMs` pass
// (-1: no limit). Returns which were readable as bits: 1 for `a`, 2 for `b`. A signal ends
// the sleep early.
int WaitReadable(int a, int b, int timeoutMs);

}  // namespace velunda
