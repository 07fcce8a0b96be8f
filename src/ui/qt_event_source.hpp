#pragma once
#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/card_event_source.hpp"

namespace velunda {

// The main window's queue during a session. While it captures, an application-wide event
// filter takes the key presses and left clicks aimed at the window, queues them as WM_KEYDOWN
// and WM_LBUTTONDOWN and swallows them, so that no menu, shortcut or widget sees them. Each
// pass of the processing loop lets Qt deliver its pending events once (in PollDeviceNotice, the
// pass's first poll); a pass that found nothing sleeps in Qt's event loop until a window
// event arrives, the card has something to hand over, or the card or the pass's limit is due.
class QtEventSource final : public QObject, public CardEventSource {
 public:
  // How an idle pass waits; empty: the card's WaitForActivity.
  using IdleWait = std::function<void(uint32_t maxMs)>;

  QtEventSource(SoundCard& card, IdleWait idleWait = {});
  ~QtEventSource() override;
  QtEventSource(const QtEventSource&) = delete;
  QtEventSource& operator=(const QtEventSource&) = delete;

  // The window whose keys and clicks a session takes.
  void Watch(QWidget* window) { window_ = window; }
  // From the session's start to its end: the window's input goes to this queue.
  void BeginCapture();
  // Lets Qt deliver what is still pending into the queue, drops every key and click, and gives
  // the window its input back.
  void EndCapture();
  bool Capturing() const { return capturing_; }

  bool PollDeviceNotice(DeviceNotice& notice) override;
  void WaitBriefly(uint32_t maxMs) override;

  // The lParam of a key: the PC scan code, with the extended flag for the grey cursor and
  // editing block; the same keys of the numeric keypad are not extended; F2 has its own code.
  // 0: no scan code.
  static uint32_t KeyLParam(int qtKey, Qt::KeyboardModifiers modifiers);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool AimedAtWindow(QObject* watched) const;

  IdleWait idleWait_;
  QTimer wakeTimer_;
  std::unique_ptr<QSocketNotifier> cardNotifier_;  // none when the card has no descriptor
  QPointer<QWidget> window_;
  bool capturing_ = false;
};

}  // namespace velunda
