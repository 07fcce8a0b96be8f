#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velunda {

// Reads a recording (any format libsndfile knows; channels mixed by taking the first) as
// unsigned 8-bit samples. False when the file cannot be read.
bool ReadRecordingU8(const std::string& path, std::vector<uint8_t>& samples, int32_t& rate);

// Writes unsigned 8-bit mono samples as a WAV file. False on failure.
bool WriteWavU8(const std::string& path, const std::vector<uint8_t>& samples, int32_t rate);

}  // namespace velunda
