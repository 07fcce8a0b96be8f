#include "engine/fonctions_wave.hpp"

#include <new>
#include <string>
#include <string_view>

namespace velunda {
namespace {

// Prefix followed by the result code's low 16 bits in decimal.
void ShowCode(const EnginePlatform& p, std::string_view prefix, uint32_t code) {
  std::string text(prefix);
  text += std::to_string(code & 0xFFFFu);
  p.box.ShowError(text);
}

// 0 on success; otherwise the message and 1.
int Report(const EnginePlatform& p, uint32_t code, std::string_view prefix) {
  if (code == kWaveOk) {
    return 0;
  }
  ShowCode(p, prefix, code);
  return 1;
}

WaveBlock& Block(FonctionsWaveState& w, WaveSide side, int k) {
  return side == WaveSide::Input ? w.Input[static_cast<size_t>(k - 1)]
                                 : w.Output[static_cast<size_t>(k - 1)];
}

void FillFormat(WaveFormat& f, uint8_t eightBit, int32_t rate, uint8_t stereo) {
  const int64_t bits = eightBit == 1 ? 8 : 16;
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = stereo == 1 ? 2 : 1;
  f.nSamplesPerSec = static_cast<uint32_t>(rate);
  f.wBitsPerSample = static_cast<uint16_t>(bits);
  f.nAvgBytesPerSec = static_cast<uint32_t>(f.nChannels * ((int64_t{rate} * bits) / 8));
  f.nBlockAlign = static_cast<uint16_t>(f.nChannels * (bits / 8));
}

constexpr std::string_view kAllocHeader[2][2] = {
    {"Erreur allocation header d'entrée", "Erreur allocation header d'entrée 2"},
    {"Erreur allocation header de sortie", "Erreur allocation header de sortie 2"}};
constexpr std::string_view kAllocBuffer[2][2] = {
    {"Erreur allocation buffer d'entrée", "Erreur allocation buffer d'entrée 2"},
    {"Erreur allocation buffer de sortie", "Erreur allocation buffer de sortie 2"}};

// A header whose blocks could not be obtained is never handed to a device.
WaveHeader* Usable(FonctionsWaveState& w, WaveSide side, int k) {
  const WaveBlock& b = Block(w, side, k);
  return b.buffer == nullptr ? nullptr : b.header;
}

}  // namespace

void QueryCapabilities(FonctionsWaveState& w, const EnginePlatform& p) {
  w.InputDeviceCount = p.card.Input().DeviceCount();
  if (w.InputDeviceCount != 0) {
    uint32_t formats = 0;
    if (p.card.Input().GetCapabilities(formats) == kWaveOk) {
      w.InputFormats = formats;
    } else {
      p.box.ShowError("Erreur sur détermination des capacités d'entrée.");
    }
  }
  w.OutputDeviceCount = p.card.Output().DeviceCount();
  if (w.OutputDeviceCount != 0) {
    uint32_t formats = 0;
    if (p.card.Output().GetCapabilities(formats) == kWaveOk) {
      w.OutputFormats = formats;
    } else {
      p.box.ShowError("Erreur sur détermination des capacités de sortie.");
    }
  }
}

int AllocateHeader(FonctionsWaveState& w, const EnginePlatform& p, WaveSide side, int k,
                   int32_t blockLength) {
  const size_t s = side == WaveSide::Input ? 0 : 1;
  const size_t i = static_cast<size_t>(k - 1);
  WaveBlock& b = Block(w, side, k);
  int result = 0;
  void* headerBlock = p.memory.Allocate(sizeof(WaveHeader));
  if (headerBlock == nullptr) {
    p.box.ShowError(kAllocHeader[s][i]);
    result = 1;
  }
  void* bufferBlock = p.memory.Allocate(static_cast<size_t>(blockLength));
  if (bufferBlock == nullptr) {
    p.box.ShowError(kAllocBuffer[s][i]);
    result = 1;
  }
  b.buffer = static_cast<uint8_t*>(bufferBlock);
  b.header = headerBlock == nullptr ? nullptr : new (headerBlock) WaveHeader{};
  if (b.header != nullptr && b.buffer != nullptr) {
    b.header->lpData = b.buffer;
    b.header->dwBufferLength = static_cast<uint32_t>(blockLength);
  }
  return result;
}

void ReleaseHeader(FonctionsWaveState& w, const EnginePlatform& p, WaveSide side, int k) {
  WaveBlock& b = Block(w, side, k);
  if (b.buffer != nullptr) {
    p.memory.Free(b.buffer);
    b.buffer = nullptr;
  }
  if (b.header != nullptr) {
    b.header->~WaveHeader();
    p.memory.Free(b.header);
    b.header = nullptr;
  }
}

int OpenInput(FonctionsWaveState& w, const EnginePlatform& p, uint8_t eightBit, int32_t rate,
              uint8_t stereo) {
  FillFormat(w.InputFormat, eightBit, rate, stereo);
  const uint32_t code = p.card.Input().Open(w.InputFormat, p.events);
  if (code == kWaveOk) {
    w.InputOpen = true;
    return 0;
  }
  if (w.OpenErrorMessages == 1) {
    ShowCode(p, "Erreur ouverture entree son n°:", code);
  }
  return 1;
}

int OpenOutput(FonctionsWaveState& w, const EnginePlatform& p, uint8_t eightBit, int32_t rate) {
  FillFormat(w.OutputFormat, eightBit, rate, 0);
  const uint32_t code = p.card.Output().Open(w.OutputFormat, p.events);
  if (code == kWaveOk) {
    w.OutputOpen = true;
    return 0;
  }
  if (w.OpenErrorMessages == 1) {
    ShowCode(p, "Erreur ouverture sortie son n°:", code);
  }
  return 1;
}

int PrepareInputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k) {
  WaveHeader* h = Usable(w, WaveSide::Input, k);
  if (h == nullptr) {
    return 1;
  }
  return Report(
      p, p.card.Input().PrepareHeader(*h),
      k == 1 ? "Erreur préparation header éch. n°:" : "Erreur préparation header bis éch. n°:");
}

int AddInputBuffer(FonctionsWaveState& w, const EnginePlatform& p, int k) {
  WaveHeader* h = Usable(w, WaveSide::Input, k);
  if (h == nullptr) {
    return 1;
  }
  return Report(
      p, p.card.Input().AddBuffer(*h),
      k == 1 ? "Erreur préparation buffer éch. n°:" : "Erreur préparation buffer bis éch. n°:");
}

int PrepareOutputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k) {
  WaveHeader* h = Usable(w, WaveSide::Output, k);
  if (h == nullptr) {
    return 1;
  }
  return Report(p, p.card.Output().PrepareHeader(*h),
                k == 1 ? "Erreur préparation header n°:" : "Erreur préparation header bis n°:");
}

int WriteOutputBuffer(FonctionsWaveState& w, const EnginePlatform& p, int k) {
  WaveHeader* h = Usable(w, WaveSide::Output, k);
  if (h == nullptr) {
    return 1;
  }
  return Report(
      p, p.card.Output().Write(*h),
      k == 1 ? "Erreur de restitution des données n°" : "Erreur de restitution des données bis n°");
}

int UnprepareInputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k) {
  WaveHeader* h = Usable(w, WaveSide::Input, k);
  if (h == nullptr) {
    return 1;
  }
  return Report(p, p.card.Input().UnprepareHeader(*h),
                k == 1 ? "Erreur de suppression de header d'entrée n°"
                       : "Erreur de suppression de header d'entrée bis n°");
}

int UnprepareOutputHeader(FonctionsWaveState& w, const EnginePlatform& p, int k) {
  WaveHeader* h = Usable(w, WaveSide::Output, k);
  if (h == nullptr) {
    return 1;
  }
  return Report(p, p.card.Output().UnprepareHeader(*h),
                k == 1 ? "Erreur de suppression de header de sortie n°"
                       : "Erreur de suppression de header de sortie bis n°");
}

int StartInput(FonctionsWaveState& /*w*/, const EnginePlatform& p) {
  return Report(p, p.card.Input().Start(), "Erreur lors de l'échantillonnage n°");
}

int ResetInput(FonctionsWaveState& /*w*/, const EnginePlatform& p) {
  return Report(p, p.card.Input().Reset(), "Erreur lors de l'arrêt de l'échantillonnage n°");
}

int ResetOutput(FonctionsWaveState& /*w*/, const EnginePlatform& p) {
  return Report(p, p.card.Output().Reset(), "Erreur d'arrêt de restitution des données n°");
}

int CloseInput(FonctionsWaveState& w, const EnginePlatform& p) {
  const int r = Report(p, p.card.Input().Close(), "Erreur lors de fermeture du device d'entrée n°");
  if (r == 0) {
    w.InputOpen = false;
  }
  return r;
}

int CloseOutput(FonctionsWaveState& w, const EnginePlatform& p) {
  const int r =
      Report(p, p.card.Output().Close(), "Erreur lors de fermeture du device de sortie n°");
  if (r == 0) {
    w.OutputOpen = false;
  }
  return r;
}

int OpenOutputSide(FonctionsWaveState& w, const EnginePlatform& p, int32_t sampleRate,
                   int32_t blockLength) {
  int missing = AllocateHeader(w, p, WaveSide::Output, 1, blockLength);
  missing |= AllocateHeader(w, p, WaveSide::Output, 2, blockLength);
  if (missing != 0) {
    return 1;  // a block was not obtained: the device is not opened
  }
  return OpenOutput(w, p, w.OutputEightBit, sampleRate);
}

int OpenInputSide(FonctionsWaveState& w, const EnginePlatform& p, int32_t sampleRate,
                  int32_t blockLength) {
  int missing = AllocateHeader(w, p, WaveSide::Input, 1, blockLength);
  missing |= AllocateHeader(w, p, WaveSide::Input, 2, blockLength);
  if (missing != 0) {
    return 1;
  }
  return OpenInput(w, p, w.InputEightBit, sampleRate, w.InputStereo);
}

int QueueInputBuffers(FonctionsWaveState& w, const EnginePlatform& p) {
  if (PrepareInputHeader(w, p, 1) != 0 || PrepareInputHeader(w, p, 2) != 0 ||
      AddInputBuffer(w, p, 1) != 0 || AddInputBuffer(w, p, 2) != 0) {
    return 1;
  }
  return 0;
}

int QueueOutputBuffers(FonctionsWaveState& w, const EnginePlatform& p, int32_t blockLength) {
  for (const WaveBlock& b : w.Output) {
    if (b.buffer != nullptr) {
      std::fill(b.buffer, b.buffer + blockLength, uint8_t{128});
    }
  }
  for (int k = 1; k <= 2; ++k) {
    if (PrepareOutputHeader(w, p, k) != 0) {
      CloseOutput(w, p);
      return 1;
    }
  }
  if (WriteOutputBuffer(w, p, 1) != 0 || WriteOutputBuffer(w, p, 2) != 0) {
    return 1;
  }
  return 0;
}

}  // namespace velunda
