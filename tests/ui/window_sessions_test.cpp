// The six actions in the real window: chosen from the Actions menu, driven by Qt key and mouse
// events, on the virtual card with the test clock. Each key rewrites its cell at once, and the
// loudspeaker plays two silent blocks, then what the filter makes of the input block by block,
// a key's change taking effect from the block after it.
#include <QMenu>
#include <algorithm>
#include <QMenuBar>
#include <cmath>
#include <map>

#include "common/signals.hpp"
#include "dsp/dsp_state.hpp"
#include "dsp/process_block.hpp"
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
        {{Qt::Key_Right, 6, "1100"}, {Qt::Key_Up, 4, "24"}, {Qt::Key_Left, 6, "1000"},
         {Qt::Key_Left, 6, "900"}},
        false}},
      {"band-pass",
       {"Passe_bande",
        14,
        "250",
        {{Qt::Key_Right, 6, "850"}, {Qt::Key_Delete, 14, "500"}, {Qt::Key_Down, 4, "16"}},
        true}},
      {"general noise reducer",
       {"Reducteur_bruit_general",
        6,
        "réduction faible",
        {{Qt::Key_Delete, 6, "réduction forte "}, {Qt::Key_Delete, 6, "pas de réduction"},
         {Qt::Key_Up, 4, "24"}},
        false}},
      {"CW and RTTY noise reducer",
       {"Reducteur_bruit_CW_RTTY",
        6,
        "CW 0,4/1 KHz",
        {{Qt::Key_Delete, 6, "RTTY Baudot"}, {Qt::Key_Left, 6, "RTTY Baudot"},
         {Qt::Key_Delete, 6, "pas de réduction"}},
        true}},
      {"BFO",
       {"BFO_numerique",
        14,
        "Normal",
        {{Qt::Key_Right, 6, "6"}, {Qt::Key_Delete, 14, "Inversé"}, {Qt::Key_Left, 6, "0"}},
        false}},
      {"carrier rejector",
       {"RejecteurporteuseparTFD",
        6,
        "1000",
        {{Qt::Key_Right, 6, "1050"}, {Qt::Key_Delete, 14, "Bande étroite"},
         {Qt::Key_PageDown, 18, "Seuil très bas"}},
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

// What the session must do, as the clock moves one millisecond per idle wait: the keys in the
// middle of blocks 1, 2, 3..., the end in the middle of the third block after the last key.
// At each key it keeps a copy of the filter's state as the key left it.
struct Driver {
  Driver(Rig& r, const SessionRow& s, TForm1& w) : rig(r), row(s), window(w) {}
  Rig& rig;
  const SessionRow& row;
  TForm1& window;

  uint32_t base = 0;  // clock time the capture started
  size_t firstSample = 0;  // where in the looped input the capture started
  double blockMs = 0;
  size_t next = 0;    // next step to send
  bool ended = false;
  bool awaitingCheck = false;
  std::map<size_t, DspState> states;  // from this block on, the filter as it was then
  QStringList shown;                  // the checked cell's text after each key
  QString firstText;
  bool menusHiddenDuring = false;

  void OnIdle() {
    VelundaProgram& program = *rig.program;
    if (ended || !rig.card->InputOpen()) {
      return;
    }
    const uint32_t now = rig.clock->NowMs();
    const DspState& dsp = program.State().Dsp;
    if (states.empty()) {
      base = now;
      firstSample = rig.card->InputPosition();
      blockMs = 1000.0 * dsp.BlockLength / dsp.SampleRate;
      states.emplace(0, dsp);
      firstText = rig.PanelText(row.firstPanel);
      menusHiddenDuring = !window.Menu(TopMenu::Actions1)->menuAction()->isVisible();
      return;
    }
    if (awaitingCheck) {  // the pass after the key has run
      awaitingCheck = false;
      const Step& step = row.steps[next - 1];
      shown << rig.PanelText(step.panel);
      states.insert_or_assign(next, dsp);  // the key went in during block `next`
      return;
    }
    const double due = base + (static_cast<double>(next) + 1.5) * blockMs;
    if (now < due) {
      return;
    }
    if (next < row.steps.size()) {
      QTest::keyClick(&window, row.steps[next].key);
      ++next;
      awaitingCheck = true;
    } else if (now >= base + (static_cast<double>(next) + 3.5) * blockMs) {
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
  void keysAndLoudspeaker_data() {
    QTest::addColumn<QString>("action");
    for (const auto& [name, row] : Rows()) {
      QTest::newRow(qPrintable(name)) << name;
    }
  }
  void keysAndLoudspeaker() {
    QFETCH(QString, action);
    const SessionRow& row = Rows().at(action);
    const std::vector<uint8_t> input = common::TonesAndNoise(12 * 2048, 8000);
    RigOptions options;
    options.card.input = input;
    options.card.keepSpeaker = true;
    Rig rig(std::move(options));
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

    // Two silent blocks, then each block of input through the filter as the keys left it.
    const size_t bl = static_cast<size_t>(driver.states.at(0).BlockLength);
    const std::vector<uint8_t>& speaker = rig.card->Speaker();
    QVERIFY(speaker.size() >= (row.steps.size() + 3) * bl);
    QVERIFY(std::all_of(speaker.begin(), speaker.begin() + 2 * bl,
                        [](uint8_t b) { return b == 128; }));
    const size_t blocks = (speaker.size() - 2 * bl) / bl;
    DspState offline = driver.states.at(0);
    std::vector<uint8_t> in(bl), out(bl);
    for (size_t k = 0; k < blocks; ++k) {
      if (auto changed = driver.states.find(k); changed != driver.states.end() && k > 0) {
        // The live filter's state once the key was taken: blocks 0..k-1 went through the
        // filter as before, so this copy differs from ours only by the key's change.
        offline = changed->second;
      }
      for (size_t i = 0; i < bl; ++i) {
        in[i] = input[(driver.firstSample + k * bl + i) % input.size()];
      }
      ProcessBlock(offline, in.data(), out.data());
      const auto played = speaker.begin() + static_cast<std::ptrdiff_t>((2 + k) * bl);
      QVERIFY2(std::equal(out.begin(), out.end(), played),
               qPrintable(QString("block %1 differs").arg(k)));
    }
  }
};

QTEST_MAIN(WindowSessionsTest)
#include "window_sessions_test.moc"
