#include "ui/command_line.hpp"

#include "app/option_reader.hpp"

namespace velunda {

bool ParseWindowOptions(const std::vector<std::string>& args, WindowOptions& options,
                        std::string& error) {
  options = WindowOptions{};
  CommandLine line;
  error = ParseOnlyOptions(Program::Velunda, args, line);
  options.help = line.request == Request::Help;
  options.version = line.request == Request::Version;
  options.listDevices = line.request == Request::ListDevices;
  options.shortLatency = line.shortLatency;
  options.configFile = line.configFile;
  options.spectrum = line.spectrumWindow;
  if (!line.card.empty()) {
    options.card = line.card;
  }
  options.inputCard = line.inputCard;
  options.outputCard = line.outputCard;
  return error.empty();
}

std::string WindowUsageText() {
  return FormatUsage(Program::Velunda,
                     {"velunda [--carte NOM] [--latence L] [--config FICHIER] [--spectre]",
                      "velunda --entree NOM --sortie NOM [--latence L] [--spectre]",
                      "velunda --aide | --version | --cartes"},
                     "Sans --carte, la carte son est « default ».\n");
}

}  // namespace velunda
