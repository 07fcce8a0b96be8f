#include "ui/hooks.hpp"

#include <memory>

#include "dialogs/aide.hpp"
#include "dialogs/apropos.hpp"
#include "dialogs/fonctionnalites.hpp"
#include "ui/dbus_screen_saver.hpp"
#include "ui/program.hpp"

namespace velunda {

void ConnectWindowHooks(VelundaProgram& program) {
  // The desktop's screen saver is held off through the session bus while a session runs; the
  // bus is reached at the first session only.
  program.Hooks.LaunchAction = [&program, saver = std::shared_ptr<DbusScreenSaver>()](
                                   ActionItem item) mutable {
    if (!saver) {
      saver = std::make_shared<DbusScreenSaver>();
    }
    const LaunchPlatform launch{program.Platform(), program.MixerDevice(), *saver};
    LaunchAction(program.State(), launch, item);
  };
  // The information windows, created once after the main window (About, Help, Features), owned
  // by it, shown modally each time their item is chosen.
  program.Hooks.CreateDialogs = [&program] {
    auto* about = new TForm2(&program.Window());
    auto* help = new TForm4(&program.Window());
    auto* features = new TForm3(&program.Window());
    program.Hooks.ShowHelp = [about, help, features](HelpItem item) {
      switch (item) {
        case HelpItem::Aproposde1:
          about->exec();
          break;
        case HelpItem::Fonctionalitesdulogiciel1:
          features->exec();
          break;
        case HelpItem::Guidedutilisation1:
          help->exec();
          break;
      }
    };
  };
}

}  // namespace velunda
