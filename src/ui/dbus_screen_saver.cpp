#include "ui/dbus_screen_saver.hpp"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace velunda {
namespace {

// A desktop that does not answer must not hold a session up for long.
constexpr int kTimeoutMs = 2000;

QDBusMessage Call(const char* method) {
  return QDBusMessage::createMethodCall(DbusScreenSaver::kService, DbusScreenSaver::kPath,
                                        DbusScreenSaver::kService, method);
}

}  // namespace

DbusScreenSaver::DbusScreenSaver(QDBusConnection bus) : bus_(std::move(bus)) {}

DbusScreenSaver::~DbusScreenSaver() {
  if (cookie_) {
    SetActive(true);
  }
}

bool DbusScreenSaver::IsActive() {
  if (!bus_.isConnected() || bus_.interface() == nullptr) {
    return false;
  }
  const QDBusReply<bool> owned = bus_.interface()->isServiceRegistered(kService);
  return owned.isValid() && owned.value();
}

void DbusScreenSaver::SetActive(bool active) {
  if (!bus_.isConnected()) {
    return;
  }
  if (!active) {
    if (cookie_) {
      return;
    }
    QDBusMessage call = Call("Inhibit");
    call << QStringLiteral("velunda") << QStringLiteral("Filtrage en cours");
    const QDBusReply<uint32_t> reply = bus_.call(call, QDBus::Block, kTimeoutMs);
    if (reply.isValid()) {
      cookie_ = reply.value();
    }
    return;
  }
  if (!cookie_) {
    return;
  }
  QDBusMessage call = Call("UnInhibit");
  call << *cookie_;
  cookie_.reset();
  bus_.call(call, QDBus::Block, kTimeoutMs);
}

}  // namespace velunda
