#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio_io/audio_file.hpp"

namespace velunda {

// Largest ratio between two rates that velunda-filtre converts, either way.
inline constexpr int32_t kMaxRateRatio = 256;

// Whether a conversion from `from` to `to` Hz lies within 1/kMaxRateRatio..kMaxRateRatio.
bool RatioSupported(int32_t from, int32_t to);

// The length that `count` samples at `from` Hz have at `to` Hz: the nearest whole number.
int64_t ConvertedLength(int64_t count, int32_t from, int32_t to);

// A streaming sample-rate converter for mono values on the -1..+1 scale (libsoxr, high
// quality, linear phase, its delay compensated), whose whole output has exactly
// ConvertedLength(input length) values.
class Resampler {
 public:
  // Returns nullptr with a French line in `error` when the ratio is out of range.
  static std::unique_ptr<Resampler> Create(int32_t from, int32_t to, std::string& error);
  ~Resampler();
  Resampler(const Resampler&) = delete;
  Resampler& operator=(const Resampler&) = delete;

  // Converts `count` values, appending what comes out to `out`.
  bool Process(const double* in, size_t count, std::vector<double>& out, std::string& error);
  // The end of the input: appends the tail, cut or padded with silence so that the whole output
  // has `total` values, or by default the converted length of what came in.
  bool Finish(std::vector<double>& out, std::string& error,
              std::optional<int64_t> total = std::nullopt);

 private:
  Resampler(void* handle, int32_t from, int32_t to);
  bool Drain(const double* in, size_t count, std::vector<double>& out, std::string& error);

  void* handle_;
  int32_t from_;
  int32_t to_;
  int64_t consumed_ = 0;
  int64_t produced_ = 0;
};

// How many samples a converted input has read at its own rate: a result converted back to
// another rate is given the length of the original, not that of its rounded conversion.
struct SourceLength {
  int64_t samples = 0;
  int32_t rate = 0;
};

// A reader whose values come from `inner` (at `from` Hz) converted to `to` Hz; `source`, when
// given, counts what it reads from `inner`.
std::unique_ptr<AudioReader> ResamplingReader(std::unique_ptr<AudioReader> inner, int32_t from,
                                              int32_t to, FileError& error,
                                              std::shared_ptr<SourceLength> source = nullptr);

// A writer that takes samples at `from` Hz and hands them to `inner` converted to `to` Hz. With
// `source`, the whole output gets the length of the source at `to` Hz.
std::unique_ptr<AudioWriter> ResamplingWriter(std::unique_ptr<AudioWriter> inner, int32_t from,
                                              int32_t to, FileError& error,
                                              std::shared_ptr<const SourceLength> source = nullptr);

}  // namespace velunda
