#include "ui/program.hpp"

#include <QApplication>
#include <QDialog>
#include <QShortcut>

#include "config/fonctions_mixer.hpp"

namespace velunda {
namespace {

ProgramParts WithDefaults(ProgramParts parts) {
  if (!parts.box) {
    parts.box = std::make_unique<QtErrorBox>();
  }
  return parts;
}

}  // namespace

VelundaProgram::VelundaProgram(ProgramParts parts)
    : parts_(WithDefaults(std::move(parts))),
      state_(std::make_unique<ProgramState>()),
      events_(std::make_unique<QtEventSource>(*parts_.card, parts_.idleWait)),
      platform_{*parts_.card, *events_, *parts_.box, *parts_.clock, *parts_.speaker, memory_},
      startup_{platform_, *parts_.mixer},
      window_(std::make_unique<TForm1>(state_->Window)),
      spectrum_(std::make_unique<SpectrumWindow>(*state_, window_.get())),
      settings_(std::make_unique<SettingsBinding>(*state_, startup_)) {
  if (auto* box = dynamic_cast<QtErrorBox*>(parts_.box.get())) {
    box->SetParent(window_.get());
  }
  events_->Watch(window_.get());
  window_->MayClose = [this] {
    RequestLeave();
    return left_;
  };
  connect(&window_->Timer1, &QTimer::timeout, this, [this] { OnTimer1(); });
  // Whatever ends the event loop, the mixer is put back.
  connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] { Leave(); });
  if (parts_.catchSignals) {
    signals_ = std::make_unique<QuitSignals>([this] { OnStopSignal(); });
  }
  ConnectMenus();
  // F2 in a session is the session's key; between sessions the window's shortcut.
  auto* spectrumKey = new QShortcut(QKeySequence(Qt::Key_F2), window_.get());
  connect(spectrumKey, &QShortcut::activated, this, [this] { ToggleSpectrum(state_->Spectrum); });
}

VelundaProgram::~VelundaProgram() {
  window_->MayClose = nullptr;
  spectrum_.reset();
  signals_.reset();
}

bool VelundaProgram::Create() {
  window_->InstallHintHandler();
  const bool ok = A_la_creation_de_la_fiche(*state_, startup_);
  window_->ShowSettingsCaptions(state_->Settings.Captions);
  if (ok && Hooks.CreateDialogs) {
    Hooks.CreateDialogs();
  }
  if (ok && leavePending_) {
    // Asked to leave while a start-up message was open.
    Leave();
  }
  return ok;
}

void VelundaProgram::Show() {
  if (!left_) {
    window_->show();
  }
}

// Queued: a command runs from the event loop once its menu has closed, as a modal dialog opened
// from a menu does.
void VelundaProgram::ConnectMenus() {
  for (const MenuRow& row : MenuRows()) {
    if (!std::holds_alternative<OpenMenu>(row.command)) {
      connect(
          window_->Item(row.name), &QAction::triggered, this, [this, &row] { Run(row.command); },
          Qt::QueuedConnection);
    }
  }
}

void VelundaProgram::Run(const MenuCommand& command) {
  if (const auto* setting = std::get_if<SettingCommand>(&command)) {
    ChooseSetting(*setting);
  } else if (const auto* action = std::get_if<ActionItem>(&command)) {
    RunAction(*action);
  } else if (const auto* help = std::get_if<HelpItem>(&command)) {
    RunHelp(*help);
  } else if (std::holds_alternative<LeaveProgram>(command)) {
    RequestLeave();
  }
}

void VelundaProgram::ChooseSetting(const SettingCommand& setting) {
  if (sessionRunning_ || left_) {
    return;
  }
  setting.choose(settings_->context, setting.value);
  window_->ShowSettingsCaptions(state_->Settings.Captions);
}

void VelundaProgram::RunAction(ActionItem item) {
  // One session at a time, and none once leaving has begun.
  if (sessionRunning_ || left_ || leavePending_ || !Hooks.LaunchAction) {
    return;
  }
  sessionRunning_ = true;
  events_->BeginCapture();
  Hooks.LaunchAction(item);
  events_->EndCapture();
  sessionRunning_ = false;
  if (leavePending_) {
    Leave();
  }
}

void VelundaProgram::RunHelp(HelpItem item) {
  if (!sessionRunning_ && !left_ && Hooks.ShowHelp) {
    Hooks.ShowHelp(item);
  }
}

void VelundaProgram::OnTimer1() {
  Timer1Timer(*state_, platform_);
  // Its one job done (here or by an action's launch), the timer has nothing left to do.
  if (state_->Engine.CardTests.TestDone == 1) {
    window_->Timer1.stop();
  }
}

// A stop signal: no box waits for a click from now on, and every box or dialog open is closed,
// so that whatever step opened it returns and the program leaves as its menu does.
void VelundaProgram::OnStopSignal() {
  if (auto* box = dynamic_cast<QtErrorBox*>(parts_.box.get())) {
    box->Silence();
  }
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* dialog = qobject_cast<QDialog*>(window);
    if (dialog != nullptr && dialog->isVisible()) {
      dialog->done(QDialog::Rejected);
    }
  }
  RequestLeave();
}

void VelundaProgram::RequestLeave() {
  if (left_) {
    return;
  }
  if (sessionRunning_) {
    // The session ends the way a click ends it; leaving follows when it has returned.
    leavePending_ = true;
    events_->PostMouse(WM_LBUTTONDOWN);
    return;
  }
  if (state_->Engine.StartupDone == 0) {
    leavePending_ = true;
    return;
  }
  Leave();
}

void VelundaProgram::Leave() {
  if (left_) {
    return;
  }
  left_ = true;
  window_->Timer1.stop();
  RestoreMixer(*parts_.mixer, state_->MixerControl);
  window_->close();
  QCoreApplication::exit(0);
}

}  // namespace velunda
