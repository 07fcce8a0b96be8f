#include "ui/quit_signals.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <csignal>

namespace velunda {
namespace {

std::atomic<int> writeEnd{-1};

void OnSignal(int) {
  const int fd = writeEnd.load();
  if (fd >= 0) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(fd, &byte, 1);
  }
}

}  // namespace

QuitSignals::QuitSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal)) {
  if (pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    fds_[0] = fds_[1] = -1;
    return;
  }
  writeEnd.store(fds_[1]);
  notifier_ = std::make_unique<QSocketNotifier>(fds_[0], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });
  handlers_ = std::make_unique<ScopedSignalHandlers>(
      std::initializer_list<int>{SIGTERM, SIGINT, SIGHUP}, OnSignal);
}

QuitSignals::~QuitSignals() {
  handlers_.reset();
  notifier_.reset();
  writeEnd.store(-1);
  for (int fd : fds_) {
    if (fd >= 0) {
      close(fd);
    }
  }
}

void QuitSignals::Drain() {
  char buffer[16];
  bool any = false;
  while (read(fds_[0], buffer, sizeof buffer) > 0) {
    any = true;
  }
  if (any && onSignal_) {
    onSignal_();
  }
}

}  // namespace velunda
