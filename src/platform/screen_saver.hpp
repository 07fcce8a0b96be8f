#pragma once

namespace velunda {

// The desktop's screen saver, switched off for the length of a session. A back-end that cannot
// reach it answers "not active" and ignores the switch.
class ScreenSaver {
 public:
  virtual ~ScreenSaver() = default;
  // Whether the screen saver would start on its own now.
  virtual bool IsActive() = 0;
  virtual void SetActive(bool active) = 0;
};

// No screen saver to reach (terminal, headless use).
class NullScreenSaver final : public ScreenSaver {
 public:
  bool IsActive() override { return false; }
  void SetActive(bool) override {}
};

}  // namespace velunda
