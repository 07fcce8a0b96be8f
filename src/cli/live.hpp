#pragma once
#include <cstdint>
#include <string>

namespace velunda {

struct Options;
struct TestsCarteSonState;

// Live mode of velunda-filtre (--carte NOM): filters a sound card's input in real time.
// Returns the process exit status.
int RunLive(const Options& options);

// The card that --carte names: an ALSA device, or "virtuelle:ENTREE[:SORTIE]" for the
// software card in real time (its input plays ENTREE in a loop, its loudspeaker goes to SORTIE).
struct CardChoice {
  bool isVirtual = false;
  std::string alsaDevice;
  std::string virtualInput;
  std::string virtualOutput;  // empty: the loudspeaker is not recorded
};

// False with a French message when the name cannot be used.
bool ParseCardName(const std::string& name, CardChoice& choice, std::string& error);

// The session's rate after the card test, as the action's launch picks it: the BFO runs at
// 6250, else 8000, else not at all (0); the others at 8000, else 11025.
int32_t LiveSampleRate(const std::string& filterKind, const TestsCarteSonState& tests);

}  // namespace velunda
