#include "cli/live.hpp"

#include <iostream>

namespace velunda {

// Placeholder until the live mode lands.
int RunLive(const Options&) {
  std::cerr << "velunda-filtre : le mode en direct (--carte) n'est pas encore disponible.\n";
  return 2;
}

}  // namespace velunda
