// The window's commands: the settings menus, a session's keys and clicks, and every road out.
#include <QDialog>
#include <QElapsedTimer>
#include <QMenuBar>
#include <csignal>

#include "engine/boucle.hpp"
#include "ui/command_line.hpp"
#include "ui/hooks.hpp"
#include "ui_rig.hpp"

using namespace velunda;
using namespace velunda::uitest;

Q_DECLARE_METATYPE(std::string)

namespace {

// Counts the key presses and mouse presses that reach a widget.
class InputCounter final : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    const auto type = event->type();
    count += type == QEvent::KeyPress || type == QEvent::ShortcutOverride ||
             type == QEvent::MouseButtonPress;
    return false;
  }
  int count = 0;
};

// A session's screen that names End (or a click), Up and Down as they reach it; `started` runs
// as the loop starts. End and a click end the session.
struct NamingScreen final : SessionScreen {
  void Started() override { started(); }
  bool KeyDown(uint8_t scanCode) override {
    if (scanCode == kScanEnd) {
      seen << "end";
      return false;
    }
    if (scanCode == kScanUp || scanCode == kScanDown) {
      seen << (scanCode == kScanUp ? "up" : "down");
    }
    return true;
  }
  bool Clicked() override { return KeyDown(kScanEnd); }
  bool BlockDone() override { return true; }
  std::function<void()> started;
  QStringList seen;
};

// Runs the action's menu item and lets the queued command run.
void Choose(TForm1& window, const char* item) {
  window.Item(item)->trigger();
  QCoreApplication::processEvents();
}

}  // namespace

class WindowCommandsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void settingsCommands_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<std::string>("saved");
    QTest::addColumn<QStringList>("group");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<bool>("mixerTouched");
    const QStringList modes = {"Software_adjustment", "User_adjustment"};
    const QStringList inputs = {"Entree_Gauche", "Entree_Droite", "Microphon"};
    const QStringList gains = {"x0_25", "x0_5", "x1", "x2", "x4", "x8"};
    QTest::newRow("Software_adjustment")
        << "Software_adjustment" << Record(4, 2, 1) << modes << "...choisi" << true;
    QTest::newRow("User_adjustment")
        << "User_adjustment" << Record(4, 2, 2) << modes << "...choisi" << false;
    const uint8_t inputCodes[] = {1, 2, 3};
    for (int k = 0; k < 3; ++k) {
      QTest::newRow(qPrintable(inputs[k]))
          << inputs[k] << Record(4, inputCodes[k], 1) << inputs << "...choisie" << true;
    }
    const uint8_t gainCodes[] = {25, 5, 1, 2, 4, 8};
    for (int k = 0; k < 6; ++k) {
      QTest::newRow(qPrintable(gains[k]))
          << gains[k] << Record(gainCodes[k], 2, 1) << gains << "...choisi" << true;
    }
  }
  // Each command marks its item alone in its menu, saves the file, and drives the mixer in the
  // program's mode (the user's mode leaves it alone).
  void settingsCommands() {
    QFETCH(QString, item);
    QFETCH(std::string, saved);
    QFETCH(QStringList, group);
    QFETCH(QString, mark);
    QFETCH(bool, mixerTouched);
    Rig rig;
    WriteFile("CONFVEL.SER", Record(4, 2, 1));
    QVERIFY(rig.Create());
    rig.mixer->ClearCalls();
    TForm1& window = rig.program->Window();
    Choose(window, item.toUtf8().constData());
    QCOMPARE(ReadFile("CONFVEL.SER"), saved);
    for (const QString& other : group) {
      const QString caption = window.Item(other.toUtf8().constData())->text();
      QCOMPARE(caption.endsWith(mark), other == item);
    }
    QCOMPARE(!rig.mixer->Writes().empty(), mixerTouched);
    QVERIFY(rig.journal.messages.empty());
  }

  void keyParameters_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("keypad");
    QTest::addColumn<uint>("lParam");
    const std::tuple<const char*, int, uint8_t> keys[] = {
        {"End", Qt::Key_End, kScanEnd},          {"Up", Qt::Key_Up, kScanUp},
        {"Down", Qt::Key_Down, kScanDown},       {"Left", Qt::Key_Left, kScanLeft},
        {"Right", Qt::Key_Right, kScanRight},    {"Delete", Qt::Key_Delete, kScanDelete},
        {"Insert", Qt::Key_Insert, kScanInsert}, {"PageDown", Qt::Key_PageDown, kScanPageDown},
    };
    for (const auto& [name, key, scan] : keys) {
      QTest::newRow(qPrintable(QString("grey %1").arg(name)))
          << key << false << uint{MakeKeyLParam(scan, true)};
      QTest::newRow(qPrintable(QString("keypad %1").arg(name)))
          << key << true << uint{MakeKeyLParam(scan, false)};
    }
    QTest::newRow("letter") << int{Qt::Key_Q} << false << uint{MakeKeyLParam(0, false)};
  }
  void keyParameters() {
    QFETCH(int, key);
    QFETCH(bool, keypad);
    QFETCH(uint, lParam);
    QCOMPARE(uint{QtEventSource::KeyLParam(key, keypad ? Qt::KeypadModifier : Qt::NoModifier)},
             lParam);
  }

  void sessionInput_data() {
    QTest::addColumn<QStringList>("input");  // posted to the window once the session runs
    QTest::addColumn<QStringList>("acted");
    QTest::newRow("grey Up, then End") << QStringList{"Up", "End"} << QStringList{"up", "end"};
    QTest::newRow("keypad Up does nothing")
        << QStringList{"keypad Up", "keypad End", "Up", "End"} << QStringList{"up", "end"};
    QTest::newRow("a click ends") << QStringList{"click"} << QStringList{"end"};
    QTest::newRow("menu mnemonic and second launch are swallowed")
        << QStringList{"Alt+T", "launch again", "Down", "End"} << QStringList{"down", "end"};
  }
  // The session loop runs inside the menu command; the window's keys and clicks reach it as
  // key-down messages with their lParam, and nothing else sees them.
  void sessionInput() {
    QFETCH(QStringList, input);
    QFETCH(QStringList, acted);
    Rig rig;
    QVERIFY(rig.Start());
    VelundaProgram& program = *rig.program;
    TForm1& window = program.Window();
    int launches = 0;
    int settingsCommands = 0;
    QObject::connect(window.Item("x8"), &QAction::triggered, [&] { ++settingsCommands; });
    InputCounter reached;
    window.installEventFilter(&reached);
    window.centralWidget()->installEventFilter(&reached);
    NamingScreen screen;
    screen.started = [&] {
      for (const QString& what : input) {
        auto key = [&](int k, Qt::KeyboardModifiers m) {
          QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, k, m));
          QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyRelease, k, m));
        };
        if (what == "click") {
          QCoreApplication::postEvent(
              window.centralWidget(),
              new QMouseEvent(QEvent::MouseButtonPress, QPointF(5, 5), QPointF(5, 5),
                              Qt::LeftButton, Qt::LeftButton, Qt::NoModifier));
        } else if (what == "launch again") {
          window.Item("Passe_bas")->trigger();
        } else if (what == "Alt+T") {
          key(Qt::Key_T, Qt::AltModifier);
        } else {
          const bool keypad = what.startsWith("keypad ");
          const QString name = keypad ? what.mid(7) : what;
          key(name == "Up"     ? Qt::Key_Up
              : name == "Down" ? Qt::Key_Down
                               : Qt::Key_End,
              keypad ? Qt::KeypadModifier : Qt::NoModifier);
        }
      }
    };
    program.Hooks.LaunchAction = [&](ActionItem item) {
      ++launches;
      QCOMPARE(item, ActionItem::Passe_bas);
      QVERIFY(program.SessionRunning());
      program.State().Dsp.FilterKind.clear();
      RunSession(program.State().Engine, program.State().Dsp, screen, program.Platform());
    };
    Choose(window, "Passe_bas");
    QCOMPARE(launches, 1);
    QCOMPARE(screen.seen, acted);
    QCOMPARE(settingsCommands, 0);
    QCOMPARE(reached.count, 0);
    QVERIFY(!rig.timedOut);
    QVERIFY(!program.SessionRunning());
    QVERIFY(!program.Events().Capturing());
    QVERIFY(!rig.card->InputOpen());
    QVERIFY(!program.HasLeft());
    QVERIFY(rig.journal.messages.size() == 1);  // the missing file's message alone
  }

  void roadsOut_data() {
    QTest::addColumn<QString>("road");
    QTest::addColumn<bool>("duringSession");
    QTest::addColumn<QString>("box");  // open when the road is taken
    for (const char* road : {"menu", "close request", "SIGTERM", "SIGINT", "SIGHUP"}) {
      QTest::newRow(road) << road << false << "";
    }
    for (const char* road : {"close request", "SIGTERM"}) {
      QTest::newRow(qPrintable(QString("%1 during a session").arg(road))) << road << true << "";
    }
    QTest::newRow("SIGTERM over the start-up box") << "SIGTERM" << false << "start-up";
    // CONFVEL.SER a folder: it cannot be read, so it is altered, and cannot be written.
    QTest::newRow("SIGHUP over the first of three start-up boxes")
        << "SIGHUP" << false << "three start-up";
    QTest::newRow("SIGTERM over an error box in a session") << "SIGTERM" << true << "error";
    QTest::newRow("SIGINT over the About dialog") << "SIGINT" << false << "about";
  }
  // Every road out puts back each control the program changed (the microphone's included,
  // chosen from the file) and the recording gain at its minimum; a session ends first. A signal
  // does not wait for a click on an open box or dialog.
  void roadsOut() {
    QFETCH(QString, road);
    QFETCH(bool, duringSession);
    QFETCH(QString, box);
    Rig rig({.qtBox = !box.isEmpty(), .catchSignals = true});
    const bool atStartUp = box.endsWith("start-up");
    if (box == "three start-up") {
      QDir().mkdir("CONFVEL.SER");
    } else if (!atStartUp) {
      WriteFile("CONFVEL.SER", Record(8, 3, 1));
    }
    VelundaProgram& program = *rig.program;
    ConnectWindowHooks(program);  // as the program's start does
    auto leave = [&] {
      if (road == "menu") {
        Choose(program.Window(), "Abandondulogiciel1");
      } else if (road == "close request") {
        program.Window().close();
      } else {
        std::raise(road == "SIGTERM" ? SIGTERM : road == "SIGINT" ? SIGINT : SIGHUP);
      }
    };
    // The road is taken once a modal box is open; one still open 2 s later fails the row.
    QElapsedTimer sinceLeaving;
    QTimer watch;
    bool stuck = false;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (open != nullptr && !sinceLeaving.isValid()) {
        sinceLeaving.start();
        leave();
      } else if (open != nullptr && sinceLeaving.hasExpired(2000)) {
        stuck = true;
        open->done(QDialog::Rejected);
      }
    });
    if (!box.isEmpty()) {
      watch.start(5);
    }
    if (atStartUp) {
      QVERIFY(rig.Create());
      program.Show();
    } else {
      QVERIFY(rig.Start());
      Choose(program.Window(), "x2");
      QVERIFY(Values(rig.mixer->Description()) != Values(AsLeft(rig.original)));
    }
    bool endedBeforeLeaving = false;
    if (duringSession) {
      NamingScreen screen;
      screen.started = box.isEmpty() ? std::function<void()>(leave)
                                      : [&] { program.Platform().box.ShowError("Erreur"); };
      program.Hooks.LaunchAction = [&](ActionItem) {
        RunSession(program.State().Engine, program.State().Dsp, screen, program.Platform());
        endedBeforeLeaving = !program.HasLeft() && program.Window().isVisible();
      };
      Choose(program.Window(), "Passe_bas");
      QVERIFY(endedBeforeLeaving);
    } else if (box == "about") {
      Choose(program.Window(), "Aproposde1");
    } else if (box.isEmpty()) {
      leave();
    }
    QVERIFY(QTest::qWaitFor([&] { return program.HasLeft(); }, 2000));
    QVERIFY(!stuck);
    QVERIFY(!program.Window().isVisible());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(!rig.card->InputOpen());
    QCOMPARE(Values(rig.mixer->Description()), Values(AsLeft(rig.original)));
  }

  // The window's reading of the shared option table (whose refusals are tested with it):
  // "default" unless --carte names a card, --aide and --version, --latence.
  void commandLine_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QString>("card");
    QTest::addColumn<QString>("asked");  // "aide", "version" or ""
    QTest::addColumn<bool>("shortLatency");
    QTest::addColumn<QString>("named");  // in the error, when there is one to name
    QTest::addColumn<QString>("config");
    auto row = [](const char* name, QStringList args, bool ok, QString card = "default",
                  QString asked = {}, bool shortLatency = false, QString named = {},
                  QString config = {}) {
      QTest::newRow(name) << args << ok << card << asked << shortLatency << named << config;
    };
    row("nothing", {}, true);
    row("--aide", {"--aide"}, true, "default", "aide");
    row("-V", {"-V"}, true, "default", "version");
    row("--latence with a card and a settings file after",
        {"--latence=courte", "--carte", "x", "--config", "r"}, true, "x", {}, true, {}, "r");
    row("unknown option", {"--vite"}, false, "", {}, false, "--vite");
  }
  void commandLine() {
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    QFETCH(QString, card);
    QFETCH(QString, asked);
    QFETCH(bool, shortLatency);
    QFETCH(QString, named);
    QFETCH(QString, config);
    std::vector<std::string> list;
    for (const QString& a : args) {
      list.push_back(a.toStdString());
    }
    WindowOptions options;
    std::string error;
    QCOMPARE(ParseWindowOptions(list, options, error), ok);
    if (ok) {
      QCOMPARE(QString::fromStdString(options.card), card);
      QCOMPARE(options.help, asked == "aide");
      QCOMPARE(options.version, asked == "version");
      QCOMPARE(options.shortLatency, shortLatency);
      QCOMPARE(QString::fromStdString(options.configFile), config);
    } else {
      QVERIFY(error.rfind("velunda : ", 0) == 0);
      QVERIFY(error.find(named.toStdString()) != std::string::npos);
    }
  }
};

QTEST_MAIN(WindowCommandsTest)
#include "window_commands_test.moc"
