// The window's commands: each settings and help item reaches the core, and every road out.
// (The Actions items are the sessions test's.)
#include <QDialog>
#include <QElapsedTimer>
#include <csignal>

#include "ui/command_line.hpp"
#include "ui/hooks.hpp"
#include "ui_rig.hpp"

using namespace velunda;
using namespace velunda::uitest;

Q_DECLARE_METATYPE(std::string)

namespace {

// Chooses a menu item and lets its queued command run.
void Choose(TForm1& window, const char* item) {
  window.Item(item)->trigger();
  QCoreApplication::processEvents();
}

}  // namespace

class WindowCommandsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void menuCommands_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<std::string>("saved");  // the settings file, from Record(4, 2, 1)
    QTest::addColumn<QString>("dialog");     // the window the item opens
    const std::pair<const char*, std::string> settings[] = {
        {"Software_adjustment", Record(4, 2, 1)},
        {"User_adjustment", Record(4, 2, 2)},
        {"Entree_Gauche", Record(4, 1, 1)},
        {"Entree_Droite", Record(4, 2, 1)},
        {"Microphon", Record(4, 3, 1)},
        {"x0_25", Record(25, 2, 1)},
        {"x0_5", Record(5, 2, 1)},
        {"x1", Record(1, 2, 1)},
        {"x2", Record(2, 2, 1)},
        {"x4", Record(4, 2, 1)},
        {"x8", Record(8, 2, 1)},
    };
    for (const auto& [item, saved] : settings) {
      QTest::newRow(item) << QString(item) << saved << QString();
    }
    const std::pair<const char*, const char*> help[] = {{"Aproposde1", "TForm2"},
                                                        {"Fonctionalitesdulogiciel1", "TForm3"},
                                                        {"Guidedutilisation1", "TForm4"}};
    for (const auto& [item, dialog] : help) {
      QTest::newRow(item) << QString(item) << Record(4, 2, 1) << QString(dialog);
    }
  }
  // A settings item saves its value and marks its own caption as chosen; a help item opens its
  // window.
  void menuCommands() {
    QFETCH(QString, item);
    QFETCH(std::string, saved);
    QFETCH(QString, dialog);
    Rig rig;
    WriteFile("CONFVEL.SER", Record(4, 2, 1));
    ConnectWindowHooks(*rig.program);  // as the program's start does
    QVERIFY(rig.Create());
    QString opened;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
      if (auto* open = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        opened = open->objectName();
        open->done(QDialog::Rejected);
      }
    });
    closer.start(5);
    TForm1& window = rig.program->Window();
    Choose(window, item.toUtf8().constData());
    QCOMPARE(ReadFile("CONFVEL.SER"), saved);
    QCOMPARE(opened, dialog);
    QCOMPARE(window.Item(item.toUtf8().constData())->text().contains("...choisi"),
             dialog.isEmpty());
    QVERIFY(rig.journal.messages.empty());
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
    if (duringSession) {
      // Once the session runs, the road is taken, or an error box opened for the watch to see.
      bool taken = false;
      rig.onIdle = [&] {
        if (!taken && rig.card->InputOpen()) {
          taken = true;
          box.isEmpty() ? leave() : program.Platform().box.ShowError("Erreur");
        }
      };
      bool endedBeforeLeaving = false;
      const auto launch = program.Hooks.LaunchAction;
      program.Hooks.LaunchAction = [&](ActionItem item) {
        launch(item);
        endedBeforeLeaving = !program.HasLeft() && program.Window().isVisible();
      };
      Choose(program.Window(), "Passe_bas");
      QVERIFY(taken && endedBeforeLeaving);
    } else if (box == "about") {
      Choose(program.Window(), "Aproposde1");
    } else if (box.isEmpty()) {
      leave();
    }
    QVERIFY(QTest::qWaitFor([&] { return program.HasLeft(); }, 2000));
    QVERIFY(!stuck);
    QVERIFY(!rig.timedOut);
    QVERIFY(!program.Window().isVisible());
    QVERIFY(QApplication::activeModalWidget() == nullptr);
    QVERIFY(!rig.card->InputOpen());
    QCOMPARE(Values(rig.mixer->Description()), Values(AsLeft(rig.original)));
  }

  // The window's reading of the shared option table (whose refusals are tested with it):
  // "default" unless --carte names a card, --entree and --sortie when given, --aide, -V and
  // --cartes, --latence, --config.
  void commandLine() {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{}, "default aide=0 version=0 cartes=0 courte=0 config="},
        {{"--aide"}, "default aide=1 version=0 cartes=0 courte=0 config="},
        {{"-V"}, "default aide=0 version=1 cartes=0 courte=0 config="},
        {{"--cartes", "--vite"}, "default aide=0 version=0 cartes=1 courte=0 config="},
        {{"--latence=courte", "--carte", "x", "--config", "r"},
         "x aide=0 version=0 cartes=0 courte=1 config=r"},
        {{"--entree", "hw:1", "--sortie=pulse"},
         "default entree=hw:1 sortie=pulse aide=0 version=0 cartes=0 courte=0 config="},
        {{"--vite"}, "velunda : option inconnue : --vite"},
    };
    for (const auto& [args, expected] : cases) {
      WindowOptions o;
      std::string error;
      const bool ok = ParseWindowOptions(args, o, error);
      const std::string got =
          ok ? o.card + (o.inputCard.empty() ? "" : " entree=" + o.inputCard) +
                   (o.outputCard.empty() ? "" : " sortie=" + o.outputCard) +
                   " aide=" + char('0' + o.help) + " version=" + char('0' + o.version) +
                   " cartes=" + char('0' + o.listDevices) +
                   " courte=" + char('0' + o.shortLatency) + " config=" + o.configFile
             : error.substr(0, expected.size());
      QCOMPARE(QString::fromStdString(got), QString::fromStdString(expected));
    }
  }
};

QTEST_MAIN(WindowCommandsTest)
#include "window_commands_test.moc"
