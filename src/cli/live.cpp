#include "cli/live.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <memory>
#include <vector>

#include "app/card_choice.hpp"
#include "audio_io/audio_file.hpp"
#include "audio_io/std_streams.hpp"
#include "cli/filter_setup.hpp"
#include "cli/options.hpp"
#include "cli/terminal_screen.hpp"
#include "platform/scoped_signals.hpp"
#include "platform/terminal_event_source.hpp"
#include "sessions/filter_screen.hpp"
#include "sessions/launch.hpp"
#include "sessions/program_state.hpp"
#include "sessions/startup.hpp"

namespace velunda {
namespace {

// The window's error boxes, on stderr above the screen; counts those that mean the session
// failed (the refused inversion is the user's mistake, not the session's).
class CliMessageBox final : public MessageBox {
 public:
  explicit CliMessageBox(TerminalScreen& screen) : screen_(screen) {}
  void ShowError(std::string_view text) override {
    if (text != kInversionRefused) {
      ++failures;
    }
    screen_.PrintAbove(std::cerr, std::string(text));
  }
  int failures = 0;

 private:
  TerminalScreen& screen_;
};

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
bool ReportSessionEnd(SoundCard& card) {
  bool ok = true;
  std::cout.flush();
  // Written directly, so that the error is this write's own errno.
  const int err = WriteStdout("Session terminée.\n");
  if (err != 0 && err != EPIPE) {
    std::cerr << StdoutErrorMessage(err) << '\n';
    ok = false;
  }
  for (const std::string& problem : {SpeakerWriteProblem(card), ClockProblem(card)}) {
    if (!problem.empty()) {
      std::cerr << problem << '\n';
      ok = false;
    }
  }
  return ok;
}

// The card as --carte gives it, or the two devices the session runs on.
std::string CardText(const Options& options, const CardChoice& choice) {
  if (!choice.playbackDevice.empty()) {
    return choice.alsaDevice + " (entrée) et " + choice.playbackDevice + " (sortie)";
  }
  return options.card.empty() ? choice.alsaDevice : options.card;
}

int TerminalWidth(int fd) {
  winsize size{};
  return ::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
}

// The command line's filter for the launch, which picks its rate and blocks. --auto is the Insert
// key, pressed once the session runs, so that the screen shows the switch.
FilterSettings LiveSettings(const Options& options) {
  FilterSettings settings = FilterSettingsOf(options);
  settings.NotchAuto = false;
  return settings;
}

}  // namespace

int RunLive(const Options& options) {
  // A reader of stdout that goes away costs only the lines it no longer takes: the session
  // still ends through its own End and its recording is written. A size limit shows as EFBIG.
  ScopedSignalHandlers ignored({SIGPIPE, SIGXFSZ}, SIG_IGN);
  CardChoice choice;
  std::string error;
  if (!ParseCardNames(options.card, options.inputCard, options.outputCard, choice, error)) {
    std::cerr << error << '\n';
    return kExitUsage;
  }
  choice.shortDelay = options.shortLatency;
  SteadyClock clock;
  int32_t fileRate = 0;
  std::unique_ptr<SoundCard> card =
      OpenChosenCard(choice, SampleRateOf(options), clock, fileRate, error);
  if (!card) {
    std::cerr << error << '\n';
    return kExitIo;
  }

  auto state = std::make_unique<ProgramState>();
  const bool terminal = ::isatty(STDOUT_FILENO) == 1;
  TerminalScreen screen(state->Window, std::cout, terminal,
                        terminal ? TerminalWidth(STDOUT_FILENO) : 0);
  state->Window.View = &screen;
  TerminalEventSource events(*card, STDIN_FILENO);
  CliMessageBox box(screen);
  std::unique_ptr<SpeakerPorts> speaker = OpenSystemSpeaker();
  HeapMemory memory;
  const EnginePlatform platform{*card, events, box, clock, *speaker, memory};
  EngineState& engine = state->Engine;

  // The window's start-up without its configuration file and mixer (velunda-filtre reads and
  // writes neither), then its first timer tick.
  if (!StartSoundEngine(*state, platform)) {
    return kExitIo;
  }
  engine.StartupDone = 1;
  std::cout << "Test de la carte son " << CardText(options, choice) << "..." << std::endl;
  Timer1Timer(*state, platform);
  const TestsCarteSonState& tests = engine.CardTests;
  if (tests.SoundCardOK == 0) {
    return kExitIo;
  }
  std::cout << "Fréquences mesurées : 8000 -> " << RateText(tests.Measured8000) << ", 6250 -> "
            << RateText(tests.Measured6250) << std::endl;

  const ActionItem item = ActionOf(options.filterKind);
  const int32_t rate = SessionRate(item, tests);
  if (WarnsDegraded(item, tests)) {
    // The launch warns only when it runs the card test itself; here the test ran first.
    std::cerr << kDegradedModeWarning << '\n';
  }
  if (rate != 0 && options.Given("fe") && options.sampleRate != rate) {
    std::cerr << "velunda-filtre : --fe " << options.sampleRate
              << " ignoré, la carte fixe la fréquence.\n";
  }
  if (rate != 0 && choice.isVirtual && fileRate != rate) {
    std::cerr << "velunda-filtre : " << choice.virtualInput << " est à " << fileRate
              << " Hz, joué à " << rate << " Hz.\n";
  }
  state->Sessions.ShortLatency = options.shortLatency;

  // The virtual card comes with the simulated mixer, set by the program; a real card's mixer
  // stays the user's: the level keys then only change the number.
  std::unique_ptr<Mixer> mixer = OpenCardMixer(choice, MixerUse::LeaveAlone);
  state->MixerControl.SoftwareMixer = choice.isVirtual ? 1 : 0;
  NullScreenSaver screenSaver;
  bool started = false;
  LaunchPlatform launch{platform, *mixer, screenSaver, [&] {
                          if (started) {
                            return;  // a band-pass centring's loop
                          }
                          started = true;
                          screen.PrintAbove(std::cout, options.filterKind + " en marche à " +
                                                           std::to_string(state->Dsp.SampleRate) +
                                                           " Hz, blocs de " +
                                                           std::to_string(state->Dsp.BlockLength) +
                                                           " ; Fin, q ou Ctrl-C pour arrêter.");
                          if (options.durationSeconds) {
                            events.EndAfter(*options.durationSeconds);
                          }
                          if (options.NotchAuto) {
                            events.PostKey(WM_KEYDOWN, MakeKeyLParam(kScanInsert, true));
                          }
                        }};
  LaunchAction(*state, launch, LiveSettings(options));
  const bool streamsOk = !started || ReportSessionEnd(*card);
  return started && box.failures == 0 && streamsOk ? kExitOk : kExitIo;
}

}  // namespace velunda
