#pragma once
#include <cstdint>
#include <vector>

#include "sessions/frequency_picture.hpp"

namespace velunda {

// The picture painted as a PNG file's bytes, `width` x `height` pixels, in light colours, with
// Qt on an offscreen image; empty when it could not be painted.
std::vector<uint8_t> SpectrumPng(const SpectrumPicture& picture, int width, int height);

}  // namespace velunda
