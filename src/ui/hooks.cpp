#include "ui/hooks.hpp"

#include "ui/program.hpp"

namespace velunda {

void ConnectWindowHooks(VelundaProgram& program) {
  // The desktop's screen saver is not reached yet: no switch during sessions.
  program.Hooks.LaunchAction = [&program, saver = NullScreenSaver{}](ActionItem item) mutable {
    const LaunchPlatform launch{program.Platform(), program.MixerDevice(), saver};
    LaunchAction(program.State(), launch, item);
  };
  // The information dialogs: program.Hooks.CreateDialogs and program.Hooks.ShowHelp.
}

}  // namespace velunda
