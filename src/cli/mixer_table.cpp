#include "cli/mixer_table.hpp"

#include <iostream>

namespace velunda {

// Placeholder until the mixer table lands.
int RunMixerTable(const Options&) {
  std::cerr << "velunda-filtre : la table de mixage n'est pas encore disponible.\n";
  return 2;
}

}  // namespace velunda
