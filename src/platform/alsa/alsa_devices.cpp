#include "platform/alsa/alsa_devices.hpp"

#include <alsa/asoundlib.h>

#include <cstdlib>
#include <string>

#include "platform/alsa/alsa_quiet.hpp"

namespace velunda {
namespace {

// A hint's field, freed as ALSA asks; "" when absent.
std::string Field(const void* hint, const char* id) {
  char* value = snd_device_name_get_hint(hint, id);
  std::string text = value != nullptr ? value : "";
  std::free(value);
  return text;
}

}  // namespace

std::vector<SoundDevice> ListAlsaDevices() {
  SilenceAlsaLib();
  std::vector<SoundDevice> devices;
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0) {
    return devices;
  }
  for (void** h = hints; *h != nullptr; ++h) {
    SoundDevice d;
    d.Name = Field(*h, "NAME");
    const std::string io = Field(*h, "IOID");  // absent: both directions
    d.Capture = io.empty() || io == "Input";
    d.Playback = io.empty() || io == "Output";
    d.Description = Field(*h, "DESC");
    if (!d.Name.empty() && d.Name != "null") {
      devices.push_back(std::move(d));
    }
  }
  snd_device_name_free_hint(hints);
  return devices;
}

}  // namespace velunda
