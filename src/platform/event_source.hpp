#pragma once
#include <cstddef>
#include <cstdint>
#include <deque>

#include "platform/wave_device.hpp"

namespace velunda {

inline constexpr uint32_t WM_KEYFIRST = 0x100;
inline constexpr uint32_t WM_KEYDOWN = 0x100;
inline constexpr uint32_t WM_KEYUP = 0x101;
inline constexpr uint32_t WM_CHAR = 0x102;
inline constexpr uint32_t WM_KEYLAST = 0x108;
inline constexpr uint32_t WM_MOUSEFIRST = 0x200;
inline constexpr uint32_t WM_LBUTTONDOWN = 0x201;
inline constexpr uint32_t WM_LBUTTONUP = 0x202;
inline constexpr uint32_t WM_RBUTTONDOWN = 0x204;
inline constexpr uint32_t WM_MOUSELAST = 0x20A;

// Scan codes of the grey cursor and editing block (sent with the extended-key flag).
inline constexpr uint8_t kScanEnd = 0x4F;
inline constexpr uint8_t kScanUp = 0x48;
inline constexpr uint8_t kScanDown = 0x50;
inline constexpr uint8_t kScanLeft = 0x4B;
inline constexpr uint8_t kScanRight = 0x4D;
inline constexpr uint8_t kScanDelete = 0x53;
inline constexpr uint8_t kScanInsert = 0x52;
inline constexpr uint8_t kScanPageDown = 0x51;
// F2 (not extended): shows or hides the spectrum in any session.
inline constexpr uint8_t kScanF2 = 0x3C;

// lParam of a key message: repeat count 1, scan code in bits 16..23, extended flag bit 24.
constexpr uint32_t MakeKeyLParam(uint8_t scanCode, bool extended) {
  return 1u | (static_cast<uint32_t>(scanCode) << 16) | (extended ? (1u << 24) : 0u);
}

struct DeviceNotice {
  uint32_t message = 0;  // MM_WOM_DONE..MM_WIM_DATA
  WaveHeader* header = nullptr;
};

struct KeyMessage {
  uint32_t message = 0;  // WM_KEYFIRST..WM_KEYLAST
  uint32_t lParam = 0;
};

// The processing loop's view of the main window's message queue. Each poll is non-blocking
// and removes at most one message. The wave devices post their notices to it.
class EventSource : public NoticeSink {
 public:
  // One device notice in 0x3BD..0x3C0.
  virtual bool PollDeviceNotice(DeviceNotice& notice) = 0;
  // One WM_LBUTTONDOWN; other mouse messages stay queued.
  virtual bool PollLeftButtonDown() = 0;
  // One keyboard message in 0x100..0x108.
  virtual bool PollKeyboard(KeyMessage& key) = 0;
  // Remove every queued message of the range.
  virtual void DrainDeviceNotices() = 0;
  virtual void DrainKeyboard() = 0;
  virtual void DrainMouse() = 0;
  // Called when a pass found nothing: block at most maxMs until something may have arrived
  // (a device needs service, a key or click came in). Sources fed by a sound card wait on it
  // with SoundCard::WaitForActivity, which also lets the card post its notices.
  virtual void WaitBriefly(uint32_t maxMs) = 0;
};

// A message queue in arrival order, shared by the concrete event sources. Subclasses add
// their inputs (PostKey, PostMouse) and implement WaitBriefly.
class QueuedEventSource : public EventSource {
 public:
  void PostNotice(uint32_t message, WaveHeader* header) override;
  void PostKey(uint32_t message, uint32_t lParam);
  void PostMouse(uint32_t message);

  bool PollDeviceNotice(DeviceNotice& notice) override;
  bool PollLeftButtonDown() override;
  bool PollKeyboard(KeyMessage& key) override;
  void DrainDeviceNotices() override;
  void DrainKeyboard() override;
  void DrainMouse() override;

  // Queued messages of every kind (for checks after a session).
  size_t PendingCount() const { return queue_.size(); }
  size_t PendingInRange(uint32_t first, uint32_t last) const;

 private:
  struct Message {
    uint32_t message;
    WaveHeader* header;
    uint32_t lParam;
  };
  // Removes the first message in first..last.
  bool Take(uint32_t first, uint32_t last, Message& out);
  void Drain(uint32_t first, uint32_t last);

  std::deque<Message> queue_;
};

}  // namespace velunda
