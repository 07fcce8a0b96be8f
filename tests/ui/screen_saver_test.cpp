// The screen saver held off through a private session bus, against a small stand-in for the
// desktop's org.freedesktop.ScreenSaver service living in its own thread.
#include <QDBusConnectionInterface>
#include <QMutex>
#include <QSet>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include "ui/dbus_screen_saver.hpp"
#include "ui/hooks.hpp"
#include "ui_rig.hpp"

using namespace velunda;
using namespace velunda::uitest;

// The stand-in service: hands out cookies and remembers which are still held.
class FakeScreenSaverService final : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  QStringList Calls() {
    QMutexLocker lock(&mutex_);
    return calls_;
  }
  int Held() {
    QMutexLocker lock(&mutex_);
    return static_cast<int>(held_.size());
  }

 public Q_SLOTS:
  uint Inhibit(const QString& application, const QString&) {
    QMutexLocker lock(&mutex_);
    const uint cookie = next_++;
    held_.insert(cookie);
    calls_ << QString("Inhibit %1 -> %2").arg(application).arg(cookie);
    return cookie;
  }
  void UnInhibit(uint cookie) {
    QMutexLocker lock(&mutex_);
    held_.remove(cookie);
    calls_ << QString("UnInhibit %1").arg(cookie);
  }

 private:
  QMutex mutex_;
  QStringList calls_;
  QSet<uint> held_;
  uint next_ = 7;
};

class ScreenSaverTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void initTestCase() {
    const QString daemon = QStandardPaths::findExecutable("dbus-daemon");
    if (daemon.isEmpty()) {
      QSKIP("dbus-daemon is not installed: the screen saver back-end is not tested");
    }
    bus_.start(daemon, {"--session", "--nofork", "--print-address"});
    QVERIFY(bus_.waitForStarted());
    QVERIFY(bus_.waitForReadyRead(10000));
    address_ = QString::fromUtf8(bus_.readLine()).trimmed();
    QVERIFY(!address_.isEmpty());
    // The window's own back-end reaches this bus as its session bus.
    qputenv("DBUS_SESSION_BUS_ADDRESS", address_.toUtf8());
    thread_.start();
  }
  void cleanupTestCase() {
    thread_.quit();
    thread_.wait();
    if (bus_.state() != QProcess::NotRunning) {
      bus_.kill();
      bus_.waitForFinished();
    }
  }

  void backEnd_data() {
    QTest::addColumn<bool>("bus");
    QTest::addColumn<bool>("service");
    QTest::addColumn<QStringList>("calls");
    QTest::newRow("service on the bus") << true << true
                                        << QStringList{"Inhibit velunda -> 7", "UnInhibit 7"};
    QTest::newRow("bus without the service") << true << false << QStringList{};
    QTest::newRow("no bus") << false << false << QStringList{};
  }
  // Off: one inhibition held until on again; without a bus or a service, nothing at all.
  void backEnd() {
    QFETCH(bool, bus);
    QFETCH(bool, service);
    QFETCH(QStringList, calls);
    Service fake(*this, service);
    DbusScreenSaver saver(bus ? QDBusConnection::connectToBus(address_, "client")
                              : QDBusConnection("not connected"));
    QCOMPARE(saver.IsActive(), service);
    saver.SetActive(false);
    saver.SetActive(false);  // a second switch off holds no second inhibition
    QCOMPARE(fake.service->Held(), service ? 1 : 0);
    saver.SetActive(true);
    QCOMPARE(fake.service->Held(), 0);
    QCOMPARE(fake.service->Calls(), calls);
    QDBusConnection::disconnectFromBus("client");
  }

  // In the window, the screen saver is held off from the session's start to its end.
  void heldForTheSession() {
    Service fake(*this, true);
    Rig rig;
    ConnectWindowHooks(*rig.program);  // as the program's start does
    QVERIFY(rig.Start());
    TForm1& window = rig.program->Window();
    int heldDuring = -1;
    rig.onIdle = [&] {
      if (heldDuring < 0 && rig.card->InputOpen()) {
        heldDuring = fake.service->Held();
        QTest::keyClick(&window, Qt::Key_End);
      }
    };
    window.Item("Reducteur_bruit_general")->trigger();
    QVERIFY(QTest::qWaitFor([&] { return heldDuring >= 0 && !rig.program->SessionRunning(); }));

    QCOMPARE(heldDuring, 1);
    QCOMPARE(fake.service->Held(), 0);
    QCOMPARE(fake.service->Calls(), (QStringList{"Inhibit velunda -> 7", "UnInhibit 7"}));
  }

 private:
  // The stand-in registered on its own connection, answering from the service thread so that
  // the back-end's blocking calls get their replies.
  struct Service {
    Service(ScreenSaverTest& test, bool registered)
        : connection(QDBusConnection::connectToBus(test.address_, "service")) {
      service = new FakeScreenSaverService;
      service->moveToThread(&test.thread_);
      if (registered) {
        connection.registerObject(DbusScreenSaver::kPath, service,
                                  QDBusConnection::ExportAllSlots);
        connection.registerService(DbusScreenSaver::kService);
      }
    }
    ~Service() {
      connection.unregisterService(DbusScreenSaver::kService);
      connection.unregisterObject(DbusScreenSaver::kPath);
      QDBusConnection::disconnectFromBus("service");
      service->deleteLater();
    }
    QDBusConnection connection;
    FakeScreenSaverService* service;
  };

  QProcess bus_;
  QString address_;
  QThread thread_;
};

QTEST_MAIN(ScreenSaverTest)
#include "screen_saver_test.moc"
