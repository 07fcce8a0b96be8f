#include <fcntl.h>
#include <linux/input.h>
#include <linux/kd.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "platform/speaker.hpp"

namespace velunda {
namespace {

class FdTone : public ToneOutput {
 public:
  explicit FdTone(int fd) : fd_(fd) {}
  ~FdTone() override {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  FdTone(const FdTone&) = delete;
  FdTone& operator=(const FdTone&) = delete;

 protected:
  int fd_;
};

// The console's tone generator takes the timer divisor itself.
class KiocsoundTone final : public FdTone {
 public:
  using FdTone::FdTone;
  ~KiocsoundTone() override { ioctl(fd_, KIOCSOUND, 0); }
  void SetDivisor(uint16_t divisor) override { ioctl(fd_, KIOCSOUND, static_cast<int>(divisor)); }
};

// An evdev speaker takes the frequency in hertz.
class EvdevTone final : public FdTone {
 public:
  using FdTone::FdTone;
  ~EvdevTone() override { Send(0); }
  void SetDivisor(uint16_t divisor) override { Send(divisor == 0 ? 0 : 1193180 / divisor); }

 private:
  void Send(int hz) {
    input_event ev{};
    ev.type = EV_SND;
    ev.code = SND_TONE;
    ev.value = hz;
    [[maybe_unused]] const ssize_t n = write(fd_, &ev, sizeof ev);
  }
};

// No speaker: one bell on the controlling terminal when the tone starts.
class BellTone final : public FdTone {
 public:
  using FdTone::FdTone;
  void SetDivisor(uint16_t divisor) override {
    if (divisor != 0 && fd_ >= 0) {
      [[maybe_unused]] const ssize_t n = write(fd_, "\a", 1);
    }
  }
};

std::unique_ptr<ToneOutput> OpenConsoleTone() {
  for (const char* path : {"/dev/tty0", "/dev/console"}) {
    const int fd = open(path, O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    if (ioctl(fd, KIOCSOUND, 0) == 0) {
      return std::make_unique<KiocsoundTone>(fd);
    }
    close(fd);
  }
  return nullptr;
}

bool HasToneBit(int fd) {
  unsigned long bits = 0;
  if (ioctl(fd, EVIOCGBIT(EV_SND, sizeof bits), &bits) < 0) {
    return false;
  }
  return (bits & (1UL << SND_TONE)) != 0;
}

std::unique_ptr<ToneOutput> OpenEvdevTone() {
  for (int i = 0; i < 32; ++i) {
    const std::string path = "/dev/input/event" + std::to_string(i);
    const int fd = open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      continue;
    }
    if (HasToneBit(fd)) {
      return std::make_unique<EvdevTone>(fd);
    }
    close(fd);
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<SpeakerPorts> OpenSystemSpeaker() {
  return OpenSystemSpeaker(
      std::make_unique<BellTone>(open("/dev/tty", O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)));
}

std::unique_ptr<SpeakerPorts> OpenSystemSpeaker(std::unique_ptr<ToneOutput> fallback) {
  std::unique_ptr<ToneOutput> tone = OpenConsoleTone();
  if (!tone) {
    tone = OpenEvdevTone();
  }
  if (!tone) {
    tone = std::move(fallback);
  }
  return std::make_unique<EmulatedSpeakerPorts>(std::move(tone));
}

}  // namespace velunda
