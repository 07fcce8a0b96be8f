// The six actions in the real window, on the virtual card with the test clock: each Actions item
// reaches its own session, each key pressed on the window reaches the screen (its cell repainted
// at once, every text whole within its cell), the End key or a click ends the session, and the
// window comes back: menus shown, input given back, devices closed. (What the screens do with a
// key is tested headless.)
#include <QMenuBar>
#include <QSet>

#include "dialogs/frequency_painter.hpp"
#include "ui/frequency_window.hpp"
#include "ui/hooks.hpp"
#include "ui_rig.hpp"

using namespace velunda;
using namespace velunda::uitest;

namespace {

// A cell and its text: as the screen is built, or once the session has taken a key.
struct Cell {
  int panel;
  QString text;
};

struct SessionRow {
  const char* name;
  const char* item;  // object name of the Actions item
  Cell first;
  std::vector<std::pair<QKeyCombination, Cell>> steps;
  bool endByClick;  // else the End key
};

// Between them the rows press every key a screen reads; a keypad arrow is not a cursor key.
// Panel4 is the output level, Panel6 a screen's main value, Panel14 its second one. "Panel" 0
// is the Spectre window ("Spectre" while shown), which F2 opens and closes in every session;
// Key_Close stands for its close button, which leaves the session running.
const std::vector<SessionRow>& Rows() {
  // clang-format off
  static const std::vector<SessionRow> rows = {
      {"low-pass", "Passe_bas", {6, "1000"}, {{Qt::Key_Right, {6, "1100"}},
          {Qt::KeypadModifier | Qt::Key_Right, {6, "1100"}}, {Qt::Key_Up, {4, "24"}},
          {Qt::Key_F2, {0, "Spectre"}}, {Qt::Key_F2, {0, ""}}}, false},
      {"band-pass", "Passe_bande", {14, "250"}, {{Qt::Key_F2, {0, "Spectre"}},
          {Qt::Key_Left, {6, "750"}}, {Qt::Key_Delete, {14, "500"}}}, true},
      {"general noise reducer", "Reducteur_bruit_general", {6, "réduction faible"},
          {{Qt::Key_F2, {0, "Spectre"}}, {Qt::Key_Close, {0, ""}},
           {Qt::Key_Delete, {6, "réduction forte "}}}, false},
      {"CW and RTTY noise reducer", "Reducteur_bruit_CW_RTTY", {6, "CW 0,4/1 KHz"},
          {{Qt::Key_Down, {4, "16"}}, {Qt::Key_F2, {0, "Spectre"}}}, true},
      {"BFO", "BFO_numerique", {14, "Normal"}, {{Qt::Key_F2, {0, "Spectre"}},
          {Qt::Key_Delete, {14, "Inversé"}}, {Qt::Key_F2, {0, ""}}}, false},
      {"carrier rejector", "RejecteurporteuseparTFD", {6, "1000"},
          {{Qt::Key_PageDown, {18, "Seuil très bas"}}, {Qt::Key_F2, {0, "Spectre"}},
           {Qt::Key_Insert, {22, "En cours"}}}, true},
  };
  // clang-format on
  return rows;
}

// The window keeps its background between repaints: after the keys changed the filter, what it
// shows must still be the whole picture painted from scratch.
bool SpectrumStale(SpectrumWindow& spectrum) {
  if (!spectrum.isVisible()) {
    return false;
  }
  const QImage shown = spectrum.grab().toImage().convertToFormat(QImage::Format_RGB32);
  QImage fresh(shown.size(), QImage::Format_RGB32);
  QPainter painter(&fresh);
  painter.setFont(spectrum.font());
  PaintSpectrum(painter, fresh.rect(), spectrum.Painted(), spectrum.palette());
  painter.end();
  return shown != fresh;
}

bool MenusShown(TForm1& window) {
  for (QAction* top : window.menuBar()->actions()) {
    if (!top->isVisible()) {
      return false;
    }
  }
  return true;
}

// Once the session runs: a second launch (to be refused), then one key per idle pass with its
// cell read on the pass after it, then the end.
struct Driver {
  Driver(Rig& r, const SessionRow& s, TForm1& w) : rig(r), row(s), window(w) {}
  Rig& rig;
  const SessionRow& row;
  TForm1& window;

  bool started = false;
  size_t next = 0;  // next step to send
  bool awaitingCheck = false;
  bool ended = false;
  QString firstText;
  QStringList shown;       // the checked cell's text after each key
  QSet<QString> cutTexts;  // texts wider than their cells
  bool menusHiddenDuring = false;
  bool spectrumStale = false;  // the window's picture differs from one painted afresh

  void OnIdle() {
    if (ended || !rig.card->InputOpen()) {
      return;
    }
    for (int panel = 1; panel <= kPanelCount; ++panel) {
      QLabel* label = window.PanelLabel(panel);
      if (label != nullptr && label->isVisible() && !TextFits(*label)) {
        cutTexts << label->text();
      }
    }
    if (!started) {
      started = true;
      firstText = rig.PanelText(row.first.panel);
      menusHiddenDuring = !window.Item("Actions1")->isVisible();
      window.Item("Passe_bas")->trigger();
    } else if (awaitingCheck) {
      awaitingCheck = false;
      const int panel = row.steps[next - 1].second.panel;
      const bool spectrum = rig.program->Spectrum().isVisible();
      shown << (panel != 0 ? rig.PanelText(panel) : spectrum ? "Spectre" : "");
    } else if (next < row.steps.size()) {
      const QKeyCombination key = row.steps[next++].first;
      if (key.key() == Qt::Key_Close) {
        rig.program->Spectrum().close();
      } else {
        QTest::keyClick(&window, key.key(), key.keyboardModifiers());
      }
      awaitingCheck = true;
    } else {
      ended = true;
      spectrumStale = SpectrumStale(rig.program->Spectrum());
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
  void itemKeysAndEnd_data() {
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < Rows().size(); ++i) {
      QTest::newRow(Rows()[i].name) << static_cast<int>(i);
    }
  }
  void itemKeysAndEnd() {
    QFETCH(int, row);
    const SessionRow& r = Rows()[static_cast<size_t>(row)];
    Rig rig;
    ConnectWindowHooks(*rig.program);  // as the program's start does
    QVERIFY(rig.Start());
    VelundaProgram& program = *rig.program;
    TForm1& window = program.Window();
    Driver driver{rig, r, window};
    rig.onIdle = [&driver] { driver.OnIdle(); };

    window.Item(r.item)->trigger();
    QVERIFY(QTest::qWaitFor([&] { return driver.ended && !program.SessionRunning(); }));
    QVERIFY(!rig.timedOut);
    QCOMPARE(driver.firstText, r.first.text);
    QStringList expected;
    for (const auto& [key, cell] : r.steps) {
      expected << cell.text;
    }
    QCOMPARE(driver.shown, expected);
    QCOMPARE(driver.cutTexts, QSet<QString>());
    QVERIFY(driver.menusHiddenDuring);
    QVERIFY(!driver.spectrumStale);
    QVERIFY(MenusShown(window));
    QVERIFY(!program.Events().Capturing());
    QVERIFY(!rig.card->InputOpen());
    QVERIFY(!rig.card->OutputOpen());
    QCOMPARE(rig.journal.messages.size(), size_t{1});  // the missing settings file's, at start
  }
};

QTEST_MAIN(WindowSessionsTest)
#include "window_sessions_test.moc"
