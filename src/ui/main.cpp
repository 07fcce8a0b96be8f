#include <QApplication>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "app/card_choice.hpp"
#include "app/option_reader.hpp"
#include "config/configuration.hpp"
#include "platform/program_name.hpp"
#include "platform/speaker.hpp"
#include "ui/command_line.hpp"
#include "ui/hooks.hpp"
#include "ui/program.hpp"

namespace {

// Where no speaker can be driven, the window system's beep.
class WindowSystemBeep final : public velunda::ToneOutput {
 public:
  void SetDivisor(uint16_t divisor) override {
    if (divisor != 0) {
      QApplication::beep();
    }
  }
};

// Qt aborts, in English, when it finds no window system: a display named in the environment,
// or a platform chosen for it (offscreen, for instance), is required before it starts.
bool DisplayNamed() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') {
      return true;
    }
  }
  return false;
}

}  // namespace

namespace velunda {
namespace {

// The back-ends the window runs on; no card (and `error` set) when it cannot be opened.
ProgramParts OpenParts(const CardChoice& choice, std::string& error) {
  ProgramParts parts;
  parts.clock = std::make_unique<SteadyClock>();
  int32_t fileRate = 0;
  parts.card = OpenChosenCard(choice, 8000, *parts.clock, fileRate, error);
  if (parts.card) {
    parts.mixer = OpenCardMixer(choice, MixerUse::Drive);
    parts.speaker = OpenSystemSpeaker(std::make_unique<WindowSystemBeep>());
  }
  return parts;
}

// The window created, shown, and its event loop run until the program leaves.
int RunWindow(QApplication& app, ProgramParts parts, const WindowOptions& options) {
  VelundaProgram program(std::move(parts));
  ChooseConfigurationFile(program.State().Config, options.configFile, ProcessEnvironment());
  ConnectWindowHooks(program);
  if (!program.Create()) {
    return 1;
  }
  program.State().Sessions.ShortLatency = options.shortLatency;
  program.Show();
  if (program.HasLeft()) {
    return 0;
  }
  SetSpectrumShown(program.State().Spectrum, options.spectrum);
  const int status = app.exec();
  // What the message boxes could not say: why two devices' session ended, or that the input
  // lost sound.
  for (const std::string& problem :
       {ClockProblem(program.Platform().card), CaptureLossProblem(program.Platform().card)}) {
    if (!problem.empty()) {
      std::cerr << problem << '\n';
    }
  }
  return status;
}

}  // namespace
}  // namespace velunda

int main(int argc, char** argv) {
  using namespace velunda;
  SetProgramName("velunda");
  const std::vector<std::string> args(argv + 1, argv + argc);
  WindowOptions options;
  std::string error;
  CardChoice choice;
  if (!ParseWindowOptions(args, options, error)) {
    std::cerr << error << '\n' << UsageHint(Program::Velunda) << '\n';
    return 2;
  }
  if (options.listDevices) {
    std::cout << SoundDeviceListing();
    return 0;
  }
  if (options.help || options.version) {
    std::cout << (options.help ? WindowUsageText() : VersionText(Program::Velunda));
    return 0;
  }
  if (!ParseCardNames(options.card, options.inputCard, options.outputCard, choice, error)) {
    std::cerr << error << '\n';
    return 2;
  }
  if (!DisplayNamed()) {
    std::cerr << "velunda : aucun affichage graphique (DISPLAY ou WAYLAND_DISPLAY) ; pour filtrer "
                 "sans fenêtre, voir velunda-filtre.\n";
    return 1;
  }

  QApplication app(argc, argv);
  choice.shortDelay = options.shortLatency;
  ProgramParts parts = OpenParts(choice, error);
  if (!parts.card) {
    std::cerr << error << '\n';
    return 1;
  }
  return RunWindow(app, std::move(parts), options);
}
