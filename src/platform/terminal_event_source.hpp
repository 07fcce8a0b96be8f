#pragma once
#include <termios.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/card_event_source.hpp"
#include "platform/scoped_signals.hpp"
#include "platform/terminal_keys.hpp"

namespace velunda {

// The main window's queue for a session run from a terminal: the card's notices, and the
// keys typed on the terminal as key-down messages (End is also "q" and Ctrl-C). The terminal
// is put in raw mode for the object's life and restored by its destructor. SIGINT, SIGTERM
// and SIGHUP (unless ignored) become an End key, so the session always ends through its own
// teardown. A background process leaves the terminal alone: reading it would stop the process.
class TerminalEventSource final : public CardEventSource {
 public:
  TerminalEventSource(SoundCard& card, int inputFd);
  ~TerminalEventSource() override;
  TerminalEventSource(const TerminalEventSource&) = delete;
  TerminalEventSource& operator=(const TerminalEventSource&) = delete;

  bool PollKeyboard(KeyMessage& key) override;
  void WaitBriefly(uint32_t maxMs) override;

  // An End key is posted once `seconds` have passed from now.
  void EndAfter(double seconds);

 private:
  // Takes what the terminal and the signals have sent and queues the keys.
  void PumpInput();
  // An End key for a stop signal or the end of --duree.
  void TakeStops(std::chrono::steady_clock::time_point now, std::vector<ScanKey>& keys);
  // The keys typed since the last call; a lone Escape once its sequence has had time to come.
  void ReadTerminal(std::chrono::steady_clock::time_point now, std::vector<ScanKey>& keys);

  int fd_;
  ScopedSignalHandlers signals_;
  bool raw_ = false;
  bool inputOpen_ = true;
  termios saved_{};
  TerminalKeyDecoder decoder_;
  std::chrono::steady_clock::time_point lastByte_{};
  std::optional<std::chrono::steady_clock::time_point> deadline_;
};

}  // namespace velunda
