#pragma once
#include <vector>

#include "platform/sound_devices.hpp"

namespace velunda {

// The PCM devices ALSA names (its "hints"), with their descriptions and directions.
std::vector<SoundDevice> ListAlsaDevices();

}  // namespace velunda
