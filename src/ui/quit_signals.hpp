#pragma once
#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

#include "platform/scoped_signals.hpp"

namespace velunda {

// SIGTERM, SIGINT and SIGHUP (unless ignored) become a call of `onSignal` from the event loop,
// through a self-pipe, so that a signal leaves the program the way its menu does.
class QuitSignals final : public QObject {
 public:
  explicit QuitSignals(std::function<void()> onSignal);
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

 private:
  void Drain();

  std::function<void()> onSignal_;
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
  std::unique_ptr<ScopedSignalHandlers> handlers_;
};

}  // namespace velunda
