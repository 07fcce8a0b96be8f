// The six actions in the real window: chosen from the Actions menu, driven by Qt key and mouse
// events, on the virtual card with the test clock. Each key reaches the running session and
// its cell is repainted at once; the menus are hidden meanwhile and the devices closed after.
// (What the loudspeaker plays, keys included, is the launch's, tested headless.)
#include <QMenu>
#include <QMenuBar>
#include <map>

#include "ui/hooks.hpp"
#include "ui_rig.hpp"

using namespace velunda;
using namespace velunda::uitest;

namespace {

// One key of a row and the text its cell must show once the key has been taken.
struct Step {
  Qt::Key key;
  int panel;
  QString text;
};

struct SessionRow {
  const char* item;  // object name of the Actions menu item
  int firstPanel;    // a cell of the screen as it is built ...
  QString firstText;  // ... and its text
  std::vector<Step> steps;
  bool endByClick;  // else the End key
};

// Panel6 is the screen's main value, Panel14 its second one, Panel18 the rejector's threshold,
// Panel4 the output level.
const std::map<QString, SessionRow>& Rows() {
  static const std::map<QString, SessionRow> rows = {
      {"low-pass",
       {"Passe_bas",
        6,
        "1000",
        {{Qt::Key_Right, 6, "1100"}, {Qt::Key_Up, 4, "24"}, {Qt::Key_Left, 6, "1000"}},
        false}},
      {"band-pass",
       {"Passe_bande",
        14,
        "250",
        {{Qt::Key_Right, 6, "850"}, {Qt::Key_Delete, 14, "500"}, {Qt::Key_Down, 4, "16"}},
        true}},
      {"general noise reducer",
       {"Reducteur_bruit_general", 6, "réduction faible",
        {{Qt::Key_Delete, 6, "réduction forte "}}, false}},
      {"CW and RTTY noise reducer",
       {"Reducteur_bruit_CW_RTTY", 6, "CW 0,4/1 KHz", {{Qt::Key_Delete, 6, "RTTY Baudot"}},
        true}},
      {"BFO",
       {"BFO_numerique",
        14,
        "Normal",
        {{Qt::Key_Right, 6, "6"}, {Qt::Key_Delete, 14, "Inversé"}},
        false}},
      {"carrier rejector",
       {"RejecteurporteuseparTFD",
        6,
        "1000",
        {{Qt::Key_Right, 6, "1050"}, {Qt::Key_PageDown, 18, "Seuil très bas"}},
        true}},
  };
  return rows;
}

bool MenusShown(TForm1& window) {
  for (QAction* top : window.menuBar()->actions()) {
    if (!top->isVisible()) {
      return false;
    }
  }
  return true;
}

// Once the session runs: one key per idle pass, the cell read on the pass after it, then the
// end.
struct Driver {
  Driver(Rig& r, const SessionRow& s, TForm1& w) : rig(r), row(s), window(w) {}
  Rig& rig;
  const SessionRow& row;
  TForm1& window;

  bool started = false;
  size_t next = 0;  // next step to send
  bool ended = false;
  bool awaitingCheck = false;
  QStringList shown;  // the checked cell's text after each key
  QString firstText;
  bool menusHiddenDuring = false;

  void OnIdle() {
    if (ended || !rig.card->InputOpen()) {
      return;
    }
    if (!started) {
      started = true;
      firstText = rig.PanelText(row.firstPanel);
      menusHiddenDuring = !window.Item("Actions1")->isVisible();
    } else if (awaitingCheck) {
      awaitingCheck = false;
      shown << rig.PanelText(row.steps[next - 1].panel);
    } else if (next < row.steps.size()) {
      QTest::keyClick(&window, row.steps[next++].key);
      awaitingCheck = true;
    } else {
      ended = true;
      if (row.endByClick) {
        QTest::mouseClick(window.centralWidget(), Qt::LeftButton, {}, QPoint(200, 150));
      } else {
        QTest::keyClick(&window, Qt::Key_End);
      }
    }
  }
};

}  // namespace

class WindowSessionsTest : public QObject {
  Q_OBJECT

 private Q_SLOTS:
  void keysReachTheSession_data() {
    QTest::addColumn<QString>("action");
    for (const auto& [name, row] : Rows()) {
      QTest::newRow(qPrintable(name)) << name;
    }
  }
  void keysReachTheSession() {
    QFETCH(QString, action);
    const SessionRow& row = Rows().at(action);
    Rig rig;
    ConnectWindowHooks(*rig.program);  // as the program's start does
    QVERIFY(rig.Start());
    VelundaProgram& program = *rig.program;
    TForm1& window = program.Window();
    Driver driver{rig, row, window};
    rig.onIdle = [&driver] { driver.OnIdle(); };

    window.Item(row.item)->trigger();
    QVERIFY(QTest::qWaitFor([&] { return driver.ended && !program.SessionRunning(); }));
    QVERIFY(!rig.timedOut);

    QCOMPARE(driver.firstText, row.firstText);
    QStringList expectedTexts;
    for (const Step& step : row.steps) {
      expectedTexts << step.text;
    }
    QCOMPARE(driver.shown, expectedTexts);
    QVERIFY(driver.menusHiddenDuring);
    QVERIFY(MenusShown(window));
    QVERIFY(!rig.card->InputOpen());
    QVERIFY(!rig.card->OutputOpen());
    QCOMPARE(rig.journal.messages.size(), size_t{1});  // the missing settings file's, at start
  }
};

QTEST_MAIN(WindowSessionsTest)
#include "window_sessions_test.moc"
