#include "platform/wake_fd.hpp"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

#include "platform/wave_device.hpp"

namespace velunda {

WakeFd::WakeFd() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) {
    throw std::runtime_error("eventfd");
  }
}

WakeFd::~WakeFd() { ::close(fd_); }

void WakeFd::Notify() {
  const uint64_t one = 1;
  // A full counter (never in practice) is still readable: nothing lost.
  [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof(one));
}

void WakeFd::Clear() {
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof(count));
}

int WaitReadable(int a, int b, int timeoutMs) {
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  if (::poll(fds, 2, timeoutMs) <= 0) {
    return 0;
  }
  // A hung-up or failed descriptor counts as readable: its reader finds out what happened.
  constexpr short kAwake = POLLIN | POLLHUP | POLLERR;
  return ((fds[0].revents & kAwake) != 0 ? 1 : 0) | ((fds[1].revents & kAwake) != 0 ? 2 : 0);
}

bool WaitOnCard(SoundCard& card, int otherFd, uint32_t maxMs) {
  const uint32_t limit = std::min(maxMs, card.MsUntilService());
  const int woke = WaitReadable(otherFd, card.ActivityFd(), static_cast<int>(std::min<uint32_t>(limit, 1u << 30)));
  card.WaitForActivity(0);
  return (woke & 1) != 0;
}

}  // namespace velunda
