#pragma once
// Shared by the window tests: the program on the virtual card with a test clock, a simulated
// mixer, and the beeps and error boxes in one journal, in a temporary working directory.
#include <QDir>
#include <QTest>
#include <QTimer>
#include <memory>
#include <string>
#include <vector>

#include "common/journal.hpp"
#include "common/records.hpp"
#include "platform/simulated_mixer.hpp"
#include "platform/virtual/virtual_card.hpp"
#include "ui/program.hpp"

namespace velunda::uitest {

// A manual clock that can also move by itself at each reading, so that the delay calibration
// ends without real time passing.
class TestClock final : public Clock {
 public:
  uint32_t NowMs() override {
    const uint32_t now = now_;
    now_ += autoStep;
    return now;
  }
  void Advance(uint32_t ms) { now_ += ms; }
  uint32_t autoStep = 0;

 private:
  uint32_t now_ = 1000;
};

using common::Journal;

// The program owns its box and speaker; these hand what they are given to the rig's journal.
struct JournalBox final : MessageBox {
  explicit JournalBox(Journal& j) : journal(j) {}
  void ShowError(std::string_view text) override { journal.ShowError(text); }
  Journal& journal;
};

struct JournalSpeaker final : SpeakerPorts {
  explicit JournalSpeaker(Journal& j) : journal(j) {}
  void Out(uint16_t port, uint8_t value) override { journal.Out(port, value); }
  uint8_t In(uint16_t port) override { return journal.In(port); }
  Journal& journal;
};

using common::ReadFile;
using common::Record;
using common::Values;
using common::WriteFile;

// The mixer as leaving must leave it: as found, but the recording gain at its minimum.
inline MixerDescription AsLeft(MixerDescription mixer) {
  for (auto& destination : mixer.Destinations) {
    if (destination.Line.ComponentType == mixer_type::kDstWaveIn) {
      for (auto& control : destination.Line.Controls) {
        if (control.ControlType == mixer_type::kUnsigned) {
          control.Value = {0, 0};
        }
      }
    }
  }
  return mixer;
}

// Whether a cell's text stands whole within it, whatever face stands in for the one asked.
inline bool TextFits(const QLabel& label) {
  return QFontMetrics(label.font()).horizontalAdvance(label.text()) <=
         label.contentsRect().width() - label.indent();
}

struct RigOptions {
  VirtualCardConfig card = {};
  MixerDescription mixer = FullCardDescription();
  bool qtBox = false;  // the real error box instead of the journal
  bool catchSignals = false;
};

// One run of the program. The working directory is a fresh temporary one for the rig's life.
struct Rig {
  explicit Rig(RigOptions options = {}) : previous(QDir::currentPath()) {
    // A program that has left told every Qt event loop to quit, and a modal box's loop would
    // then return at once: one turn of the application's own loop clears that.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    QDir::setCurrent(QString::fromStdString(dir.path().string()));
    auto testClock = std::make_unique<TestClock>();
    clock = testClock.get();
    auto virtualCard = std::make_unique<VirtualSoundCard>(*clock, std::move(options.card));
    card = virtualCard.get();
    auto simulated = std::make_unique<SimulatedMixer>(std::move(options.mixer));
    mixer = simulated.get();
    original = mixer->Description();
    ProgramParts parts;
    parts.clock = std::move(testClock);
    parts.card = std::move(virtualCard);
    parts.mixer = std::move(simulated);
    parts.speaker = std::make_unique<JournalSpeaker>(journal);
    if (!options.qtBox) {
      parts.box = std::make_unique<JournalBox>(journal);
    }
    parts.idleWait = [this](uint32_t) {
      ++idleWaits;
      if (onIdle) {
        onIdle();
      }
      clock->Advance(1);
      card->WaitForActivity(0);
      // A session that never ends is clicked away, and the test told.
      if (idleWaits > kIdleWaitLimit) {
        timedOut = true;
        program->Events().PostMouse(WM_LBUTTONDOWN);
      }
    };
    parts.catchSignals = options.catchSignals;
    program = std::make_unique<VelundaProgram>(std::move(parts));
  }
  ~Rig() {
    program.reset();
    QDir::setCurrent(previous);
  }

  // The creation step, with a clock that moves at each reading while the delay calibrates.
  bool Create() {
    clock->autoStep = 1;
    const bool ok = program->Create();
    clock->autoStep = 0;
    return ok;
  }
  // Creation, then the window shown and the timer's card test run.
  bool Start() {
    if (!Create()) {
      return false;
    }
    program->Show();
    return QTest::qWaitFor([this] { return program->State().Engine.CardTests.TestDone == 1; });
  }

  QString PanelText(int panel) { return program->Window().PanelLabel(panel)->text(); }

  common::TempDir dir;
  QString previous;
  Journal journal;
  TestClock* clock = nullptr;
  VirtualSoundCard* card = nullptr;
  SimulatedMixer* mixer = nullptr;
  MixerDescription original;
  std::function<void()> onIdle;
  uint64_t idleWaits = 0;
  static constexpr uint64_t kIdleWaitLimit = 200000;
  bool timedOut = false;
  std::unique_ptr<VelundaProgram> program;
};

}  // namespace velunda::uitest
