#include "ui/hooks.hpp"

#include "ui/program.hpp"

namespace velunda {

void ConnectWindowHooks(VelundaProgram& program) {
  // The action launch: program.Hooks.LaunchAction = [&program](ActionItem item) { ... };
  // it reaches program.State(), program.Platform(), program.MixerDevice() and program.Window().
  // The information dialogs: program.Hooks.CreateDialogs and program.Hooks.ShowHelp.
  static_cast<void>(program);
}

}  // namespace velunda
