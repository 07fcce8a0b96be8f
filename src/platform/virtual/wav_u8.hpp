#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velunda {

// Reads a recording (any format libsndfile knows; channels mixed by taking the first) as
// unsigned 8-bit samples. False when the file cannot be read.
bool ReadRecordingU8(const std::string& path, std::vector<uint8_t>& samples, int32_t& rate);

// The bytes of a WAV file holding unsigned 8-bit mono samples.
std::vector<uint8_t> WavU8Image(const std::vector<uint8_t>& samples, int32_t rate);

// Writes unsigned 8-bit mono samples as a WAV file through a SafeFile (a failure keeps the old
// file). 0 or the errno of the failing call.
int WriteWavU8File(const std::string& path, const std::vector<uint8_t>& samples, int32_t rate);

// The same; false on failure.
bool WriteWavU8(const std::string& path, const std::vector<uint8_t>& samples, int32_t rate);

}  // namespace velunda
