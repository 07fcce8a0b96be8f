#pragma once
#include <QObject>
#include <memory>

#include "dialogs/error_box.hpp"
#include "engine/engine_platform.hpp"
#include "platform/memory.hpp"
#include "platform/mixer.hpp"
#include "sessions/program_state.hpp"
#include "sessions/startup.hpp"
#include "ui/frequency_window.hpp"
#include "ui/hooks.hpp"
#include "ui/menu_table.hpp"
#include "ui/qt_event_source.hpp"
#include "ui/quit_signals.hpp"
#include "ui/tform1.hpp"

namespace velunda {

// The back-ends the program runs on, chosen by main() (or by a test).
struct ProgramParts {
  std::unique_ptr<Clock> clock;
  std::unique_ptr<SoundCard> card;
  std::unique_ptr<Mixer> mixer;
  std::unique_ptr<SpeakerPorts> speaker;
  std::unique_ptr<MessageBox> box;        // null: the Qt error box over the main window
  QtEventSource::IdleWait idleWait = {};  // empty: wait on the card
  bool catchSignals = true;               // SIGTERM, SIGINT, SIGHUP leave as the menu does
};

// The program `velunda`: its state, its back-ends and its main window, with the menu commands
// wired to the core. Every road out (the menu, a close request, a signal, the end of the
// event loop) goes through the same leave step, which puts the mixer back. A signal does not
// wait for a click on an open box or dialog.
class VelundaProgram final : public QObject {
 public:
  explicit VelundaProgram(ProgramParts parts);
  ~VelundaProgram() override;
  VelundaProgram(const VelundaProgram&) = delete;
  VelundaProgram& operator=(const VelundaProgram&) = delete;

  // The main window's creation step. False: no sound card; the program must end (status 1)
  // without showing the window.
  bool Create();
  void Show();

  // "A&bandon du logiciel" and every other way out: ends a running session first.
  void RequestLeave();
  bool HasLeft() const { return left_; }
  bool SessionRunning() const { return sessionRunning_; }

  ProgramState& State() { return *state_; }
  const EnginePlatform& Platform() const { return platform_; }
  Mixer& MixerDevice() { return *parts_.mixer; }
  QtEventSource& Events() { return *events_; }
  TForm1& Window() { return *window_; }
  SpectrumWindow& Spectrum() { return *spectrum_; }

  WindowHooks Hooks;

 private:
  // Each menu row's command, from the menu table.
  void ConnectMenus();
  void Run(const MenuCommand& command);
  void RunAction(ActionItem item);
  void RunHelp(HelpItem item);
  void ChooseSetting(const SettingCommand& setting);
  void OnTimer1();
  void OnStopSignal();
  void Leave();

  ProgramParts parts_;
  std::unique_ptr<ProgramState> state_;
  std::unique_ptr<QtEventSource> events_;
  HeapMemory memory_;
  EnginePlatform platform_;
  StartupPlatform startup_;
  std::unique_ptr<TForm1> window_;
  std::unique_ptr<SpectrumWindow> spectrum_;
  std::unique_ptr<SettingsBinding> settings_;
  std::unique_ptr<QuitSignals> signals_;
  bool sessionRunning_ = false;
  bool leavePending_ = false;
  bool left_ = false;
};

}  // namespace velunda
