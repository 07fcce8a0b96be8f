#pragma once
#include "dsp/dsp_state.hpp"

namespace velunda {

// Everything the program keeps for the whole run, owned by main() and passed by reference.
struct ProgramState {
  DspState Dsp;
};

}  // namespace velunda
