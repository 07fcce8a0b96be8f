#include "audio_io/stream_io.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "audio_io/std_streams.hpp"
#include "audio_io/wav.hpp"
#include "platform/program_name.hpp"
#include "platform/wake_fd.hpp"

namespace velunda {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;
// Made readable by a stop signal, so that a wait for input cannot miss it; -1 when no
// StopStreamOnSignals is alive.
volatile std::sig_atomic_t g_stopWakeFd = -1;

extern "C" void RequestStop(int signal) {
  g_stopSignal = signal;
  if (g_stopWakeFd >= 0) {
    const int saved = errno;
    const uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stopWakeFd, &one, sizeof(one));
    errno = saved;
  }
}

// Waits until `fd` has input (or its end) unless a stop signal came; true once one came.
bool Stopped(int fd) {
  if (g_stopSignal == 0 && g_stopWakeFd >= 0) {
    WaitReadable(fd, g_stopWakeFd, -1);
  }
  return g_stopSignal != 0;
}

FileError StreamError(std::string text) { return {kExitIo, ProgramLine(text)}; }

// Reads up to `count` bytes, fewer only at the end of the stream or once a stop signal came.
// Returns false on a read error, with errno set.
bool ReadFull(int fd, uint8_t* bytes, size_t count, size_t& got) {
  got = 0;
  while (got < count && !Stopped(fd)) {
    const ssize_t n = ::read(fd, bytes + got, count - got);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0) {
      return false;
    }
    if (n == 0) {
      break;
    }
    got += static_cast<size_t>(n);
  }
  return true;
}

// `n` bytes read as whole samples of `width` bytes each, in `got`. A stop signal drops the
// sample in hand; otherwise a cut sample is an error.
bool WholeSamples(size_t n, size_t width, size_t& got, FileError& error) {
  if (g_stopSignal != 0) {
    n -= n % width;
  }
  if (n % width != 0) {
    error = StreamError("flux d'entrée coupé au milieu d'un échantillon (" +
                        std::to_string(n % width) + " octet(s) en trop)");
    return false;
  }
  got = n / width;
  return true;
}

size_t SampleBytes(RawSample type) {
  switch (type) {
    case RawSample::S16:
      return 2;
    case RawSample::F32:
      return 4;
    default:
      return 1;
  }
}

// One sample of a frame on the -1..+1 scale.
double Decode(const uint8_t* p, const WavFormat& f) {
  switch (f.coding) {
    case WavCoding::Unsigned8:
      return FromU8(p[0]);
    case WavCoding::Float:
      if (f.bits == 32) {
        float v;
        const uint32_t word = Le32(p);
        std::memcpy(&v, &word, 4);
        return v;
      } else {
        double v;
        const uint64_t word = Le32(p) | (static_cast<uint64_t>(Le32(p + 4)) << 32);
        std::memcpy(&v, &word, 8);
        return v;
      }
    case WavCoding::Signed:
      break;
  }
  // Little-endian two's complement of 16, 24 or 32 bits, read into the top of a 32-bit word.
  uint32_t word = 0;
  const uint32_t bytes = f.bits / 8;
  for (uint32_t i = 0; i < bytes; ++i) {
    word |= static_cast<uint32_t>(p[i]) << (32 - 8 * (bytes - i));
  }
  return static_cast<int32_t>(word) / 2147483648.0;
}

// Raw mono samples of one type, in the machine's byte order.
class RawStreamReader final : public AudioReader {
 public:
  RawStreamReader(int fd, RawSample type) : fd_(fd), type_(type) {}

  // Unsigned 8-bit: the bytes are the samples.
  bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error) override {
    if (type_ != RawSample::U8) {
      return AudioReader::Read(samples, count, got, error);
    }
    return ReadSamples(samples, count, got, error);
  }

  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    const size_t width = SampleBytes(type_);
    bytes_.resize(count * width);
    if (!ReadSamples(bytes_.data(), count, got, error)) {
      return false;
    }
    for (size_t i = 0; i < got; ++i) {
      const uint8_t* p = bytes_.data() + i * width;
      if (type_ == RawSample::U8) {
        values[i] = FromU8(*p);
      } else if (type_ == RawSample::S16) {
        int16_t v;
        std::memcpy(&v, p, 2);
        values[i] = v / 32768.0;
      } else {
        float v;
        std::memcpy(&v, p, 4);
        values[i] = v;
      }
    }
    return true;
  }
  std::optional<int64_t> Length() const override { return std::nullopt; }

 private:
  // Reads up to `count` whole samples' bytes into `bytes`; `got` counts the samples.
  bool ReadSamples(uint8_t* bytes, size_t count, size_t& got, FileError& error) {
    const size_t width = SampleBytes(type_);
    size_t n = 0;
    if (!ReadFull(fd_, bytes, count * width, n)) {
      error = StreamError("erreur de lecture de l'entrée standard : " + FileErrorReason(errno));
      return false;
    }
    return WholeSamples(n, width, got, error);
  }

  int fd_;
  RawSample type_;
  std::vector<uint8_t> bytes_;
};

// A WAV stream's data, frames mixed down to mono.
class WavStreamReader final : public AudioReader {
 public:
  WavStreamReader(int fd, WavFormat format, std::optional<uint64_t> dataBytes)
      : fd_(fd), format_(format), announced_(dataBytes), left_(dataBytes) {}

  // Unsigned 8-bit mono: the frames are the samples.
  bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error) override {
    if (format_.coding != WavCoding::Unsigned8 || format_.channels != 1) {
      return AudioReader::Read(samples, count, got, error);
    }
    return ReadFrames(samples, count, got, error);
  }

  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    bytes_.resize(count * format_.blockAlign);
    if (!ReadFrames(bytes_.data(), count, got, error)) {
      return false;
    }
    const size_t sampleBytes = format_.bits / 8;
    for (size_t i = 0; i < got; ++i) {
      double sum = 0.0;
      for (uint32_t c = 0; c < format_.channels; ++c) {
        sum += Decode(bytes_.data() + i * format_.blockAlign + c * sampleBytes, format_);
      }
      values[i] = sum / format_.channels;
    }
    return true;
  }
  std::optional<int64_t> Length() const override {
    if (!announced_) {
      return std::nullopt;
    }
    return static_cast<int64_t>(*announced_ / format_.blockAlign);
  }

 private:
  // Reads up to `count` whole frames into `bytes`, never beyond the announced data; `got`
  // counts the frames.
  bool ReadFrames(uint8_t* bytes, size_t count, size_t& got, FileError& error) {
    const size_t frame = format_.blockAlign;
    size_t want = count * frame;
    if (left_) {
      want = static_cast<size_t>(std::min<uint64_t>(want, *left_ / frame * frame));
    }
    size_t n = 0;
    if (!ReadFull(fd_, bytes, want, n)) {
      error = StreamError("erreur de lecture de l'entrée standard : " + FileErrorReason(errno));
      return false;
    }
    if (left_) {
      *left_ -= n;
      if (n < want && g_stopSignal == 0) {
        error = StreamError(
            "le flux WAV de l'entrée standard s'arrête avant la fin annoncée "
            "par son en-tête (" +
            std::to_string(*announced_) + " octets annoncés, " +
            std::to_string(*announced_ - *left_) + " reçus)");
        return false;
      }
    }
    return WholeSamples(n, frame, got, error);
  }

  int fd_;
  WavFormat format_;
  std::optional<uint64_t> announced_;
  std::optional<uint64_t> left_;
  std::vector<uint8_t> bytes_;
};

// A length that streaming writers put when they cannot know it: read to the end instead.
bool UnknownLength(uint32_t size) { return size == 0 || size >= 0x7FFF0000u; }

// A stream stopped by a signal before its header was whole: no sample, as if it had ended
// at once, so that the run ends as any stopped stream does.
class StoppedStream final : public AudioReader {
 public:
  bool ReadValues(double*, size_t, size_t& got, FileError&) override {
    got = 0;
    return true;
  }
  std::optional<int64_t> Length() const override { return 0; }
};

std::unique_ptr<AudioReader> OpenWavStream(int fd, int32_t& rate, FileError& error) {
  const auto fail = [&](const std::string& why) {
    error = StreamError("en-tête WAV incorrect sur l'entrée standard : " + why);
    return nullptr;
  };
  // A header cut short by a stop signal is not an error; by the end of the input, it is.
  const auto cut = [&](const std::string& why) -> std::unique_ptr<AudioReader> {
    if (g_stopSignal != 0) {
      return std::make_unique<StoppedStream>();
    }
    return fail(why);
  };
  std::array<uint8_t, 12> riff{};
  size_t got = 0;
  if (!ReadFull(fd, riff.data(), riff.size(), got)) {
    error = StreamError("erreur de lecture de l'entrée standard : " + FileErrorReason(errno));
    return nullptr;
  }
  if (got < riff.size() && g_stopSignal != 0) {
    return std::make_unique<StoppedStream>();
  }
  if (got < riff.size() || std::memcmp(riff.data(), "RIFF", 4) != 0 ||
      std::memcmp(riff.data() + 8, "WAVE", 4) != 0) {
    error =
        StreamError("l'entrée standard n'est pas un flux WAV (--brut pour des échantillons bruts)");
    return nullptr;
  }
  std::optional<WavFormat> format;
  for (;;) {
    std::array<uint8_t, 8> head{};
    if (!ReadFull(fd, head.data(), head.size(), got) || got < head.size()) {
      return cut("pas de données (chunk data absent)");
    }
    const uint32_t size = Le32(head.data() + 4);
    if (std::memcmp(head.data(), "data", 4) == 0) {
      if (!format) {
        return fail("données avant la description du format (chunk fmt)");
      }
      rate = static_cast<int32_t>(format->rate);
      std::optional<uint64_t> bytes;
      if (!UnknownLength(size)) {
        if (size % format->blockAlign != 0) {
          return fail(std::to_string(size) + " octets de données, pas un nombre entier de trames");
        }
        bytes = size;
      }
      return std::make_unique<WavStreamReader>(fd, *format, bytes);
    }
    // Any other chunk is read and, except the format, left aside; chunks have even lengths
    // (4 GiB and its pad byte: counted in 64 bits).
    const uint64_t padded = uint64_t{size} + (size & 1);
    std::vector<uint8_t> chunk(static_cast<size_t>(std::min<uint64_t>(padded, 1u << 20)));
    for (uint64_t left = padded; left > 0;) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, chunk.size()));
      if (!ReadFull(fd, chunk.data(), n, got) || got < n) {
        return cut("flux terminé dans un chunk de " + std::to_string(size) + " octets");
      }
      left -= n;
    }
    if (std::memcmp(head.data(), "fmt ", 4) == 0) {
      if (size > chunk.size()) {
        return fail("description du format de " + std::to_string(size) + " octets");
      }
      chunk.resize(size);
      WavFormat f;
      if (auto why = ParseWavFormat(chunk, f); !why.empty()) {
        return fail(why);
      }
      if (f.channels > static_cast<uint32_t>(kMaxChannels)) {
        error = StreamError("trop de voies sur l'entrée standard (" + std::to_string(f.channels) +
                            " ; " + std::to_string(kMaxChannels) + " au plus)");
        return nullptr;
      }
      format = f;
    }
  }
}

// Raw samples of one type (with a WAV header first for a WAV stream), written at once.
class OutputStream final : public AudioWriter {
 public:
  OutputStream(int fd, RawSample type, std::vector<uint8_t> header, uint64_t wavLimit)
      : fd_(fd), type_(type), header_(std::move(header)), wavLimit_(wavLimit) {}

  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    if (type_ == RawSample::U8) {
      return Send(samples, count, error);
    }
    values_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      values_[i] = FromU8(samples[i]);
    }
    return WriteValues(values_.data(), count, error);
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    const size_t width = SampleBytes(type_);
    bytes_.resize(count * width);
    for (size_t i = 0; i < count; ++i) {
      uint8_t* p = bytes_.data() + i * width;
      if (type_ == RawSample::S16) {
        const int16_t v = ToPcm16(values[i]);
        std::memcpy(p, &v, 2);
      } else if (type_ == RawSample::F32) {
        const auto v = static_cast<float>(values[i]);
        std::memcpy(p, &v, 4);
      } else {
        *p = ToU8Scale(values[i]);
      }
    }
    return Send(bytes_.data(), bytes_.size(), error);
  }
  bool Commit(FileError& error) override {
    // An empty stream still gets its header.
    if (!Send(nullptr, 0, error)) {
      return false;
    }
    FixHeader();
    return true;
  }

 private:
  bool Send(const uint8_t* bytes, size_t count, FileError& error) {
    if (!header_.empty() && !headerSent_) {
      headerSent_ = true;
      if (!SendAll(header_.data(), header_.size(), error)) {
        return false;
      }
    }
    if (!SendAll(bytes, count, error)) {
      return false;
    }
    dataBytes_ += count;
    if (!header_.empty() && !noticed_ && dataBytes_ > wavLimit_) {
      noticed_ = true;
      std::cerr << WavStreamTooLongNotice("la sortie standard") << '\n';
    }
    return true;
  }
  bool SendAll(const uint8_t* bytes, size_t count, FileError& error) {
    while (count > 0) {
      const ssize_t n = ::write(fd_, bytes, count);
      if (n < 0 && errno == EINTR) {
        continue;
      }
      if (n < 0 && errno == EPIPE) {
        error = {kExitOk, ""};  // the reader went away: stop quietly
        return false;
      }
      if (n <= 0) {
        error = {kExitIo, StdoutErrorMessage(n < 0 ? errno : ENOSPC)};
        return false;
      }
      bytes += n;
      count -= static_cast<size_t>(n);
    }
    return true;
  }
  // When the output is a file after all (a redirection), the header gets its real sizes; not
  // when appended to (pwrite would add them at the end), nor past what they can say.
  void FixHeader() {
    if (header_.empty() || dataBytes_ > wavLimit_ || (::fcntl(fd_, F_GETFL) & O_APPEND) != 0 ||
        ::lseek(fd_, 0, SEEK_CUR) != static_cast<off_t>(header_.size() + dataBytes_)) {
      return;
    }
    const auto put = [&](off_t at, uint32_t v) {
      const uint8_t le[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                             static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
      return ::pwrite(fd_, le, 4, at) == 4;
    };
    if (put(4, static_cast<uint32_t>(36 + dataBytes_)) &&
        put(40, static_cast<uint32_t>(dataBytes_))) {
      ::lseek(fd_, 0, SEEK_END);
    }
  }

  int fd_;
  RawSample type_;
  std::vector<uint8_t> header_;
  uint64_t wavLimit_;
  bool headerSent_ = false;
  bool noticed_ = false;
  uint64_t dataBytes_ = 0;
  std::vector<double> values_;
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::unique_ptr<AudioReader> OpenInputStream(int fd, RawSample type, int32_t& rate,
                                             FileError& error) {
  if (type == RawSample::None) {
    return OpenWavStream(fd, rate, error);
  }
  return std::make_unique<RawStreamReader>(fd, type);
}

std::unique_ptr<AudioWriter> OpenOutputStream(int fd, RawSample type, int32_t rate,
                                              OutputWidth width, FileError&, uint64_t wavLimit) {
  if (type != RawSample::None) {
    return std::make_unique<OutputStream>(fd, type, std::vector<uint8_t>{}, wavLimit);
  }
  const bool pcm16 = width == OutputWidth::Pcm16;
  return std::make_unique<OutputStream>(fd, pcm16 ? RawSample::S16 : RawSample::U8,
                                        StreamingWavHeader(rate, pcm16 ? 16 : 8), wavLimit);
}

struct StopStreamOnSignals::Saved {
  std::vector<std::pair<int, struct sigaction>> actions;
  WakeFd wake;
};

StopStreamOnSignals::StopStreamOnSignals() : saved_(std::make_unique<Saved>()) {
  g_stopSignal = 0;
  g_stopWakeFd = saved_->wake.Fd();
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    struct sigaction previous {};
    if (::sigaction(s, nullptr, &previous) != 0) {
      continue;
    }
    // A signal the launcher chose to ignore stays ignored.
    if (previous.sa_handler == SIG_IGN && s != SIGPIPE) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = s == SIGPIPE ? SIG_IGN : RequestStop;
    sigemptyset(&action.sa_mask);
    if (::sigaction(s, &action, nullptr) == 0) {
      saved_->actions.emplace_back(s, previous);
    }
  }
}

StopStreamOnSignals::~StopStreamOnSignals() {
  for (auto it = saved_->actions.rbegin(); it != saved_->actions.rend(); ++it) {
    ::sigaction(it->first, &it->second, nullptr);
  }
  g_stopWakeFd = -1;
}

int StopStreamOnSignals::StopSignal() { return g_stopSignal; }

}  // namespace velunda
