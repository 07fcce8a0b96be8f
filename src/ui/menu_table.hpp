#pragma once
// The menu bar in one table: object name, caption, hint and command of every entry. The window
// builds its menus and hint line from it; the program wires each command from it.
#include <cstdint>
#include <span>
#include <string>
#include <variant>

#include "config/settings.hpp"
#include "sessions/launch.hpp"  // ActionItem: the six items of "Ac&tions", in menu order

namespace velunda {

// The three items of "&Aide", in menu order.
enum class HelpItem {
  Aproposde1,
  Fonctionalitesdulogiciel1,
  Guidedutilisation1,
};

// A menu-bar entry that drops down the items listed below it.
struct OpenMenu {};
// A settings item: its operation and value, and the caption that carries its "...choisi(e)".
struct SettingCommand {
  void (*choose)(SettingsContext&, uint8_t);
  uint8_t value;
  std::string SettingsCaptions::*caption;
};
// "A&bandon du logiciel".
struct LeaveProgram {};

using MenuCommand = std::variant<OpenMenu, SettingCommand, ActionItem, HelpItem, LeaveProgram>;

struct MenuRow {
  bool onBar;           // a menu-bar entry (in TopMenu order); else an item of the entry above
  const char* name;     // the action's object name
  const char* caption;  // as first shown
  const char* hint;     // written on the hint line while highlighted
  MenuCommand command;
};

// Every row, in menu order.
std::span<const MenuRow> MenuRows();

}  // namespace velunda
