#pragma once
#include <array>
#include <cstdint>

namespace velunda {

struct DspState;

// The shared integer transform: tables, window and work arrays, sized for 2048 points.
struct TransformState {
  uint16_t TransformSize = 1024;
  uint8_t StageCount = 0;
  std::array<uint16_t, 16> StageSizes{};
  std::array<uint16_t, 2048> BitReverse{};
  std::array<int32_t, 36001> CosineTable{};
  std::array<int32_t, 36001> SineTable{};
  std::array<double, 2048> AnalysisWindow{};
  bool WindowEnabled = false;
  std::array<int32_t, 2048> TimeBlock{};
  std::array<int32_t, 2048> SpectrumRe{};
  std::array<int32_t, 2048> SpectrumIm{};
  std::array<int32_t, 2048> ScratchBlock{};
};

struct BfoState {
  int32_t BfoShift = 0;
  bool BfoInverted = false;
};

void TransformInit(TransformState& t);
void TransformPrepare(TransformState& t);
void ForwardTransform(TransformState& t);
void InverseTransform(TransformState& t);

void InvertSpectrum(TransformState& t);
void ShiftSpectrum(TransformState& t, int32_t shift);
void BfoBlockStep(DspState& dsp);

}  // namespace velunda
