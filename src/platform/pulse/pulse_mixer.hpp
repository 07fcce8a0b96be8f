#pragma once
#include <memory>

#include "platform/mixer.hpp"

namespace velunda {

// The sound server (PulseAudio, or PipeWire through its PulseAudio interface) as the mixer:
// its default source and the program's own playback stream. Null when no server answers or it
// has no default source.
std::unique_ptr<Mixer> OpenSoundServerMixer();

}  // namespace velunda
