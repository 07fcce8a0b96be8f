#include "cli/audio_file.hpp"

#include "platform/errno_text.hpp"
#include "platform/safe_file.hpp"

#include <fcntl.h>
#include <sndfile.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace velunda {
namespace {

std::string Extension(const std::string& path) {
  const auto slash = path.find_last_of('/');
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
    return "";
  }
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return ext;
}

std::string Reason(int err) { return ErrnoText(err); }

FileError IoError(std::string text) { return {kExitIo, "velunda-filtre : " + std::move(text)}; }

// Raw unsigned 8-bit mono: the bytes are the samples.
class RawReader final : public AudioReader {
 public:
  RawReader(std::FILE* file, std::string path, std::optional<int64_t> length)
      : file_(file), path_(std::move(path)), length_(length) {}
  ~RawReader() override { std::fclose(file_); }

  bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error) override {
    got = std::fread(samples, 1, count, file_);
    if (got < count && std::ferror(file_)) {
      error = IoError("erreur de lecture de " + path_ + " : " + Reason(errno));
      return false;
    }
    return true;
  }
  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    bytes_.resize(count);
    if (!Read(bytes_.data(), count, got, error)) {
      return false;
    }
    for (size_t i = 0; i < got; ++i) {
      values[i] = FromU8(bytes_[i]);
    }
    return true;
  }
  std::optional<int64_t> Length() const override { return length_; }

 private:
  std::vector<uint8_t> bytes_;
  std::FILE* file_;
  std::string path_;
  std::optional<int64_t> length_;
};

uint32_t Le32(const unsigned char* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The frames a RIFF WAV's header announces (its data chunk's length over the frame size), read
// from the file itself: libsndfile gives only what the file really holds. None when unknown.
std::optional<int64_t> AnnouncedWavFrames(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    return std::nullopt;
  }
  std::optional<int64_t> frames;
  unsigned char head[12];
  uint32_t frameSize = 0;
  if (std::fread(head, 1, 12, file) == 12 && std::memcmp(head, "RIFF", 4) == 0 &&
      std::memcmp(head + 8, "WAVE", 4) == 0) {
    unsigned char chunk[16];
    while (std::fread(chunk, 1, 8, file) == 8) {
      const uint32_t size = Le32(chunk + 4);
      if (std::memcmp(chunk, "data", 4) == 0) {
        if (frameSize != 0 && size != 0xFFFFFFFFu) {
          frames = size / frameSize;
        }
        break;
      }
      long skip = static_cast<long>(size) + (size & 1);
      if (std::memcmp(chunk, "fmt ", 4) == 0 && size >= 16) {
        if (std::fread(chunk, 1, 16, file) != 16) {
          break;
        }
        frameSize = chunk[12] | (chunk[13] << 8);  // the block align
        skip -= 16;
      }
      if (std::fseek(file, skip, SEEK_CUR) != 0) {
        break;
      }
    }
  }
  std::fclose(file);
  return frames;
}

// Anything libsndfile reads, mixed down to mono and brought to the 8-bit scale.
class SndfileReader final : public AudioReader {
 public:
  SndfileReader(SNDFILE* file, const SF_INFO& info, std::string path)
      : file_(file),
        channels_(info.channels),
        u8Mono_(info.channels == 1 && (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8),
        frames_(info.frames),
        path_(std::move(path)) {
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_WAV) {
      announced_ = AnnouncedWavFrames(path_);
    }
  }
  ~SndfileReader() override { sf_close(file_); }

  std::string ShortFileNotice() const override {
    if (!ended_ || !announced_ || *announced_ <= read_) {
      return "";
    }
    return "velunda-filtre : " + path_ + " annonce " + std::to_string(*announced_) +
           " échantillons mais n'en contient que " + std::to_string(read_) +
           " ; lu jusqu'à sa fin réelle";
  }

  // Unsigned 8-bit mono: the file's bytes are the samples, taken as they are.
  bool Read(uint8_t* samples, size_t count, size_t& got, FileError& error) override {
    if (!u8Mono_) {
      return AudioReader::Read(samples, count, got, error);
    }
    return Took(sf_read_raw(file_, samples, static_cast<sf_count_t>(count)), count, got, error);
  }

  bool ReadValues(double* values, size_t count, size_t& got, FileError& error) override {
    buffer_.resize(count * static_cast<size_t>(channels_));
    const sf_count_t frames =
        sf_readf_double(file_, buffer_.data(), static_cast<sf_count_t>(count));
    if (!Took(frames, count, got, error)) {
      return false;
    }
    for (size_t i = 0; i < got; ++i) {
      double sum = 0.0;
      for (int c = 0; c < channels_; ++c) {
        sum += buffer_[i * static_cast<size_t>(channels_) + static_cast<size_t>(c)];
      }
      values[i] = sum / channels_;
    }
    return true;
  }
  std::optional<int64_t> Length() const override { return frames_; }

 private:
  // Counts the `frames` one read of `count` gave; false, with `error`, when it failed.
  bool Took(sf_count_t frames, size_t count, size_t& got, FileError& error) {
    if (frames < 0 || (static_cast<size_t>(frames) < count && sf_error(file_) != SF_ERR_NO_ERROR)) {
      error = IoError("erreur de lecture de " + path_ + " : " + sf_strerror(file_));
      return false;
    }
    got = static_cast<size_t>(frames);
    read_ += frames;
    ended_ = got < count;
    return true;
  }

  SNDFILE* file_;
  int channels_;
  bool u8Mono_;
  int64_t frames_;
  std::string path_;
  std::vector<double> buffer_;
  std::optional<int64_t> announced_;
  int64_t read_ = 0;
  bool ended_ = false;
};

// Why libsndfile could not open `path`: in French for what a user meets, libsndfile's own text
// only for the rare rest.
std::string UnreadableSoundFile(const std::string& path, int code, int err) {
  switch (code) {
    case SF_ERR_UNRECOGNISED_FORMAT:
      return "format de fichier son non reconnu : " + path;
    case SF_ERR_MALFORMED_FILE:
      return "fichier son abîmé : " + path;
    case SF_ERR_UNSUPPORTED_ENCODING:
      return "codage de fichier son non pris en charge : " + path;
    case SF_ERR_SYSTEM:
      return "impossible de lire " + path + " : " + Reason(err != 0 ? err : EIO);
    default:
      return "format de fichier son non reconnu : " + path + " (" + sf_error_number(code) + ")";
  }
}

std::string TooManyChannels(const std::string& path) {
  return "trop de voies dans " + path + " (" + std::to_string(kMaxChannels) + " au plus)";
}

// libsndfile's code for a header with more channels than it takes, which its public header
// does not name: learnt once, from a WAV header of kMaxChannels + 1 channels in memory.
int TooManyChannelsCode() {
  static const int code = [] {
    const int fd = ::memfd_create("velunda-channels", MFD_CLOEXEC);
    if (fd < 0) {
      return -1;
    }
    constexpr uint32_t kChannels = kMaxChannels + 1;
    std::vector<uint8_t> wav;
    const auto put = [&](uint32_t v, int bytes) {
      for (int i = 0; i < bytes; ++i) {
        wav.push_back(static_cast<uint8_t>(v >> (8 * i)));
      }
    };
    const auto tag = [&](const char* t) { wav.insert(wav.end(), t, t + 4); };
    tag("RIFF"), put(36, 4), tag("WAVE"), tag("fmt "), put(16, 4), put(1, 2), put(kChannels, 2);
    put(8000, 4), put(8000 * kChannels, 4), put(kChannels, 2), put(8, 2), tag("data"), put(0, 4);
    SF_INFO info{};
    SNDFILE* probe = nullptr;
    if (::write(fd, wav.data(), wav.size()) == static_cast<ssize_t>(wav.size()) &&
        ::lseek(fd, 0, SEEK_SET) == 0) {
      probe = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
    }
    const int refused = probe == nullptr ? sf_error(nullptr) : -1;
    if (probe != nullptr) {
      sf_close(probe);  // a libsndfile that takes more: the count is checked after opening
    }
    ::close(fd);
    // One of the public codes would say nothing about channels.
    return refused > SF_ERR_UNSUPPORTED_ENCODING ? refused : -1;
  }();
  return code;
}

// Explains why `path` cannot be opened for reading, or returns false when nothing is wrong.
bool InputProblem(const std::string& path, FileError& error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = IoError("impossible d'ouvrir " + path + " : " + Reason(errno));
    return true;
  }
  if (S_ISDIR(st.st_mode)) {
    error = IoError("impossible d'ouvrir " + path + " : " + Reason(EISDIR));
    return true;
  }
  if (::access(path.c_str(), R_OK) != 0) {
    error = IoError("impossible d'ouvrir " + path + " : " + Reason(errno));
    return true;
  }
  return false;
}

// The libsndfile container for an output extension, able to hold mono samples of `subtype`.
std::optional<int> OutputFormat(const std::string& ext, int32_t rate, int subtype) {
  if (ext == "wav") {
    return SF_FORMAT_WAV | subtype;
  }
  int count = 0;
  sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof(count));
  for (int i = 0; i < count; ++i) {
    SF_FORMAT_INFO info{};
    info.format = i;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof(info));
    if (info.extension == nullptr || ext != info.extension) {
      continue;
    }
    SF_INFO candidate{};
    candidate.samplerate = rate;
    candidate.channels = 1;
    candidate.format = info.format | subtype;
    if (sf_format_check(&candidate)) {
      return candidate.format;
    }
  }
  return std::nullopt;
}

// Explains a failure of the output's safe file.
FileError OutputError(const std::string& path, const SafeFile& file, int err) {
  if (file.Step() == SafeFileStep::Open || file.Step() == SafeFileStep::Rename) {
    return IoError("impossible d'écrire " + path + " : " + Reason(err));
  }
  return IoError("erreur d'écriture de " + path + " : " + Reason(err));
}

class RawWriter final : public AudioWriter {
 public:
  RawWriter(std::string path, std::unique_ptr<SafeFile> file)
      : path_(std::move(path)), file_(std::move(file)) {}
  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    if (const int err = file_->Write(samples, count)) {
      error = OutputError(path_, *file_, err);
      return false;
    }
    return true;
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    bytes_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      bytes_[i] = ToU8Scale(values[i]);
    }
    return Write(bytes_.data(), count, error);
  }
  bool Commit(FileError& error) override {
    if (const int err = file_->Commit()) {
      error = OutputError(path_, *file_, err);
      return false;
    }
    return true;
  }

 private:
  std::string path_;
  std::unique_ptr<SafeFile> file_;
  std::vector<uint8_t> bytes_;
};

// libsndfile writes through these calls, so the errno of the failing call is kept.
struct SinkIo {
  int fd = -1;
  int err = 0;
};

sf_count_t SinkLength(void* user) {
  struct stat st {};
  return ::fstat(static_cast<SinkIo*>(user)->fd, &st) == 0 ? st.st_size : -1;
}
sf_count_t SinkSeek(sf_count_t offset, int whence, void* user) {
  auto* io = static_cast<SinkIo*>(user);
  const off_t at = ::lseek(io->fd, offset, whence);
  if (at < 0 && io->err == 0) {
    io->err = errno;
  }
  return at;
}
sf_count_t SinkRead(void* data, sf_count_t count, void* user) {
  const ssize_t n = ::read(static_cast<SinkIo*>(user)->fd, data, static_cast<size_t>(count));
  return n < 0 ? 0 : n;
}
sf_count_t SinkWrite(const void* data, sf_count_t count, void* user) {
  auto* io = static_cast<SinkIo*>(user);
  const auto* bytes = static_cast<const char*>(data);
  sf_count_t done = 0;
  while (done < count) {
    const ssize_t n = ::write(io->fd, bytes + done, static_cast<size_t>(count - done));
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      if (io->err == 0) {
        io->err = n < 0 ? errno : ENOSPC;
      }
      break;
    }
    done += n;
  }
  return done;
}
sf_count_t SinkTell(void* user) { return ::lseek(static_cast<SinkIo*>(user)->fd, 0, SEEK_CUR); }

class SndfileWriter final : public AudioWriter {
 public:
  SndfileWriter(std::string path, std::unique_ptr<SafeFile> file)
      : path_(std::move(path)), file_(std::move(file)) {
    io_.fd = file_->Fd();
  }
  ~SndfileWriter() override {
    if (sndfile_ != nullptr) {
      sf_close(sndfile_);
    }
  }
  // False with the reason in `error` when libsndfile refuses to start the file.
  bool Start(int format, int32_t rate, FileError& error) {
    static SF_VIRTUAL_IO calls{SinkLength, SinkSeek, SinkRead, SinkWrite, SinkTell};
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = format;
    sndfile_ = sf_open_virtual(&calls, SFM_WRITE, &info, &io_);
    if (sndfile_ == nullptr) {
      error = Failure("impossible d'écrire ", sf_strerror(nullptr));
      return false;
    }
    u8_ = (format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_U8;
    return true;
  }
  bool Write(const uint8_t* samples, size_t count, FileError& error) override {
    if (u8_) {
      // The samples are the file's bytes.
      return Wrote(sf_write_raw(sndfile_, samples, static_cast<sf_count_t>(count)), count, error);
    }
    // 16 bits: (u - 128) << 8, which libsndfile would map back to the byte u exactly.
    buffer_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      buffer_[i] = static_cast<short>((samples[i] - 128) * 256);
    }
    return WriteShorts(count, error);
  }
  bool WriteValues(const double* values, size_t count, FileError& error) override {
    if (u8_) {
      // Rounded to the nearest byte here: libsndfile would truncate 16-bit values to 8 bits.
      bytes_.resize(count);
      for (size_t i = 0; i < count; ++i) {
        bytes_[i] = ToU8Scale(values[i]);
      }
      return Write(bytes_.data(), count, error);
    }
    buffer_.resize(count);
    for (size_t i = 0; i < count; ++i) {
      buffer_[i] = ToPcm16(values[i]);
    }
    return WriteShorts(count, error);
  }
  bool WriteShorts(size_t count, FileError& error) {
    return Wrote(sf_write_short(sndfile_, buffer_.data(), static_cast<sf_count_t>(count)), count,
                 error);
  }
  // Whether a write of `count` samples, which gave `written`, went through; else `error`.
  bool Wrote(sf_count_t written, size_t count, FileError& error) {
    if (written != static_cast<sf_count_t>(count) || io_.err != 0) {
      error = Failure("erreur d'écriture de ", sf_strerror(sndfile_));
      return false;
    }
    return true;
  }
  bool Commit(FileError& error) override {
    SNDFILE* file = sndfile_;
    sndfile_ = nullptr;
    const int closed = sf_close(file);  // writes the header's final lengths
    if (closed != 0 || io_.err != 0) {
      error = Failure("erreur d'écriture de ", sf_error_number(closed));
      return false;
    }
    if (const int err = file_->Commit()) {
      error = OutputError(path_, *file_, err);
      return false;
    }
    return true;
  }

 private:
  // The errno of the failing call when there is one; libsndfile's own text otherwise.
  FileError Failure(const std::string& what, const char* library) const {
    return IoError(what + path_ + " : " + (io_.err != 0 ? Reason(io_.err) : std::string(library)));
  }

  std::string path_;
  std::unique_ptr<SafeFile> file_;
  SinkIo io_;
  SNDFILE* sndfile_ = nullptr;
  bool u8_ = false;  // unsigned 8-bit samples
  std::vector<short> buffer_;
  std::vector<uint8_t> bytes_;
};

}  // namespace

std::string FileErrorReason(int err) { return Reason(err); }

bool IsRawU8Name(const std::string& path) { return Extension(path) == "u8"; }

int16_t ToPcm16(double x) {
  if (std::isnan(x)) {
    return 0;
  }
  const double v = std::nearbyint(32768.0 * x);
  if (v <= -32768.0) {
    return -32768;
  }
  if (v >= 32767.0) {
    return 32767;
  }
  return static_cast<int16_t>(v);
}

bool AudioReader::Read(uint8_t* samples, size_t count, size_t& got, FileError& error) {
  values_.resize(count);
  if (!ReadValues(values_.data(), count, got, error)) {
    return false;
  }
  for (size_t i = 0; i < got; ++i) {
    samples[i] = ToU8Scale(values_[i]);
  }
  return true;
}

uint8_t ToU8Scale(double x) {
  if (std::isnan(x)) {
    return 128;
  }
  const double v = std::nearbyint(128.0 + 128.0 * x);
  if (v <= 0.0) {
    return 0;
  }
  if (v >= 255.0) {
    return 255;
  }
  return static_cast<uint8_t>(v);
}

std::unique_ptr<AudioReader> AudioReader::Open(const std::string& path, int32_t rate,
                                               FileError& error) {
  int32_t fileRate = rate;
  auto reader = OpenAtFileRate(path, fileRate, error);
  if (reader && fileRate != rate) {
    error = {kExitUsage,
             "velunda-filtre : " + path + " est échantillonné à " + std::to_string(fileRate) +
                 " Hz et le filtre fonctionne à " + std::to_string(rate) + " Hz (choisissez --fe " +
                 std::to_string(fileRate) + " si le filtre le permet ; pas de rééchantillonnage)"};
    return nullptr;
  }
  return reader;
}

std::unique_ptr<AudioReader> AudioReader::OpenAtFileRate(const std::string& path, int32_t& rate,
                                                         FileError& error) {
  if (InputProblem(path, error)) {
    return nullptr;
  }
  if (IsRawU8Name(path)) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      error = IoError("impossible d'ouvrir " + path + " : " + Reason(errno));
      return nullptr;
    }
    struct stat st {};
    std::optional<int64_t> length;
    if (::fstat(::fileno(file), &st) == 0 && S_ISREG(st.st_mode)) {
      length = st.st_size;
    }
    return std::make_unique<RawReader>(file, path, length);
  }
  SF_INFO info{};
  errno = 0;
  SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
  if (file == nullptr) {
    const int code = sf_error(nullptr);
    const int err = errno;
    error = IoError(code == TooManyChannelsCode() ? TooManyChannels(path)
                                                  : UnreadableSoundFile(path, code, err));
    return nullptr;
  }
  if (info.channels > kMaxChannels) {
    sf_close(file);
    error = IoError(TooManyChannels(path));
    return nullptr;
  }
  rate = info.samplerate;
  return std::make_unique<SndfileReader>(file, info, path);
}

std::unique_ptr<AudioWriter> AudioWriter::Open(const std::string& path, int32_t rate,
                                               FileError& error, OutputWidth width) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    error = IoError("impossible d'écrire " + path + " : " + Reason(EISDIR));
    return nullptr;
  }
  const bool raw = IsRawU8Name(path);
  std::optional<int> format;
  if (!raw) {
    const bool pcm16 = width == OutputWidth::Pcm16;
    format = OutputFormat(Extension(path), rate, pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_U8);
    if (!format) {
      error = {kExitUsage, "velunda-filtre : le format de sortie de " + path +
                               (pcm16 ? " ne convient pas (il faut .wav, .flac, .u8 ou un format "
                                        "qui accepte le 16 bits)"
                                      : " ne convient pas (il faut .wav, .u8 ou un format qui "
                                        "accepte le 8 bits non signé)")};
      return nullptr;
    }
  }
  auto file = std::make_unique<SafeFile>();
  if (const int err = file->Open(path)) {
    error = OutputError(path, *file, err);
    return nullptr;
  }
  if (raw) {
    return std::make_unique<RawWriter>(path, std::move(file));
  }
  auto writer = std::make_unique<SndfileWriter>(path, std::move(file));
  if (!writer->Start(*format, rate, error)) {
    return nullptr;
  }
  return writer;
}

}  // namespace velunda
