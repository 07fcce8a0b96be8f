#pragma once
// Where the rest of the program plugs into the main window. Everything that the window does
// not do itself is reached through these hooks; ConnectWindowHooks (hooks.cpp) is the one place
// that fills them, and the one place to edit when a piece arrives.
#include <functional>

#include "ui/menu_table.hpp"  // ActionItem and HelpItem

namespace velunda {

class VelundaProgram;

struct WindowHooks {
  // An "Ac&tions" item was chosen. Runs the action's whole session, nested loop included, and
  // returns when it has ended. The window has set its event source to capture the keys and
  // clicks before the call, and drains them after it. Empty: the item does nothing.
  std::function<void(ActionItem)> LaunchAction;
  // An "&Aide" item was chosen: show its window modally. Empty: the item does nothing.
  std::function<void(HelpItem)> ShowHelp;
  // Runs once after a successful creation step, before the window is shown: creates the About,
  // help and features windows, in this order.
  std::function<void()> CreateDialogs;
};

// Fills program.Hooks: the action launch; the information dialogs connect themselves here.
void ConnectWindowHooks(VelundaProgram& program);

}  // namespace velunda
