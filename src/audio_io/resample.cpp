#include "audio_io/resample.hpp"

#include <soxr.h>

#include <algorithm>

#include "platform/program_name.hpp"

namespace velunda {
namespace {

soxr_t Handle(void* handle) { return static_cast<soxr_t>(handle); }

// Values pulled from an inner reader and converted, kept in a small queue between calls.
class ConvertingReader final : public AudioReader {
 public:
  ConvertingReader(std::unique_ptr<AudioReader> inner, std::unique_ptr<Resampler> resampler,
                   int32_t from, int32_t to, std::optional<int64_t> length,
                   std::shared_ptr<SourceLength> source)
      : from_(static_cast<size_t>(from)),
        to_(static_cast<size_t>(to)),
        inner_(std::move(inner)),
        resampler_(std::move(resampler)),
        length_(length),
        source_(std::move(source)) {}

  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    std::string text;
    while (pending_.size() - taken_ < count && !finished_) {
      Compact();
      // No more than the missing values need, so a stream is not held back waiting for input
      // the block does not need; a little more each time for the converter's own delay.
      const size_t missing = count - pending_.size();
      const size_t want = std::clamp<size_t>(missing * from_ / to_ + 1, kMinChunk, kChunk);
      size_t n = 0;
      input_.resize(want);
      if (!inner_->ReadValues(input_.data(), want, n, error)) {
        return false;
      }
      if (source_) {
        source_->samples += static_cast<int64_t>(n);
      }
      const bool ok = n > 0 ? resampler_->Process(input_.data(), n, pending_, text)
                            : resampler_->Finish(pending_, text);
      if (!ok) {
        error = {kExitIo, text};
        return false;
      }
      finished_ = n == 0;
    }
    got = std::min(count, pending_.size() - taken_);
    std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(taken_), got, values);
    taken_ += got;
    return true;
  }
  std::optional<int64_t> Length() const override { return length_; }
  // A recording cut short is the inner reader's to tell.
  std::string ShortFileNotice() const override { return inner_->ShortFileNotice(); }

 private:
  static constexpr size_t kChunk = 4096;
  static constexpr size_t kMinChunk = 64;

  // Drops the values already handed out, so the queue stays small.
  void Compact() {
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(taken_));
    taken_ = 0;
  }

  size_t from_;
  size_t to_;
  std::unique_ptr<AudioReader> inner_;
  std::unique_ptr<Resampler> resampler_;
  std::optional<int64_t> length_;
  std::shared_ptr<SourceLength> source_;
  std::vector<double> input_;
  std::vector<double> pending_;
  size_t taken_ = 0;
  bool finished_ = false;
};

class ConvertingWriter final : public AudioWriter {
 public:
  ConvertingWriter(std::unique_ptr<AudioWriter> inner, std::unique_ptr<Resampler> resampler,
                   int32_t to, std::shared_ptr<const SourceLength> source)
      : inner_(std::move(inner)), resampler_(std::move(resampler)), to_(to), source_(source) {}

  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    values_.resize(count);
    std::transform(samples, samples + count, values_.begin(), FromU8);
    return WriteValues(values_.data(), count, error);
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    out_.clear();
    std::string text;
    if (!resampler_->Process(values, count, out_, text)) {
      error = {kExitIo, text};
      return false;
    }
    return inner_->WriteValues(out_.data(), out_.size(), error);
  }
  bool Commit(FileError& error) override {
    out_.clear();
    std::string text;
    std::optional<int64_t> total;
    if (source_) {
      total = ConvertedLength(source_->samples, source_->rate, to_);
    }
    if (!resampler_->Finish(out_, text, total)) {
      error = {kExitIo, text};
      return false;
    }
    return inner_->WriteValues(out_.data(), out_.size(), error) && inner_->Commit(error);
  }

 private:
  std::unique_ptr<AudioWriter> inner_;
  std::unique_ptr<Resampler> resampler_;
  int32_t to_;
  std::shared_ptr<const SourceLength> source_;
  std::vector<double> values_;
  std::vector<double> out_;
};

}  // namespace

bool RatioSupported(int32_t from, int32_t to) {
  return from > 0 && to > 0 && int64_t{from} <= int64_t{to} * kMaxRateRatio &&
         int64_t{to} <= int64_t{from} * kMaxRateRatio;
}

int64_t ConvertedLength(int64_t count, int32_t from, int32_t to) {
  // Nearest whole number, halves up; count * to stays far below 2^63 for any real recording.
  return (count * to + from / 2) / from;
}

std::unique_ptr<Resampler> Resampler::Create(int32_t from, int32_t to, std::string& error) {
  if (!RatioSupported(from, to)) {
    error = ProgramName() + " : impossible de passer de " + std::to_string(from) + " à " +
            std::to_string(to) + " Hz (rapport de fréquences au-delà de " +
            std::to_string(kMaxRateRatio) + ")";
    return nullptr;
  }
  soxr_error_t failure = nullptr;
  const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
  const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, SOXR_LINEAR_PHASE);
  // Small transform blocks: the converter then holds back about 70 ms instead of 160 ms of a
  // stream, for the same quality and about the same work.
  soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
  runtime.log2_min_dft_size = 8;
  runtime.log2_large_dft_size = 8;
  soxr_t handle = soxr_create(from, to, 1, &failure, &io, &quality, &runtime);
  if (handle == nullptr) {
    error = ProgramName() + " : rééchantillonnage de " + std::to_string(from) + " à " +
            std::to_string(to) + " Hz impossible (" + (failure ? failure : "?") + ")";
    return nullptr;
  }
  return std::unique_ptr<Resampler>(new Resampler(handle, from, to));
}

Resampler::Resampler(void* handle, int32_t from, int32_t to)
    : handle_(handle), from_(from), to_(to) {}

Resampler::~Resampler() { soxr_delete(Handle(handle_)); }

bool Resampler::Drain(const double* in, size_t count, std::vector<double>& out,
                      std::string& error) {
  // At the end (in == nullptr) soxr gives its tail over as many calls as it needs.
  for (;;) {
    const size_t room = count * static_cast<size_t>(to_) / static_cast<size_t>(from_) + 1024;
    const size_t at = out.size();
    out.resize(at + room);
    size_t used = 0, made = 0;
    const soxr_error_t failure = soxr_process(Handle(handle_), in, count, in ? &used : nullptr,
                                              out.data() + at, room, &made);
    out.resize(at + made);
    if (failure != nullptr) {
      error = ProgramLine("erreur du rééchantillonnage (") + failure + ")";
      return false;
    }
    produced_ += static_cast<int64_t>(made);
    if (in != nullptr) {
      in += used;
      count -= used;
      consumed_ += static_cast<int64_t>(used);
      if (count == 0) {
        return true;
      }
    } else if (made == 0) {
      return true;
    }
  }
}

bool Resampler::Process(const double* in, size_t count, std::vector<double>& out,
                        std::string& error) {
  if (count == 0) {
    return true;
  }
  const size_t before = out.size();
  if (!Drain(in, count, out, error)) {
    return false;
  }
  // Never more than the exact length of what has come in so far allows.
  const int64_t limit = ConvertedLength(consumed_, from_, to_);
  if (produced_ > limit) {
    const auto extra = static_cast<size_t>(produced_ - limit);
    out.resize(std::max(before, out.size() - std::min(extra, out.size())));
    produced_ = limit;
  }
  return true;
}

bool Resampler::Finish(std::vector<double>& out, std::string& error, std::optional<int64_t> total) {
  const size_t before = out.size();
  const int64_t expected = total.value_or(ConvertedLength(consumed_, from_, to_));
  const int64_t had = produced_;
  if (!Drain(nullptr, 0, out, error)) {
    return false;
  }
  const int64_t want = std::max<int64_t>(expected - had, 0);
  out.resize(before + static_cast<size_t>(want), 0.0);
  produced_ = expected;
  return true;
}

std::unique_ptr<AudioReader> ResamplingReader(std::unique_ptr<AudioReader> inner, int32_t from,
                                              int32_t to, FileError& error,
                                              std::shared_ptr<SourceLength> source) {
  std::string text;
  auto resampler = Resampler::Create(from, to, text);
  if (!resampler) {
    error = {kExitUsage, text};
    return nullptr;
  }
  if (source) {
    *source = {0, from};
  }
  std::optional<int64_t> length = inner->Length();
  if (length) {
    length = ConvertedLength(*length, from, to);
  }
  return std::make_unique<ConvertingReader>(std::move(inner), std::move(resampler), from, to,
                                            length, std::move(source));
}

std::unique_ptr<AudioWriter> ResamplingWriter(std::unique_ptr<AudioWriter> inner, int32_t from,
                                              int32_t to, FileError& error,
                                              std::shared_ptr<const SourceLength> source) {
  std::string text;
  auto resampler = Resampler::Create(from, to, text);
  if (!resampler) {
    error = {kExitUsage, text};
    return nullptr;
  }
  return std::make_unique<ConvertingWriter>(std::move(inner), std::move(resampler), to,
                                            std::move(source));
}

}  // namespace velunda
