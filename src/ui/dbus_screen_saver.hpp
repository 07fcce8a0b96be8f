#pragma once
// The desktop's screen saver through the session bus: a session holds an inhibition
// (org.freedesktop.ScreenSaver Inhibit) and gives it back at its end (UnInhibit). The bus ends an
// inhibition by itself when the process goes away. No session bus, or nobody owning the service:
// the screen saver counts as "not active" and nothing is sent.
#include <QDBusConnection>
#include <QString>
#include <cstdint>
#include <optional>

#include "platform/screen_saver.hpp"

namespace velunda {

class DbusScreenSaver final : public ScreenSaver {
 public:
  // The bus to use; the default is the user's session bus.
  explicit DbusScreenSaver(QDBusConnection bus = QDBusConnection::sessionBus());
  ~DbusScreenSaver() override;

  // Whether the service is there to be asked.
  bool IsActive() override;
  // false: inhibit (once); true: give the inhibition back.
  void SetActive(bool active) override;

  static constexpr const char* kService = "org.freedesktop.ScreenSaver";
  static constexpr const char* kPath = "/org/freedesktop/ScreenSaver";

 private:
  QDBusConnection bus_;
  std::optional<uint32_t> cookie_;
};

}  // namespace velunda
