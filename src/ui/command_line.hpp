#pragma once
#include <string>
#include <vector>

namespace velunda {

// velunda [--carte NOM] [--entree NOM] [--sortie NOM] [--latence normale|courte]
//         [--config FICHIER] [--spectre] [--cartes] [--aide] [--version]
struct WindowOptions {
  std::string card = "default";
  std::string inputCard;   // "": --carte's
  std::string outputCard;  // "": --carte's
  bool shortLatency = false;
  std::string configFile;  // "": chosen at start-up
  bool spectrum = false;   // the "Spectre" window open from the start
  bool help = false;
  bool version = false;
  bool listDevices = false;  // --cartes
};

// False with one French line in `error` when the arguments cannot be used.
bool ParseWindowOptions(const std::vector<std::string>& args, WindowOptions& options,
                        std::string& error);

// What --aide prints.
std::string WindowUsageText();

}  // namespace velunda
