#include "platform/terminal_event_source.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>

namespace velunda {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

extern "C" void NoteInterrupt(int) { g_interrupted = 1; }

// An escape sequence's bytes arrive together; a lone Escape after this is the key itself.
constexpr auto kEscapeWait = std::chrono::milliseconds(50);

}  // namespace

TerminalEventSource::TerminalEventSource(SoundCard& card, int inputFd)
    : CardEventSource(card), fd_(inputFd), signals_({SIGINT, SIGTERM, SIGHUP}, NoteInterrupt) {
  g_interrupted = 0;
  const bool terminal = ::isatty(fd_) == 1;
  // Only a foreground process may use the terminal: a background one that read or changed it
  // would be stopped. Signals and --duree still end its session.
  if (terminal && ::tcgetpgrp(fd_) != ::getpgrp()) {
    inputOpen_ = false;
    return;
  }
  if (terminal && ::tcgetattr(fd_, &saved_) == 0) {
    termios raw = saved_;
    // Bytes as typed, no echo, Ctrl-C as a byte; output processing stays as it was.
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON | ISTRIP | INLCR | IGNCR);
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 0;
    raw.c_cc[VTIME] = 0;
    raw_ = ::tcsetattr(fd_, TCSANOW, &raw) == 0;
  }
}

TerminalEventSource::~TerminalEventSource() {
  if (raw_) {
    ::tcsetattr(fd_, TCSANOW, &saved_);
  }
}

void TerminalEventSource::EndAfter(double seconds) {
  deadline_ = std::chrono::steady_clock::now() +
              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                  std::chrono::duration<double>(seconds));
}

bool TerminalEventSource::PollKeyboard(KeyMessage& key) {
  PumpInput();
  return CardEventSource::PollKeyboard(key);
}

void TerminalEventSource::WaitBriefly(uint32_t maxMs) {
  // Sleeps on the card and the terminal together, no longer than the next thing due here.
  const auto now = std::chrono::steady_clock::now();
  auto limit = std::chrono::milliseconds(maxMs);
  const auto until = [&](std::chrono::steady_clock::time_point t) {
    limit = std::min(limit, std::max(std::chrono::milliseconds(0),
                                     std::chrono::ceil<std::chrono::milliseconds>(t - now)));
  };
  if (deadline_) {
    until(*deadline_);
  }
  if (decoder_.Pending()) {
    until(lastByte_ + kEscapeWait);
  }
  WaitOnCard(card_, inputOpen_ ? fd_ : -1, static_cast<uint32_t>(limit.count()));
  PumpInput();
}

void TerminalEventSource::PumpInput() {
  std::vector<ScanKey> keys;
  const auto now = std::chrono::steady_clock::now();
  TakeStops(now, keys);
  ReadTerminal(now, keys);
  for (const ScanKey& k : keys) {
    PostKey(WM_KEYDOWN, MakeKeyLParam(k.scanCode, k.extended));
  }
}

void TerminalEventSource::TakeStops(std::chrono::steady_clock::time_point now,
                                    std::vector<ScanKey>& keys) {
  if (g_interrupted != 0) {
    g_interrupted = 0;
    keys.push_back({kScanEnd, true});
  }
  if (deadline_ && now >= *deadline_) {
    deadline_.reset();
    keys.push_back({kScanEnd, true});
  }
}

void TerminalEventSource::ReadTerminal(std::chrono::steady_clock::time_point now,
                                       std::vector<ScanKey>& keys) {
  while (inputOpen_) {
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, 0) <= 0 || (pfd.revents & (POLLIN | POLLHUP)) == 0) {
      break;
    }
    char bytes[64];
    const ssize_t n = ::read(fd_, bytes, sizeof(bytes));
    if (n <= 0) {
      inputOpen_ = false;  // end of input (not a terminal): only signals and the timer remain
      break;
    }
    decoder_.Feed(bytes, static_cast<size_t>(n), keys);
    lastByte_ = now;
  }
  if (decoder_.Pending() && now - lastByte_ >= kEscapeWait) {
    decoder_.Flush(keys);
  }
}

}  // namespace velunda
