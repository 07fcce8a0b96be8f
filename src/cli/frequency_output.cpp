#include "cli/frequency_output.hpp"

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "dialogs/frequency_image.hpp"
#include "platform/errno_text.hpp"
#include "platform/safe_file.hpp"
#include "sessions/frequency_picture.hpp"

namespace velunda {
namespace {

constexpr int kImageWidth = 800;
constexpr int kImageHeight = 400;

}  // namespace

SpectrumRecording::SpectrumRecording(std::string path) : path_(std::move(path)) {
  if (Wanted()) {
    spectrum_ = std::make_unique<SpectrumState>();
    spectrum_->Averaging = SpectrumAveraging::Whole;
    spectrum_->Shown = true;
  }
}

void SpectrumRecording::Add(int32_t rate, const uint8_t* input, const uint8_t* output,
                            int32_t count) {
  if (spectrum_) {
    SpectrumFeed(*spectrum_, rate, input, output, count);
  }
}

std::string SpectrumRecording::Write(const DspState& dsp) const {
  if (!spectrum_) {
    return "";
  }
  const std::vector<uint8_t> png =
      SpectrumPng(PictureOf(*spectrum_, dsp), kImageWidth, kImageHeight);
  SafeFile file;
  int err = png.empty() ? EIO : file.Open(path_);
  if (err == 0) {
    err = file.Write(png.data(), png.size());
  }
  if (err == 0) {
    err = file.Commit();
  }
  if (err == 0) {
    return "";
  }
  return "velunda-filtre : image du spectre non écrite dans " + path_ + " : " + ErrnoText(err);
}

std::string SpectrumLine(const SpectrumState& spectrum, int32_t rate, int columns) {
  static constexpr const char* kBlocks[] = {" ", "▁", "▂", "▃", "▄", "▅", "▆", "▇", "█"};
  const std::array<float, kSpectrumBins> db = TraceDb(spectrum.Output);
  std::string line = "0 ";
  for (int c = 0; c < columns; ++c) {
    const int first = c * kSpectrumBins / columns;
    const int last = std::max(first + 1, (c + 1) * kSpectrumBins / columns);
    const float loudest = *std::max_element(db.begin() + first, db.begin() + last);
    const long level = std::lrint((loudest + 80.0f) / 80.0f * 8.0f);
    line += kBlocks[std::clamp(level, 0L, 8L)];
  }
  return line + " " + std::to_string(rate / 2) + " Hz";
}

}  // namespace velunda
