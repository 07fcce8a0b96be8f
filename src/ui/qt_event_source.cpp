#include "ui/qt_event_source.hpp"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <utility>

namespace velunda {
namespace {

// The PC scan codes of the cursor and editing keys; any other key has none.
constexpr std::pair<int, uint8_t> kScanCodes[] = {
    {Qt::Key_End, kScanEnd},       {Qt::Key_Up, kScanUp},
    {Qt::Key_Down, kScanDown},     {Qt::Key_Left, kScanLeft},
    {Qt::Key_Right, kScanRight},   {Qt::Key_Delete, kScanDelete},
    {Qt::Key_Insert, kScanInsert}, {Qt::Key_PageDown, kScanPageDown},
    {Qt::Key_Home, 0x47},          {Qt::Key_PageUp, 0x49},
};

}  // namespace

QtEventSource::QtEventSource(SoundCard& card, IdleWait idleWait)
    : CardEventSource(card), idleWait_(std::move(idleWait)) {
  QCoreApplication::instance()->installEventFilter(this);
  wakeTimer_.setSingleShot(true);
  wakeTimer_.setTimerType(Qt::PreciseTimer);
  if (card.ActivityFd() >= 0) {
    cardNotifier_ = std::make_unique<QSocketNotifier>(card.ActivityFd(), QSocketNotifier::Read);
    cardNotifier_->setEnabled(false);
  }
}

QtEventSource::~QtEventSource() {
  if (QCoreApplication::instance() != nullptr) {
    QCoreApplication::instance()->removeEventFilter(this);
  }
}

void QtEventSource::BeginCapture() {
  DrainKeyboard();
  DrainMouse();
  capturing_ = true;
}

void QtEventSource::EndCapture() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  DrainKeyboard();
  DrainMouse();
  capturing_ = false;
}

bool QtEventSource::PollDeviceNotice(DeviceNotice& notice) {
  if (capturing_) {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
  }
  return CardEventSource::PollDeviceNotice(notice);
}

void QtEventSource::WaitBriefly(uint32_t maxMs) {
  if (idleWait_) {
    idleWait_(maxMs);
    return;
  }
  if (!capturing_) {
    card_.WaitForActivity(maxMs);
    return;
  }
  const uint32_t limit = std::min(maxMs, card_.MsUntilService());
  if (limit > 0) {
    // Any event ends the sleep: the timer's, the card's descriptor's, or the window's.
    wakeTimer_.start(static_cast<int>(std::min<uint32_t>(limit, 1u << 30)));
    if (cardNotifier_) {
      cardNotifier_->setEnabled(true);
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (cardNotifier_) {
      cardNotifier_->setEnabled(false);
    }
    wakeTimer_.stop();
  }
  card_.WaitForActivity(0);
}

uint32_t QtEventSource::KeyLParam(int qtKey, Qt::KeyboardModifiers modifiers) {
  if (qtKey == Qt::Key_F2) {
    return MakeKeyLParam(kScanF2, false);
  }
  for (const auto& [key, scan] : kScanCodes) {
    if (key == qtKey) {
      return MakeKeyLParam(scan, !modifiers.testFlag(Qt::KeypadModifier));
    }
  }
  return MakeKeyLParam(0, false);
}

bool QtEventSource::AimedAtWindow(QObject* watched) const {
  if (window_ == nullptr || !watched->isWidgetType()) {
    return false;
  }
  auto* widget = static_cast<QWidget*>(watched);
  return widget == window_ || window_->isAncestorOf(widget);
}

bool QtEventSource::eventFilter(QObject* watched, QEvent* event) {
  if (!capturing_ || !AimedAtWindow(watched)) {
    return false;
  }
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // Claimed, so that no shortcut or mnemonic fires: the key press follows and is taken.
      event->accept();
      return true;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* key = static_cast<QKeyEvent*>(event);
      PostKey(event->type() == QEvent::KeyPress ? WM_KEYDOWN : WM_KEYUP,
              KeyLParam(key->key(), key->modifiers()));
      return true;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
      if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        PostMouse(WM_LBUTTONDOWN);
      }
      return true;
    case QEvent::MouseButtonRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
      return true;
    default:
      return false;
  }
}

}  // namespace velunda
