#pragma once
#include <memory>
#include <string>

#include "platform/mixer.hpp"

namespace velunda {

// The mixer of an ALSA card ("default", "hw:0", ...) through its simple mixer elements, mapped
// onto the mixer model. Returns nullptr when the card's mixer cannot be opened.
std::unique_ptr<Mixer> OpenAlsaMixer(const std::string& card);

}  // namespace velunda
