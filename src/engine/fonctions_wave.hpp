#pragma once
#include <array>
#include <cstdint>

#include "engine/engine_platform.hpp"
#include "platform/wave_device.hpp"

namespace velunda {

// One header and its buffer, each its own memory block.
struct WaveBlock {
  WaveHeader* header = nullptr;
  uint8_t* buffer = nullptr;
};

enum class WaveSide { Input, Output };

// The wave device layer's state: device handles, format records, the four headers and
// buffers, the session wave format, the capability results.
struct FonctionsWaveState {
  bool InputOpen = false;
  bool OutputOpen = false;
  WaveFormat InputFormat;
  WaveFormat OutputFormat;
  std::array<WaveBlock, 2> Input{};  // pairs 1 and 2 at indices 0 and 1
  std::array<WaveBlock, 2> Output{};

  // Session wave format, set by every launch.
  uint8_t InputEightBit = 1;
  uint8_t InputStereo = 0;
  uint8_t OutputEightBit = 1;

  uint8_t OpenErrorMessages = 1;
  uint16_t InputDeviceCount = 0;
  uint16_t OutputDeviceCount = 0;
  uint32_t InputFormats = 0;
  uint32_t OutputFormats = 0;
};

// Capability query of device 0 on both sides.
void QueryCapabilities(FonctionsWaveState& w, const EnginePlatform& p);

// Allocates header and buffer of pair k (1 or 2) of a side, BlockLength bytes. A block that
// cannot be obtained is reported and left null; the result is 1 then, 0 when both exist.
int AllocateHeader(FonctionsWaveState& w, const EnginePlatform& p, WaveSide side, int k,
                   int32_t blockLength);
// Frees buffer then header of pair k of a side (whichever exist).
void ReleaseHeader(FonctionsWaveState& w, const EnginePlatform& p, WaveSide side, int k);

// Single operations: 0 success, 1 failure (the message has been shown).
int OpenInput(FonctionsWaveState& w, const EnginePlatform& p, uint8_t eightBit, int32_t rate,
              uint8_t stereo);
int OpenOutput(FonctionsWaveState& w, const EnginePlatform& p, uint8_t eightBit, int32_t rate);
int PrepareInputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k);
int AddInputBuffer(FonctionsWaveState& w, const EnginePlatform& p, int k);
int PrepareOutputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k);
int WriteOutputBuffer(FonctionsWaveState& w, const EnginePlatform& p, int k);
int UnprepareInputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k);
int UnprepareOutputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k);
int StartInput(FonctionsWaveState& w, const EnginePlatform& p);
int ResetInput(FonctionsWaveState& w, const EnginePlatform& p);
int ResetOutput(FonctionsWaveState& w, const EnginePlatform& p);
int CloseInput(FonctionsWaveState& w, const EnginePlatform& p);
int CloseOutput(FonctionsWaveState& w, const EnginePlatform& p);

// Grouped operations of a filter session.
int OpenOutputSide(FonctionsWaveState& w, const EnginePlatform& p, int32_t sampleRate,
                   int32_t blockLength);
int OpenInputSide(FonctionsWaveState& w, const EnginePlatform& p, int32_t sampleRate,
                  int32_t blockLength);
int QueueInputBuffers(FonctionsWaveState& w, const EnginePlatform& p);
int QueueOutputBuffers(FonctionsWaveState& w, const EnginePlatform& p, int32_t blockLength);

}  // namespace velunda
