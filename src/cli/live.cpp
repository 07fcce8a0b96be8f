#include "cli/live.hpp"

#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <vector>

#include "cli/audio_file.hpp"
#include "cli/card_choice.hpp"
#include "cli/filter_setup.hpp"
#include "cli/options.hpp"
#include "cli/std_streams.hpp"
#include "dsp/dsp_state.hpp"
#include "dsp/filter_kind.hpp"
#include "engine/boucle.hpp"
#include "engine/engine_state.hpp"
#include "platform/scoped_signals.hpp"
#include "platform/terminal_event_source.hpp"

namespace velunda {
namespace {

// The window's error boxes, on stderr; remembers that one was shown.
class CountingStderrBox final : public MessageBox {
 public:
  void ShowError(std::string_view text) override {
    ++shown;
    stderrBox_.ShowError(text);
  }
  int shown = 0;

 private:
  StderrMessageBox stderrBox_;
};

bool NeedsDegradedWarning(const std::string& kind) {
  return kind == kPasseBande || kind == kReducteurGeneral || kind == kReducteurCw ||
         kind == kRejecteurParTfd;
}

std::string RateText(int32_t measured) {
  if (measured == 0) {
    return "entrée refusée";
  }
  if (measured == kNoMeasurement) {
    return "pas de mesure";
  }
  return std::to_string(measured) + " éch/s";
}

// The session's last line, and what went wrong with its files: a loudspeaker recording that could
// not be written, a stdout that could not be written (closed, full). A reader of stdout that went
// away is no error. False when something is to be reported.
bool ReportSessionEnd(const CardChoice& choice, SoundCard& card) {
  bool ok = true;
  // Written directly, so that the error is this write's own errno.
  const int err = WriteStdout("Session terminée.\n");
  if (err != 0 && err != EPIPE) {
    std::cerr << StdoutErrorMessage(err) << '\n';
    ok = false;
  }
  if (const std::string problem = SpeakerWriteProblem(choice, card); !problem.empty()) {
    std::cerr << problem << '\n';
    ok = false;
  }
  return ok;
}

}  // namespace

int32_t LiveSampleRate(const std::string& filterKind, const TestsCarteSonState& tests) {
  if (filterKind == kBfoNumerique) {
    if (tests.Rate6250OK != 0) {
      return 6250;
    }
    return tests.Rate8000OK != 0 ? 8000 : 0;
  }
  return tests.Rate8000OK != 0 ? 8000 : 11025;
}

int RunLive(const Options& options) {
  // A reader of stdout that goes away costs only the lines it no longer takes: the session
  // still ends through its own End and its recording is written. A size limit shows as EFBIG.
  ScopedSignalHandlers ignored({SIGPIPE, SIGXFSZ}, SIG_IGN);
  CardChoice choice;
  std::string error;
  if (!ParseCardName(options.card, choice, error)) {
    std::cerr << error << '\n';
    return kExitUsage;
  }
  SteadyClock clock;
  int32_t fileRate = 0;
  std::unique_ptr<SoundCard> card =
      OpenChosenCard(choice, SampleRateOf(options), clock, fileRate, error);
  if (!card) {
    std::cerr << error << '\n';
    return kExitIo;
  }

  TerminalEventSource events(*card, STDIN_FILENO);
  CountingStderrBox box;
  std::unique_ptr<SpeakerPorts> speaker = OpenSystemSpeaker();
  HeapMemory memory;
  const EnginePlatform platform{*card, events, box, clock, *speaker, memory};
  auto engine = std::make_unique<EngineState>();
  auto dsp = std::make_unique<DspState>();

  // What the main window's creation and its first timer tick do.
  CalibrateDelay(engine->Timing, clock);
  if (CheckSoundCardPresence(*engine, platform) == 0) {
    return kExitIo;
  }
  std::cout << "Test de la carte son " << options.card << "..." << std::endl;
  engine->CardTests.TestDone = 1;
  engine->CardTests.SoundCardOK = TestSoundCard(*engine, *dsp, platform);
  if (engine->CardTests.SoundCardOK == 0) {
    return kExitIo;
  }
  const TestsCarteSonState& tests = engine->CardTests;
  std::cout << "Fréquences mesurées : 8000 -> " << RateText(tests.Measured8000) << ", 6250 -> "
            << RateText(tests.Measured6250) << std::endl;

  const int32_t rate = LiveSampleRate(options.filterKind, tests);
  if (rate == 0) {
    box.ShowError(
        "Le BFO numérique n'est pas réalisable car votre carte son (non SB 16) ne supporte pas la "
        "fréquence d'échantillonnage de 8000 éch/sec.");
    return kExitIo;
  }
  if (tests.Rate8000OK == 0 && NeedsDegradedWarning(options.filterKind)) {
    box.ShowError(
        "Attention...Fe=11025 et non Fe=8000. Le fonctionnement passe en mode dégradé et devient "
        "aléatoire.");
  }
  if (options.Given("fe") && options.sampleRate != rate) {
    std::cerr << "velunda-filtre : --fe " << options.sampleRate
              << " ignoré, la carte fixe la fréquence.\n";
  }
  if (choice.isVirtual && fileRate != rate) {
    std::cerr << "velunda-filtre : " << choice.virtualInput << " est à " << fileRate
              << " Hz, joué à " << rate << " Hz.\n";
  }
  std::cout << "Fe=" << rate << std::endl;

  Options session = options;
  session.sampleRate = rate;
  if (!PrepareFilter(*dsp, session, clock, error)) {
    std::cerr << "velunda-filtre : " << error << '\n';
    return kExitUsage;
  }

  SessionHooks hooks;
  // Applying the output level is the session's first act once capture runs: the duration
  // counts from there.
  hooks.ApplyOutputLevel = [&] {
    if (options.durationSeconds) {
      events.EndAfter(*options.durationSeconds);
    }
  };
  std::cout << options.filterKind << " en marche à " << rate << " Hz, blocs de " << dsp->BlockLength
            << " ; Fin, q ou Ctrl-C pour arrêter." << std::endl;
  const int shownBefore = box.shown;
  RunSession(*engine, *dsp, hooks, platform);
  const bool streamsOk = ReportSessionEnd(choice, *card);
  return box.shown == shownBefore && streamsOk ? kExitOk : kExitIo;
}

}  // namespace velunda
