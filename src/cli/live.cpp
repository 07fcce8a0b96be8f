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
#include "cli/frequency_output.hpp"
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

// F2's spectrum line under the screen, on a terminal: every block's frames at once.
class TerminalSpectrum final : public SpectrumView {
 public:
  TerminalSpectrum(ProgramState& state, TerminalScreen& screen) : state_(state), screen_(screen) {}
  void SpectrumShownChanged(bool shown) override { screen_.SetSpectrumLine(shown ? Line() : ""); }
  void SpectrumFed() override {
    SpectrumTake(state_.Spectrum, kSpectrumQueue);
    screen_.SetSpectrumLine(Line());
  }

 private:
  static constexpr int kColumns = 64;
  std::string Line() const {
    return SpectrumLine(state_.Spectrum, state_.Dsp.SampleRate, kColumns);
  }
  ProgramState& state_;
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
  // A loss is told but does not fail a session that otherwise ran to its end.
  if (const std::string loss = CaptureLossProblem(card); !loss.empty()) {
    std::cerr << loss << '\n';
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

// The card test that the window runs at start-up, without its configuration file and mixer
// (velunda-filtre reads and writes neither), then its first timer tick; the rates it measured.
bool TestCard(ProgramState& state, const EnginePlatform& platform, const std::string& card) {
  if (!StartSoundEngine(state, platform)) {
    return false;
  }
  state.Engine.StartupDone = 1;
  std::cout << "Test de la carte son " << card << "..." << std::endl;
  Timer1Timer(state, platform);
  const TestsCarteSonState& tests = state.Engine.CardTests;
  if (tests.SoundCardOK == 0) {
    return false;
  }
  std::cout << "Fréquences mesurées : 8000 -> " << RateText(tests.Measured8000) << ", 6250 -> "
            << RateText(tests.Measured6250) << std::endl;
  return true;
}

// What the card's rates change in what the command line asked, on stderr.
void WarnAboutRates(const Options& options, const TestsCarteSonState& tests,
                    const CardChoice& choice, int32_t fileRate) {
  const ActionItem item = ActionOf(options.filter.kind);
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
}

}  // namespace

std::string StartNotice(const std::string& filterKind, int32_t rate, int32_t blockLength,
                        bool spectrumKey) {
  return filterKind + " en marche à " + std::to_string(rate) + " Hz, blocs de " +
         std::to_string(blockLength) + ".\nPour arrêter : Fin, q ou Ctrl-C" +
         (spectrumKey ? " ; F2 : spectre." : ".");
}

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
  TerminalSpectrum spectrum(*state, screen);
  if (terminal) {
    state->Spectrum.View = &spectrum;
  }
  TerminalEventSource events(*card, STDIN_FILENO);
  CliMessageBox box(screen);
  std::unique_ptr<SpeakerPorts> speaker = OpenSystemSpeaker();
  HeapMemory memory;
  const EnginePlatform platform{*card, events, box, clock, *speaker, memory};
  if (!TestCard(*state, platform, CardText(options, choice))) {
    return kExitIo;
  }
  WarnAboutRates(options, state->Engine.CardTests, choice, fileRate);
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
                          screen.PrintAbove(std::cout,
                                            StartNotice(options.filter.kind, state->Dsp.SampleRate,
                                                        state->Dsp.BlockLength, terminal));
                          if (options.durationSeconds) {
                            events.EndAfter(*options.durationSeconds);
                          }
                          if (options.filter.NotchAuto) {
                            events.PostKey(WM_KEYDOWN, MakeKeyLParam(kScanInsert, true));
                          }
                        }};
  LaunchAction(*state, launch, LiveSettings(options));
  const bool streamsOk = !started || ReportSessionEnd(*card);
  return started && box.failures == 0 && streamsOk ? kExitOk : kExitIo;
}

}  // namespace velunda
