#include "ui/hooks.hpp"

#include <memory>

#include "dialogs/aide.hpp"
#include "dialogs/apropos.hpp"
#include "dialogs/fonctionnalites.hpp"
#include "ui/dbus_screen_saver.hpp"
#include "ui/program.hpp"

namespace velunda {

namespace {

// The desktop's screen saver is held off through the session bus while a session runs; the bus
// is reached at the first session only.
std::function<void(ActionItem)> SessionLauncher(VelundaProgram& program) {
  return [&program, saver = std::shared_ptr<DbusScreenSaver>()](ActionItem item) mutable {
    if (!saver) {
      saver = std::make_shared<DbusScreenSaver>();
    }
    const LaunchPlatform launch{program.Platform(), program.MixerDevice(), *saver};
    LaunchAction(program.State(), launch, item);
  };
}

// The information windows, created once (About, Help, Features), owned by the main window,
// shown modally each time their item is chosen.
std::function<void(HelpItem)> HelpWindows(QWidget& window) {
  auto* about = new TForm2(&window);
  auto* help = new TForm4(&window);
  auto* features = new TForm3(&window);
  return [about, help, features](HelpItem item) {
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
}

}  // namespace

void ConnectWindowHooks(VelundaProgram& program) {
  program.Hooks.LaunchAction = SessionLauncher(program);
  program.Hooks.CreateDialogs = [&program] {
    program.Hooks.ShowHelp = HelpWindows(program.Window());
  };
}

}  // namespace velunda
